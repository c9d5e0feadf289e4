#include "SessionFixtures.h"

#include "Shotfile.h"

#include <QFile>

#include <algorithm>

namespace Fixtures {

RingTargetRecord RingAsRead(RingTargetRecord t)
{
    t.SetPrismPlaceX(0);
    t.SetPrismPlaceY(0);
    return t;
}

RingTargetRecord AirRifleRing()
{
    RingTargetRecord t;
    t.SetNameText(QStringLiteral("Air Rifle"));
    t.SetDecimalScores(true);
    t.SetNominalDistance(100);   // 10.0 m
    t.SetCaliber(450);           // 4.50 mm
    t.SetHighestRing(10);
    t.SetMinimumRing(1);
    t.SetHIBMinScore(90);
    t.SetTargetWidth(8);
    t.SetTargetHeight(8);
    t.SetDiameterInnerWhite(5);
    t.SetDiameterBlackArea(305);
    t.SetDiameterHighestRing(5);
    t.SetHitRingGap(25);
    return t;
}

SilhouetteTargetRecord TorsoSilhouette()
{
    SilhouetteTargetRecord t;
    t.SetNameText(QStringLiteral("Torso"));
    t.SetDistanceInYards(true);
    t.SetSizeInInch(true);
    t.SetNominalDistance(2187);  // 218.7 yd
    t.SetSize(197);              // 19.7 inch
    t.SetWidth(19.7);
    t.SetHeight(19.7);
    t.SetPrismPlaceX(-12);
    t.SetPrismPlaceY(34);
    return t;
}

SilhouetteMatrix AsymmetricMatrix()
{
    SilhouetteMatrix m;
    const uint8_t header[8] = { 64, 0, 0, 0, 64, 0, 0, 0 };
    std::copy(header, header + 8, m.b.begin());
    m.SetCell(5, 1, 1);
    m.SetCell(1, 5, 2);
    m.SetCell(63, 0, 3);
    m.SetCell(0, 63, 1);
    for (int c = 20; c < 30; ++c)
        m.SetCell(c, 40, 2);
    return m;
}

ModeBlock ClassicRingMode()
{
    ModeBlock b;
    b.SetRingTargetEnabled(true);
    b.SetHIBEnable(true);
    b.SetSleepEnable(true);
    b.SetDisplayEnable(true);
    b.SetSoundEnable(true);
    b.SetRingTargetNumber(0);
    b.SetSilhouetteTargetNumber(1);
    b.SetNumberOfPrisms(3);
    b.SetNumberOfBullets(10);
    b.SetWakeupAngle(30);
    b.SetShotRejectionAngle(15);
    b.SetSleepTimeout(20);
    b.SetTriggerSensitivity(4);
    b.SetCockingDelay(5);
    return b;
}

ModeBlock DynamicSilhouetteMode()
{
    ModeBlock b;
    b.SetSilhouetteEnabled(true);
    b.SetSilhouetteTargetNumber(1);
    b.SetNumberOfPrisms(2);
    b.SetCockingDelay(3);
    return b;
}

std::unique_ptr<TShot> RingShot()
{
    auto shot = std::make_unique<TShot>();
    RawShotRecord& r = shot->raw;
    r.b[0] = 0xCA;
    r.b[1] = 'j';
    r.SetShotNumber(1);
    r.SetXNAU(250);
    r.SetYNAU(-100);
    r.SetRotation(-2);
    r.SetRingTargetIndex(0);
    r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    r.SetFunctionMode(1);
    r.SetStartupCounter(3);
    r.SetTime(1000);
    r.SetScore(95);
    r.SetClockSector(3);
    r.SetInnerTen(true);
    r.SetX(123);
    r.SetY(-45);
    shot->aimingTime = 1500;
    shot->AllocateCurve(3);
    TraceSample* s = shot->Curve();
    s[0].SetX(10);
    s[0].SetY(20);
    s[1].SetX(-5);
    s[1].SetY(3);
    s[1].SetFailures(16);
    return shot;
}

std::unique_ptr<TShot> SilhouetteShot()
{
    auto shot = std::make_unique<TShot>();
    RawShotRecord& r = shot->raw;
    r.b[0] = 0xCA;
    r.b[1] = 'j';
    r.SetShotNumber(2);
    r.SetXNAU(-300);
    r.SetYNAU(40);
    r.SetRotation(5);
    r.SetRingTargetIndex(RawShotRecord::NoTarget);
    r.SetSilhouetteTargetIndex(1);
    r.SetFunctionMode(2);
    r.SetStartupCounter(3);
    r.SetTime(2000);
    r.SetSilhouette(2);
    r.SetFailures(RawShotRecord::FailFOV);
    r.SetRevalm(123);
    r.SetX(1000);
    r.SetY(2005);
    return shot;
}

std::unique_ptr<TSession> SmallSession()
{
    auto session = std::make_unique<TSession>();
    session->name = QStringLiteral("Evening <A&B>");
    session->date = QStringLiteral("2024-05-17 18:30");
    auto shooter = std::make_unique<TShooter>();
    shooter->name = QString::fromUtf8("J\xC3\xB6rg Smith");
    shooter->team = QStringLiteral("Team A");
    shooter->SetSerialNumber(QStringLiteral("KBR0042"));
    shooter->targets.ringTargets[0] = AirRifleRing();
    shooter->targets.ringDefined[0] = 1;
    shooter->targets.silhouetteTargets[1] = TorsoSilhouette();
    shooter->targets.silhouetteMatrices[1] = AsymmetricMatrix();
    shooter->targets.silhouetteDefined[1] = 1;
    SetupBlocks blocks;
    blocks.SetFunctionMode(1);
    blocks.SetModeBlock(SetupBlocks::ClassicBlock, ClassicRingMode());
    blocks.SetModeBlock(SetupBlocks::DynamicBlock, DynamicSilhouetteMode());
    shooter->SetSetupBlocks(blocks);
    shooter->AddShot(RingShot());
    shooter->AddShot(SilhouetteShot());
    session->AddShooter(std::move(shooter));
    return session;
}

void SaveSession(TSession& session, const QString& path)
{
    TShotFileHandler h;
    h.SetSession(&session);
    h.BuildShotFile();
    h.Save(path);
}

std::unique_ptr<TSession> LoadSession(const QString& path)
{
    TShotFileHandler h;
    h.LoadShotFile(path);
    return h.TakeSession();
}

const char MinimalModeText[] =
    "<ModeInfo Type=\"Classic\"><CTRL1>2</CTRL1><CTRL2>0</CTRL2><RingTargetNumber>0</RingTargetNumber>"
    "<SilhouetteTargetNumber>0</SilhouetteTargetNumber><NumberOfPrisms>0</NumberOfPrisms>"
    "<NumberOfBullets>0</NumberOfBullets><WakeupAngle>0</WakeupAngle><ShotRejectionAngle>0</ShotRejectionAngle>"
    "<SleepTimeout>0</SleepTimeout><TriggerSensitivity>0</TriggerSensitivity></ModeInfo>\n";
const char MinimalRingText[] =
    "<Target Type=\"Ring\" TargetName=\"R\" TargetNumber=\"5\"><HighestRing>10</HighestRing>"
    "<MinimumRing>1</MinimumRing><TargetWidth>0</TargetWidth><TargetHeight>0</TargetHeight></Target>\n";

namespace {

// A "Key:   1234 kB" line of /proc/self/status; -1 when missing.
long long StatusKb(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("\n" + key);
    return at < 0 ? -1 : text.mid(at + key.size() + 1).trimmed().split(' ').value(0).toLongLong();
}

}  // namespace

long long PeakGrowthKb(const std::function<void()>& f)
{
    // Writing 5 resets the peak to the current resident size.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1 || !clear.flush())
        return -1;
    const long long start = StatusKb("VmRSS:");
    f();
    const long long peak = StatusKb("VmHWM:");
    return start < 0 || peak < 0 ? -1 : peak - start;
}

}  // namespace Fixtures
