#include "FormShooterDevice.h"

#include "Globals.h"

namespace ViewerDevice {

void RestorePreviousZero(TDevice& device)
{
    // Needs a device operation that sets the offsets back to the saved ones.
    (void)device;
    DebugLog(QStringLiteral("Zeroing: previous offsets not restored"));
}

void ZeroOffsetsForZeroing(TDevice& device)
{
    // Zeroing starts from no offset; the history is empty at this point, so
    // computing the zero clears the offsets and keeps the previous ones.
    device.ComputeZero();
}

std::unique_ptr<TShooter> CopyForSaving(const TShooter& shooter, int& shotsCopied)
{
    auto copy = std::make_unique<TShooter>();
    copy->name = shooter.name;
    copy->team = shooter.team;
    copy->index = shooter.index;
    copy->serialNumber = shooter.serialNumber;
    copy->targets = shooter.targets;
    copy->currentTarget = shooter.currentTarget;
    copy->setupBlocks = shooter.setupBlocks;
    shotsCopied = 0;
    for (TShot* shot : shooter.SnapshotShots()) {
        copy->AppendShot(std::make_unique<TShot>(*shot));
        ++shotsCopied;
    }
    return copy;
}

} // namespace ViewerDevice
