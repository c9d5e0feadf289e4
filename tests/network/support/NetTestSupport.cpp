#include "NetTestSupport.h"

#include "Shotdata.h"
#include "TestTargets.h"

void AddNetShot(TShooter& shooter, int points)
{
    const int i = shooter.ShotCount();
    auto shot = std::make_unique<TShot>();
    shot->raw.SetShotNumber(i + 1);
    shot->raw.SetXNAU(10 * i);
    shot->raw.SetYNAU(-5 * i);
    shot->raw.SetX(60 * (i % 5) - 120);
    shot->raw.SetY(45 - 30 * (i % 4));
    shot->raw.SetRingTargetIndex(0);
    shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->raw.SetFunctionMode(1);
    shot->raw.SetStartupCounter(1);
    shot->raw.SetTime(uint32_t(66 * (i + 1)));
    shot->raw.SetScore(100 - i % 100);
    shot->AllocateCurve(points);
    shooter.AppendShot(std::move(shot));
}

TShooter* AddNetShooter(TSession& session, const QString& serial, const QString& name, int shots, int points)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->name = name;
    shooter->index = session.ShooterCount() + 1;
    shooter->SetSerialNumber(serial);
    shooter->currentTarget = GoldenRing();
    shooter->targets.ringTargets[0] = GoldenRingRecord();
    shooter->targets.ringDefined[0] = 1;
    TShooter* added = session.AddShooter(std::move(shooter));
    for (int i = 0; i < shots; ++i)
        AddNetShot(*added, points);
    return added;
}

QByteArray Wrap(const QByteArray& body, const QByteArray& root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<" + root + ">\r\n" + body + "\r\n</" + root + ">\r\n";
}
