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

constexpr int InfoRegisters[] = {2, 3, 4, 5, 16, 25};              // steps 3-8
constexpr int ParameterBlocks[] = {0, 1, 2, 3, 8, 9, 16, 17, 18, 19, 184}; // steps 9-19

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
    busy.store(false);
    identified.store(false);
    async.identifyRunning.store(false);
    async.identifyFinished.store(true);
}

void TDevice::StartAsyncIdentify()
{
    auto guard = Lock();
    try {
        async.activityTick.store(DeviceTickMs());
        busy.store(true);
        ClearReplySlots();
        dataHandler_->SetBaudAndLines(115200, true, true);
        async.identifyRunning.store(true);
        async.identifyStep.store(0);
        dataHandler_->WriteFrame(BuildStop());
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: identify failed: %2").arg(comNumber.load()).arg(QString::fromUtf8(e.what())));
        FailIdentify();
        return;
    }
    identifyTries_ = 0;
    identifyTimerIntervalMs_ = FirstIntervalMs;
    identifyTimerDueMs_ = DeviceTickMs() + FirstIntervalMs;
    identifyTimerOn_ = true;
}

void TDevice::OnIdentifyTimer()
{
    auto guard = Lock();
    if (identifyTries_ < MaxTries) {
        ++identifyTries_;
        try {
            dataHandler_->WriteFrame(BuildStop());
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("COM%1: identify failed: %2").arg(comNumber.load()).arg(QString::fromUtf8(e.what())));
            FailIdentify();
            return;
        }
        const int last = lastReplyType.load();
        if (last == 0)
            identifyTimerIntervalMs_ = RetryIntervalMs;
        else if (last == ReplyAck || last == ReplyPowerUp)
            identifyTimerOn_ = false;
        return;
    }
    if (identifyTries_ == MaxTries && lastReplyType.load() == 0) {
        DebugLog(QStringLiteral("COM%1: no answer to stop").arg(comNumber.load()));
        FailIdentify();
    }
}

void TDevice::IdentifyTimerTick(int64_t nowMs)
{
    auto guard = Lock();
    if (!async.identifyRunning.load())
        return;
    if (async.identifyStep.load() > 0 && nowMs - async.activityTick.load() > StepTimeoutMs) {
        DebugLog(QStringLiteral("COM%1: identify stalled at step %2").arg(comNumber.load()).arg(async.identifyStep.load()));
        FailIdentify();
        return;
    }
    if (identifyTimerOn_ && nowMs >= identifyTimerDueMs_) {
        const bool triesUsed = identifyTries_ >= MaxTries;
        OnIdentifyTimer();
        identifyTimerDueMs_ = nowMs + identifyTimerIntervalMs_;
        // A unit that talks (samples) but never acknowledged any of the
        // stops would otherwise stay "identifying" for ever.
        if (triesUsed && async.identifyRunning.load() && async.identifyStep.load() == 0) {
            DebugLog(QStringLiteral("COM%1: stop never acknowledged").arg(comNumber.load()));
            FailIdentify();
        }
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
    auto guard = Lock();
    if (!async.identifyRunning.load())
        throw Exception("No async scan going");
    const int s = async.identifyStep.load();
    if (!DrivesStep(s, replyType))
        return;
    async.activityTick.store(DeviceTickMs());
    async.identifyStep.store(s + 1);
    busy.store(true);
    if (s == 0) {
        dataHandler_->RequestInfo(0);
        identifyTimerOn_ = false;
    } else if (s == 1) {
        dataHandler_->RequestInfo(32);
    } else if (s == 2) {
        dataHandler_->RequestInfo(0);
    } else if (s >= 3 && s <= 8) {
        dataHandler_->RequestInfo(InfoRegisters[s - 3]);
    } else if (s >= 9 && s <= 19) {
        dataHandler_->RequestParameterBlock(ParameterBlocks[s - 9]);
    } else if (s == 20) {
        dataHandler_->RequestInfo(32);
    } else if (s == 21) {
        FinishIdentify();
    }
}

void TDevice::FinishIdentify()
{
    shotTotal.store(SumShotBankCounts(replyShotBankCounts.data()));
    QString name = FromCodePage(reinterpret_cast<const char*>(paramBlock56.data()), 10);
    const qsizetype nul = name.indexOf(QChar(0));
    if (nul >= 0)
        name.truncate(nul);
    name_ = name;
    if (shooter_)
        shooter_->serialNumber = name;
    if (name.startsWith(QLatin1String("KBR")))
        modelType.store(1);
    else if (name.startsWith(QLatin1String("ZUV")))
        modelType.store(2);
    busy.store(false);
    identified.store(true);
    found.store(true);
    async.identifyFinished.store(true);
    async.identifyRunning.store(false);
    if (shooter_)
        std::memcpy(shooter_->setupBlocks.data(), paramBlocks0to3.data(), paramBlocks0to3.size());
    if (async.autoDownload.load())
        StartAsyncDownload();
}
