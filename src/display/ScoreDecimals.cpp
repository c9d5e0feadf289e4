#include "ScoreDecimals.h"

#include "Shotdata.h"

bool ShotScoredInTenths(const TShooter& shooter, const RawShotRecord& raw)
{
    const int slot = raw.RingTargetIndex();
    if (slot >= 0 && slot < DeviceSetup::SlotCount && shooter.targets.ringDefined[std::size_t(slot)])
        return shooter.targets.ringTargets[std::size_t(slot)].DecimalScores();
    return shooter.currentTarget.ringRecord.DecimalScores();
}

bool ShooterScoredInTenths(const TShooter& shooter)
{
    bool tenths = shooter.currentTarget.ringRecord.DecimalScores();
    shooter.ForEachShot([&](const TShot& shot) {
        if (shot.raw.RingTargetIndex() < DeviceSetup::SlotCount)
            tenths = ShotScoredInTenths(shooter, shot.raw);
    });
    return tenths;
}
