#include "ShotScoring.h"

#include "Shotdata.h"
#include "Zeroing.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <numbers>

namespace ShotScoring {

namespace {

// 180/3.14: the unit's own approximation, kept so angles match its display.
constexpr double DegreesPerRadian = 57.324840764331206;
constexpr double OneOver300 = 1.0 / 300.0;
constexpr double MuzzleToUnitMetres = 0.75;
constexpr double MetresPerYardTenth = 0.09144;
constexpr double MetresPerTenth = 0.1;
constexpr int NoTargetIndex = RawShotRecord::NoTarget;

double SizeUnitMm(const RingTargetRecord& ring)
{
    return ring.SizesInInch() ? 0.254 : 0.1;
}

const TargetDescription& EmptyTarget()
{
    static const TargetDescription empty {};
    return empty;
}

} // namespace

// ---- Angles ------------------------------------------------------------------

int AngleFromSine(int sineTimes1000)
{
    const double v = std::clamp(sineTimes1000 * 0.001, -1.0, 1.0);
    return SaturatingCast<int>(std::asin(v) * DegreesPerRadian);
}

void ConvertAngles(RawShotRecord& result)
{
    result.SetRotation(AngleFromSine(result.Rotation()));
    result.SetTilt(AngleFromSine(result.Tilt()));
}

void ConvertAngles(TraceSample& sample)
{
    sample.SetRotation(AngleFromSine(sample.Rotation()));
    sample.SetTilt(AngleFromSine(sample.Tilt()));
}

void ClearIgnoredFailures(RawShotRecord& result)
{
    constexpr int fovFsi = RawShotRecord::FailFOV | RawShotRecord::FailFSI;
    if ((result.Flags() & RawShotRecord::FlagIgnoreFovFsi) && (result.Failures() & fovFsi))
        result.SetFailures(result.Failures() & ~fovFsi);
}

// ---- Scale ---------------------------------------------------------------------

double ClassicK(int nominalDistance, bool yards)
{
    const double metres = nominalDistance * (yards ? MetresPerYardTenth : MetresPerTenth);
    return (metres - MuzzleToUnitMetres) * OneOver300;
}

double ClassicK(const RingTargetRecord& ring)
{
    return ClassicK(ring.NominalDistance(), ring.DistanceInYards());
}

double ClassicK(const SilhouetteTargetRecord& silhouette)
{
    return ClassicK(silhouette.NominalDistance(), silhouette.DistanceInYards());
}

double DynamicK(const RawShotRecord& result)
{
    return result.Revalm() * 0.1 / 300;
}

bool UsableK(double k)
{
    return std::isfinite(k) && k > 0;
}

int ZeroCorrected(int raw, double offset)
{
    return SaturatingCast<int16_t>(raw - offset);
}

int16_t Store16(double value, bool& overflowed)
{
    const double t = std::trunc(value);
    overflowed = !(t >= -32768.0 && t <= 32767.0);
    return SaturatingCast<int16_t>(value);
}

namespace {

template <class Scale>
void ScaleSample(TraceSample& sample, Scale scale)
{
    bool overX = false;
    bool overY = false;
    sample.SetX(Store16(scale(sample.X()), overX));
    sample.SetY(Store16(scale(sample.Y()), overY));
    if (overX || overY)
        sample.SetFailures(sample.Failures() | TraceSample::FailOverflow);
}

} // namespace

void ScaleSampleLive(TraceSample& sample, double k)
{
    ScaleSample(sample, [k](int v) { return v * k * 10; });
}

void ScaleSampleDownloaded(TraceSample& sample, double k)
{
    ScaleSample(sample, [k](int v) { return 10 * k * v; });
}

// ---- Ring score, sector, silhouette zone ---------------------------------------------

int ClockSector(double x, double y)
{
    if (y == 0)
        return x > 0 ? 3 : 9;
    const int sector = SaturatingCast<int>(std::atan2(-x, -y) * 6 / std::numbers::pi + 6.5);
    return sector < 1 ? 12 : sector;
}

double CaliberMm(const RingTargetRecord& ring)
{
    return ring.Caliber() * (ring.CaliberInInch() ? 0.0254 : 0.01);
}

double RingRadius(const RingTargetRecord& ring, int n)
{
    const double unit = SizeUnitMm(ring);
    const int top = ring.HighestRing();
    if (!ring.VariableRingGaps()) {
        double r = ring.DiameterHighestRing() * 0.5 * unit;
        if (n < top)
            r += (top - n) * ring.HitRingGap() * unit;
        return r;
    }
    if (n >= top)
        return ring.DiameterHighestRing() * 0.5 * unit;
    // Only eleven rings below the highest have a diameter; rings further out
    // are not part of the target.
    if (top - n > RingTargetRecord::VariableRingCount)
        return -1;
    return ring.DiameterVariableHminus(top - n) * 0.5 * unit;
}

double DecimalScore(const RingTargetRecord& ring, double r)
{
    const int top = ring.HighestRing();
    const int lowest = ring.MinimumRing();
    const double halfCaliber = CaliberMm(ring) / 2;

    const double topEdge = RingRadius(ring, top) + halfCaliber;
    if (r <= topEdge) {
        // A highest ring without size (and no calibre) holds only the dead
        // centre, which is the centre of the highest ring all the same.
        return topEdge > 0 ? top + 0.99 - 0.99 * r / topEdge : top + 0.99;
    }

    // The ring below the highest is tried even when it lies under the lowest
    // scoring ring.
    double inner = RingRadius(ring, top);
    for (int n = top - 1;; --n) {
        const double outer = RingRadius(ring, n);
        if (outer < 0)
            break;
        if (r <= outer + halfCaliber) {
            const double width = outer - inner;
            return width > 0 ? n + (outer + halfCaliber - r) / width : 0;
        }
        inner = outer;
        if (n - 1 < lowest)
            break;
    }
    return 0;
}

void CalcRingScoreAndSector(RawShotRecord& result, const TargetDescription& target)
{
    if (!target.hasRing)
        throw Exception("Calculating score and sector for non-ring target");
    const RingTargetRecord& ring = target.ringRecord;
    const double k = result.FunctionMode() == ClassicMode ? ClassicK(ring) : DynamicK(result);

    if (!UsableK(k)) {
        // No distance to place the hit: a miss; the direction still holds.
        result.SetScore(0);
        result.SetClockSector(ClockSector(result.XNAU(), result.YNAU()));
        result.SetInnerTen(false);
        return;
    }

    const double x = result.XNAU() * k;
    const double y = result.YNAU() * k;
    const double r = std::sqrt(x * x + y * y);

    result.SetScore(SaturatingCast<uint8_t>(10 * DecimalScore(ring, r)));
    result.SetClockSector(ClockSector(x, y));
    // Without a diameter there is no inner ten, not even in the centre.
    const int diameterX = ring.DiameterX();
    result.SetInnerTen(diameterX > 0 && r <= diameterX * 0.5 * SizeUnitMm(ring));
}

void CalcSilhouetteZone(RawShotRecord& result, const TargetDescription& target)
{
    if (!target.hasSilhouette)
        throw Exception("Calculating silhouette score for non-silhouette target");
    if (result.FunctionMode() != ClassicMode)
        throw Exception("Calculating silhouette score for non-classic target");

    const SilhouetteTargetRecord& silhouette = target.silhouetteRecord;
    const double k = ClassicK(silhouette);
    // Side of the square target in mm; kept whole rather than cut to 16 bits,
    // so a large inch size does not wrap into a small target.
    const long long side = silhouette.SizeInInch() ? SnapTrunc(silhouette.Size() * 2.54) : silhouette.Size();
    if (!UsableK(k) || side <= 0) {
        result.SetSilhouette(0);
        return;
    }

    const double half = double(side) * 0.5;
    const double column = result.XNAU() * k / half * 32 + 32;
    const double row = 32 - result.YNAU() * k / half * 32;
    int zone = 0;
    if (column >= 0 && column < SilhouetteMatrix::Columns && row >= 0 && row < SilhouetteMatrix::Rows)
        zone = target.silhouetteMatrix.Cell(SaturatingCast<int>(column), SaturatingCast<int>(row));
    result.SetSilhouette(zone);
}

// ---- Intake --------------------------------------------------------------------

namespace {

// Runs one scoring step; a failure leaves the bytes of that step as the unit
// sent them and is logged, since nothing on the event thread may end the
// program over one shot.
template <class F>
void TryScoring(const RawShotRecord& result, ShotIntakeOutcome& outcome, F&& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        DebugLog(QStringLiteral("Shot %1 not scored: %2").arg(result.ShotNumber()).arg(text));
        if (outcome.scoringError.isEmpty())
            outcome.scoringError = text;
    }
}

} // namespace

ShotIntakeOutcome OnShotResult(RawShotRecord& result, const ShotIntakeContext& context, ZeroState& zero,
                               std::span<TraceSample> t0Ring)
{
    ShotIntakeOutcome outcome;
    ClearIgnoredFailures(result);
    outcome.lastResult = result;
    ConvertAngles(result);

    // A downloaded shot is stored raw and converted once the download is
    // complete.
    if (!context.liveStarted) {
        outcome.addShot = !context.zeroing && context.shooterTarget != nullptr;
        return outcome;
    }

    outcome.dropSamples = true;
    const TargetDescription* shooterTarget = context.shooterTarget;
    if (shooterTarget) {
        result.SetRingTargetIndex(shooterTarget->hasRing ? 0 : NoTargetIndex);
        result.SetSilhouetteTargetIndex(shooterTarget->hasSilhouette ? 0 : NoTargetIndex);
    }

    if (context.zeroing) {
        zero.RememberZeroingResult(result);
        outcome.rememberedForZeroing = true;
        return outcome;
    }
    // Nobody to score for: the shot is not kept.
    if (!shooterTarget)
        return outcome;

    const TargetDescription& current = context.currentTarget ? *context.currentTarget : EmptyTarget();
    int x = result.XNAU();
    int y = result.YNAU();
    double k;
    if (context.mode == ClassicMode) {
        k = current.hasRing ? ClassicK(current.ringRecord) : ClassicK(current.silhouetteRecord);
        x = ZeroCorrected(x, zero.offsetX);
        y = ZeroCorrected(y, zero.offsetY);
    } else {
        k = DynamicK(result);
    }
    if (!UsableK(k)) {
        // Scaling by a negative k would mirror the hit; place nothing instead.
        DebugLog(QStringLiteral("Shot %1: no usable target distance, scored as a miss").arg(result.ShotNumber()));
        k = 0;
    }

    bool overflow = false;
    result.SetXNAU(x);
    result.SetYNAU(y);
    result.SetX(Store16((10.0 * x) * k, overflow));
    result.SetY(Store16((10.0 * y) * k, overflow));

    if (shooterTarget->hasRing)
        TryScoring(result, outcome, [&] { CalcRingScoreAndSector(result, current); });
    if (shooterTarget->hasSilhouette && context.mode == ClassicMode)
        TryScoring(result, outcome, [&] { CalcSilhouetteZone(result, current); });

    for (TraceSample& sample : t0Ring)
        ScaleSampleLive(sample, k);

    outcome.addShot = true;
    outcome.converted = true;
    return outcome;
}

int TraceLength(std::span<const TraceSample> t0Ring, int ringIndex, bool wrapped)
{
    const int size = int(t0Ring.size());
    if (wrapped)
        return size;
    return std::clamp(ringIndex, 0, size);
}

void CopyTrace(std::span<const TraceSample> t0Ring, int ringIndex, bool wrapped, TShot& shot)
{
    const int n = TraceLength(t0Ring, ringIndex, wrapped);
    shot.AllocateCurve(n);
    if (n == 0)
        return;
    const int size = int(t0Ring.size());
    // Oldest first: a wrapped ring starts at the slot written next.
    const int start = wrapped ? ((ringIndex % size) + size) % size : 0;
    TraceSample* curve = shot.Curve();
    for (int i = 0; i < n; ++i)
        curve[i] = t0Ring[std::size_t((start + i) % size)];
}

TShot* AddShotFromResult(TShooter& shooter, const RawShotRecord& result, std::span<const TraceSample> t0Ring,
                         int ringIndex, bool wrapped, int aimingTime, bool converted)
{
    if (shooter.FindShot(result) >= 0)
        return nullptr;
    auto shot = std::make_unique<TShot>();
    CopyTrace(t0Ring, ringIndex, wrapped, *shot);
    shot->aimingTime = aimingTime;
    shot->raw = result;
    shot->converted = converted;
    return shooter.AddShot(std::move(shot));
}

} // namespace ShotScoring
