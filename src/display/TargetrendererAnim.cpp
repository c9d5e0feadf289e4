// The animated pan and zoom of the target view. A step between the first and
// the last is cut from one picture of the pass, drawn when the animation
// needs it, rather than drawn anew: after a shot the view glides for a
// second, and at 50 steps a second whole passes were most of a live
// viewer's drawing.
#include "Targetrenderer.h"

#include "Clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Pixels of picture around the union of the views, so rounding at its edges
// never reads outside it.
constexpr int PictureMargin = 2;
// A picture may hold this many layers' worth of pixels; past that (a long
// pan, a deep zoom) it is drawn at a smaller scale, or for a pan the steps
// are whole passes.
constexpr double PictureLayers = 4.0;

// The view rectangle in target mm of a layer w x h at (vx, vy) and the scale.
struct TMmRect {
    double left, top, right, bottom;
};

TMmRect ViewRect(double vx, double vy, double scale, int cx, int cy, int w, int h)
{
    return { vx - cx / scale, vy + cy / scale, vx + (w - cx) / scale, vy - (h - cy) / scale };
}

// A QImage over the buffer, which grows but never shrinks, so the pictures of
// one viewer's animations share one allocation.
QImage ImageOver(std::vector<uint32_t>& buffer, int w, int h)
{
    const std::size_t need = std::size_t(w) * std::size_t(h);
    if (buffer.size() < need)
        buffer.resize(need);
    return QImage(reinterpret_cast<uchar*>(buffer.data()), w, h, w * 4, QImage::Format_RGB32);
}

} // namespace

void TTargetRenderer::StartViewAnimation(uint32_t duration)
{
    AnimStartTick = TickCountMs();
    AnimEndTick = AnimStartTick + duration;
    Animating = true;
    anim_.valid = false;
    ViewX = AnimStartX;
    ViewY = AnimStartY;
    ZoomPercent = AnimStartZoom;
    // The first frame is a whole pass: it often shows a new shot, and the
    // picture (several layers' worth of pixels) is left for the next step
    // rather than delaying it.
    firstStep_ = true;
    try {
        StepViewAnimation();
    } catch (...) {
        firstStep_ = false;
        throw;
    }
    firstStep_ = false;
}

bool TTargetRenderer::StepViewAnimation()
{
    if (!Animating)
        return false;
    const uint32_t elapsed = TickCountMs() - AnimStartTick;
    const uint32_t span = AnimEndTick - AnimStartTick;
    // An animation of no duration is already at its end.
    const double t = span == 0 ? 1.0 : std::min(elapsed * 1.0 / span, 1.0);
    if (t >= 1.0) {
        // Exactly the end view, not start + (end - start), which may miss it
        // by a rounding step.
        ViewX = AnimEndX;
        ViewY = AnimEndY;
        ZoomPercent = AnimEndZoom;
        Animating = false;
    } else {
        ViewX = AnimStartX + (AnimEndX - AnimStartX) * t;
        ViewY = AnimStartY + (AnimEndY - AnimStartY) * t;
        ZoomPercent = AnimStartZoom + (AnimEndZoom - AnimStartZoom) * t;
    }
    if (!Animating || firstStep_ || !StepsFromPicture()) {
        // The last step of a view that did not move: the pass on the layer
        // is the one at rest, unless it left the hold-box tint out or a
        // live point is over it.
        if (!Animating && !firstStep_ && StepsFromPicture() && ShowsPassAt(ViewX, ViewY, ZoomPercent)
            && shownPass_.atRest && !LivePointValid)
            return false;
        Render(-1);
        return true;
    }
    // A view that does not move (a new shot where the last one was): the
    // first step's pass, or a later one, shows this very view already.
    if (ShowsPassAt(ViewX, ViewY, ZoomPercent))
        return false;
    if (!anim_.valid || anim_.layerWidth != LayerWidth() || anim_.layerHeight != LayerHeight()
        || anim_.pixelsPerMm != PixelsPerMm) {
        if (!BuildAnimPicture()) {
            Render(-1);
            return true;
        }
    }
    return ComposeAnimFrame();
}

uint32_t TTargetRenderer::StillViewMs() const
{
    if (!Animating || AnimStartX != AnimEndX || AnimStartY != AnimEndY || AnimStartZoom != AnimEndZoom
        || !StepsFromPicture() || !ShowsPassAt(AnimEndX, AnimEndY, AnimEndZoom))
        return 0;
    const uint32_t elapsed = TickCountMs() - AnimStartTick;
    const uint32_t span = AnimEndTick - AnimStartTick;
    return elapsed < span ? span - elapsed : 0;
}

bool TTargetRenderer::StepsFromPicture() const
{
    // Text pages and graphs do not move with the view. Shots and traces do,
    // also without a ring or silhouette under them (a monitor's view of a
    // remote target whose sizes it was not sent). An open painter (a live
    // point that left the view) must keep its layers.
    const bool targetView = ViewMode == ViewAllShots || ViewMode == ViewSingleShot || ViewMode == ViewRange;
    return targetView && paintDepth_ == 0 && PixelsPerMm > 0
           && LayerWidth() > 0 && LayerHeight() > 0 && AnimEndTick - AnimStartTick > 20;
}

bool TTargetRenderer::BuildAnimPicture()
{
    const int w = LayerWidth();
    const int h = LayerHeight();
    const double startScale = PixelsPerMm * 0.01 * AnimStartZoom;
    const double endScale = PixelsPerMm * 0.01 * AnimEndZoom;
    if (!(startScale > 0) || !(endScale > 0) || !std::isfinite(startScale) || !std::isfinite(endScale))
        return false;
    // Every view in between lies inside the union of the first and the last
    // (the half-size follows 1 / zoom, which is convex in time).
    const TMmRect a = ViewRect(AnimStartX, AnimStartY, startScale, CentreX, CentreY, w, h);
    const TMmRect b = ViewRect(AnimEndX, AnimEndY, endScale, CentreX, CentreY, w, h);
    const TMmRect u { std::min(a.left, b.left), std::max(a.top, b.top), std::max(a.right, b.right),
                      std::min(a.bottom, b.bottom) };

    // The sharper end's scale, unless the picture would grow too large.
    double scale = std::max(startScale, endScale);
    const double limit = PictureLayers * double(w) * double(h);
    double pixels = (u.right - u.left) * scale * (u.top - u.bottom) * scale;
    if (!std::isfinite(pixels))
        return false;
    if (pixels > limit) {
        if (startScale == endScale)
            return false; // a long pan: whole passes
        scale *= std::sqrt(limit / pixels);
    }
    const int pw = SaturatingCast<int>(std::ceil((u.right - u.left) * scale)) + 2 * PictureMargin;
    const int ph = SaturatingCast<int>(std::ceil((u.top - u.bottom) * scale)) + 2 * PictureMargin;
    if (pw <= 0 || ph <= 0 || double(pw) * ph > limit + 4.0 * (pw + ph) + 64)
        return false;

    // The pass's two layers share the picture's memory: everything it draws
    // on both is opaque or or-ed (the hold-box tint, which is neither, is
    // left out while animating; the text lines and the grading panel are
    // left to the steps), so drawing it twice changes nothing, and one
    // buffer is all a viewer keeps.
    anim_.image = ImageOver(pictureBuffer_, pw, ph);
    anim_.companion = ImageOver(pictureBuffer_, pw, ph);
    anim_.panel = QImage();

    // The pass over the picture: the view's centre pixel and zoom moved so
    // that mm (left, top) lands at (margin, margin).
    const double keepViewX = ViewX, keepViewY = ViewY, keepZoom = ZoomPercent;
    const int keepCentreX = CentreX, keepCentreY = CentreY;
    const bool keepAnimating = Animating;
    std::swap(StaticLayer, anim_.companion);
    std::swap(DisplayLayer, anim_.image);
    ViewX = u.left;
    ViewY = u.top;
    CentreX = PictureMargin;
    CentreY = PictureMargin;
    ZoomPercent = scale / (PixelsPerMm * 0.01);
    pictureOnly_ = true;
    try {
        Render(-1);
    } catch (...) {
        pictureOnly_ = false;
        std::swap(StaticLayer, anim_.companion);
        std::swap(DisplayLayer, anim_.image);
        ViewX = keepViewX, ViewY = keepViewY, ZoomPercent = keepZoom;
        CentreX = keepCentreX, CentreY = keepCentreY;
        throw;
    }
    pictureOnly_ = false;
    std::swap(StaticLayer, anim_.companion);
    std::swap(DisplayLayer, anim_.image);
    ViewX = keepViewX, ViewY = keepViewY, ZoomPercent = keepZoom;
    CentreX = keepCentreX, CentreY = keepCentreY;
    Animating = keepAnimating;

    anim_.scale = scale;
    anim_.left = u.left;
    anim_.top = u.top;
    anim_.layerWidth = w;
    anim_.layerHeight = h;
    anim_.pixelsPerMm = PixelsPerMm;
    anim_.framed = false;
    anim_.frameColumns.clear();
    anim_.frameRows.clear();
    anim_.overlayReady = false;
    anim_.valid = true;
    return true;
}

bool TTargetRenderer::ComposeAnimFrame()
{
    const int w = LayerWidth();
    const int h = LayerHeight();
    const QImage& picture = anim_.image;
    const int pw = picture.width();
    const int ph = picture.height();
    const double scale = PixelsPerMm * 0.01 * ZoomPercent;
    // Layer pixel (x, y), taken at its centre, is target mm (ViewX + (x + 0.5
    // - CentreX) / scale, ...); that mm lies at picture pixel margin + (mm -
    // left) x picture scale.
    const double f = anim_.scale / scale;
    const double u0 = PictureMargin + (ViewX - anim_.left) * anim_.scale + (0.5 - CentreX) * f;
    const double v0 = PictureMargin + (anim_.top - ViewY) * anim_.scale + (0.5 - CentreY) * f;
    const uint32_t fill = 0xFF000000u | ColourToPixel(Colour(ClrBackground)).rgb;

    const auto* source = reinterpret_cast<const uint32_t*>(picture.constBits());
    const int sourceStride = int(picture.bytesPerLine() / 4);
    if (f == 1.0) {
        // A pan: each row is one copy.
        const int dx = SaturatingCast<int>(std::floor(u0));
        const int dy = SaturatingCast<int>(std::floor(v0));
        // A slow glide stays on one pixel for several steps: the frame on
        // the layer is already this one.
        if (anim_.framed && dx == anim_.frameDx && dy == anim_.frameDy)
            return false;
        anim_.framed = true;
        anim_.frameDx = dx;
        anim_.frameDy = dy;
        anim_.frameColumns.clear();
        anim_.frameRows.clear();
        const int first = std::clamp(-dx, 0, w);
        const int last = std::clamp(pw - dx, first, w);
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(DisplayLayer.scanLine(y));
            const int sy = y + dy;
            if (sy < 0 || sy >= ph) {
                std::fill(row, row + w, fill);
                continue;
            }
            std::fill(row, row + first, fill);
            std::memcpy(row + first, source + std::size_t(sy) * sourceStride + (first + dx),
                        std::size_t(last - first) * 4);
            std::fill(row + last, row + w, fill);
        }
    } else {
        anim_.framed = false;
        // A zoom: the nearest picture pixel of each layer pixel.
        const auto nearest = [](double start, double step, int count, int size) {
            std::vector<int> map(std::size_t(count), -1);
            for (int i = 0; i < count; ++i) {
                const double p = std::floor(start + i * step);
                map[std::size_t(i)] = p >= 0 && p < size ? int(p) : -1;
            }
            return map;
        };
        std::vector<int> columns = nearest(u0, f, w, pw);
        std::vector<int> rows = nearest(v0, f, h, ph);
        // A slow or nearly finished zoom may map every pixel as the last
        // step did.
        if (columns == anim_.frameColumns && rows == anim_.frameRows)
            return false;
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(DisplayLayer.scanLine(y));
            const int v = rows[std::size_t(y)];
            if (v < 0) {
                std::fill(row, row + w, fill);
                continue;
            }
            const uint32_t* from = source + std::size_t(v) * sourceStride;
            for (int x = 0; x < w; ++x) {
                const int c = columns[std::size_t(x)];
                row[x] = c >= 0 ? from[c] : fill;
            }
        }
        anim_.frameColumns = std::move(columns);
        anim_.frameRows = std::move(rows);
    }
    shownPass_.valid = false;
    DrawFixedOverlays();
    staticBehind_ = true;
    return true;
}

void TTargetRenderer::DrawFixedOverlays()
{
    // Laying out the text lines anew was much of a small view's step: the
    // overlays are drawn once, on a clear layer, and blended in by each step
    // (their soft edges may differ by one from drawing them straight on the
    // step; the view at rest is a pass).
    if (!anim_.overlayReady) {
        QImage layer(LayerWidth(), LayerHeight(), QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            TCanvas canvas(layer);
            DrawFixedOverlays(canvas);
        }
        anim_.overlay.clear();
        const auto* pixels = reinterpret_cast<const uint32_t*>(layer.constBits());
        const std::size_t count = std::size_t(layer.width()) * std::size_t(layer.height());
        for (std::size_t i = 0; i < count; ++i) {
            if (pixels[i] >> 24 != 0)
                anim_.overlay.emplace_back(uint32_t(i), pixels[i]);
        }
        anim_.overlayReady = true;
    }
    auto* layer = reinterpret_cast<uint32_t*>(DisplayLayer.bits());
    for (const auto& [offset, colour] : anim_.overlay) {
        const uint32_t keep = 255 - (colour >> 24);
        uint32_t& pixel = layer[offset];
        if (keep == 0) {
            pixel = colour;
            continue;
        }
        // Source over, per 8-bit channel: colour + pixel x keep / 255.
        uint32_t blended = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t t = ((pixel >> shift) & 0xFF) * keep + 128;
            const uint32_t under = (t + (t >> 8)) >> 8;
            blended |= std::min<uint32_t>(((colour >> shift) & 0xFF) + under, 255) << shift;
        }
        pixel = blended;
    }
}

void TTargetRenderer::DrawFixedOverlays(TCanvas& canvas)
{
    DrawNetworkIcon(canvas);
    DrawBluetoothIcon(canvas);
    if (!anim_.panel.isNull())
        PlaceGradingOverlay(canvas, anim_.panel);
    PaintInfoLines({ &canvas });
}

void TTargetRenderer::SyncStaticLayer()
{
    if (!staticBehind_)
        return;
    staticBehind_ = false;
    if (StaticLayer.size() != DisplayLayer.size() || StaticLayer.isNull())
        return;
    std::memcpy(StaticLayer.bits(), DisplayLayer.constBits(), std::size_t(DisplayLayer.sizeInBytes()));
}
