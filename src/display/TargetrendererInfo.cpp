// The text column of the target view: the selected shot's details and the
// distribution of the scores or silhouette zones, and drawing the lines.
#include "Targetrenderer.h"

#include "ScoreDecimals.h"
#include "Shotdata.h"
#include "Translation.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr int MinLineHeight = 16;
constexpr int TextLeft = 4;
constexpr int WordWidth = 6;
constexpr int RingLines = 4;

// Category of a shot without a usable result.
constexpr int CategoryNA = -1;
constexpr int CategoryCRH = 1;

bool IsRingShot(const RawShotRecord& r) { return r.RingTargetIndex() < DeviceSetup::SlotCount; }
bool IsSilhouetteShot(const RawShotRecord& r) { return r.SilhouetteTargetIndex() < DeviceSetup::SlotCount; }
bool IsCRHHit(const RawShotRecord& r) { return (r.Flags() & 0x01) != 0; }

// What follows the count of a distribution line: one blank when the count
// has a single digit, then its share, rounded half up (in integers, so that
// 12.5 % is 13 % whatever the binary value of the quotient).
QString CountEnding(int count, int total)
{
    const long long percent = (2LL * count * 100 + total) / (2LL * total);
    return (count < 10 ? QStringLiteral(" ") : QString())
         + FormatDisplayText(QStringLiteral(" (%d%%)"), { double(percent) });
}

// Whole or decimal scores follow the ring target the shot was scored on.
bool DecimalScores(const TShooter* shooter, const RawShotRecord& raw, const TargetDescription& fallback)
{
    return shooter ? ShotScoredInTenths(*shooter, raw) : fallback.ringRecord.DecimalScores();
}

} // namespace

void TTargetRenderer::AddShotInfoLines(const TShot* shot)
{
    if (!shot)
        return;
    const RawShotRecord& r = shot->raw;
    InfoLines.append(FormatDisplayText(Translate(QStringLiteral("Shot %d")), { double(shot->shotNumber) }));

    if (IsRingShot(r)) {
        if (r.Failures() != 0 || !r.HasScore()) {
            InfoLines.append(Translate(QStringLiteral("N/A")));
        } else {
            const TShooter* owner = Shooter ? Shooter : shot->shooter;
            QString line;
            if (DecimalScores(owner, r, Target))
                line = FormatDisplayText(Translate(QStringLiteral("Score %1.1f")), { r.Score() * 0.1 });
            else
                line = FormatDisplayText(Translate(QStringLiteral("Score %d")), { double(r.Score() / 10) });
            if (r.InnerTen())
                line += QStringLiteral(" X");
            else
                line += FormatDisplayText(QStringLiteral(" @ %d"), { double(r.ClockSector()) });
            InfoLines.append(line);
        }
    }

    if (IsSilhouetteShot(r)) {
        static const char* const ZoneWords[] = { "Miss", "Hit", "Fatal hit", "Near hit" };
        if (IsCRHHit(r))
            InfoLines.append(Translate(QStringLiteral("Hit")) + QStringLiteral(" CRH"));
        else if (r.Failures() != 0)
            InfoLines.append(Translate(QStringLiteral("N/A")));
        else if (r.Silhouette() < 4)
            InfoLines.append(Translate(QString::fromLatin1(ZoneWords[r.Silhouette()])));
    }

    if (r.Rotation() != 0)
        InfoLines.append(FormatDisplayText(Translate(QStringLiteral("Rotation %d\u00B0")), { double(r.Rotation()) }));
    InfoLines.append(QString());
}

void TTargetRenderer::AddDistributionLines()
{
    if (!Shooter)
        return;
    const std::vector<TShot*> shots = Shooter->SnapshotShots();

    std::map<int, int> counts;
    int n = 0;
    // Only real results set the span of the ring lines: a shot without one
    // has its own line and must not be counted a second time among them.
    std::optional<int> lowest;
    std::optional<int> highest;
    for (const TShot* shot : shots) {
        if (!Shooter->ShotTargetEquals(*shot, Target))
            continue;
        const RawShotRecord& r = shot->raw;
        int category;
        if (IsSilhouetteShot(r) && IsCRHHit(r))
            category = CategoryCRH;
        else if (r.Failures() != 0 || (!IsSilhouetteShot(r) && !r.HasScore()))
            category = CategoryNA;
        else if (IsSilhouetteShot(r))
            category = r.Silhouette();
        else
            category = r.Score() / 10;
        ++n;
        ++counts[category];
        if (category > CategoryNA) {
            lowest = std::min(lowest.value_or(category), category);
            highest = std::max(highest.value_or(category), category);
        }
    }
    if (n <= 1)
        return;

    const auto countOf = [&](int category) {
        const auto it = counts.find(category);
        return it == counts.end() ? 0 : it->second;
    };
    InfoLines.append(QString());
    InfoLines.append(Translate(QStringLiteral("Distribution")));

    const int naCount = countOf(CategoryNA);
    if (Target.hasSilhouette) {
        const auto wordLine = [&](const char* word, int category) {
            const int c = countOf(category);
            InfoLines.append(Translate(QString::fromLatin1(word)).leftJustified(WordWidth, QLatin1Char(' '))
                             + QStringLiteral("- ") + QString::number(c) + CountEnding(c, n));
        };
        wordLine("Hit", 1);
        wordLine("Miss", 0);
        if (countOf(2) != 0)
            wordLine("Fatal", 2);
        if (countOf(3) != 0)
            wordLine("Near", 3);
        if (naCount > 0)
            wordLine("N/A", CategoryNA);
        return;
    }

    int listed = 0;
    if (highest) {
        for (int j = 0; j < RingLines; ++j) {
            const int v = *highest - j;
            if (v < *lowest)
                break;
            const int c = countOf(v);
            listed += c;
            InfoLines.append(FormatDisplayText(QStringLiteral("%2d - %d"), { double(v), double(c) }) + CountEnding(c, n));
        }
        const int rest = n - (listed + naCount);
        if (rest > 0)
            InfoLines.append(FormatDisplayText(QStringLiteral("<%d - %d"), { double(*highest - RingLines), double(rest) })
                             + CountEnding(rest, n));
    }
    if (naCount > 0)
        InfoLines.append(Translate(QStringLiteral("N/A")) + QStringLiteral("- ") + QString::number(naCount)
                         + CountEnding(naCount, n));
}

void TTargetRenderer::DrawInfoLines()
{
    TPaintScope scope(*this);
    PaintInfoLines({ &StaticCanvas(), &DisplayCanvas() });
}

void TTargetRenderer::PaintInfoLines(std::initializer_list<TCanvas*> canvases)
{
    const int h = std::max(SaturatingCast<int>(std::min(LayerWidth(), LayerHeight()) * 0.05), MinLineHeight);
    for (TCanvas* canvas : canvases) {
        canvas->SetFont(QStringLiteral("Arial"), h, true);
        canvas->SetFontColour(Colour(ClrText));
        canvas->SetBrushStyle(TBrushStyle::Clear);
    }
    // The distribution lines are columns of figures: fixed pitch after their
    // heading.
    const QString heading = Translate(QStringLiteral("Distribution"));
    for (int i = 0; i < InfoLines.size(); ++i) {
        const QString& line = InfoLines[i];
        const int y = SaturatingCast<int>(double(i) * h);
        for (TCanvas* canvas : canvases) {
            canvas->TextOut(TextLeft, y, line);
            if (line == heading)
                canvas->SetFont(QStringLiteral("Courier New"), h, true);
        }
    }
}
