// The target view: one shooter's target, shots, aiming trace, live point,
// overlays and text lines, in millimetres of the target mapped onto pixels.
//
// The renderer owns two 32-bit layers of equal size. The static layer holds
// everything that does not move with the live aiming point; the display
// layer is what the owner shows. The live point is drawn on the display layer
// only and erased by copying its rectangle back from the static layer.
//
// Owners write the link and selection fields (Target, Shooter, Device,
// SelectedShot, GradedShot, RangeFirst, RangeLast, CurrentShot, LimitShots,
// Zeroing, TextPage, ShowNetworkIcon, GradingOverlay) directly and then call
// Render. GUI thread only; the renderer has no lock of its own.
//
// Painting: every drawing operation opens a TPaintScope. A layer's canvas is
// opened on first use (StaticCanvas / DisplayCanvas) and both are closed when
// the outermost scope ends, so an owner never reads a layer while a painter
// is still active on it, and a whole pass shares one painter per layer.
#pragma once

#include "DrawKit.h"
#include "GradingParameters.h"
#include "Setupdata.h"
#include "StatAccumulator.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

class TDevice;
class TFrameTrafficLights;
class TShooter;
class TShot;
struct RawShotRecord;
struct TraceSample;

// Fills a C-style format of the view's texts ("Shot %d", "Score %1.1f",
// " (%d%%)", "%2d - %d") with args in order. Understood: %d and %i (the
// argument truncated, optional width), %f with optional width and
// precision (the DecimalSeparator), %%. Formats come through translation, so
// anything else, and a conversion without an argument left, is copied as
// written instead of being trusted.
QString FormatDisplayText(const QString& format, std::initializer_list<double> args);

// Every renderer loads the grading file when it is created. The factory, when
// set, makes the reporter for one such load of the file at path (the screens
// show the problems to the operator); unset, the problems go to the debug
// log. GUI thread.
using TGradingReporterFactory = std::function<GradingReporter(const QString& path)>;
void SetGradingReporterFactory(TGradingReporterFactory factory);

// A pixel rectangle, right and bottom exclusive.
struct TPixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A character grid of columns x rows cells laid over a pixel rectangle; grid
// positions may be fractional or outside the grid. A grid without columns
// or rows maps everything to the rectangle's top-left corner.
struct TCharGrid {
    TPixelRect area;
    int columns = 0;
    int rows = 0;

    // (left + trunc(width x col / columns), top + trunc(height x row / rows)).
    QPoint ToPixel(double col, double row) const;
    // align < 0: right-aligned at the point, 0: centred, > 0: left-aligned.
    void TextOut(TCanvas& canvas, double col, double row, const QString& text, int align) const;
    // The picture unscaled, its top-left corner at the point.
    void Draw(TCanvas& canvas, double col, double row, const QImage& picture) const;
};

class TTargetRenderer {
public:
    // View modes.
    static constexpr int ViewTextPage = 0;
    static constexpr int ViewRange = 2;
    static constexpr int ViewSingleShot = 3;
    static constexpr int ViewDistanceGraph = 4;
    static constexpr int ViewXYGraph = 5;
    static constexpr int ViewAllShots = 6;

    static constexpr int ColourCount = 24;
    // Colour slots by role.
    enum ColourSlot {
        ClrBackground = 0,
        ClrBlackArea = 1,
        ClrWhiteDisc = 2,
        ClrRingOutline = 3,
        ClrXRing = 4,
        ClrSilhouetteMiss = 6,     // zones 0 .. 3 follow in order
        ClrNewestShot = 11,
        ClrShot = 12,
        ClrSilhouetteMissShot = 13,
        ClrTraceOld = 14,
        ClrTraceLastSecond = 15,
        ClrTraceLastFifth = 16,
        ClrGraphX = 18,            // X curve and legend of the X/Y graph
        ClrGraphY = 19,            // Y curve and legend
        ClrText = 20,
        ClrGroupCentre = 21,
        ClrHoldCross = 22,
        ClrHoldRect = 23,
    };

    // Raw unit distance of the zeroing acceptance circle.
    static constexpr double ZeroingRadiusRaw = 3750.0;
    // The grading panel's background, drawn transparent over the target.
    static constexpr uint32_t GradingPanelKey = 0xC0C0C0;

    TTargetRenderer();
    virtual ~TTargetRenderer();
    TTargetRenderer(const TTargetRenderer&) = delete;
    TTargetRenderer& operator=(const TTargetRenderer&) = delete;

    // ---- Object, coordinates and zoom ----
    // Sizes both layers and recomputes scale and centre. Redraws only a target
    // with a ring or silhouette and a non-zero distance.
    void SetSize(int width, int height);
    // The same without the redraw, for an owner that draws once its size
    // has settled.
    void SetLayerSize(int width, int height);
    // field mm fit into the smaller layer side at 100 %. A zero field, or a
    // silhouette of zero size, keeps the previous scale. Does not redraw.
    void SetZoomField(int field);
    // A zoom field that shows the whole target. A zero-size silhouette or a
    // zero-radius ring is dropped from Target instead. Does not redraw.
    void ZoomToFitTarget();
    void SetZoomPercent(double percent);
    // Target mm to layer pixels, truncated toward zero (Y grows upwards on the
    // target, downwards in pixels).
    int MapX(double x) const;
    int MapY(double y) const;
    // The caller fills AnimStart* with the current view and AnimEnd* with the
    // target view first.
    //
    // In a view of the target (all shots, a shot, a range) the steps between the
    // first and the last are not whole passes: the pass is drawn once, over
    // everything the animation will show, and each step copies (for a changing
    // zoom, scales) its view out of that picture and lays the text lines, the
    // icons and the grading panel over it, on the display layer only. The static
    // layer then lags behind until the live point needs it or the next pass. The
    // step that reaches the end is a whole pass, so the view at rest is exactly
    // what a pass draws; a view that did not move keeps the pass already drawn
    // there when it is that very one. Any pass from outside, or a new size,
    // makes the next step draw the picture again from the current state.
    // A step that would show the frame already on the display layer (a view
    // that does not move, a slow pan or zoom that maps every pixel as the
    // last step did) leaves it and answers false; true when the display
    // layer was drawn.
    void StartViewAnimation(uint32_t duration);
    bool StepViewAnimation();
    // Milliseconds to the last step of an animation whose view does not move
    // while the display layer shows the pass at that view: the steps before
    // have nothing to draw. 0 otherwise.
    uint32_t StillViewMs() const;
    // Outer radius in mm (without the caliber) of ring k of Target's ring,
    // the same geometry the scorer uses; 0 without a ring or for a ring that
    // has no diameter.
    double RingRadius(double k) const;
    // Nominal distance of Target in metres (ring record first), 0 without one.
    double TargetDistanceM() const;
    // Side of Target's silhouette square in whole mm, 0 without a silhouette.
    int SilhouetteSizeMm() const;

    // ---- Render pass, view modes, ring and silhouette ----
    // mode >= 0 becomes ViewMode; a negative mode keeps it.
    void Render(int mode = -1);
    void ClearStaticLayer();
    // Throws Exception "DrawRingTargetBackground without using ring".
    void DrawRingTargetBackground();
    // Ellipse of radius r mm around (x, y) on the static layer, current pen
    // and brush.
    void DrawCircle(double x, double y, double r);
    void DrawSilhouette();
    void DrawNetworkIcon();
    void DrawBluetoothIcon();
    void DrawGradingOverlay();

    // ---- Shots, trace, hold box, live point, zeroing ----
    void DrawShots();
    void DrawShot(TShot* shot, bool newest);
    void DrawShotMark(const RawShotRecord& record, bool newest);
    void DrawHitCrosshair(double x, double y);
    void FillHoldWindowStats();
    void DrawTrace(TShot* shot);
    void DrawHoldBox(double mx, double my, double sx, double sy);
    void DrawGroupCentre(double x, double y);
    void DrawZeroingCircle(double radius);
    void DrawZeroingResults(TDevice* device);
    void DrawLivePoint(const TraceSample& sample);

    // ---- Shot information, totals, distribution ----
    void AddShotInfoLines(const TShot* shot);
    void AddDistributionLines();
    void DrawInfoLines();

    // ---- Analysis graphs and text page ----
    // Axes passes: ring reference lines, black-area band and time grid of the
    // graph on the static layer; they set the GraphOrigin/GraphScale fields.
    // Both throw Exception "DrawRT: No ring target in use" without a ring.
    // A ring whose outermost radius is 0 gives no value scale (GraphScaleY
    // 0): the grid is drawn without rings, and the curve passes draw nothing.
    void DrawDistanceAxes();
    void DrawXYAxes();
    // The graph's origin and scales for an origin row and a value height,
    // as shares of the layer height (time runs over 0.8 of the width to the
    // origin at 0.9); the outermost ring radius in mm. Throws without a ring.
    double PlaceGraph(double originShare, double valueShare);
    // Curve passes, after the axes pass of the same render: the hold band
    // (both layers) and the curves of SelectedShot (display layer).
    void DrawDistanceCurve();
    void DrawXYCurves();
    // The shot table of TextPage, or on page -1 the grading summary; a page
    // below -1 is taken as -1, one past the last shot is lowered to it. A
    // layer too small for one row of readable text draws nothing.
    void DrawTextPage();
    // The grading summary page on the display layer.
    void DrawGradingSummaryPage();
    // The same on any canvas, laid out over area (the print uses this). An
    // area under 20 px high draws nothing. Sets GridColumns and GridRows.
    void DrawGradingSummaryPage(TCanvas& canvas, const TPixelRect& area);
    // The text grid of the current page over the display layer.
    QPoint GridToPixel(double col, double row) const;
    // align < 0 right-aligns the text at the point, 0 centres it, > 0
    // left-aligns it.
    void GridTextOut(double col, double row, const QString& text, int align);
    void GridDraw(double col, double row, const QImage& graphic);

    // ---- Painting ----
    class TPaintScope {
    public:
        explicit TPaintScope(TTargetRenderer& renderer);
        ~TPaintScope();
        TPaintScope(const TPaintScope&) = delete;
        TPaintScope& operator=(const TPaintScope&) = delete;

    private:
        TTargetRenderer& renderer_;
    };
    TCanvas& StaticCanvas();
    TCanvas& DisplayCanvas();
    // Copies the whole static layer onto the display layer.
    void CopyStaticLayer();
    TColor Colour(int slot) const;
    int LayerWidth() const { return StaticLayer.width(); }
    int LayerHeight() const { return StaticLayer.height(); }

    // ---- Data ----
    double PixelsPerMm = 0.0;           // at zoom 100 %: min(W, H) / ZoomField
    double SilhouetteCell = 0.0;        // mm of one of the 64 x 64 cells
    int32_t CentreX = 0;
    int32_t CentreY = 0;
    StatAccumulator HoldWindowStats {}; // hold window of SelectedShot, rebuilt every pass
    std::unique_ptr<TFrameTrafficLights> GradingPanel;
    bool GradingOverlay = true;
    std::array<TColor, ColourCount> Colours {};
    bool ShowNetworkIcon = false;
    double ZoomField = 100.0;           // mm in min(W, H) at 100 %
    double ViewX = 0.0;                 // mm at the view centre
    double ViewY = 0.0;
    double ZoomPercent = 100.0;
    double AnimStartX = 0.0;
    double AnimStartY = 0.0;
    double AnimStartZoom = 0.0;
    double AnimEndX = 0.0;
    double AnimEndY = 0.0;
    double AnimEndZoom = 0.0;
    bool Animating = false;
    uint32_t AnimStartTick = 0;
    uint32_t AnimEndTick = 0;
    QImage StaticLayer;                 // Format_RGB32
    QImage DisplayLayer;                // Format_RGB32, same size
    int32_t GraphOriginY = 0;
    double GraphScaleY = 0.0;
    int32_t GraphOriginX = 0;
    double GraphScaleX = 0.0;
    int32_t TextPage = 0;
    int32_t GridColumns = 0;
    int32_t GridRows = 0;
    int32_t ViewMode = ViewAllShots;
    int32_t RangeFirst = 0;
    int32_t RangeLast = 0;
    int32_t LimitShots = 0;             // draw only the last so many; 0 = all
    int32_t CurrentShot = 0;            // shot under the hit crosshair; negative = none
    uint8_t Zeroing = 0;
    TDevice* Device = nullptr;          // not owned
    double GroupSumX = 0.0;
    double GroupSumY = 0.0;
    int32_t GroupCount = 0;
    int32_t ScoreTotal = 0;
    TPixelRect LivePointRect {};        // display-layer pixels the live point last covered
    bool LivePointValid = false;        // LivePointRect is to be erased
    TargetDescription Target {};
    TShooter* Shooter = nullptr;        // not owned
    QStringList InfoLines;
    TShot* SelectedShot = nullptr;      // not owned
    TShot* GradedShot = nullptr;        // not owned

private:
    void EndPaint();
    // Render's pass; Render notes the view it was drawn at.
    void DrawPass(int mode);

    // The view of the whole pass on the display layer, while nothing but the
    // live point was drawn over it since.
    struct TShownPass {
        bool valid = false;
        double viewX = 0.0;
        double viewY = 0.0;
        double zoomPercent = 0.0;
        double pixelsPerMm = 0.0;
        int centreX = 0;
        int centreY = 0;
        int width = 0;
        int height = 0;
        int viewMode = 0;
        bool atRest = false;         // what a pass draws once the view is at rest
    };
    bool ShowsPassAt(double viewX, double viewY, double zoomPercent) const;

    // ---- Animation frames (TargetrendererAnim.cpp) ----
    // The picture an animation's steps are cut from: the target pass over
    // the union of the start and end views, at scale (pixels per mm), with
    // mm (left, top) at pixel (Margin, Margin).
    struct TAnimPicture {
        bool valid = false;
        QImage panel;                // the grading panel laid over the view; null: none
        double scale = 0.0;
        double left = 0.0;
        double top = 0.0;
        QImage image;                // over pictureBuffer_
        QImage companion;            // the pass's static layer, over the same memory
        int layerWidth = 0;          // the layers it was drawn for
        int layerHeight = 0;
        double pixelsPerMm = 0.0;
        bool framed = false;         // the display layer shows the pan at frameDx, frameDy
        int frameDx = 0;
        int frameDy = 0;
        // A zoom step's picture column of each layer column and row of each
        // layer row (-1: background): the frame on the display layer when
        // not empty.
        std::vector<int> frameColumns;
        std::vector<int> frameRows;
        // The layer-fixed overlays as the pixels they cover (offset in the
        // layer, premultiplied colour), drawn once for the picture's steps.
        bool overlayReady = false;
        std::vector<std::pair<uint32_t, uint32_t>> overlay;
    };
    // Steps cut from a picture: a target on screen and a view that depends
    // on the pan and zoom, outside any open painter.
    bool StepsFromPicture() const;
    bool BuildAnimPicture();
    bool ComposeAnimFrame();
    // The static layer caught up with the display layer after steps that
    // drew on the display layer only.
    void SyncStaticLayer();
    // The layer-fixed parts of a pass (icons, grading panel, text lines) on
    // the display layer alone.
    void DrawFixedOverlays();
    void DrawFixedOverlays(TCanvas& canvas);
    // Layer-fixed pieces on one canvas.
    void DrawNetworkIcon(TCanvas& canvas);
    void DrawBluetoothIcon(TCanvas& canvas);
    // Analyses and grades GradedShot for the panel; true when the panel is
    // to be laid over the target.
    bool PrepareGradingOverlay();
    void PlaceGradingOverlay(TCanvas& canvas, const QImage& panel);
    void PaintInfoLines(std::initializer_list<TCanvas*> canvases);

    bool pictureOnly_ = false;       // the pass draws the animation picture
    bool firstStep_ = false;         // StartViewAnimation's step: a whole pass
    bool staticBehind_ = false;      // the static layer lacks the last steps
    TShownPass shownPass_;
    bool tintLeftOut_ = false;       // the pass left the hold-box tint out while animating
    TAnimPicture anim_;
    std::vector<uint32_t> pictureBuffer_;
    QImage crossMask_;               // reused by the hit crosshair

    int paintDepth_ = 0;
    std::unique_ptr<TCanvas> staticCanvas_;
    std::unique_ptr<TCanvas> displayCanvas_;
};
