// The blocking transfers of the GUI thread: start and stop measuring, target
// reads and writes, bank erasure, the targets downloaded shots refer to, and
// text on the unit's display. Each frame is answered before the next goes
// out; a missing answer ends the transfer with false and nothing is retried.
// The device lock is never held while waiting: the answers are handled on
// the event thread, which needs it.
#include "Device.h"

#include "Globals.h"
#include "Shotdata.h"

#include <QCoreApplication>

namespace {

constexpr int SetupModeTimeoutMs = 10000;
constexpr int RingBlockAckTimeoutMs = 2000;
constexpr int RingReadTimeoutMs = 10000;
constexpr int SilhouettePacketAckTimeoutMs = 1000;
constexpr int SilhouetteReadTimeoutMs = 5000;
constexpr int BankEraseTimeoutMs = 2000;
constexpr int BankCount = 7;

bool ValidTargetNumber(int number) { return number >= 0 && number < DeviceSetup::SlotCount; }

void LogTransferFailure(const TDevice& device, const std::exception& e)
{
    DebugLog(QStringLiteral("COM%1: %2").arg(device.ComNumber()).arg(QString::fromUtf8(e.what())));
}

// Sends the frame and waits for the answer. A port that cannot be written
// (unplugged, closed) is a failed transfer, not an escape from the caller's
// false-on-failure contract.
bool Exchange(TDevice& device, const Frame& frame, int type, int timeoutMs)
{
    try {
        return device.SendAndWait(frame, type, timeoutMs);
    } catch (const std::exception& e) {
        LogTransferFailure(device, e);
        return false;
    }
}

// Writes without waiting; false when the port refused the frame.
bool SendOnly(TDevice& device, const Frame& frame)
{
    try {
        device.Data().WriteFrame(frame);
        return true;
    } catch (const std::exception& e) {
        LogTransferFailure(device, e);
        return false;
    }
}

} // namespace

void TDevice::StartMeasuring(int mode)
{
    const Frame frame = BuildStartMeasuring(mode);
    if (mode == 2)
        ClearZeroOffsets();
    mode_ = mode;
    // Zeroed before the command: the first sample may follow it at once.
    sampleCount_ = 0;
    numberedThisRun_ = false;
    Data().WriteFrame(frame);
    measuring_ = true;
}

void TDevice::SendStop()
{
    // Not measuring afterwards even when the port is gone: nothing streams.
    // Nor live: shots that arrive from now on (a download) are stored as the
    // unit sent them, for the rescoring.
    measuring_ = false;
    liveStarted_ = false;
    Data().WriteFrame(BuildStop());
}

bool TDevice::WriteRingTarget(int number, const RingTargetRecord& record)
{
    if (number < 0 || number > 255)
        throw Exception(QStringLiteral("Bad ring target number %1").arg(number));
    if (!Exchange(*this, BuildEnterSetupMode(), ReplyAck, SetupModeTimeoutMs))
        return false;
    for (const Frame& frame : BuildRingTargetFrames(number, record)) {
        if (!Exchange(*this, frame, ReplyAck, RingBlockAckTimeoutMs))
            return false;
    }
    return Exchange(*this, BuildLeaveSetupMode(), ReplyAck, SetupModeTimeoutMs);
}

bool TDevice::WriteSilhouetteTarget(int number, const SilhouetteTargetRecord& record,
                                    const SilhouetteMatrix& matrix)
{
    if (!Exchange(*this, BuildEnterSetupMode(), ReplyAck, SetupModeTimeoutMs))
        return false;
    for (const Frame& frame : BuildSilhouetteFrames(number, record, matrix)) {
        if (!Exchange(*this, frame, ReplyAck, SilhouettePacketAckTimeoutMs)) {
            // Closes the half-written target on the unit; no answer awaited.
            SendOnly(*this, BuildStop());
            return false;
        }
    }
    return Exchange(*this, BuildStop(), ReplyAck, SetupModeTimeoutMs);
}

bool TDevice::ReadRingTarget(int number)
{
    // The table holds 16 targets; anything else would be written past it.
    if (!ValidTargetNumber(number))
        return false;
    RingTargetRecord record;
    QByteArray reply;
    const auto requests = BuildRingTargetRequests(number);
    for (int block = 0; block < RingBlockCount; ++block) {
        if (!Exchange(*this, requests[std::size_t(block)], ReplyRingBlock, RingReadTimeoutMs))
            return false;
        reply = ReplySlot(ReplyRingBlock);
        if (reply.size() < 21)
            return false;
        ApplyRingBlockReply(record, block, reinterpret_cast<const uint8_t*>(reply.constData()));
    }
    if (!IsLastRingBlockReply(reinterpret_cast<const uint8_t*>(reply.constData())))
        return false;
    SetRingTarget(number, record);
    return true;
}

bool TDevice::ReadSilhouetteTarget(int number)
{
    if (!ValidTargetNumber(number))
        return false;
    const std::size_t slot = std::size_t(number);
    {
        auto lock = Lock();
        targetTables_.silhouetteDefined[slot] = 0;
        targetTables_.silhouetteTargets[slot].Clear();
        targetTables_.silhouetteMatrices[slot].Clear();
    }
    // Read into copies: the event thread may score with the tables meanwhile.
    SilhouetteTargetRecord record;
    auto matrix = std::make_unique<SilhouetteMatrix>();
    const auto requests = BuildSilhouetteRequests(number);
    for (int packet = 0; packet < SilhouettePacketCount; ++packet) {
        if (!Exchange(*this, requests[std::size_t(packet)], ReplySilhouettePacket, SilhouetteReadTimeoutMs))
            return false;
        const QByteArray reply = ReplySlot(ReplySilhouettePacket);
        if (reply.size() < 21)
            return false;
        ApplySilhouettePacketReply(record, *matrix, packet, reinterpret_cast<const uint8_t*>(reply.constData()));
    }
    SetSilhouetteTarget(number, record, *matrix);
    return true;
}

bool TDevice::ClearShotBanks()
{
    // Events are let through below: a device drop handled there must not
    // delete this device under the loop (the manager defers it).
    struct TPumpScope {
        std::atomic<int>& depth;
        explicit TPumpScope(std::atomic<int>& d) : depth(d) { ++depth; }
        ~TPumpScope() { --depth; }
        TPumpScope(const TPumpScope&) = delete;
        TPumpScope& operator=(const TPumpScope&) = delete;
    } scope(pumpedTransfers_);
    if (!Exchange(*this, BuildEnterSetupMode(), ReplyAck, SetupModeTimeoutMs))
        return false;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    // Every bank gets its erase even when one was not acknowledged, but a
    // missing ack means that bank may still hold its shots.
    bool allErased = true;
    for (int bank = 0; bank < BankCount; ++bank) {
        if (!Exchange(*this, BuildClearShotBank(bank), ReplyAck, BankEraseTimeoutMs))
            allErased = false;
    }
    const bool stopped = Exchange(*this, BuildStop(), ReplyAck, BankEraseTimeoutMs);
    return stopped && allErased;
}

bool TDevice::ReadMissingTargets()
{
    std::array<bool, DeviceSetup::SlotCount> rings {};
    std::array<bool, DeviceSetup::SlotCount> silhouettes {};
    if (TShooter* shooter = Shooter()) {
        shooter->ForEachShot([&](const TShot& shot) {
            const int ring = shot.raw.RingTargetIndex();
            const int silhouette = shot.raw.SilhouetteTargetIndex();
            if (ValidTargetNumber(ring))
                rings[std::size_t(ring)] = true;
            if (ValidTargetNumber(silhouette))
                silhouettes[std::size_t(silhouette)] = true;
        });
    }
    for (int n = 0; n < DeviceSetup::SlotCount; ++n) {
        const std::size_t slot = std::size_t(n);
        if (rings[slot] && !RingTargetDefined(n))
            ReadRingTarget(n);
        if (silhouettes[slot] && !SilhouetteTargetDefined(n))
            ReadSilhouetteTarget(n);
    }
    return true;
}

void TDevice::SendDisplayText(const QString& text)
{
    ClearReplySlots();
    Data().SetTextMark(true);
    Data().SendTextLines(text, 0, -1);
}
