#include "DrawKit.h"

#include "Fonts.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The raster engine works in 26.6 fixed point; coordinates beyond this would
// overflow it. Far-off shapes are clipped or clamped to it first.
constexpr int CoordLimit = 1 << 23;

int Clamp(int v) { return std::clamp(v, -CoordLimit, CoordLimit); }

// Normalised rectangle with exclusive right/bottom; false when empty.
bool Normalise(int& left, int& top, int& right, int& bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    left = Clamp(left);
    top = Clamp(top);
    right = Clamp(right);
    bottom = Clamp(bottom);
    return right > left && bottom > top;
}

// Liang-Barsky clip of a segment to the coordinate limits; false when no
// part of it lies inside. Keeps the slope of a segment with a far end.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2)
{
    const double lo = -CoordLimit;
    const double hi = CoordLimit;
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    const double p[4] = { -dx, dx, -dy, dy };
    const double q[4] = { x1 - lo, hi - x1, y1 - lo, hi - y1 };
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    const double nx1 = x1 + t0 * dx;
    const double ny1 = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = nx1;
    y1 = ny1;
    return true;
}

uint32_t ScaleWord(uint32_t c, double f)
{
    const auto part = [&](uint32_t mask) {
        return uint32_t(SaturatingCast<int64_t>(double(c & mask) * f)) & mask;
    };
    return part(0xFF00u) + part(0xFF0000u) + part(0xFFu);
}

} // namespace

QImage NewLayer(int width, int height)
{
    QImage image(std::max(width, 0), std::max(height, 0), QImage::Format_RGB32);
    image.fill(0xFF000000u);
    return image;
}

TPixelWord ScaleColour(TPixelWord colour, double factor)
{
    return TPixelWord(ScaleWord(colour.rgb, factor));
}

void TintRect(QImage& image, int left, int top, int right, int bottom, TPixelWord colour, double weight)
{
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32);
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, image.width());
    bottom = std::min(bottom, image.height());
    if (right <= left || bottom <= top)
        return;
    const uint32_t added = ScaleWord(colour.rgb, weight);
    const double keep = 1.0 - weight;
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = left; x < right; ++x) {
            const uint32_t p = row[x];
            row[x] = (p & 0xFF000000u) | ((ScaleWord(p & 0xFFFFFFu, keep) + added) & 0xFFFFFFu);
        }
    }
}

TColor TransparentKeyOf(const QImage& image)
{
    if (image.isNull())
        return clBlack;
    return PixelToColour(TPixelWord(image.pixel(0, image.height() - 1)));
}

QImage KeyToAlpha(const QImage& image, TColor key)
{
    if (image.isNull())
        return {};
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const uint32_t keyWord = ColourToPixel(key).rgb;
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const uint32_t rgb = row[x] & 0xFFFFFFu;
            row[x] = rgb == keyWord ? 0u : (0xFF000000u | rgb);
        }
    }
    return result;
}

// ---- TCanvas ------------------------------------------------------------------

TCanvas::TCanvas(QImage& image)
    : image_(&image)
    , painter_(&ownPainter_)
{
    ownPainter_.begin(image_);
    Start();
}

TCanvas::TCanvas(QPainter& painter, int width, int height)
    : width_(std::max(width, 0))
    , height_(std::max(height, 0))
    , painter_(&painter)
{
    painter_->save();
    Start();
}

void TCanvas::Start()
{
    painter_->setRenderHint(QPainter::Antialiasing, false);
    font_ = MakeFont(QStringLiteral("Arial"), 13, false);
    painter_->setFont(font_);
    ApplyPen();
    ApplyMode();
}

TCanvas::~TCanvas()
{
    if (!image_) {
        if (painter_->isActive())
            painter_->restore();
        return;
    }
    if (ownPainter_.isActive())
        ownPainter_.end();
}

QFontMetrics TCanvas::Metrics() const
{
    // A printer's fonts are laid out on the printer, not on the screen.
    if (!image_ && painter_->device())
        return QFontMetrics(font_, painter_->device());
    return QFontMetrics(font_);
}

void TCanvas::ApplyPen()
{
    if (penStyle_ == TPenStyle::Clear) {
        painter_->setPen(Qt::NoPen);
        return;
    }
    QPen pen(ToQColor(penColour_));
    pen.setWidth(penWidth_);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    switch (penStyle_) {
    case TPenStyle::Dash:
        pen.setStyle(Qt::DashLine);
        break;
    case TPenStyle::Dot:
        pen.setStyle(Qt::DotLine);
        break;
    default:
        pen.setStyle(Qt::SolidLine);
        break;
    }
    painter_->setPen(pen);
}

void TCanvas::ApplyMode()
{
    painter_->setCompositionMode(penMode_ == TPenMode::Or ? QPainter::RasterOp_SourceOrDestination
                                                         : QPainter::CompositionMode_SourceOver);
}

void TCanvas::BeginPictureMode()
{
    // Text and pictures ignore the pen mode.
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::SetPenColour(TColor colour)
{
    penColour_ = colour;
    ApplyPen();
}

void TCanvas::SetPenWidth(int width)
{
    penWidth_ = std::max(width, 1);
    ApplyPen();
}

void TCanvas::SetPenStyle(TPenStyle style)
{
    penStyle_ = style;
    ApplyPen();
}

void TCanvas::SetPenMode(TPenMode mode)
{
    penMode_ = mode;
    ApplyMode();
}

void TCanvas::SetBrushColour(TColor colour) { brushColour_ = colour; }

void TCanvas::SetBrushStyle(TBrushStyle style) { brushStyle_ = style; }

void TCanvas::SetFont(const QString& name, int pixelHeight, bool bold)
{
    font_ = MakeFont(name, pixelHeight, bold);
    painter_->setFont(font_);
}

void TCanvas::SetFontBold(bool bold)
{
    font_.setBold(bold);
    painter_->setFont(font_);
}

void TCanvas::SetFontColour(TColor colour) { fontColour_ = colour; }

void TCanvas::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void TCanvas::LineTo(int x, int y)
{
    Line(penX_, penY_, x, y);
    penX_ = x;
    penY_ = y;
}

void TCanvas::Line(int x1, int y1, int x2, int y2)
{
    if (penStyle_ == TPenStyle::Clear)
        return;
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (!ClipSegment(ax, ay, bx, by))
        return;
    painter_->drawLine(QPoint(ToPixel(ax), ToPixel(ay)), QPoint(ToPixel(bx), ToPixel(by)));
}

void TCanvas::Rectangle(int left, int top, int right, int bottom)
{
    if (!Normalise(left, top, right, bottom))
        return;
    if (brushStyle_ == TBrushStyle::Solid)
        painter_->fillRect(QRect(left, top, right - left, bottom - top), ToQColor(brushColour_));
    if (penStyle_ != TPenStyle::Clear) {
        painter_->setBrush(Qt::NoBrush);
        if (right - left == 1 || bottom - top == 1)
            painter_->drawLine(QPoint(left, top), QPoint(right - 1, bottom - 1));
        else
            painter_->drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
    }
}

void TCanvas::Ellipse(int left, int top, int right, int bottom)
{
    if (!Normalise(left, top, right, bottom))
        return;
    if (brushStyle_ == TBrushStyle::Solid && !image_) {
        // On a printer a filled shape stays one shape.
        painter_->setPen(Qt::NoPen);
        painter_->setBrush(ToQColor(brushColour_));
        painter_->drawEllipse(QRect(left, top, right - left, bottom - top));
        painter_->setBrush(Qt::NoBrush);
        ApplyPen();
    } else if (brushStyle_ == TBrushStyle::Solid) {
        // Filled row by row: the pixels whose centres lie inside the ellipse
        // inscribed in the box, symmetric about its middle and never past
        // its right or bottom edge, and only over the rows of the image.
        const double cx = (double(left) + right) * 0.5;
        const double cy = (double(top) + bottom) * 0.5;
        const double a = (double(right) - left) * 0.5;
        const double b = (double(bottom) - top) * 0.5;
        const QColor colour = ToQColor(brushColour_);
        const int firstRow = std::max(top, 0);
        const int lastRow = std::min(bottom, Height());
        for (int y = firstRow; y < lastRow; ++y) {
            const double dy = (y + 0.5 - cy) / b;
            if (dy * dy > 1.0)
                continue;
            const double half = a * std::sqrt(1.0 - dy * dy);
            const int x1 = std::max(ToPixel(std::ceil(cx - half - 0.5)), left);
            const int x2 = std::min(ToPixel(std::floor(cx + half - 0.5)), right - 1);
            if (x2 >= x1)
                painter_->fillRect(QRect(x1, y, x2 - x1 + 1, 1), colour);
        }
    }
    if (penStyle_ != TPenStyle::Clear) {
        painter_->setBrush(Qt::NoBrush);
        painter_->drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
    }
}

void TCanvas::FillRect(int left, int top, int right, int bottom)
{
    if (!Normalise(left, top, right, bottom))
        return;
    painter_->fillRect(QRect(left, top, right - left, bottom - top), ToQColor(brushColour_));
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    if (text.isEmpty())
        return;
    BeginPictureMode();
    const QFontMetrics metrics = Metrics();
    if (brushStyle_ == TBrushStyle::Solid)
        painter_->fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), ToQColor(brushColour_));
    painter_->setPen(ToQColor(fontColour_));
    painter_->drawText(QPoint(x, y + metrics.ascent()), text);
    ApplyPen();
    ApplyMode();
}

int TCanvas::TextWidth(const QString& text) const
{
    return Metrics().horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString&) const
{
    return Metrics().height();
}

void TCanvas::Draw(int x, int y, const QImage& picture)
{
    if (picture.isNull())
        return;
    BeginPictureMode();
    painter_->drawImage(QPoint(Clamp(x), Clamp(y)), picture);
    ApplyMode();
}

void TCanvas::StretchDraw(int left, int top, int right, int bottom, const QImage& picture)
{
    if (picture.isNull() || !Normalise(left, top, right, bottom))
        return;
    BeginPictureMode();
    painter_->drawImage(QRect(left, top, right - left, bottom - top), picture);
    ApplyMode();
}

void TCanvas::CopyRect(int left, int top, int right, int bottom, const QImage& source)
{
    if (source.isNull() || !Normalise(left, top, right, bottom))
        return;
    QRect area = QRect(left, top, right - left, bottom - top) & source.rect() & QRect(0, 0, Width(), Height());
    if (area.isEmpty())
        return;
    painter_->setCompositionMode(QPainter::CompositionMode_Source);
    painter_->drawImage(area.topLeft(), source, area);
    ApplyMode();
}

TColor TCanvas::Pixel(int x, int y) const
{
    if (!image_ || !image_->valid(x, y))
        return clBlack;
    return PixelToColour(TPixelWord(image_->pixel(x, y)));
}
