// The drawing kit every picture of the program is made with: a canvas over a
// 32-bit QImage with pen, brush and font state, rectangles and ellipses whose
// right and bottom edges are exclusive, text placed by its top-left corner,
// the OR pen mode, colour-key transparency and the per-pixel tint.
//
// Two kinds of 24-bit colour words meet here and must not be mixed up:
// TColor is a colour as configured and stored (0x00BBGGRR, red in the low
// byte); TPixelWord is a raw pixel of a 32-bit image (0x00RRGGBB, blue in the
// low byte). ColourToPixel/PixelToColour are the only conversions.
#pragma once

#include "Globals.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <cstdint>

struct TColor {
    uint32_t bgr = 0;

    constexpr TColor() = default;
    constexpr explicit TColor(uint32_t value)
        : bgr(value & 0xFFFFFFu)
    {
    }
    constexpr int Red() const { return int(bgr & 0xFF); }
    constexpr int Green() const { return int((bgr >> 8) & 0xFF); }
    constexpr int Blue() const { return int((bgr >> 16) & 0xFF); }
    constexpr bool operator==(const TColor&) const = default;
};

struct TPixelWord {
    uint32_t rgb = 0;

    constexpr TPixelWord() = default;
    constexpr explicit TPixelWord(uint32_t value)
        : rgb(value & 0xFFFFFFu)
    {
    }
    constexpr bool operator==(const TPixelWord&) const = default;
};

constexpr TColor clBlack { 0x000000 };
constexpr TColor clWhite { 0xFFFFFF };

constexpr TPixelWord ColourToPixel(TColor c)
{
    return TPixelWord(((c.bgr & 0xFF) << 16) | (c.bgr & 0xFF00) | ((c.bgr >> 16) & 0xFF));
}

constexpr TColor PixelToColour(TPixelWord p)
{
    return TColor(((p.rgb & 0xFF) << 16) | (p.rgb & 0xFF00) | ((p.rgb >> 16) & 0xFF));
}

inline QColor ToQColor(TColor c) { return QColor(c.Red(), c.Green(), c.Blue()); }
inline TColor FromQColor(const QColor& c)
{
    return TColor(uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16));
}

// Every mm-to-pixel result passes through this: truncation toward zero,
// clamped into int (a far zoom can put a point beyond any int).
inline int ToPixel(double value) { return SaturatingCast<int>(value); }

// A blank 32-bit layer (alpha byte 0xFF), filled black.
QImage NewLayer(int width, int height);

// Each of the three colour bytes of a raw pixel word times factor, truncated.
TPixelWord ScaleColour(TPixelWord colour, double factor);

// Replaces every pixel p of the rectangle (right and bottom exclusive,
// clipped to the image) by ScaleColour(p, 1 - weight) + ScaleColour(colour,
// weight). The colour is a raw pixel word: 0x00FFFF adds green and blue.
// An image of another format is converted to 32 bits first. The image's data
// must not be shared with another QImage while a canvas is open on it.
void TintRect(QImage& image, int left, int top, int right, int bottom, TPixelWord colour, double weight);

// The colour a picture treats as transparent when none is given: its
// bottom-left pixel.
TColor TransparentKeyOf(const QImage& image);

// A copy of image in which every pixel of colour key is fully transparent
// and every other one opaque; done once when a picture is loaded, so that a
// transparent draw is a plain alpha blend.
QImage KeyToAlpha(const QImage& image, TColor key);

enum class TPenStyle { Solid, Dash, Dot, Clear };
enum class TPenMode { Copy, Or };
enum class TBrushStyle { Solid, Clear };

// A painter over one image. Opening it starts painting; destroying it ends.
// Coordinates are pixels; corners may come in any order (the target map
// flips Y) and are normalised. The image must be 32-bit (Format_RGB32 or an
// alpha format) and must outlive the canvas.
//
// A canvas can also draw through a painter that is already active on some
// other device (a printer page), whose drawable area is width x height device
// pixels. It borrows the painter: the painter's state is saved when the canvas
// opens and restored when it closes, and the painter stays active. Such a
// canvas fills ellipses as shapes rather than row by row, measures text on
// the painter's device and has no pixels to read (Pixel answers black).
class TCanvas {
public:
    explicit TCanvas(QImage& image);
    TCanvas(QPainter& painter, int width, int height);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // The image drawn on; an empty image for a painter canvas.
    QImage& Image() { return image_ ? *image_ : noImage_; }
    bool HasImage() const { return image_ != nullptr; }
    int Width() const { return image_ ? image_->width() : width_; }
    int Height() const { return image_ ? image_->height() : height_; }

    // Pen: colour, width in pixels (at least 1), style and mode. Lines have
    // round caps and joins.
    void SetPenColour(TColor colour);
    void SetPenWidth(int width);
    void SetPenStyle(TPenStyle style);
    void SetPenMode(TPenMode mode);
    TColor PenColour() const { return penColour_; }
    int PenWidth() const { return penWidth_; }
    TPenStyle PenStyle() const { return penStyle_; }
    TPenMode PenMode() const { return penMode_; }

    void SetBrushColour(TColor colour);
    void SetBrushStyle(TBrushStyle style);
    TColor BrushColour() const { return brushColour_; }
    TBrushStyle BrushStyle() const { return brushStyle_; }

    // Font by its program name ("Arial", "Courier New", "Tahoma"), height
    // in pixels; the text colour is separate from the pen.
    void SetFont(const QString& name, int pixelHeight, bool bold);
    void SetFontBold(bool bold);
    void SetFontColour(TColor colour);
    const QFont& Font() const { return font_; }
    TColor FontColour() const { return fontColour_; }

    // Lines from the pen position; both end pixels are drawn.
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Line(int x1, int y1, int x2, int y2);

    // Outline in the pen, inside in the brush; the shape covers columns
    // left .. right - 1 and rows top .. bottom - 1.
    void Rectangle(int left, int top, int right, int bottom);
    void Ellipse(int left, int top, int right, int bottom);
    // The brush alone over the same pixels, whatever its style.
    void FillRect(int left, int top, int right, int bottom);

    // Text with the top-left corner of its cell at (x, y); with a solid brush
    // the cell is filled first, with a clear brush the text is transparent.
    void TextOut(int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;

    // Pictures, unscaled with the top-left at (x, y) or stretched into a
    // rectangle. An image with alpha (KeyToAlpha) blends; an opaque one
    // covers. A null image draws nothing.
    void Draw(int x, int y, const QImage& picture);
    void StretchDraw(int left, int top, int right, int bottom, const QImage& picture);
    // The same rectangle of source copied onto this image unchanged, clipped
    // to both; source must have this image's format.
    void CopyRect(int left, int top, int right, int bottom, const QImage& source);

    TColor Pixel(int x, int y) const;

private:
    void ApplyPen();
    void ApplyMode();
    void BeginPictureMode();
    void Start();
    QFontMetrics Metrics() const;

    QImage* image_ = nullptr;        // null for a painter canvas
    QImage noImage_;
    int width_ = 0;                  // drawable size of a painter canvas
    int height_ = 0;
    QPainter ownPainter_;            // the image canvas's painter
    QPainter* painter_ = nullptr;    // ownPainter_ or the borrowed one
    TColor penColour_ = clBlack;
    int penWidth_ = 1;
    TPenStyle penStyle_ = TPenStyle::Solid;
    TPenMode penMode_ = TPenMode::Copy;
    TColor brushColour_ = clWhite;
    TBrushStyle brushStyle_ = TBrushStyle::Solid;
    QFont font_;
    TColor fontColour_ = clBlack;
    int penX_ = 0;
    int penY_ = 0;
};
