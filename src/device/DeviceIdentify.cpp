// The identification of the unit behind a freshly opened port: a stop that
// the identify timer repeats until the unit answers, then one request per
// answer (info registers, parameter blocks, bank counts), and the finish
// that takes name, model type, shot total and settings.
#include "Device.h"

#include "Globals.h"
#include "Shotdata.h"

#include <cstring>
#include <exception>

namespace {

constexpr int FirstIntervalMs = 3000;
constexpr int RetryIntervalMs = 2000;
constexpr int MaxTries = 3;
// A running identification that makes no step for this long has failed.
constexpr int64_t StepTimeoutMs = 3000;

// The info registers read after the shot-bank counts, one request each.
constexpr int InfoRegisters[] = {2, 3, 4, 5, 16, 25};
// The parameter blocks read next, one request each, before the shot-bank
// counts are read a second time.
constexpr int ParameterBlocks[] = {0, 1, 2, 3, 8, 9, 16, 17, 18, 19, 184};

// The answer type that may drive step s: each step is driven by the answer to
// the request of the step before.
bool DrivesStep(int step, int replyType)
{
    if (step == 0)
        return replyType == ReplyAck || replyType == ReplyPowerUp;
    if (step == 1)
        return replyType == ReplyInfoRegister;    // "c" 0
    if (step == 2)
        return replyType == ReplyShotBankCounts;  // "c" 32
    if (step >= 3 && step <= 9)
        return replyType == ReplyInfoRegister;    // "c" 0, 2, 3, 4, 5, 16, 25
    if (step >= 10 && step <= 20)
        return replyType == ReplyParameterBlock;  // "e" ...
    if (step == 21)
        return replyType == ReplyShotBankCounts;  // "c" 32
    return false;
}

} // namespace

void TDevice::FailIdentify()
{
    identifyTimerOn_ = false;
    busy_.store(false);
    identified_.store(false);
    async_.identifyRunning.store(false);
    async_.identifyFinished.store(true);
}

void TDevice::StartAsyncIdentify(bool autoDownload)
{
    try {
        // Line settings first, outside the lock: they talk to the port.
        dataHandler_->SetBaudAndLines(115200, true, true);
        {
            auto guard = Lock();
            async_.activityTick.store(DeviceTickMs());
            // Read by the identification's last step on the event thread.
            async_.autoDownload.store(autoDownload);
            busy_.store(true);
            ClearReplySlots();
            async_.identifyRunning.store(true);
            async_.identifyFinished.store(false);
            async_.identifyStep.store(0);
            identifyTries_ = 0;
            identifyTimerIntervalMs_ = FirstIntervalMs;
            identifyTimerDueMs_ = DeviceTickMs() + FirstIntervalMs;
            identifyTimerOn_ = true;
            Send(BuildStop());
        }
        FlushOutbox();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: identify failed: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        auto guard = Lock();
        FailIdentify();
    }
}

void TDevice::FireIdentifyTimer()
{
    if (identifyTries_ < MaxTries) {
        ++identifyTries_;
        Send(BuildStop());
        const int last = lastReplyType_.load();
        if (last == 0)
            identifyTimerIntervalMs_ = RetryIntervalMs;
        else if (last == ReplyAck || last == ReplyPowerUp)
            identifyTimerOn_ = false;
        return;
    }
    if (identifyTries_ == MaxTries && lastReplyType_.load() == 0) {
        DebugLog(QStringLiteral("COM%1: no answer to stop").arg(comNumber_.load()));
        FailIdentify();
    }
}

void TDevice::OnIdentifyTimer()
{
    {
        auto guard = Lock();
        FireIdentifyTimer();
    }
    try {
        FlushOutbox();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: identify failed: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        auto guard = Lock();
        FailIdentify();
    }
}

void TDevice::IdentifyTimerTick(int64_t nowMs)
{
    // The GUI ticks every device every 50 ms: nothing running, no lock.
    if (!async_.identifyRunning.load())
        return;
    {
        auto guard = Lock();
        if (!async_.identifyRunning.load())
            return;
        if (async_.identifyStep.load() > 0 && nowMs - async_.activityTick.load() > StepTimeoutMs) {
            DebugLog(QStringLiteral("COM%1: identify stalled at step %2").arg(comNumber_.load()).arg(async_.identifyStep.load()));
            FailIdentify();
            return;
        }
        if (!identifyTimerOn_ || nowMs < identifyTimerDueMs_)
            return;
        const bool triesUsed = identifyTries_ >= MaxTries;
        FireIdentifyTimer();
        identifyTimerDueMs_ = nowMs + identifyTimerIntervalMs_;
        // A unit that talks (samples) but never acknowledged any of the
        // stops would otherwise stay "identifying" for ever.
        if (triesUsed && async_.identifyRunning.load() && async_.identifyStep.load() == 0) {
            DebugLog(QStringLiteral("COM%1: stop never acknowledged").arg(comNumber_.load()));
            FailIdentify();
        }
    }
    try {
        FlushOutbox();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: identify failed: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        auto guard = Lock();
        FailIdentify();
    }
}

bool TDevice::IdentifyTimerEnabled() const
{
    auto guard = Lock();
    return identifyTimerOn_;
}

int TDevice::IdentifyTries() const
{
    auto guard = Lock();
    return identifyTries_;
}

void TDevice::AsyncIdentifyStep(int replyType)
{
    if (!async_.identifyRunning.load())
        throw Exception("No async scan going");
    const int s = async_.identifyStep.load();
    if (!DrivesStep(s, replyType))
        return;
    async_.activityTick.store(DeviceTickMs());
    async_.identifyStep.store(s + 1);
    busy_.store(true);
    if (s == 0) {
        Send(BuildRequestInfo(0));
        identifyTimerOn_ = false;
    } else if (s == 1) {
        Send(BuildRequestInfo(32));
    } else if (s == 2) {
        Send(BuildRequestInfo(0));
    } else if (s >= 3 && s <= 8) {
        Send(BuildRequestInfo(InfoRegisters[s - 3]));
    } else if (s >= 9 && s <= 19) {
        Send(BuildRequestParameterBlock(ParameterBlocks[s - 9]));
    } else if (s == 20) {
        Send(BuildRequestInfo(32));
    } else if (s == 21) {
        FinishIdentify();
    }
}

void TDevice::FinishIdentify()
{
    shotTotal_.store(SumShotBankCounts(replyShotBankCounts_.data()));
    QString name = FromCodePage(reinterpret_cast<const char*>(paramBlock56_.data()), 10);
    const qsizetype nul = name.indexOf(QChar(0));
    if (nul >= 0)
        name.truncate(nul);
    name_ = name;
    if (name.startsWith(QLatin1String("KBR")))
        modelType_.store(1);
    else if (name.startsWith(QLatin1String("ZUV")))
        modelType_.store(2);
    // The GUI may be saving this shooter right now: name and settings go in
    // under its own lock, together.
    if (shooter_)
        shooter_->SetIdentity(name, paramBlocks0to3_);
    busy_.store(false);
    identified_.store(true);
    found_.store(true);
    async_.identifyFinished.store(true);
    async_.identifyRunning.store(false);
    if (async_.autoDownload.load())
        BeginDownload();
}
