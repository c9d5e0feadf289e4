// The asynchronous setup upload: one frame per ack of the unit, so several
// units can be programmed at once without blocking the GUI. Every step but
// the first runs on the port's event thread, inside HandleFrame, under the
// device lock.
#include "Device.h"

#include "Globals.h"

#include <algorithm>

namespace {

constexpr int UploadStallMs = 3000;

void CheckTargetNumber(int number, const char* what)
{
    if (number < 0 || number >= DeviceSetup::SlotCount)
        throw Exception(QStringLiteral("%1 %2").arg(QString::fromUtf8(what)).arg(number));
}

} // namespace

void TDevice::StartAsyncUpload(const TUploadPlan& plan)
{
    try {
        {
            auto lock = Lock();
            TDeviceAsyncState& s = async_;
            s.setupModeEntered = false;
            s.ringPending = plan.ringTarget >= 0;
            s.ringTargetNumber = std::max(plan.ringTarget, 0);
            s.ringStep = 0;
            s.silhouettePending = plan.silhouetteTarget >= 0;
            s.silhouetteTargetNumber = std::max(plan.silhouetteTarget, 0);
            s.silhouettePacketStep = 0;
            s.silhouetteRow = 0;
            s.settingsPending = plan.settings;
            s.settingsStep = 0;
            s.uploadStepCount = 0;
            // An error report of an earlier sequence is not this upload's.
            s.abort = false;
            s.uploadDone = false;
            s.uploadRequested = true;
            // Checked here so a bad number is refused before the unit is touched.
            if (s.ringPending)
                CheckTargetNumber(plan.ringTarget, "Bad ring target number");
            if (s.silhouettePending)
                CheckTargetNumber(plan.silhouetteTarget, "Bad silhouette target number");
            AsyncUploadStep();
        }
        FlushOutbox();
    } catch (const std::exception& e) {
        // The poller sees the abort at once instead of waiting for the stall.
        DebugLog(QStringLiteral("COM%1: upload not started: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        async_.abort = true;
    }
}

void TDevice::AsyncUploadStep()
{
    TDeviceAsyncState& s = async_;
    s.activityTick = DeviceTickMs();
    ++s.uploadStepCount;
    if (!s.uploadRequested || s.uploadDone)
        return;

    if (!s.setupModeEntered && (s.ringPending || s.silhouettePending || s.settingsPending)) {
        Send(BuildEnterSetupMode());
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
            Send(BuildRingTargetBlock(number, step, targetTables_.ringTargets[std::size_t(number)]));
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
            Send(BuildSilhouettePacket(number, 0, targetTables_.silhouetteTargets[slot],
                                                  targetTables_.silhouetteMatrices[slot]));
            s.silhouettePacketStep = 1;
            return;
        case 1:
            CheckTargetNumber(number, "Bad silhouette target number");
            Send(BuildSilhouettePacket(number, 1, targetTables_.silhouetteTargets[slot],
                                                  targetTables_.silhouetteMatrices[slot]));
            s.silhouettePacketStep = 2;
            s.silhouetteRow = 0;
            return;
        case 2: {
            CheckTargetNumber(number, "Bad silhouette target number");
            const int row = s.silhouetteRow;
            if (row < 0 || row >= SilhouetteMatrix::Rows)
                throw Exception("Illegate state async upload silhouette");
            Send(BuildSilhouettePacket(number, SilhouetteHeaderPackets + row,
                                                  targetTables_.silhouetteTargets[slot],
                                                  targetTables_.silhouetteMatrices[slot]));
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
        const uint8_t* blocks = paramBlocks0to3_.data();
        const int step = s.settingsStep++;
        switch (step) {
        case 0:
            Send(BuildEnterSetupMode());
            return;
        case 1:
        case 2:
        case 3:
            Send(BuildSetupBlock(step - 1, blocks + 16 * (step - 1), false));
            return;
        case 4:
            // Bank 6 first, then 0 to 5: the order the unit has always been sent.
            Send(BuildClearShotBank(6));
            return;
        case 5: case 6: case 7: case 8: case 9: case 10:
            Send(BuildClearShotBank(step - 5));
            return;
        case 11:
            Send(BuildSetupBlock(3, blocks + 48, true));
            return;
        case 12:
            // The counts answer (type 17) is only stored; the ack of the
            // leave-setup command below ends the upload.
            Send(BuildRequestInfo(32));
            s.settingsPending = false;
            break;
        default:
            throw Exception("Illegate state async upload settings");
        }
    }

    if (s.setupModeEntered) {
        Send(BuildLeaveSetupMode());
        s.setupModeEntered = false;
    } else {
        s.uploadDone = true;
    }
}

bool TDevice::IsUploadStalled() const
{
    return async_.uploadRequested && !async_.uploadDone
        && DeviceTickMs() - async_.activityTick.load() > UploadStallMs;
}
