#include "Zeroing.h"

#include "ShotScoring.h"
#include "Shotdata.h"

#include <optional>

void ZeroState::RememberZeroingResult(const RawShotRecord& result)
{
    if (result.Failures() != 0)
        return;
    for (int i = HistoryDepth - 1; i > 0; --i)
        history[i] = history[i - 1];
    history[0] = result;
}

void ZeroState::SaveZero()
{
    previousX = offsetX;
    previousY = offsetY;
}

bool ZeroState::ComputeZero()
{
    double sumX = 0;
    double sumY = 0;
    int count = 0;
    for (RawShotRecord& entry : history) {
        if (entry.b[0] != 0 && entry.Failures() == 0) {
            sumX += entry.XNAU();
            sumY += entry.YNAU();
            ++count;
        }
        entry.b[0] = 0;
    }
    if (count == 0) {
        offsetX = 0;
        offsetY = 0;
        return true;
    }
    const double meanX = sumX / count;
    const double meanY = sumY / count;
    // A mean that far out is a misaimed series, not a zero: keep the old one.
    if (meanX * meanX + meanY * meanY < MaxOffsetSquared) {
        offsetX = meanX;
        offsetY = meanY;
    } else {
        offsetX = previousX;
        offsetY = previousY;
    }
    return true;
}

void ZeroState::ClearZeroOffsets()
{
    offsetX = 0;
    offsetY = 0;
    previousX = 0;
    previousY = 0;
}

int ZeroState::FilledEntries() const
{
    int n = 0;
    for (const RawShotRecord& entry : history)
        n += entry.b[0] != 0 ? 1 : 0;
    return n;
}

namespace {

bool IsSlot(int index)
{
    return index >= 0 && index < DeviceSetup::SlotCount;
}

// The scale of the shot's own target. A number that is not a slot, or a slot
// never read from the unit (a zeroed record would give a negative scale and
// mirror the shot), has none.
std::optional<double> DownloadedShotK(const RawShotRecord& raw, const DeviceSetup& tables)
{
    const int ring = raw.RingTargetIndex();
    const int silhouette = raw.SilhouetteTargetIndex();
    double k;
    if (IsSlot(ring)) {
        if (!tables.ringDefined[ring])
            return std::nullopt;
        k = ShotScoring::ClassicK(tables.ringTargets[ring]);
    } else if (IsSlot(silhouette)) {
        if (!tables.silhouetteDefined[silhouette])
            return std::nullopt;
        k = ShotScoring::ClassicK(tables.silhouetteTargets[silhouette]);
    } else {
        return std::nullopt;
    }
    if (!ShotScoring::UsableK(k))
        return std::nullopt;
    return k;
}

} // namespace

RescoreReport RescoreDownloadedShots(TShooter& shooter, const DeviceSetup& tables, TargetDescription& currentTarget)
{
    RescoreReport report;
    for (TShot* shot : shooter.SnapshotShots()) {
        RawShotRecord raw = shot->raw;
        if (raw.FunctionMode() != ShotScoring::ClassicMode || shot->converted)
            continue;
        const std::optional<double> k = DownloadedShotK(raw, tables);
        if (!k) {
            ++report.skipped;
            continue;
        }

        const int samples = shot->CurveCount();
        TraceSample* curve = shot->Curve();
        for (int i = 0; i < samples; ++i)
            ShotScoring::ScaleSampleDownloaded(curve[i], *k);

        bool overflow = false;
        raw.SetX(ShotScoring::Store16(10 * *k * raw.XNAU(), overflow));
        raw.SetY(ShotScoring::Store16(10 * *k * raw.YNAU(), overflow));

        const int ring = raw.RingTargetIndex();
        if (IsSlot(ring)) {
            currentTarget.ringRecord = tables.ringTargets[ring];
            currentTarget.hasRing = 1;
            ShotScoring::CalcRingScoreAndSector(raw, currentTarget);
        }

        shot->raw = raw;
        shot->resultValue = raw.Score();
        // Any analysis was made on raw units.
        shot->analysisValid = false;
        shot->converted = true;
        ++report.converted;
    }
    if (report.skipped > 0) {
        report.error = QStringLiteral("Bad target number");
        DebugLog(QStringLiteral("Bad target number: %1 downloaded shot(s) left unconverted").arg(report.skipped));
    }
    return report;
}
