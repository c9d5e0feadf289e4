// The analysis graphs of the target view: how the aim of the selected shot
// moved during the last three seconds, as its distance from the centre or as
// its X and Y offsets against time, over the target's rings drawn as
// horizontal reference lines and the tinted band of the hold statistics.
#include "Targetrenderer.h"

#include "ShotScoring.h"
#include "Shotdata.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr double GraphSeconds = 3.0;
// Samples come 66 a second.
constexpr double SampleSeconds = 0.015;
// The hold band spans the hold window, 1.2 s to 0.2 s before the shot.
constexpr double HoldBandFrom = 1.2;
constexpr double HoldBandTo = 0.2;
// Tints are raw pixel words (blue in the low byte).
constexpr TPixelWord BandYellow { 0xFFFF00 };
constexpr TPixelWord BandCyan { 0x00FFFF };
constexpr double BandWeight = 0.125;
constexpr int LabelGap = 10;
constexpr int TimeSteps = 30;            // 0.1 s steps from 0 to -3 s
// Age colours of the distance curve, in samples before the shot.
constexpr double LastFifthSamples = 13.2;
constexpr int LastSecondSamples = 66;

// Radius in mm of ring v; negative for a ring the record has no diameter for.
double RadiusOf(const RingTargetRecord& ring, int v) { return ShotScoring::RingRadius(ring, v); }

// The outermost ring that has a diameter sets the value scale.
double OutermostRadius(const RingTargetRecord& ring)
{
    const int lowest = ring.MinimumRing();
    const int top = std::max(lowest, ring.HighestRing());
    for (int v = lowest; v <= top; ++v) {
        const double r = RadiusOf(ring, v);
        if (r >= 0)
            return r;
    }
    return 0.0;
}

double SizeUnitMm(const RingTargetRecord& ring) { return ring.SizesInInch() ? 0.254 : 0.1; }

void PlainPen(TCanvas& canvas, TColor colour, int width)
{
    canvas.SetPenColour(colour);
    canvas.SetPenWidth(width);
    canvas.SetPenStyle(TPenStyle::Solid);
    canvas.SetPenMode(TPenMode::Copy);
}

// Time label of grid step i: "0.0s", "-0.1s" ... "-3.0s".
QString TimeLabel(int i)
{
    return FormatDisplayText(QStringLiteral("%1.1f"), { -i / 10.0 }) + QLatin1Char('s');
}

// White labels and lines of the axes, the font scaled to the layer height.
void AxisPen(TCanvas& canvas, int layerHeight)
{
    PlainPen(canvas, clWhite, 1);
    canvas.SetFont(QStringLiteral("Arial"), ToPixel(std::max(0.025 * layerHeight, 8.0)), false);
    canvas.SetFontColour(clWhite);
    canvas.SetBrushStyle(TBrushStyle::Clear);
}

// Time lines every 0.1 s from the shot back to -3 s: solid each second,
// dotted each half second, labelled below yBottom every half second.
void DrawTimeGrid(TCanvas& canvas, int originX, double scaleX, int yBottom, int lineBottom, int lineTop)
{
    for (int i = 0; i <= TimeSteps; ++i) {
        const int x = ToPixel(originX + scaleX * (-i / 10.0));
        if (i % 5 == 0) {
            const QString label = TimeLabel(i);
            canvas.TextOut(ToPixel(x - canvas.TextWidth(label) * 0.5), yBottom + LabelGap, label);
        }
        canvas.SetPenStyle(i % 10 == 0 ? TPenStyle::Solid : i % 5 == 0 ? TPenStyle::Dot : TPenStyle::Clear);
        canvas.Line(x, lineBottom, x, lineTop);
    }
    canvas.SetPenStyle(TPenStyle::Solid);
}

} // namespace

// ---- Axes ---------------------------------------------------------------------------------

double TTargetRenderer::PlaceGraph(double originShare, double valueShare)
{
    if (!Target.hasRing)
        throw Exception("DrawRT: No ring target in use");
    const int w = LayerWidth();
    const int h = LayerHeight();
    const double rmax = OutermostRadius(Target.ringRecord);
    GraphOriginY = ToPixel(originShare * h);
    GraphScaleY = rmax > 0 ? valueShare * h / rmax : 0.0;
    GraphOriginX = ToPixel(0.9 * w);
    GraphScaleX = 0.8 * w / GraphSeconds;
    return rmax;
}

void TTargetRenderer::DrawDistanceAxes()
{
    PlaceGraph(0.3, 0.55);
    const RingTargetRecord& ring = Target.ringRecord;
    const int w = LayerWidth();
    const int h = LayerHeight();
    if (StaticLayer.isNull())
        return;
    const int xLeft = ToPixel(0.1 * w);
    const int yBottom = ToPixel(0.85 * h);

    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    const auto row = [&](double mm) { return ToPixel(GraphOriginY + mm * GraphScaleY); };
    const double unit = SizeUnitMm(ring);

    if (GraphScaleY > 0) {
        canvas.SetBrushStyle(TBrushStyle::Solid);
        canvas.SetBrushColour(Colour(ClrBlackArea));
        PlainPen(canvas, Colour(ClrBlackArea), 1);
        canvas.Rectangle(xLeft, row(ring.DiameterInnerWhite() * 0.5 * unit), GraphOriginX,
                         row(ring.DiameterBlackArea() * 0.5 * unit));
    }

    AxisPen(canvas, h);
    const double halfText = canvas.TextHeight(QStringLiteral("1")) * 0.5;

    if (GraphScaleY > 0) {
        for (int v = ring.MinimumRing(); v <= ring.HighestRing(); ++v) {
            const double r = RadiusOf(ring, v);
            if (r < 0)
                continue;
            const int y = row(r);
            canvas.Line(xLeft, y, GraphOriginX, y);
            canvas.TextOut(GraphOriginX + LabelGap, ToPixel(GraphOriginY + r * GraphScaleY - halfText),
                           FormatDisplayText(QStringLiteral("%i"), { double(v) }));
        }
    }
    canvas.Line(xLeft, GraphOriginY, GraphOriginX, GraphOriginY);
    DrawTimeGrid(canvas, GraphOriginX, GraphScaleX, yBottom, yBottom, GraphOriginY);
}

void TTargetRenderer::DrawXYAxes()
{
    const double rmax = PlaceGraph(0.5, 0.3);
    const RingTargetRecord& ring = Target.ringRecord;
    const int w = LayerWidth();
    const int h = LayerHeight();
    if (StaticLayer.isNull())
        return;
    const int xLeft = ToPixel(0.1 * w);
    const int yBottom = ToPixel(0.8 * h);

    TPaintScope scope(*this);
    TCanvas& canvas = StaticCanvas();
    const double unit = SizeUnitMm(ring);

    if (GraphScaleY > 0) {
        canvas.SetBrushStyle(TBrushStyle::Solid);
        canvas.SetBrushColour(Colour(ClrBlackArea));
        PlainPen(canvas, Colour(ClrBlackArea), 1);
        const double inner = ring.DiameterInnerWhite() * 0.5 * unit * GraphScaleY;
        const double outer = ring.DiameterBlackArea() * 0.5 * unit * GraphScaleY;
        canvas.Rectangle(xLeft, ToPixel(GraphOriginY + inner), GraphOriginX, ToPixel(GraphOriginY + outer));
        canvas.Rectangle(xLeft, ToPixel(GraphOriginY - inner), GraphOriginX, ToPixel(GraphOriginY - outer));
    }

    AxisPen(canvas, h);
    const double halfText = canvas.TextHeight(QStringLiteral("1")) * 0.5;

    if (GraphScaleY > 0) {
        // Labels go from the outermost ring inwards. A ring whose two lines
        // lie closer than a label is high gets one label, on the centre line;
        // a label that would run into one already written is left out.
        const int textHeight = canvas.TextHeight(QStringLiteral("1"));
        std::vector<std::pair<int, int>> written; // top and bottom rows
        const auto label = [&](double y, const QString& text) {
            const int top = ToPixel(y - halfText);
            const int bottom = top + textHeight;
            for (const auto& [t, b] : written)
                if (top < b && t < bottom)
                    return;
            written.emplace_back(top, bottom);
            canvas.TextOut(GraphOriginX + LabelGap, top, text);
        };
        for (int v = ring.MinimumRing(); v <= ring.HighestRing(); ++v) {
            const double r = RadiusOf(ring, v);
            if (r < 0)
                continue;
            const QString text = FormatDisplayText(QStringLiteral("%i"), { double(v) });
            for (double side : { 1.0, -1.0 }) {
                const double y = GraphOriginY + side * r * GraphScaleY;
                canvas.Line(xLeft, ToPixel(y), GraphOriginX, ToPixel(y));
            }
            if (2 * r * GraphScaleY < textHeight) {
                label(GraphOriginY, text);
                continue;
            }
            for (double side : { 1.0, -1.0 })
                label(GraphOriginY + side * r * GraphScaleY, text);
        }
    }

    // The time lines span the value range of the rings; without a value scale
    // the same share of the height.
    const double span = GraphScaleY > 0 ? rmax * GraphScaleY : 0.3 * h;
    const int lineTop = ToPixel(GraphOriginY - span);
    const int lineBottom = ToPixel(GraphOriginY + span);
    DrawTimeGrid(canvas, GraphOriginX, GraphScaleX, yBottom, lineBottom, lineTop);

    const int legendHeight = ToPixel(0.05 * h);
    const int legendX = ToPixel(0.95 * w);
    canvas.SetFont(QStringLiteral("Arial"), legendHeight, false);
    canvas.SetFontColour(Colour(ClrGraphX));
    canvas.TextOut(legendX, GraphOriginY - 2 * legendHeight, QStringLiteral("X"));
    canvas.SetFontColour(Colour(ClrGraphY));
    canvas.TextOut(legendX, GraphOriginY + legendHeight, QStringLiteral("Y"));
}

// ---- Curves -------------------------------------------------------------------------------

void TTargetRenderer::DrawDistanceCurve()
{
    if (SelectedShot == nullptr || !(GraphScaleY > 0) || DisplayLayer.isNull())
        return;
    TPaintScope scope(*this);
    TCanvas& display = DisplayCanvas();
    TCanvas& still = StaticCanvas();

    // The range of distances inside the box mean +- one deviation: the
    // corners give the farthest point; the nearest lies on an edge when the
    // box straddles an axis, and is the centre when it straddles both.
    const StatPair m = HoldWindowStats.Mean();
    const StatPair s = HoldWindowStats.StdDev();
    const double x1 = m.x - s.x;
    const double x2 = m.x + s.x;
    const double y1 = m.y - s.y;
    const double y2 = m.y + s.y;
    double dmin = std::hypot(x1, y1);
    double dmax = dmin;
    for (double x : { x1, x2 }) {
        for (double y : { y1, y2 }) {
            const double d = std::sqrt(x * x + y * y);
            dmin = std::min(dmin, d);
            dmax = std::max(dmax, d);
        }
    }
    const bool spansX = x1 * x2 < 0;
    const bool spansY = y1 * y2 < 0;
    if (spansX)
        dmin = std::min(dmin, std::min(std::abs(y1), std::abs(y2)));
    if (spansY)
        dmin = std::min(dmin, std::min(std::abs(x1), std::abs(x2)));
    if (spansX && spansY)
        dmin = 0.0;

    const int bandLeft = ToPixel(GraphOriginX - HoldBandFrom * GraphScaleX);
    const int bandRight = ToPixel(GraphOriginX - HoldBandTo * GraphScaleX);
    const int bandTop = ToPixel(GraphOriginY + dmin * GraphScaleY);
    const int bandBottom = ToPixel(GraphOriginY + dmax * GraphScaleY);
    // The open painters write straight into the images, so the tint is seen
    // by the drawing that follows.
    TintRect(display.Image(), bandLeft, bandTop, bandRight, bandBottom, BandYellow, BandWeight);
    TintRect(still.Image(), bandLeft, bandTop, bandRight, bandBottom, BandYellow, BandWeight);

    const TraceSample* samples = SelectedShot->Curve();
    const int n = SelectedShot->CurveCount();
    const RawShotRecord& raw = SelectedShot->raw;
    int prevX = GraphOriginX;
    int prevY = ToPixel(GraphOriginY + std::sqrt(double(raw.X()) * raw.X() + double(raw.Y()) * raw.Y()) * 0.1
                        * GraphScaleY);
    bool prevValid = true;
    PlainPen(display, Colour(ClrTraceLastFifth), 2);
    for (int j = 0; j < n - 2; ++j) {
        const TraceSample& sample = samples[n - 1 - j];
        const double d = std::sqrt(double(sample.X()) * sample.X() + double(sample.Y()) * sample.Y()) * 0.1;
        const int x = ToPixel(GraphOriginX - (j + 1) * SampleSeconds * GraphScaleX);
        const int y = ToPixel(GraphOriginY + d * GraphScaleY);
        const bool valid = sample.Failures() == 0;
        if (valid && prevValid) {
            int slot = ClrTraceLastSecond;
            if (j < LastFifthSamples)
                slot = ClrTraceLastFifth;
            else if (j >= LastSecondSamples)
                slot = ClrTraceOld;
            display.SetPenColour(Colour(slot));
            display.Line(prevX, prevY, x, y);
        }
        prevX = x;
        prevY = y;
        prevValid = valid;
    }
    PlainPen(display, display.PenColour(), 1);
}

void TTargetRenderer::DrawXYCurves()
{
    if (SelectedShot == nullptr || !(GraphScaleY > 0) || DisplayLayer.isNull())
        return;
    TPaintScope scope(*this);
    TCanvas& display = DisplayCanvas();
    TCanvas& still = StaticCanvas();

    const StatPair m = HoldWindowStats.Mean();
    const StatPair s = HoldWindowStats.StdDev();
    const int bandLeft = ToPixel(GraphOriginX - HoldBandFrom * GraphScaleX);
    const int bandRight = ToPixel(GraphOriginX - HoldBandTo * GraphScaleX);
    const auto row = [&](double mm) { return ToPixel(GraphOriginY + mm * GraphScaleY); };
    for (QImage* layer : { &display.Image(), &still.Image() })
        TintRect(*layer, bandLeft, row(m.x - s.x), bandRight, row(m.x + s.x), BandYellow, BandWeight);
    for (QImage* layer : { &display.Image(), &still.Image() })
        TintRect(*layer, bandLeft, row(m.y - s.y), bandRight, row(m.y + s.y), BandCyan, BandWeight);

    const TraceSample* samples = SelectedShot->Curve();
    const int n = SelectedShot->CurveCount();
    const RawShotRecord& raw = SelectedShot->raw;
    int prevX = GraphOriginX;
    int prevPx = row(raw.X() * 0.1);
    int prevPy = row(raw.Y() * 0.1);
    bool prevValid = true;
    PlainPen(display, Colour(ClrGraphY), 2);
    for (int j = 0; j < n - 1; ++j) {
        const TraceSample& sample = samples[n - 1 - j];
        const int x = ToPixel(GraphOriginX - j * SampleSeconds * GraphScaleX);
        const int px = row(sample.X() * 0.1);
        const int py = row(sample.Y() * 0.1);
        const bool valid = sample.Failures() == 0;
        if (valid && prevValid) {
            display.SetPenColour(Colour(ClrGraphY));
            display.Line(prevX, prevPy, x, py);
            display.SetPenColour(Colour(ClrGraphX));
            display.Line(prevX, prevPx, x, px);
        }
        prevX = x;
        prevPx = px;
        prevPy = py;
        prevValid = valid;
    }
    PlainPen(display, display.PenColour(), 1);
}
