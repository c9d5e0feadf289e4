// The shooting data on the target: shot marks, the hit crosshair, the aiming
// trace with its hold box, the group centre, the zeroing overlay and the live
// aiming point.
#include "Targetrenderer.h"

#include "Device.h"
#include "ScoreDecimals.h"
#include "ShotScoring.h"
#include "Shotdata.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr double SamplesPerSecond = 66.0;
// The hold window runs from 1.2 s to 0.2 s before the shot.
constexpr double HoldWindowStart = 1.2 * SamplesPerSecond;  // 79.2 samples
constexpr double HoldWindowEnd = 0.2 * SamplesPerSecond;    // 13.2 samples
// A hold box needs more than this many valid window samples.
constexpr int HoldBoxMinSamples = 33;
constexpr double DefaultMarkDiameter = 7.62;
constexpr int CrosshairPenWidth = 8;
constexpr TColor CrosshairColour { 0x3F3F3F };
// Half the side of the largest cross drawn through a mask.
constexpr long long MaskedCrossReach = 4096;
constexpr TPixelWord HoldTint { 0x00FFFF };   // raw pixel word: adds green and blue
constexpr double HoldTintWeight = 0.125;
constexpr TColor ZeroingCircleColour { 0x00FFFF };
// Failure bits of a live sample that leave no usable point.
constexpr int LiveFailLowSignal = 0x01;
constexpr int LiveFailHighSignal = 0x02;
constexpr int LiveFailFOV = 0x10;
constexpr int LiveFailAngle = 0x20;
constexpr int LiveFailFSI = 0x40;
constexpr int LiveFailMask = LiveFailLowSignal | LiveFailHighSignal | LiveFailFOV | LiveFailAngle | LiveFailFSI;
constexpr int LivePointMargin = 6;

bool IsRingShot(const RawShotRecord& r) { return r.RingTargetIndex() < DeviceSetup::SlotCount; }

bool InHoldWindow(int i, int n) { return i > n - HoldWindowStart && i < n - HoldWindowEnd; }

void SetPen(TCanvas& canvas, TColor colour, int width, TPenStyle style, TPenMode mode = TPenMode::Copy)
{
    canvas.SetPenColour(colour);
    canvas.SetPenWidth(width);
    canvas.SetPenStyle(style);
    canvas.SetPenMode(mode);
}

// Back to the plain pen the other drawing code expects.
void ResetPen(TCanvas& canvas) { SetPen(canvas, canvas.PenColour(), 1, TPenStyle::Solid, TPenMode::Copy); }

// Pixel arithmetic on mapped positions can leave int at extreme zoom.
int AddPx(long long a, long long b) { return SaturatingCast<int>(double(a + b)); }

// The live point's cross (a black shadow one pixel right and down, then
// white), drawn around (origin, origin) of a transparent picture by the very
// calls that would draw it on the layer. Blitted over the layer it sets the
// same pixels, at a fraction of the cost of stroking six wide round-capped
// figures 66 times a second per viewer. One cross size at a time: it only
// changes with the zoom.
void DrawLiveCross(TCanvas& canvas, int px, int py, int r)
{
    const auto cross = [&](int cx, int cy, TColor colour) {
        SetPen(canvas, colour, 3, TPenStyle::Solid);
        canvas.Line(AddPx(cx, -r), cy, AddPx(cx, r), cy);
        canvas.Line(cx, AddPx(cy, -r), cx, AddPx(cy, r));
        canvas.SetBrushStyle(TBrushStyle::Clear);
        canvas.Ellipse(SaturatingCast<int>(cx - r / 2.0), SaturatingCast<int>(cy - r / 2.0),
                       SaturatingCast<int>(cx + r / 2.0), SaturatingCast<int>(cy + r / 2.0));
    };
    cross(AddPx(px, 1), AddPx(py, 1), clBlack);
    cross(px, py, clWhite);
    canvas.SetPenWidth(1);
}

// Room around the cross's centre in its picture: the arms, the pen, a pixel.
int LiveCrossOrigin(int r) { return r + 4; }

const QImage& LiveCrossPicture(int r)
{
    static int size = -1;
    static QImage picture;
    if (size != r) {
        const int origin = LiveCrossOrigin(r);
        picture = QImage(2 * origin + 2, 2 * origin + 2, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        TCanvas canvas(picture);
        DrawLiveCross(canvas, origin, origin, r);
        size = r;
    }
    return picture;
}

// mm per raw unit at the target's nominal distance (ring record first).
double RawUnitsToMm(const TargetDescription& target)
{
    if (target.hasRing)
        return ShotScoring::ClassicK(target.ringRecord);
    if (target.hasSilhouette)
        return ShotScoring::ClassicK(target.silhouetteRecord);
    return 0.0;
}

} // namespace

// ---- Shot marks ----------------------------------------------------------------------------

void TTargetRenderer::DrawShotMark(const RawShotRecord& record, bool newest)
{
    TPaintScope scope(*this);
    TColor fill = Colour(newest ? ClrNewestShot : ClrShot);
    if (Target.hasSilhouette && record.Silhouette() == 0)
        fill = Colour(ClrSilhouetteMissShot);

    double d = Target.hasRing ? ShotScoring::CaliberMm(Target.ringRecord) : DefaultMarkDiameter;
    if (d == 0.0)
        d = DefaultMarkDiameter;

    double x;
    double y;
    if (Zeroing) {
        const double k = RawUnitsToMm(Target);
        x = record.XNAU() * k;
        y = record.YNAU() * k;
    } else {
        x = record.X() * 0.1;
        y = record.Y() * 0.1;
    }

    const int left = MapX(x - d / 2);
    const int top = MapY(y - d / 2);
    const int right = MapX(x + d / 2);
    const int bottom = MapY(y + d / 2);
    for (TCanvas* canvas : { &StaticCanvas(), &DisplayCanvas() }) {
        SetPen(*canvas, clBlack, 1, TPenStyle::Solid);
        canvas->SetBrushStyle(TBrushStyle::Solid);
        canvas->SetBrushColour(fill);
        canvas->Ellipse(left, top, right, bottom);
    }

    GroupSumX += x;
    GroupSumY += y;
    ++GroupCount;
}

void TTargetRenderer::DrawShot(TShot* shot, bool newest)
{
    if (shot)
        DrawShotMark(shot->raw, newest);
}

void TTargetRenderer::DrawShots()
{
    if (!Shooter)
        return;
    // The event thread may append shots meanwhile: work on one consistent list.
    const std::vector<TShot*> shots = Shooter->SnapshotShots();
    const int count = int(shots.size());

    int first = 0;
    int last = -1;
    switch (ViewMode) {
    case ViewRange:
        first = RangeFirst;
        last = RangeLast;
        break;
    case ViewAllShots:
        last = count - 1;
        break;
    case ViewSingleShot:
        break;
    default:
        return;
    }
    // A range left over from a longer list, or set carelessly, must not
    // reach past the shots that exist.
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    if (LimitShots > 0 && last - first + 1 > LimitShots)
        first = last - LimitShots + 1;
    const bool haveRange = first <= last;

    TPaintScope scope(*this);
    for (int i = first; i <= last; ++i) {
        TShot* shot = shots[std::size_t(i)];
        if (shot->raw.Failures() != 0 || !Shooter->ShotTargetEquals(*shot, Target))
            continue;
        DrawShot(shot, i == count - 1);
        if (IsRingShot(shot->raw) && shot->raw.HasScore()) {
            const int tenths = shot->raw.Score();
            ScoreTotal += ShotScoredInTenths(*Shooter, shot->raw) ? tenths : (tenths / 10) * 10;
        }
    }

    if (ViewMode == ViewRange)
        return;
    const TShot* marked = nullptr;
    if (haveRange && CurrentShot == 0)
        marked = shots[std::size_t(last)];
    else if (CurrentShot >= 0 && CurrentShot < count)
        marked = shots[std::size_t(CurrentShot)];
    if (marked && marked->raw.Failures() == 0)
        DrawHitCrosshair(marked->raw.X() * 0.1, marked->raw.Y() * 0.1);
}

void TTargetRenderer::DrawHitCrosshair(double x, double y)
{
    TPaintScope scope(*this);
    const int px = MapX(x);
    const int py = MapY(y);
    const double ringSpan = Target.hasRing ? 2.0 * RingRadius(Target.ringRecord.MinimumRing()) : 0.0;
    const double m = std::max(ringSpan, double(SilhouetteSizeMm()));
    const long long a = (long long)MapX(0.25 * m) - MapX(0.0);
    const long long h = a / 2;

    // The four strokes are drawn in copy mode into a small mask around the
    // cross, which is then or-ed into both layers: the same pixels as or-mode
    // wide lines on each layer (or is idempotent where strokes overlap), at
    // a fraction of their cost. A cross far larger than any layer (a deep
    // zoom) is stroked on the layer as it is.
    const long long reach = 2 * std::llabs(a) + CrosshairPenWidth;
    TCanvas& still = StaticCanvas();
    TCanvas& display = DisplayCanvas();
    if (reach > MaskedCrossReach) {
        SetPen(still, CrosshairColour, CrosshairPenWidth, TPenStyle::Solid, TPenMode::Or);
        still.Line(AddPx(px, -h), py, AddPx(px, -2 * a), py);
        still.Line(AddPx(px, h), py, AddPx(px, 2 * a), py);
        still.Line(px, AddPx(py, -h), px, AddPx(py, -2 * a));
        still.Line(px, AddPx(py, h), px, AddPx(py, 2 * a));
        ResetPen(still);
        display.CopyRect(AddPx(px, -reach), AddPx(py, -reach), AddPx(px, reach + 1), AddPx(py, reach + 1),
                         StaticLayer);
    } else {
        // Two bands hold every stroke pixel: a row band along the horizontal
        // arms and a column band along the vertical ones. Each gets all four
        // strokes, clipped to it; where the bands cross, the pixels are or-ed
        // twice, which changes nothing.
        const long long pen = CrosshairPenWidth;
        const QRect layers = StaticLayer.rect() & DisplayLayer.rect();
        const auto band = [&](long long left, long long top, long long right, long long bottom) {
            return QRect(QPoint(AddPx(left, 0), AddPx(top, 0)), QPoint(AddPx(right, 0), AddPx(bottom, 0))) & layers;
        };
        const QRect boxes[2] = { band(px - reach, py - pen, px + reach, py + pen),
                                 band(px - pen, py - reach, px + pen, py + reach) };
        const int maskWidth = std::max(boxes[0].width(), boxes[1].width());
        const int maskHeight = std::max(boxes[0].height(), boxes[1].height());
        if (maskWidth > 0 && maskHeight > 0) {
            if (crossMask_.width() < maskWidth || crossMask_.height() < maskHeight)
                crossMask_ = QImage(std::max(maskWidth, crossMask_.width()), std::max(maskHeight, crossMask_.height()),
                                    QImage::Format_RGB32);
            // One painter for both bands: it writes straight into the mask,
            // so the mask can be cleared and read between them.
            TCanvas mask(crossMask_);
            SetPen(mask, CrosshairColour, CrosshairPenWidth, TPenStyle::Solid);
            for (const QRect& box : boxes) {
                if (box.isEmpty())
                    continue;
                for (int y = 0; y < box.height(); ++y)
                    std::fill_n(reinterpret_cast<uint32_t*>(crossMask_.scanLine(y)), box.width(), 0u);
                const int ox = -box.left();
                const int oy = -box.top();
                mask.Line(AddPx(px - h, ox), py + oy, AddPx(px - 2 * a, ox), py + oy);
                mask.Line(AddPx(px + h, ox), py + oy, AddPx(px + 2 * a, ox), py + oy);
                mask.Line(px + ox, AddPx(py - h, oy), px + ox, AddPx(py - 2 * a, oy));
                mask.Line(px + ox, AddPx(py + h, oy), px + ox, AddPx(py + 2 * a, oy));
                for (QImage* layer : { &StaticLayer, &DisplayLayer }) {
                    for (int y = 0; y < box.height(); ++y) {
                        const auto* m = reinterpret_cast<const uint32_t*>(crossMask_.constScanLine(y));
                        auto* row = reinterpret_cast<uint32_t*>(layer->scanLine(box.top() + y)) + box.left();
                        for (int x = 0; x < box.width(); ++x)
                            row[x] |= m[x] & 0xFFFFFFu;
                    }
                }
            }
        }
        SetPen(still, CrosshairColour, 1, TPenStyle::Solid);
    }
    // The pen the display layer was left with when the cross was drawn on it.
    SetPen(display, CrosshairColour, 1, TPenStyle::Solid);
}

// ---- Trace and hold box ---------------------------------------------------------------------

void TTargetRenderer::FillHoldWindowStats()
{
    HoldWindowStats.Clear();
    if (!SelectedShot)
        return;
    const TraceSample* samples = SelectedShot->Curve();
    const int n = SelectedShot->CurveCount();
    for (int i = 0; i < n; ++i) {
        const bool prevValid = i == 0 || samples[i - 1].Failures() == 0;
        if (samples[i].Failures() == 0 && prevValid && InHoldWindow(i, n))
            HoldWindowStats.Add(samples[i].X() * 0.1, samples[i].Y() * 0.1, 0.0);
    }
}

void TTargetRenderer::DrawTrace(TShot* shot)
{
    SelectedShot = shot;
    if (!shot || shot->CurveCount() == 0)
        return;
    const TraceSample* samples = shot->Curve();
    const int n = shot->CurveCount();

    TPaintScope scope(*this);
    TCanvas& canvas = DisplayCanvas();
    SetPen(canvas, Colour(ClrTraceOld), 2, TPenStyle::Solid);

    StatAccumulator hold;
    int holdCount = 0;
    const TraceSample* previous = &samples[0];
    bool newStroke = true;
    for (int i = 0; i < n; ++i) {
        const TraceSample& sample = samples[i];
        const double x = sample.X() * 0.1;
        const double y = sample.Y() * 0.1;
        int slot = ClrTraceOld;
        if (i > n - HoldWindowEnd)
            slot = ClrTraceLastFifth;
        else if (i > n - SamplesPerSecond)
            slot = ClrTraceLastSecond;
        canvas.SetPenColour(Colour(slot));

        if (sample.Failures() == 0 && previous->Failures() == 0) {
            if (InHoldWindow(i, n)) {
                ++holdCount;
                hold.Add(x, y, 0.0);
            }
        } else {
            newStroke = true;
        }
        if (i == 0 || newStroke) {
            canvas.MoveTo(MapX(x), MapY(y));
            newStroke = false;
        } else {
            canvas.LineTo(MapX(x), MapY(y));
        }
        previous = &sample;
    }
    ResetPen(canvas);

    if (Target.hasRing && shot->raw.FunctionMode() == ShotScoring::ClassicMode && holdCount > HoldBoxMinSamples) {
        const StatPair mean = hold.Mean();
        const StatPair spread = hold.StdDev();
        DrawHoldBox(mean.x, mean.y, spread.x, spread.y);
    }
}

void TTargetRenderer::DrawHoldBox(double mx, double my, double sx, double sy)
{
    TPaintScope scope(*this);
    const double q = ZoomField * 0.01;
    TCanvas& display = DisplayCanvas();
    TCanvas& still = StaticCanvas();

    // The tint is skipped while the view moves: it would smear over frames.
    if (Animating)
        tintLeftOut_ = true;
    if (!Animating) {
        const int left = MapX(mx - sx);
        const int top = MapY(my + sy);
        const int right = MapX(mx + sx);
        const int bottom = MapY(my - sy);
        // The open painters write straight into these images, so tinting
        // their pixels here is seen by later drawing.
        TintRect(display.Image(), left, top, right, bottom, HoldTint, HoldTintWeight);
        TintRect(still.Image(), left, top, right, bottom, HoldTint, HoldTintWeight);
    }

    for (TCanvas* canvas : { &display, &still }) {
        canvas->SetBrushStyle(TBrushStyle::Clear);
        SetPen(*canvas, Colour(ClrHoldCross), 3, TPenStyle::Dash);
        canvas->Line(MapX(mx - q), MapY(my), MapX(mx + q), MapY(my));
        canvas->Line(MapX(mx), MapY(my - q), MapX(mx), MapY(my + q));
    }
    for (TCanvas* canvas : { &display, &still }) {
        SetPen(*canvas, Colour(ClrHoldRect), 3, TPenStyle::Dash);
        canvas->Rectangle(MapX(mx - sx), MapY(my - sy), MapX(mx + sx), MapY(my + sy));
        ResetPen(*canvas);
    }
}

void TTargetRenderer::DrawGroupCentre(double x, double y)
{
    if (!Target.hasRing)
        return;
    TPaintScope scope(*this);
    const double s = ZoomField * 0.02;
    for (TCanvas* canvas : { &DisplayCanvas(), &StaticCanvas() }) {
        canvas->SetBrushStyle(TBrushStyle::Clear);
        SetPen(*canvas, Colour(ClrGroupCentre), 3, TPenStyle::Dash);
        canvas->Ellipse(MapX(x - s / 2), MapY(y - s / 2), MapX(x + s / 2), MapY(y + s / 2));
        canvas->Line(MapX(x - s), MapY(y), MapX(x + s), MapY(y));
        canvas->Line(MapX(x), MapY(y - s), MapX(x), MapY(y + s));
        ResetPen(*canvas);
    }
}

// ---- Zeroing ---------------------------------------------------------------------------------

void TTargetRenderer::DrawZeroingCircle(double radius)
{
    // Without a unit there is neither a training mode nor a measured distance.
    if (!Device)
        return;
    double distance;
    if (Device->Mode() == ShotScoring::ClassicMode)
        distance = TargetDistanceM();
    else
        distance = Device->LastResult().Revalm() * 0.1;
    const double r = radius * (1.0 / 300.0) * distance;

    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    canvas.SetBrushStyle(TBrushStyle::Clear);
    SetPen(canvas, ZeroingCircleColour, 3, TPenStyle::Solid);
    DrawCircle(0.0, 0.0, r);
    ResetPen(canvas);
}

void TTargetRenderer::DrawZeroingResults(TDevice* device)
{
    if (!Zeroing)
        throw Exception("Not in zeroing mode");
    if (!device)
        return;
    const ZeroState zero = device->Zero();
    for (int i = 0; i < ZeroState::HistoryDepth; ++i) {
        const RawShotRecord& entry = zero.history[std::size_t(i)];
        if (entry.b[0] != 0 && entry.Failures() == 0)
            DrawShotMark(entry, i == 0);
    }
}

// ---- Live point ------------------------------------------------------------------------------

void TTargetRenderer::DrawLivePoint(const TraceSample& sample)
{
    if (ViewMode != ViewAllShots)
        return;
    // Erasing copies from the static layer: it must hold the view on screen.
    SyncStaticLayer();
    TPaintScope scope(*this);
    TCanvas& display = DisplayCanvas();
    const int w = DisplayLayer.width();
    const int h = DisplayLayer.height();

    // A rectangle at the very left edge is as real as any other: erase by the
    // flag, not by its coordinates.
    if (LivePointValid) {
        display.CopyRect(LivePointRect.left, LivePointRect.top, LivePointRect.right, LivePointRect.bottom,
                         StaticLayer);
        LivePointValid = false;
    }

    // Keeps the rectangle inside the layer, so that the next erase copies
    // exactly the pixels that may have changed.
    const auto remember = [&](long long left, long long top, long long right, long long bottom) {
        TPixelRect rect;
        rect.left = int(std::clamp<long long>(left, 0, w));
        rect.top = int(std::clamp<long long>(top, 0, h));
        rect.right = int(std::clamp<long long>(right, 0, w));
        rect.bottom = int(std::clamp<long long>(bottom, 0, h));
        LivePointRect = rect;
        LivePointValid = rect.right > rect.left && rect.bottom > rect.top;
    };

    const int failures = sample.Failures();
    if (failures & LiveFailMask) {
        QString text;
        if (failures & LiveFailLowSignal)
            text += QStringLiteral("LOW SIGNAL ");
        if (failures & LiveFailHighSignal)
            text += QStringLiteral("HIGH SIGNAL ");
        if (failures & LiveFailFOV)
            text += QStringLiteral("FOV ");
        if (failures & LiveFailFSI)
            text += QStringLiteral("FSI ");
        if (failures & LiveFailAngle)
            text += QStringLiteral("ANGLE ");
        const int tw = display.TextWidth(text);
        const int th = display.TextHeight(text);
        remember(SaturatingCast<int>((w - tw) * 0.5 - 5), 0, SaturatingCast<int>((w + tw) * 0.5 + 5), th);
        return;
    }

    const double k = RawUnitsToMm(Target);
    const int px = MapX(sample.X() * k);
    const int py = MapY(sample.Y() * k);

    if ((px < 0 || py < 0 || px > w || py > h) && AnimEndZoom > 100) {
        // Zoomed in and the aim left the view: back to the whole target.
        AnimStartX = ViewX;
        AnimStartY = ViewY;
        AnimStartZoom = ZoomPercent;
        AnimEndX = 0.0;
        AnimEndY = 0.0;
        AnimEndZoom = 100.0;
        StartViewAnimation(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        StepViewAnimation();
    }

    const int r = SaturatingCast<int>(PixelsPerMm * ZoomField * 0.1);
    const long long margin = (long long)r + LivePointMargin;
    remember(px - margin, py - margin, px + margin, py + margin);

    // The picture holds the cross exactly when it lies wholly inside the
    // layer (edges clip figures, and rounding near column 0 is not a shift);
    // elsewhere the figures are drawn one by one.
    const int origin = LiveCrossOrigin(r);
    if (r >= 1 && px - origin >= 0 && py - origin >= 0 && (long long)px + origin + 2 <= w
        && (long long)py + origin + 2 <= h) {
        display.Draw(px - origin, py - origin, LiveCrossPicture(r));
        SetPen(display, clWhite, 1, TPenStyle::Solid);
        display.SetBrushStyle(TBrushStyle::Clear);
    } else {
        DrawLiveCross(display, px, py, r);
    }
}
