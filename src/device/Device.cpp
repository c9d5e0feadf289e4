#include "Device.h"

#include "Globals.h"
#include "Shotdata.h"
#include "ShotScoring.h"

#include <chrono>
#include <cstring>
#include <span>
#include <thread>


int64_t DeviceTickMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <std::size_t N>
void CopyFrame(std::array<uint8_t, N>& slot, const uint8_t* frame, int length)
{
    slot.fill(0);
    std::memcpy(slot.data(), frame, std::min<std::size_t>(N, std::size_t(std::max(length, 0))));
}

template <std::size_t N>
void CopyFrame(ByteRecord<N>& slot, const uint8_t* frame, int length)
{
    CopyFrame(slot.b, frame, length);
}

template <std::size_t N>
QByteArray SlotBytes(const std::array<uint8_t, N>& slot)
{
    return QByteArray(reinterpret_cast<const char*>(slot.data()), int(N));
}

} // namespace

void TDeviceAsyncState::Reset()
{
    activityTick = 0;
    uploadStepCount = 0;
    portOpened = false;
    identifyRunning = false;
    identifyFinished = false;
    identifyStep = 0;
    autoDownload = false;
    setupModeEntered = false;
    uploadRequested = false;
    uploadDone = false;
    ringPending = false;
    ringTargetNumber = 0;
    ringStep = 0;
    silhouettePending = false;
    silhouetteTargetNumber = 0;
    silhouettePacketStep = 0;
    silhouetteRow = 0;
    settingsPending = false;
    settingsStep = 0;
    downloadComplete = false;
    downloadHandled = false;
    downloadRequestCount = 0;
    downloadActive = false;
    downloadFinished = false;
    downloadShotIndex = 0;
    downloadBank = 0;
    abort = false;
}

// ---- Life ---------------------------------------------------------------------------

TDevice::TDevice()
    : t0Ring_(std::make_unique<std::array<TraceSample, RingCapacity>>()),
      t1Ring_(std::make_unique<std::array<SampleT1, RingCapacity>>()),
      t2Ring_(std::make_unique<std::array<SampleT2, RingCapacity>>())
{
    for (auto& flag : replyArrived)
        flag.store(false);
    for (auto& count : replyCounts_)
        count.store(0);
    dataHandler_ = std::make_unique<TDataHandler>(this);
    if (CurrentSession)
        shooter_ = CurrentSession->AddShooter(std::make_unique<TShooter>());
}

TDevice::~TDevice()
{
    // Joins the event thread: no frame can arrive once this returns.
    dataHandler_->ClosePort();
    dataHandler_.reset();
}

bool TDevice::OpenPort(int number, bool lines)
{
    comNumber.store(number);
    async.portOpened.store(true);
    const bool result = dataHandler_->OpenPort(number);
    if (lines)
        dataHandler_->SetBaudAndLines(115200, true, true);
    return result;
}

void TDevice::ClosePort()
{
    comNumber.store(0);
    dataHandler_->ClosePort();
}

// ---- Dispatch ---------------------------------------------------------------------------

void TDevice::StoreReply(int type, const uint8_t* frame, int length)
{
    switch (type) {
    case ReplyAck: CopyFrame(replyAck, frame, length); break;
    case ReplySample: CopyFrame(replyT0, frame, length); break;
    case ReplySampleT1: CopyFrame(replyT1, frame, length); break;
    case ReplySampleT2: CopyFrame(replyT2, frame, length); break;
    case ReplyShotResult: CopyFrame(replyShotResult, frame, length); break;
    case ReplySilhouettePacket: CopyFrame(reply11, frame, length); break;
    case ReplyParameterBlock: CopyFrame(reply13, frame, length); break;
    case ReplyInfoRegister: CopyFrame(reply14, frame, length); break;
    case ReplyKFrame: CopyFrame(reply16, frame, length); break;
    case ReplyShotBankCounts: CopyFrame(replyShotBankCounts, frame, length); break;
    case ReplyDeviceError: CopyFrame(replyError, frame, length); break;
    case ReplyRingBlock: CopyFrame(reply19, frame, length); break;
    default: break;
    }
}

void TDevice::HandleFrame(const uint8_t* frame, int length, int type)
{
    auto guard = Lock();
    lastReplyType.store(type);
    StoreReply(type, frame, length);
    switch (type) {
    case ReplyPowerUp:
        if (async.identifyRunning.load())
            OnIdentifyTimer();
        break;
    case ReplyAck:
        if (async.downloadActive.load() && !async.downloadComplete.load())
            AsyncDownloadStep();
        if (async.uploadRequested.load() && !async.uploadDone.load())
            AsyncUploadStep();
        if (async.identifyRunning.load())
            AsyncIdentifyStep(type);
        break;
    case ReplySample: {
        uint8_t sample[TraceSample::Size];
        std::memcpy(sample, replyT0.data(), sizeof sample);
        AddTraceSample(sample);
        if (sampleCount.load() == 0)
            firstSampleNs.store(NowNs());
        sampleCount.fetch_add(1);
        break;
    }
    case ReplySampleT1:
        AddSampleT1(replyT1);
        break;
    case ReplySampleT2:
        AddSampleT2(replyT2);
        if (sampleCount.load() == 0)
            firstSampleNs.store(NowNs());
        sampleCount.fetch_add(1);
        break;
    case ReplyShotResult:
        OnShotResult(replyShotResult);
        break;
    case ReplyParameterBlock:
        StoreParameterBlock(reply13.data());
        if (async.identifyRunning.load())
            AsyncIdentifyStep(type);
        break;
    case ReplyInfoRegister: {
        const int reg = reply14[2];
        if (reg >= 0 && reg <= 7)
            infoRegs0to7[std::size_t(reg)] = reply14;
        else if (reg == 16)
            infoReg16 = reply14;
        else if (reg == 25)
            infoReg25 = reply14;
        if (async.identifyRunning.load())
            AsyncIdentifyStep(type);
        break;
    }
    case ReplyShotBankCounts:
        if (async.identifyRunning.load())
            AsyncIdentifyStep(type);
        break;
    case ReplyDeviceError:
        if (async.identifyRunning.load() || async.uploadRequested.load() || async.downloadActive.load()
            || async.downloadComplete.load())
            async.abort.store(true);
        break;
    default:
        break;
    }
    // Counted last: a waiter that sees the count finds the slot filled.
    if (type > 0 && type <= MaxReplyType) {
        replyArrived[std::size_t(type)].store(true);
        replyCounts_[std::size_t(type)].fetch_add(1);
    }
    anyReplyArrived.store(true);
}

// ---- Waiting ------------------------------------------------------------------------------

void TDevice::ArmReply(int type)
{
    if (type <= 0 || type > MaxReplyType)
        return;
    armedAt_[std::size_t(type)] = replyCounts_[std::size_t(type)].load();
    armed_[std::size_t(type)] = true;
}

uint32_t TDevice::ReplyCount(int type) const
{
    if (type <= 0 || type > MaxReplyType)
        return 0;
    return replyCounts_[std::size_t(type)].load();
}

int TDevice::WaitForReply(int type, int timeoutMs)
{
    if (type <= 0 || type > MaxReplyType)
        return 0;
    const std::size_t t = std::size_t(type);
    if (!armed_[t])
        ArmReply(type);
    armed_[t] = false;
    const uint32_t armedAt = armedAt_[t];
    for (auto& flag : replyArrived)
        flag.store(false);
    anyReplyArrived.store(false);
    int elapsed = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::yield();
        std::this_thread::yield();
        elapsed += 10;
        // Any frame of the wanted type since arming counts, even when a
        // sample or a second reply came after it.
        if (replyCounts_[t].load() != armedAt)
            return type;
        if (elapsed > timeoutMs)
            return 0;
    }
}

bool TDevice::SendAndWait(const Frame& frame, int type, int timeoutMs)
{
    ArmReply(type);
    try {
        dataHandler_->WriteFrame(frame);
    } catch (...) {
        if (type > 0 && type <= MaxReplyType)
            armed_[std::size_t(type)] = false;
        throw;
    }
    return WaitForReply(type, timeoutMs) == type;
}

// ---- Reply slots ----------------------------------------------------------------------------

uint8_t* TDevice::ParameterBlockAddress(int n)
{
    if (n >= 0 && n <= 3)
        return paramBlocks0to3.data() + 16 * n;
    if (n >= 8 && n <= 11)
        return paramBlocks8to11[std::size_t(n - 8)].data();
    if (n >= 16 && n <= 19)
        return paramBlocks16to19[std::size_t(n - 16)].data();
    if (n == 56)
        return paramBlock56.data();
    return nullptr;
}

void TDevice::StoreParameterBlock(const uint8_t* frame)
{
    auto guard = Lock();
    if (uint8_t* slot = ParameterBlockAddress(frame[2] & 0x7F))
        std::memcpy(slot, frame + 3, 16);
}

QByteArray TDevice::ReplySlot(int type) const
{
    auto guard = Lock();
    switch (type) {
    case ReplyAck: return SlotBytes(replyAck);
    case ReplySample: return SlotBytes(replyT0.b);
    case ReplySampleT1: return SlotBytes(replyT1.b);
    case ReplySampleT2: return SlotBytes(replyT2.b);
    case ReplyShotResult: return SlotBytes(replyShotResult.b);
    case ReplySilhouettePacket: return SlotBytes(reply11);
    case ReplyParameterBlock: return SlotBytes(reply13);
    case ReplyInfoRegister: return SlotBytes(reply14);
    case ReplyKFrame: return SlotBytes(reply16);
    case ReplyShotBankCounts: return SlotBytes(replyShotBankCounts);
    case ReplyDeviceError: return SlotBytes(replyError);
    case ReplyRingBlock: return SlotBytes(reply19);
    default: return {};
    }
}

void TDevice::ClearReplySlots()
{
    auto guard = Lock();
    lastReplyType.store(0);
    paramBlocks0to3.fill(0);
    for (auto& block : paramBlocks8to11)
        block.fill(0);
    for (auto& block : paramBlocks16to19)
        block.fill(0);
    paramBlock56.fill(0);
    for (auto& reg : infoRegs0to7)
        reg.fill(0);
    infoReg16.fill(0);
    infoReg25.fill(0);
    replyAck.fill(0);
    replyShotBankCounts.fill(0);
    replyError.fill(0);
    replyShotResult.Clear();
    replyT0.Clear();
    replyT1.Clear();
    replyT2.Clear();
    reply11.fill(0);
    reply13.fill(0);
    reply14.fill(0);
    reply16.fill(0);
    reply19.fill(0);
    for (auto& flag : replyArrived)
        flag.store(false);
    anyReplyArrived.store(false);
}

// ---- Sample rings -----------------------------------------------------------------------------

void TDevice::AddTraceSample(uint8_t* frame)
{
    auto guard = Lock();
    TraceSample sample;
    std::memcpy(sample.data(), frame, TraceSample::Size);
    if (mode.load() == ShotScoring::ClassicMode && zero_.HasOffset()) {
        sample.SetX(ShotScoring::ZeroCorrected(sample.X(), zero_.offsetX));
        sample.SetY(ShotScoring::ZeroCorrected(sample.Y(), zero_.offsetY));
    }
    ShotScoring::ConvertAngles(sample);
    std::memcpy(frame, sample.data(), TraceSample::Size);
    lastLiveSample = sample;
    StoreSample(&sample, nullptr, nullptr);
    if (sample.Failures() != 0)
        aimingTime.store(0);
    else
        aimingTime.fetch_add(SampleMs);
    if (listener_)
        listener_->OnSamples();
}

void TDevice::AddSampleT1(const SampleT1& record)
{
    StoreSample(nullptr, &record, nullptr);
}

void TDevice::AddSampleT2(const SampleT2& record)
{
    StoreSample(nullptr, nullptr, &record);
}

void TDevice::StoreSample(const TraceSample* t0, const SampleT1* t1, const SampleT2* t2)
{
    auto guard = Lock();
    // The recoil after a live shot is not part of any trace.
    if (dropCount_ > 0) {
        --dropCount_;
        return;
    }
    const std::size_t at = std::size_t(ringIndex_);
    (*t0Ring_)[at].Clear();
    (*t1Ring_)[at].Clear();
    (*t2Ring_)[at].Clear();
    if (t0)
        (*t0Ring_)[at] = *t0;
    else if (t1)
        (*t1Ring_)[at] = *t1;
    else if (t2)
        (*t2Ring_)[at] = *t2;
    if (++ringIndex_ >= RingCapacity) {
        ringIndex_ = 0;
        ringWrapped_ = true;
    }
    // A run of flagged samples (no prisms in view) restarts the trace.
    if (t0 && t0->Failures() != 0) {
        if (++flaggedRun_ >= FlaggedRunLimit) {
            ringIndex_ = 0;
            ringWrapped_ = false;
        }
    } else {
        flaggedRun_ = 0;
    }
}

void TDevice::ResetSampleBuffers()
{
    auto guard = Lock();
    for (auto& s : *t0Ring_)
        s.Clear();
    for (auto& s : *t1Ring_)
        s.Clear();
    for (auto& s : *t2Ring_)
        s.Clear();
    ringIndex_ = 0;
    ringWrapped_ = false;
}

// ---- Shooter, listener, target ----------------------------------------------------------------

TShooter* TDevice::Shooter() const
{
    auto guard = Lock();
    return shooter_;
}

void TDevice::SetShooter(TShooter* shooter)
{
    auto guard = Lock();
    shooter_ = shooter;
}

IDeviceEventListener* TDevice::Listener() const
{
    auto guard = Lock();
    return listener_;
}

void TDevice::SetListener(IDeviceEventListener* listener)
{
    auto guard = Lock();
    listener_ = listener;
}

TargetDescription TDevice::CurrentTarget() const
{
    auto guard = Lock();
    return currentTarget_;
}

void TDevice::SetCurrentTarget(const TargetDescription& target)
{
    auto guard = Lock();
    currentTarget_ = target;
}

QString TDevice::Name() const
{
    auto guard = Lock();
    return name_;
}

void TDevice::SetName(const QString& name)
{
    auto guard = Lock();
    name_ = name;
}

int TDevice::ShotCount() const
{
    auto guard = Lock();
    return shooter_ ? shooter_->ShotCount() : 0;
}

// ---- Shot intake -------------------------------------------------------------------------------

void TDevice::OnShotResult(RawShotRecord& result)
{
    auto guard = Lock();
    ShotScoring::ShotIntakeContext context;
    context.mode = mode.load();
    context.liveStarted = liveStarted.load();
    context.zeroing = zeroing.load();
    context.currentTarget = &currentTarget_;
    // Without a shooter (download finished, session closed) nothing is
    // scored and nothing stored.
    context.shooterTarget = shooter_ ? &shooter_->currentTarget : nullptr;
    const ShotScoring::ShotIntakeOutcome outcome =
        ShotScoring::OnShotResult(result, context, zero_, std::span<TraceSample>(*t0Ring_));
    lastResult = outcome.lastResult;
    if (outcome.dropSamples)
        dropCount_ = PostShotDropLength;
    if (outcome.addShot && shooter_) {
        AddShotFromResult(shooter_, result, outcome.converted);
        SessionUnsaved.store(true);
    }
    ResetSampleBuffers();
    aimingTime.store(0);
    if (listener_)
        listener_->OnShot();
}

void TDevice::CalcRingScoreAndSector(RawShotRecord& result)
{
    auto guard = Lock();
    ShotScoring::CalcRingScoreAndSector(result, currentTarget_);
}

void TDevice::CalcSilhouetteZone(RawShotRecord& result)
{
    auto guard = Lock();
    ShotScoring::CalcSilhouetteZone(result, currentTarget_);
}

void TDevice::AddShotFromResult(TShooter* shooter, const RawShotRecord& result, bool converted)
{
    if (!shooter)
        return;
    auto guard = Lock();
    ShotScoring::AddShotFromResult(*shooter, result, std::span<const TraceSample>(*t0Ring_), ringIndex_,
                                   ringWrapped_, aimingTime.load(), converted);
}

// ---- Zeroing and rescoring -----------------------------------------------------------------------

void TDevice::RememberZeroingResult(const RawShotRecord& result)
{
    auto guard = Lock();
    zero_.RememberZeroingResult(result);
}

void TDevice::SaveZero()
{
    auto guard = Lock();
    zero_.SaveZero();
}

bool TDevice::ComputeZero()
{
    auto guard = Lock();
    return zero_.ComputeZero();
}

void TDevice::ClearZeroOffsets()
{
    auto guard = Lock();
    zero_.ClearZeroOffsets();
}

ZeroState TDevice::Zero() const
{
    auto guard = Lock();
    return zero_;
}

RescoreReport TDevice::RescoreDownloadedShots()
{
    auto guard = Lock();
    if (!shooter_)
        return {};
    RescoreReport report = ::RescoreDownloadedShots(*shooter_, targetTables, currentTarget_);
    if (!report.error.isEmpty())
        DebugLog(QStringLiteral("COM%1: %2 (%3 shots skipped)").arg(comNumber.load()).arg(report.error).arg(report.skipped));
    return report;
}
