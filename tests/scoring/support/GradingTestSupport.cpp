#include "GradingTestSupport.h"

#include "Globals.h"
#include "Shotdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

RawShotRecord ShotResult(int x, int y, int failures)
{
    RawShotRecord r;
    r.b[0] = 0xCA;
    r.SetXNAU(x);
    r.SetYNAU(y);
    r.SetFailures(failures);
    return r;
}

QString WriteGradingFile(const QByteArray& text)
{
    static QTemporaryDir dir;
    static int serial = 0;
    const QString path = dir.filePath(QStringLiteral("grading%1.tgp").arg(++serial));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

QString ShippedGradingFile()
{
    return QStringLiteral("../assets/files/grading_default.tgp");
}

RingTargetRecord MakeRingTarget(int hitRingGap, int highestRing)
{
    RingTargetRecord ring;
    ring.SetNameText(QStringLiteral("Test ring"));
    ring.SetHighestRing(highestRing);
    ring.SetMinimumRing(1);
    ring.SetHitRingGap(hitRingGap);
    ring.SetDiameterHighestRing(hitRingGap);
    ring.SetNominalDistance(100);
    return ring;
}

std::vector<TraceSample> MakeTrace(int count, const SampleFunction& f)
{
    std::vector<TraceSample> trace(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int x = 0;
        int y = 0;
        int failures = 0;
        f(i, x, y, failures);
        trace[size_t(i)].SetX(x);
        trace[size_t(i)].SetY(y);
        trace[size_t(i)].SetFailures(failures);
    }
    return trace;
}

std::unique_ptr<TShooter> MakeShooter(const RingTargetRecord& ring)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->SetSerialNumber(QStringLiteral("T-1"));
    shooter->targets.ringTargets[0] = ring;
    shooter->targets.ringDefined[0] = 1;
    return shooter;
}

void AddTracedShot(TShooter& shooter, const std::vector<TraceSample>& trace, int scoreTenths, int timeKey,
                   int hitX, int hitY)
{
    auto shot = std::make_unique<TShot>();
    shot->raw.SetFunctionMode(1);
    shot->raw.SetRingTargetIndex(0);
    shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->raw.SetScore(scoreTenths);
    shot->raw.SetTime(uint32_t(timeKey));
    shot->raw.SetX(hitX);
    shot->raw.SetY(hitY);
    shot->AllocateCurve(int(trace.size()));
    if (!trace.empty())
        std::memcpy(static_cast<void*>(shot->Curve()), trace.data(), trace.size() * sizeof(TraceSample));
    shooter.AddShot(std::move(shot));
}
