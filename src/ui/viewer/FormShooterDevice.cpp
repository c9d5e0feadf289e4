#include "FormShooterDevice.h"

namespace ViewerDevice {

std::unique_ptr<TShooter> CopyForSaving(const TShooter& shooter, int& shotsCopied)
{
    auto copy = std::make_unique<TShooter>();
    copy->name = shooter.name;
    copy->team = shooter.team;
    copy->index = shooter.index;
    copy->SetIdentity(shooter.SerialNumber(), shooter.GetSetupBlocks());
    copy->targets = shooter.targets;
    copy->currentTarget = shooter.currentTarget;
    shotsCopied = 0;
    for (TShot* shot : shooter.SnapshotShots()) {
        copy->AppendShot(std::make_unique<TShot>(*shot));
        ++shotsCopied;
    }
    return copy;
}

} // namespace ViewerDevice
