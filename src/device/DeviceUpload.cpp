// The asynchronous setup upload: one frame per ack of the unit, so several
// units can be programmed at once without blocking the GUI. Every step but
// the first runs on the port's event thread, inside HandleFrame, under the
// device lock.
#include "Device.h"

#include "Globals.h"

namespace {

constexpr int UploadStallMs = 3000;

void CheckTargetNumber(int number, const char* what)
{
    if (number < 0 || number >= DeviceSetup::SlotCount)
        throw Exception(QStringLiteral("%1 %2").arg(QString::fromUtf8(what)).arg(number));
}

} // namespace

void TDevice::StartAsyncUpload()
{
    auto lock = Lock();
    async.uploadDone = false;
    async.uploadRequested = true;
    try {
        // Checked here so a bad number is refused before the unit is touched.
        if (async.ringPending)
            CheckTargetNumber(async.ringTargetNumber, "Bad ring target number");
        if (async.silhouettePending)
            CheckTargetNumber(async.silhouetteTargetNumber, "Bad silhouette target number");
        AsyncUploadStep();
    } catch (const std::exception& e) {
        // The poller sees the abort at once instead of waiting for the stall.
        DebugLog(QStringLiteral("COM%1: upload not started: %2").arg(comNumber.load()).arg(QString::fromUtf8(e.what())));
        async.abort = true;
    }
}

void TDevice::AsyncUploadStep()
{
    auto lock = Lock();
    TDeviceAsyncState& s = async;
    s.activityTick = DeviceTickMs();
    ++s.uploadStepCount;
    if (!s.uploadRequested || s.uploadDone)
        return;

    TDataHandler& data = Data();

    if (!s.setupModeEntered && (s.ringPending || s.silhouettePending || s.settingsPending)) {
        data.WriteFrame(BuildEnterSetupMode());
        s.setupModeEntered = true;
        s.ringStep = 0;
        s.silhouettePacketStep = 0;
        s.settingsStep = 0;
        return;
    }

    if (s.ringPending) {
        const int number = s.ringTargetNumber;
        const int step = s.ringStep++;
        if (step >= 0 && step < RingBlockCount) {
            CheckTargetNumber(number, "Bad ring target number");
            data.WriteFrame(BuildRingTargetBlock(number, step, targetTables.ringTargets[std::size_t(number)]));
            return;
        }
        if (step != RingBlockCount)
            throw Exception("Illegate state async upload ring");
        s.ringPending = false; // all four blocks acknowledged: go on at once
    }

    if (s.silhouettePending) {
        const int number = s.silhouetteTargetNumber;
        const std::size_t slot = std::size_t(number);
        switch (s.silhouettePacketStep.load()) {
        case 0:
            CheckTargetNumber(number, "Bad silhouette target number");
            data.WriteFrame(BuildSilhouettePacket(number, 0, targetTables.silhouetteTargets[slot],
                                                  targetTables.silhouetteMatrices[slot]));
            s.silhouettePacketStep = 1;
            return;
        case 1:
            CheckTargetNumber(number, "Bad silhouette target number");
            data.WriteFrame(BuildSilhouettePacket(number, 1, targetTables.silhouetteTargets[slot],
                                                  targetTables.silhouetteMatrices[slot]));
            s.silhouettePacketStep = 2;
            s.silhouetteRow = 0;
            return;
        case 2: {
            CheckTargetNumber(number, "Bad silhouette target number");
            const int row = s.silhouetteRow;
            if (row < 0 || row >= SilhouetteMatrix::Rows)
                throw Exception("Illegate state async upload silhouette");
            data.WriteFrame(BuildSilhouettePacket(number, SilhouetteHeaderPackets + row,
                                                  targetTables.silhouetteTargets[slot],
                                                  targetTables.silhouetteMatrices[slot]));
            s.silhouetteRow = row + 1;
            if (row == SilhouetteMatrix::Rows - 1)
                s.silhouettePacketStep = 3;
            return;
        }
        case 3:
            s.silhouettePending = false;
            break;
        default:
            throw Exception("Illegate state async upload silhouette");
        }
    }

    if (s.settingsPending) {
        const uint8_t* blocks = GetSettingsBlock();
        const int step = s.settingsStep++;
        switch (step) {
        case 0:
            data.WriteFrame(BuildEnterSetupMode());
            return;
        case 1:
        case 2:
        case 3:
            data.WriteFrame(BuildSetupBlock(step - 1, blocks + 16 * (step - 1), false));
            return;
        case 4:
            // Bank 6 first, then 0 to 5: the order the unit has always been sent.
            data.WriteFrame(BuildClearShotBank(6));
            return;
        case 5: case 6: case 7: case 8: case 9: case 10:
            data.WriteFrame(BuildClearShotBank(step - 5));
            return;
        case 11:
            data.WriteFrame(BuildSetupBlock(3, blocks + 48, true));
            return;
        case 12:
            // The counts answer (type 17) is only stored; the ack of the
            // leave-setup command below ends the upload.
            data.WriteFrame(BuildRequestInfo(32));
            s.settingsPending = false;
            break;
        default:
            throw Exception("Illegate state async upload settings");
        }
    }

    if (s.setupModeEntered) {
        data.WriteFrame(BuildLeaveSetupMode());
        s.setupModeEntered = false;
    } else {
        s.uploadDone = true;
    }
}

bool TDevice::IsUploadStalled() const
{
    return async.uploadRequested && !async.uploadDone
        && DeviceTickMs() - async.activityTick.load() > UploadStallMs;
}
