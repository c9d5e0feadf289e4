#include "Device.h"

#include "Globals.h"
#include "Shotdata.h"
#include "ShotScoring.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>
#include <utility>


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

bool IsTargetSlot(int number)
{
    return number >= 0 && number < DeviceSetup::SlotCount;
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
    for (auto& flag : replyArrived_)
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
    comNumber_.store(number);
    async_.portOpened.store(true);
    numberedThisRun_.store(false);
    const bool result = dataHandler_->OpenPort(number);
    if (lines)
        dataHandler_->SetBaudAndLines(115200, true, true);
    return result;
}

void TDevice::ClosePort()
{
    comNumber_.store(0);
    dataHandler_->ClosePort();
}

// ---- Writing --------------------------------------------------------------------------

void TDevice::Send(const Frame& frame)
{
    std::lock_guard<std::mutex> guard(outboxLock_);
    outbox_.push_back(frame);
}

void TDevice::FlushOutbox()
{
    std::lock_guard<std::mutex> sending(sendLock_);
    for (;;) {
        Frame frame;
        {
            std::lock_guard<std::mutex> guard(outboxLock_);
            if (outbox_.empty())
                return;
            frame = outbox_.front();
            outbox_.erase(outbox_.begin());
        }
        try {
            dataHandler_->WriteFrame(frame);
        } catch (...) {
            // The port is gone or closed: what was queued behind it is moot.
            std::lock_guard<std::mutex> guard(outboxLock_);
            outbox_.clear();
            throw;
        }
    }
}

// ---- Dispatch ---------------------------------------------------------------------------

void TDevice::StoreReply(int type, const uint8_t* frame, int length)
{
    switch (type) {
    case ReplyAck: CopyFrame(replyAck_, frame, length); break;
    case ReplySample: CopyFrame(replyT0_, frame, length); break;
    case ReplySampleT1: CopyFrame(replyT1_, frame, length); break;
    case ReplySampleT2: CopyFrame(replyT2_, frame, length); break;
    case ReplyShotResult: CopyFrame(replyShotResult_, frame, length); break;
    case ReplySilhouettePacket: CopyFrame(reply11_, frame, length); break;
    case ReplyParameterBlock: CopyFrame(reply13_, frame, length); break;
    case ReplyInfoRegister: CopyFrame(reply14_, frame, length); break;
    case ReplyKFrame: CopyFrame(reply16_, frame, length); break;
    case ReplyShotBankCounts: CopyFrame(replyShotBankCounts_, frame, length); break;
    case ReplyDeviceError: CopyFrame(replyError_, frame, length); break;
    case ReplyRingBlock: CopyFrame(reply19_, frame, length); break;
    default: break;
    }
}

void TDevice::HandleFrame(const uint8_t* frame, int length, int type)
{
    {
        auto guard = Lock();
        lastReplyType_.store(type);
        StoreReply(type, frame, length);
        switch (type) {
        case ReplyPowerUp:
            if (async_.identifyRunning.load())
                FireIdentifyTimer();
            break;
        case ReplyAck:
            if (async_.downloadActive.load() && !async_.downloadComplete.load())
                AsyncDownloadStep();
            if (async_.uploadRequested.load() && !async_.uploadDone.load())
                AsyncUploadStep();
            if (async_.identifyRunning.load())
                AsyncIdentifyStep(type);
            break;
        case ReplySample: {
            uint8_t sample[TraceSample::Size];
            std::memcpy(sample, replyT0_.data(), sizeof sample);
            AddTraceSample(sample);
            if (sampleCount_.load() == 0)
                firstSampleNs_.store(NowNs());
            sampleCount_.fetch_add(1);
            break;
        }
        case ReplySampleT1:
            StoreSample(nullptr, &replyT1_, nullptr);
            break;
        case ReplySampleT2:
            StoreSample(nullptr, nullptr, &replyT2_);
            if (sampleCount_.load() == 0)
                firstSampleNs_.store(NowNs());
            sampleCount_.fetch_add(1);
            break;
        case ReplyShotResult:
            OnShotResult(replyShotResult_);
            break;
        case ReplyParameterBlock:
            StoreParameterBlock(reply13_.data());
            if (async_.identifyRunning.load())
                AsyncIdentifyStep(type);
            break;
        case ReplyInfoRegister: {
            const int reg = reply14_[2];
            if (reg >= 0 && reg <= 7)
                infoRegs0to7_[std::size_t(reg)] = reply14_;
            else if (reg == 16)
                infoReg16_ = reply14_;
            else if (reg == 25)
                infoReg25_ = reply14_;
            if (async_.identifyRunning.load())
                AsyncIdentifyStep(type);
            break;
        }
        case ReplyShotBankCounts:
            if (async_.identifyRunning.load())
                AsyncIdentifyStep(type);
            break;
        case ReplyDeviceError:
            if (async_.identifyRunning.load() || async_.uploadRequested.load() || async_.downloadActive.load()
                || async_.downloadComplete.load())
                async_.abort.store(true);
            break;
        default:
            break;
        }
        // Counted last: a waiter that sees the count finds the slot filled.
        if (type > 0 && type <= MaxReplyType) {
            replyArrived_[std::size_t(type)].store(true);
            replyCounts_[std::size_t(type)].fetch_add(1);
        }
        anyReplyArrived_.store(true);
    }
    // The next frame of a sequence goes out once the lock is free again.
    try {
        FlushOutbox();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: next step not sent: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        if (async_.identifyRunning.load()) {
            auto guard = Lock();
            FailIdentify();
        }
    }
}

void TDevice::OnDamagedFrame(int type)
{
    if (type != ReplyShotResult)
        return;
    auto guard = Lock();
    // Line noise often forms such a window (a stray byte before a sample's
    // "j"); only the next result can tell whether a shot was lost with it.
    if (!damaged_.active)
        damaged_ = {true, 0, aimingTime_.load(), false};
    DebugLog(QStringLiteral("COM%1: damaged shot result window").arg(comNumber_.load()));
}

void TDevice::KeepSamplesSinceDamage()
{
    const int held = ringWrapped_ ? RingCapacity : ringIndex_;
    const int keep = std::min(damaged_.storedSince, held);
    if (keep < held) {
        auto t0 = std::make_unique<std::array<TraceSample, RingCapacity>>();
        auto t1 = std::make_unique<std::array<SampleT1, RingCapacity>>();
        auto t2 = std::make_unique<std::array<SampleT2, RingCapacity>>();
        for (int k = 0; k < keep; ++k) {
            const auto from = std::size_t((ringIndex_ - keep + k + RingCapacity) % RingCapacity);
            (*t0)[std::size_t(k)] = (*t0Ring_)[from];
            (*t1)[std::size_t(k)] = (*t1Ring_)[from];
            (*t2)[std::size_t(k)] = (*t2Ring_)[from];
        }
        *t0Ring_ = *t0;
        *t1Ring_ = *t1;
        *t2Ring_ = *t2;
        ringIndex_ = keep;
        ringWrapped_ = false;
    }
    if (!damaged_.aimingRestarted)
        aimingTime_.store(std::max(0, aimingTime_.load() - damaged_.aimingAtDamage));
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

bool TDevice::ReplyArrived(int type) const
{
    if (type <= 0 || type > MaxReplyType)
        return false;
    return replyArrived_[std::size_t(type)].load();
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
    for (auto& flag : replyArrived_)
        flag.store(false);
    anyReplyArrived_.store(false);
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

bool TDevice::HasParameterBlock(int n)
{
    return (n >= 0 && n <= 3) || (n >= 8 && n <= 11) || (n >= 16 && n <= 19) || n == 56;
}

uint8_t* TDevice::ParameterBlockSlot(int n)
{
    return const_cast<uint8_t*>(std::as_const(*this).ParameterBlockSlot(n));
}

const uint8_t* TDevice::ParameterBlockSlot(int n) const
{
    if (n >= 0 && n <= 3)
        return paramBlocks0to3_.data() + 16 * n;
    if (n >= 8 && n <= 11)
        return paramBlocks8to11_[std::size_t(n - 8)].data();
    if (n >= 16 && n <= 19)
        return paramBlocks16to19_[std::size_t(n - 16)].data();
    if (n == 56)
        return paramBlock56_.data();
    return nullptr;
}

void TDevice::StoreParameterBlock(const uint8_t* frame)
{
    if (uint8_t* slot = ParameterBlockSlot(frame[2] & 0x7F))
        std::memcpy(slot, frame + 3, 16);
}

QByteArray TDevice::ParameterBlock(int n) const
{
    auto guard = Lock();
    const uint8_t* slot = ParameterBlockSlot(n);
    return slot ? QByteArray(reinterpret_cast<const char*>(slot), 16) : QByteArray();
}

QByteArray TDevice::InfoRegister(int reg) const
{
    auto guard = Lock();
    if (reg >= 0 && reg <= 7)
        return SlotBytes(infoRegs0to7_[std::size_t(reg)]);
    if (reg == 16)
        return SlotBytes(infoReg16_);
    if (reg == 25)
        return SlotBytes(infoReg25_);
    return {};
}

std::array<int, TDevice::BankCount> TDevice::BankCounts() const
{
    auto guard = Lock();
    std::array<int, BankCount> counts {};
    for (int bank = 0; bank < BankCount; ++bank)
        counts[std::size_t(bank)] = replyShotBankCounts_[std::size_t(4 + 2 * bank)];
    return counts;
}

SetupBlocks TDevice::SettingsBlocks() const
{
    auto guard = Lock();
    return paramBlocks0to3_;
}

void TDevice::SetSettingsBlocks(const SetupBlocks& blocks)
{
    auto guard = Lock();
    paramBlocks0to3_ = blocks;
}

QByteArray TDevice::ReplySlot(int type) const
{
    auto guard = Lock();
    switch (type) {
    case ReplyAck: return SlotBytes(replyAck_);
    case ReplySample: return SlotBytes(replyT0_.b);
    case ReplySampleT1: return SlotBytes(replyT1_.b);
    case ReplySampleT2: return SlotBytes(replyT2_.b);
    case ReplyShotResult: return SlotBytes(replyShotResult_.b);
    case ReplySilhouettePacket: return SlotBytes(reply11_);
    case ReplyParameterBlock: return SlotBytes(reply13_);
    case ReplyInfoRegister: return SlotBytes(reply14_);
    case ReplyKFrame: return SlotBytes(reply16_);
    case ReplyShotBankCounts: return SlotBytes(replyShotBankCounts_);
    case ReplyDeviceError: return SlotBytes(replyError_);
    case ReplyRingBlock: return SlotBytes(reply19_);
    default: return {};
    }
}

void TDevice::ClearReplySlots()
{
    auto guard = Lock();
    lastReplyType_.store(0);
    paramBlocks0to3_.Clear();
    for (auto& block : paramBlocks8to11_)
        block.fill(0);
    for (auto& block : paramBlocks16to19_)
        block.fill(0);
    paramBlock56_.fill(0);
    for (auto& reg : infoRegs0to7_)
        reg.fill(0);
    infoReg16_.fill(0);
    infoReg25_.fill(0);
    replyAck_.fill(0);
    replyShotBankCounts_.fill(0);
    replyError_.fill(0);
    replyShotResult_.Clear();
    replyT0_.Clear();
    replyT1_.Clear();
    replyT2_.Clear();
    reply11_.fill(0);
    reply13_.fill(0);
    reply14_.fill(0);
    reply16_.fill(0);
    reply19_.fill(0);
    for (auto& flag : replyArrived_)
        flag.store(false);
    anyReplyArrived_.store(false);
}

// ---- Sample rings -----------------------------------------------------------------------------

void TDevice::AddTraceSample(uint8_t* frame)
{
    TraceSample sample;
    std::memcpy(sample.data(), frame, TraceSample::Size);
    if (mode_.load() == ShotScoring::ClassicMode && zero_.HasOffset()) {
        sample.SetX(ShotScoring::ZeroCorrected(sample.X(), zero_.offsetX));
        sample.SetY(ShotScoring::ZeroCorrected(sample.Y(), zero_.offsetY));
    }
    ShotScoring::ConvertAngles(sample);
    std::memcpy(frame, sample.data(), TraceSample::Size);
    lastLiveSample_ = sample;
    StoreSample(&sample, nullptr, nullptr);
    if (sample.Failures() != 0) {
        aimingTime_.store(0);
        damaged_.aimingRestarted = true;
    } else
        aimingTime_.fetch_add(SampleMs);
    if (listener_)
        listener_->OnSamples();
}

void TDevice::StoreSample(const TraceSample* t0, const SampleT1* t1, const SampleT2* t2)
{
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
    ++damaged_.storedSince;
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

void TDevice::ClearTrace()
{
    for (auto& s : *t0Ring_)
        s.Clear();
    for (auto& s : *t1Ring_)
        s.Clear();
    for (auto& s : *t2Ring_)
        s.Clear();
    ringIndex_ = 0;
    ringWrapped_ = false;
}

void TDevice::ResetSampleBuffers()
{
    auto guard = Lock();
    ClearTrace();
}

int TDevice::RingIndex() const
{
    auto guard = Lock();
    return ringIndex_;
}

bool TDevice::RingWrapped() const
{
    auto guard = Lock();
    return ringWrapped_;
}

int TDevice::FlaggedRun() const
{
    auto guard = Lock();
    return flaggedRun_;
}

int TDevice::DropCount() const
{
    auto guard = Lock();
    return dropCount_;
}

TraceSample TDevice::T0Slot(int i) const
{
    auto guard = Lock();
    return i >= 0 && i < RingCapacity ? (*t0Ring_)[std::size_t(i)] : TraceSample {};
}

SampleT1 TDevice::T1Slot(int i) const
{
    auto guard = Lock();
    return i >= 0 && i < RingCapacity ? (*t1Ring_)[std::size_t(i)] : SampleT1 {};
}

SampleT2 TDevice::T2Slot(int i) const
{
    auto guard = Lock();
    return i >= 0 && i < RingCapacity ? (*t2Ring_)[std::size_t(i)] : SampleT2 {};
}

TLiveSnapshot TDevice::LiveSnapshot() const
{
    auto guard = Lock();
    TLiveSnapshot live;
    live.sample = lastLiveSample_;
    live.status = lastLiveSample_.Failures();
    live.tilt = lastLiveSample_.Tilt();
    live.cant = lastLiveSample_.Rotation();
    return live;
}

RawShotRecord TDevice::LastResult() const
{
    auto guard = Lock();
    return lastResult_;
}

// ---- Shooter, listener, targets ----------------------------------------------------------------

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

bool TDevice::UnlinkShooter(const TShooter* shooter)
{
    auto guard = Lock();
    if (!shooter || shooter_ != shooter)
        return false;
    shooter_ = nullptr;
    return true;
}

void TDevice::SetShooterTarget(const TargetDescription& target)
{
    auto guard = Lock();
    if (shooter_)
        shooter_->currentTarget = target;
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

DeviceSetup TDevice::TargetTables() const
{
    auto guard = Lock();
    return targetTables_;
}

void TDevice::SetTargetTables(const DeviceSetup& tables)
{
    auto guard = Lock();
    targetTables_ = tables;
}

void TDevice::SetRingTarget(int number, const RingTargetRecord& record)
{
    if (!IsTargetSlot(number))
        throw Exception("Invalid target");
    auto guard = Lock();
    targetTables_.ringTargets[std::size_t(number)] = record;
    targetTables_.ringDefined[std::size_t(number)] = 1;
}

void TDevice::SetSilhouetteTarget(int number, const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix)
{
    if (!IsTargetSlot(number))
        throw Exception("Invalid target");
    auto guard = Lock();
    targetTables_.silhouetteTargets[std::size_t(number)] = record;
    targetTables_.silhouetteMatrices[std::size_t(number)] = matrix;
    targetTables_.silhouetteDefined[std::size_t(number)] = 1;
}

bool TDevice::RingTargetDefined(int number) const
{
    auto guard = Lock();
    return IsTargetSlot(number) && targetTables_.ringDefined[std::size_t(number)] != 0;
}

bool TDevice::SilhouetteTargetDefined(int number) const
{
    auto guard = Lock();
    return IsTargetSlot(number) && targetTables_.silhouetteDefined[std::size_t(number)] != 0;
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
    // Units number their shots one after the other (from 1): a gap after a
    // damaged result means it was a shot, and the samples before the damage
    // were its trace, not this one's.
    const int expected = lastShotNumber_ < 0 ? 1 : (lastShotNumber_ + 1) & 0xFF;
    if (damaged_.active && result.ShotNumber() != expected) {
        KeepSamplesSinceDamage();
        if (numberedThisRun_.load())
            DebugLog(QStringLiteral("COM%1: shot %2 lost on the line; its trace is dropped")
                         .arg(comNumber_.load())
                         .arg(expected));
    }
    damaged_ = {};
    lastShotNumber_ = result.ShotNumber();
    numberedThisRun_.store(true);
    ShotScoring::ShotIntakeContext context;
    context.mode = mode_.load();
    context.liveStarted = liveStarted_.load();
    context.zeroing = zeroing_.load();
    context.currentTarget = &currentTarget_;
    // Without a shooter (download finished, session closed) nothing is
    // scored and nothing stored.
    context.shooterTarget = shooter_ ? &shooter_->currentTarget : nullptr;
    const ShotScoring::ShotIntakeOutcome outcome =
        ShotScoring::OnShotResult(result, context, zero_, std::span<TraceSample>(*t0Ring_));
    lastResult_ = outcome.lastResult;
    if (async_.downloadActive.load() && !async_.downloadComplete.load()) {
        if (!resultForRequest_)
            ++downloadReceived_;
        resultForRequest_ = true;
    }
    if (outcome.dropSamples)
        dropCount_ = PostShotDropLength;
    if (outcome.addShot && shooter_) {
        ShotScoring::AddShotFromResult(*shooter_, result, std::span<const TraceSample>(*t0Ring_), ringIndex_,
                                       ringWrapped_, aimingTime_.load(), outcome.converted);
        SessionUnsaved.store(true);
    }
    ClearTrace();
    aimingTime_.store(0);
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

void TDevice::RestorePreviousZero()
{
    auto guard = Lock();
    zero_.offsetX = zero_.previousX;
    zero_.offsetY = zero_.previousY;
}

void TDevice::SetZeroOffsets(double x, double y)
{
    auto guard = Lock();
    zero_.offsetX = x;
    zero_.offsetY = y;
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
    RescoreReport report = ::RescoreDownloadedShots(*shooter_, targetTables_, currentTarget_);
    if (!report.error.isEmpty())
        DebugLog(QStringLiteral("COM%1: %2 (%3 shots skipped)").arg(comNumber_.load()).arg(report.error).arg(report.skipped));
    return report;
}

// ---- Asynchronous state -------------------------------------------------------------------------

bool TDevice::Identifying() const
{
    return async_.identifyRunning.load() && !async_.identifyFinished.load();
}

void TDevice::ResetAsyncState()
{
    auto guard = Lock();
    async_.Reset();
}
