#include "GradingTestSupport.h"

#include "Globals.h"
#include "Shotdata.h"

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
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

RingTargetRecord AnalysisRing() { return MakeRingTarget(160); }

TraceAnalysis Analyse(const std::vector<TraceSample>& trace, int sliceMs, int lr3SecBottom, int hitX)
{
    RawShotRecord shot;
    shot.SetRingTargetIndex(0);
    shot.SetX(hitX);
    return AnalyseTrace(trace.data(), int(trace.size()), shot, AnalysisRing(), sliceMs, lr3SecBottom);
}

double ConsecutiveDeviation(int n)
{
    return std::sqrt(n * (n + 1) / 12.0);
}

TraceAnalysis MeasuredAnalysis()
{
    TraceAnalysis a;
    a.valid = true;
    a.holdRadius = 70;     // limits 200, 100, 50: 100 met
    a.devX = 40;           // 50 met
    a.devY = 250;          // none met: loosest
    a.aimValue = 85;       // 850: 800 met
    a.cogX = 1.2;          // 98 x 10: 950 met
    a.cogY = -4.5;         // 650: loosest
    a.trendA = -0.7;       // regression A 70 <= 100; timing A -70 >= -100
    a.trendB = 0.3;        // regression B -30 <= 50; timing B 30 >= -50
    a.trendSpread = 0.75;  // 7500 <= 10000
    a.steadiness = 1.2;    // 120 <= 150
    a.timingRatio = 1.0;
    a.holdRingTrend = -0.3;
    a.trigValue = -0.3;
    a.trigTime = 0.2;
    a.trigDeviation = 1.0;
    return a;
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
