#include "BitmapArt.h"

#include "UiBitmaps.h"

#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace LightArt {

TColor LampColour(int lamp, bool lit)
{
    static constexpr TColor litColours[3] = { TColor(0x0000FF), TColor(0x00FFFF), TColor(0x00D000) };
    static constexpr TColor darkColours[3] = { TColor(0x000050), TColor(0x005050), TColor(0x004000) };
    if (lamp < 0 || lamp > 2)
        return Housing;
    return lit ? litColours[lamp] : darkColours[lamp];
}

} // namespace LightArt

namespace {

constexpr TColor Silver { 0xC0C0C0 };
constexpr TColor Grey { 0x808080 };
constexpr TColor DarkGrey { 0x404040 };
constexpr TColor Navy { 0x603010 };
constexpr TColor Red { 0x0000E0 };
constexpr TColor Yellow { 0x00E0E0 };
constexpr TColor Green { 0x00B000 };
constexpr TColor Blue { 0xE08020 };
constexpr TColor StripBlue { 0xB97A00 };

using Painter = std::function<void(TCanvas&)>;

struct Art {
    int width;
    int height;
    TColor background;
    Painter paint;
};

void Pen(TCanvas& c, TColor colour, int width = 1)
{
    c.SetPenStyle(TPenStyle::Solid);
    c.SetPenColour(colour);
    c.SetPenWidth(width);
}

void Brush(TCanvas& c, TColor colour)
{
    c.SetBrushStyle(TBrushStyle::Solid);
    c.SetBrushColour(colour);
}

void NoBrush(TCanvas& c) { c.SetBrushStyle(TBrushStyle::Clear); }

void CentredText(TCanvas& c, int centreX, int top, const QString& text, TColor colour, int height, bool bold = true)
{
    c.SetFont(QStringLiteral("Tahoma"), height, bold);
    c.SetFontColour(colour);
    NoBrush(c);
    c.TextOut(centreX - c.TextWidth(text) / 2, top, text);
}

// A small ring target: discs from white to black with a centre.
void RingTarget(TCanvas& c, int cx, int cy, int r, bool dim)
{
    Pen(c, dim ? Grey : DarkGrey);
    Brush(c, dim ? Silver : clWhite);
    c.Ellipse(cx - r, cy - r, cx + r + 1, cy + r + 1);
    Brush(c, dim ? Grey : clBlack);
    const int inner = r * 6 / 10;
    c.Ellipse(cx - inner, cy - inner, cx + inner + 1, cy + inner + 1);
    NoBrush(c);
    Pen(c, dim ? Silver : clWhite);
    const int centre = r * 3 / 10;
    c.Ellipse(cx - centre, cy - centre, cx + centre + 1, cy + centre + 1);
}

// A figure target's head and shoulders.
void Silhouette(TCanvas& c, int left, int top, int width, int height, TColor colour)
{
    c.SetPenStyle(TPenStyle::Clear);
    Brush(c, colour);
    const int cx = left + width / 2;
    const int headR = width / 6;
    c.Ellipse(cx - headR, top, cx + headR + 1, top + 2 * headR + 1);
    c.Rectangle(cx - headR / 2, top + 2 * headR - 1, cx + headR / 2 + 1, top + 2 * headR + 3);
    c.Ellipse(left + width / 8, top + 2 * headR + 2, left + width - width / 8, top + height + height / 2);
    c.Rectangle(left + width / 8, top + height * 3 / 4, left + width - width / 8, top + height);
}

void Cross(TCanvas& c, int left, int top, int right, int bottom, TColor colour, int width)
{
    Pen(c, colour, width);
    c.Line(left, top, right, bottom);
    c.Line(right, top, left, bottom);
}

void Arrow(TCanvas& c, int x1, int y1, int x2, int y2, TColor colour)
{
    Pen(c, colour, 3);
    c.Line(x1, y1, x2, y2);
    // Head: two short strokes back from the tip.
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const int len = std::max(std::abs(dx), std::abs(dy));
    if (len == 0)
        return;
    const int bx = x2 - dx * 6 / len;
    const int by = y2 - dy * 6 / len;
    c.Line(x2, y2, bx - dy * 5 / len, by + dx * 5 / len);
    c.Line(x2, y2, bx + dy * 5 / len, by - dx * 5 / len);
}

// A level: a bubble in a tube, tilted by dy pixels at the ends.
void TiltIcon(TCanvas& c, int dy, TColor bubble)
{
    Pen(c, DarkGrey, 5);
    c.Line(4, 16 + dy, 28, 16 - dy);
    Pen(c, bubble, 1);
    Brush(c, bubble);
    c.Ellipse(12, 12, 21, 21);
}

// A cant indicator: the gun's cross-section rotated by degrees.
void RotateIcon(TCanvas& c, int degrees, TColor colour)
{
    const double a = degrees * 3.14159265358979 / 180.0;
    const int dx = ToPixel(12.0 * std::cos(a));
    const int dy = ToPixel(12.0 * std::sin(a));
    Pen(c, colour, 4);
    c.Line(16 - dx, 16 - dy, 16 + dx, 16 + dy);
    c.Line(16, 16, 16 + dy / 2, 16 - dx / 2);
}

void Person(TCanvas& c, int stance)
{
    Pen(c, DarkGrey, 3);
    Brush(c, DarkGrey);
    switch (stance) {
    case 1: // standing
        c.Ellipse(13, 2, 20, 9);
        c.Line(16, 9, 16, 21);
        c.Line(16, 21, 11, 30);
        c.Line(16, 21, 21, 30);
        c.Line(16, 12, 28, 12);
        break;
    case 2: // kneeling
        c.Ellipse(13, 6, 20, 13);
        c.Line(16, 13, 16, 23);
        c.Line(16, 23, 24, 23);
        c.Line(24, 23, 24, 30);
        c.Line(16, 23, 10, 30);
        c.Line(16, 16, 28, 16);
        break;
    default: // prone
        c.Ellipse(22, 18, 29, 25);
        c.Line(3, 26, 22, 24);
        c.Line(21, 22, 30, 18);
        break;
    }
}

void Stars(TCanvas& c, int count)
{
    Pen(c, TColor(0x0080C0), 1);
    Brush(c, TColor(0x00C0FF));
    const int size = 9;
    const int total = count * size + (count - 1) * 2;
    int x = 16 - total / 2;
    for (int i = 0; i < count; ++i, x += size + 2)
        c.Ellipse(x, 12, x + size, 12 + size);
}

void Light(TCanvas& c, int level, bool blinking)
{
    Pen(c, clBlack);
    Brush(c, LightArt::Housing);
    c.Rectangle(2, 0, LightArt::Width - 2, LightArt::Height);
    for (int lamp = 0; lamp < 3; ++lamp) {
        const TColor colour = blinking ? LightArt::Blinking : LightArt::LampColour(lamp, level == lamp + 1);
        Pen(c, colour);
        Brush(c, colour);
        const int r = LightArt::LampRadius;
        c.Ellipse(LightArt::LampX - r, LightArt::LampY[lamp] - r, LightArt::LampX + r + 1,
                  LightArt::LampY[lamp] + r + 1);
    }
}

void Head(TCanvas& c, bool military, bool disabled)
{
    const TColor band = disabled ? Grey : Navy;
    const TColor ink = disabled ? Silver : clWhite;
    Pen(c, band);
    Brush(c, band);
    c.Rectangle(0, 0, 160, 36);
    if (military) {
        // A rifle seen from the side.
        Pen(c, ink, 3);
        c.Line(4, 15, 36, 15);
        c.Line(4, 15, 8, 22);
        c.Line(18, 16, 20, 22);
    } else {
        RingTarget(c, 20, 18, 14, disabled);
    }
    const char* labels[3] = { "HOLD", "AIM", "TRIG" };
    for (int i = 0; i < 3; ++i)
        CentredText(c, 60 + 40 * i, 10, QString::fromLatin1(labels[i]), ink, 12);
}

void ComponentIcon(TCanvas& c, int which)
{
    switch (which) {
    case 0: // hit: a target with a hole
        RingTarget(c, 16, 16, 13, false);
        Pen(c, Red);
        Brush(c, Red);
        c.Ellipse(17, 9, 23, 15);
        break;
    case 1: // hold: a box around a dot cloud
        Pen(c, Blue, 2);
        NoBrush(c);
        c.Rectangle(6, 6, 27, 27);
        Pen(c, DarkGrey, 3);
        c.Line(12, 14, 13, 14);
        c.Line(18, 12, 19, 12);
        c.Line(15, 19, 16, 19);
        c.Line(20, 20, 21, 20);
        break;
    case 2: // aim: a crosshair
        Pen(c, DarkGrey, 2);
        NoBrush(c);
        c.Ellipse(5, 5, 28, 28);
        c.Line(16, 2, 16, 30);
        c.Line(2, 16, 30, 16);
        break;
    default: // trigger
        Pen(c, DarkGrey, 3);
        NoBrush(c);
        c.Ellipse(6, 8, 26, 28);
        Pen(c, Red, 3);
        c.Line(16, 10, 13, 22);
        break;
    }
}

void Banner(TCanvas& c, bool header)
{
    Pen(c, Navy);
    Brush(c, Navy);
    c.Rectangle(0, 0, 1000, 100);
    Pen(c, StripBlue, 6);
    c.Line(0, header ? 92 : 8, 1000, header ? 92 : 8);
    CentredText(c, 500, 24, header ? QStringLiteral("TRAXEL") : QStringLiteral("Optical shooting training"),
                clWhite, header ? 48 : 28);
}

void LogoArt(TCanvas& c, int width, int height)
{
    Pen(c, Navy);
    Brush(c, Navy);
    c.Rectangle(0, 0, width, height);
    const int r = std::min(width, height) / 4;
    RingTarget(c, width / 2, height / 3, r, false);
    CentredText(c, width / 2, height / 3 + r + 6, QStringLiteral("TRAXEL"), clWhite, std::max(12, height / 6));
}

std::map<QString, Art> MakeArt()
{
    std::map<QString, Art> art;
    const auto add = [&](const QString& name, int w, int h, TColor bg, Painter paint) {
        QString key = name;
        key.replace(QLatin1Char('\\'), QLatin1Char('/'));
        art[key.toLower()] = Art { w, h, bg, std::move(paint) };
    };
    using namespace BitmapFiles;

    add(GradingHead, 160, 36, Navy, [](TCanvas& c) { Head(c, true, false); });
    add(GradingHeadDisabled, 160, 36, Grey, [](TCanvas& c) { Head(c, true, true); });
    add(GradingHeadSport, 160, 36, Navy, [](TCanvas& c) { Head(c, false, false); });
    add(GradingHeadSportDisabled, 160, 36, Grey, [](TCanvas& c) { Head(c, false, true); });
    const QString lights[4] = { Grading3_0, Grading3_1, Grading3_2, Grading3_3 };
    for (int level = 0; level < 4; ++level)
        add(lights[level], LightArt::Width, LightArt::Height, Silver, [level](TCanvas& c) { Light(c, level, false); });
    add(Grading3_Blinking, LightArt::Width, LightArt::Height, Silver, [](TCanvas& c) { Light(c, 0, true); });
    const QString components[4] = { GradeComponentHit, GradeComponentHold, GradeComponentAim, GradeComponentTrig };
    for (int i = 0; i < 4; ++i)
        add(components[i], 32, 32, ArtKeyColour, [i](TCanvas& c) { ComponentIcon(c, i); });
    add(StanceStand, 32, 32, clWhite, [](TCanvas& c) { Person(c, 1); });
    add(StanceKneel, 32, 32, clWhite, [](TCanvas& c) { Person(c, 2); });
    add(StanceProne, 32, 32, clWhite, [](TCanvas& c) { Person(c, 3); });
    add(GradingDifficulty1, 32, 32, clWhite, [](TCanvas& c) { Stars(c, 1); });
    add(GradingDifficulty2, 32, 32, clWhite, [](TCanvas& c) { Stars(c, 2); });
    add(GradingDifficulty3, 32, 32, clWhite, [](TCanvas& c) { Stars(c, 3); });

    add(HitRange, 30, 30, StripBlue, [](TCanvas& c) {
        RingTarget(c, 15, 15, 13, false);
        Pen(c, Red);
        Brush(c, Red);
        c.Ellipse(12, 12, 19, 19);
    });
    add(MissRange, 30, 30, StripBlue, [](TCanvas& c) {
        RingTarget(c, 15, 15, 13, true);
        Cross(c, 7, 7, 23, 23, Red, 3);
    });
    add(HitField, 30, 30, StripBlue, [](TCanvas& c) {
        Silhouette(c, 3, 2, 24, 26, DarkGrey);
        Pen(c, Red);
        Brush(c, Red);
        c.Ellipse(12, 15, 19, 22);
    });
    add(MissField, 30, 30, StripBlue, [](TCanvas& c) {
        Silhouette(c, 3, 2, 24, 26, Grey);
        Cross(c, 7, 7, 23, 23, Red, 3);
    });
    add(TimelinePause, 12, 30, ArtKeyColour, [](TCanvas& c) {
        Pen(c, clWhite);
        Brush(c, clWhite);
        c.Rectangle(1, 4, 5, 26);
        c.Rectangle(7, 4, 11, 26);
    });

    add(BannerHeader, 1000, 100, Navy, [](TCanvas& c) { Banner(c, true); });
    add(BannerFooter, 1000, 100, Navy, [](TCanvas& c) { Banner(c, false); });
    const auto network = [](bool connected) {
        return [connected](TCanvas& c) {
            Pen(c, DarkGrey, 2);
            Brush(c, connected ? Green : Silver);
            c.Rectangle(2, 3, 13, 12);
            c.Rectangle(11, 12, 22, 21);
            Pen(c, connected ? Green : Red, 2);
            c.Line(7, 12, 7, 16);
            c.Line(7, 16, 11, 16);
            if (!connected)
                Cross(c, 3, 14, 9, 20, Red, 2);
        };
    };
    add(Network_Connected, 24, 24, clWhite, network(true));
    add(Network_NotConnected, 24, 24, clWhite, network(false));
    const auto bluetooth = [](bool ok) {
        return [ok](TCanvas& c) {
            const TColor ink = ok ? Blue : Grey;
            Pen(c, ink);
            Brush(c, ink);
            c.Ellipse(3, 1, 21, 23);
            Pen(c, clWhite, 2);
            c.Line(11, 4, 11, 20);
            c.Line(11, 4, 16, 8);
            c.Line(16, 8, 7, 16);
            c.Line(7, 8, 16, 16);
            c.Line(16, 16, 11, 20);
        };
    };
    add(Bluetooth_OK, 24, 24, clWhite, bluetooth(true));
    add(Bluetooth_Disabled, 24, 24, clWhite, bluetooth(false));

    add(Tilt_Ok, 33, 33, clWhite, [](TCanvas& c) { TiltIcon(c, 0, Green); });
    add(Tilt_Up, 33, 33, clWhite, [](TCanvas& c) {
        TiltIcon(c, 6, Yellow);
        Arrow(c, 28, 30, 28, 20, Red);
    });
    add(Tilt_Down, 33, 33, clWhite, [](TCanvas& c) {
        TiltIcon(c, -6, Yellow);
        Arrow(c, 28, 2, 28, 12, Red);
    });
    add(Not_Valid_Target, 33, 33, clWhite, [](TCanvas& c) {
        RingTarget(c, 16, 16, 14, true);
        Cross(c, 5, 5, 27, 27, Red, 4);
    });
    add(Rotate_Blank, 33, 33, clWhite, [](TCanvas&) {});
    add(Rotate_Ok, 33, 33, clWhite, [](TCanvas& c) { RotateIcon(c, 0, Green); });
    add(Rotate_Left, 33, 33, clWhite, [](TCanvas& c) { RotateIcon(c, -12, Yellow); });
    add(Rotate_Left_More, 33, 33, clWhite, [](TCanvas& c) { RotateIcon(c, -30, Red); });
    add(Rotate_Right, 33, 33, clWhite, [](TCanvas& c) { RotateIcon(c, 12, Yellow); });
    add(Rotate_Right_More, 33, 33, clWhite, [](TCanvas& c) { RotateIcon(c, 30, Red); });
    add(ButtonStart, 32, 32, Silver, [](TCanvas& c) {
        Pen(c, TColor(0x006000));
        Brush(c, Green);
        c.Ellipse(2, 2, 30, 30);
        c.SetPenStyle(TPenStyle::Clear);
        Brush(c, clWhite);
        for (int i = 0; i < 12; ++i)
            c.Rectangle(11 + i, 9 + i / 2, 12 + i, 24 - i / 2);
    });
    add(ButtonStop, 32, 32, Silver, [](TCanvas& c) {
        Pen(c, TColor(0x000060));
        Brush(c, Red);
        c.Ellipse(2, 2, 30, 30);
        c.SetPenStyle(TPenStyle::Clear);
        Brush(c, clWhite);
        c.Rectangle(10, 10, 22, 22);
    });
    add(ReplayXY, 32, 32, clWhite, [](TCanvas& c) { RingTarget(c, 16, 16, 14, false); });
    add(ReplayXYt, 32, 32, clWhite, [](TCanvas& c) {
        Pen(c, DarkGrey);
        c.Line(3, 28, 29, 28);
        c.Line(3, 3, 3, 28);
        Pen(c, Red, 2);
        c.MoveTo(4, 20);
        c.LineTo(10, 12);
        c.LineTo(16, 18);
        c.LineTo(22, 8);
        c.LineTo(28, 14);
        Pen(c, Blue, 2);
        c.MoveTo(4, 10);
        c.LineTo(12, 22);
        c.LineTo(20, 14);
        c.LineTo(28, 20);
    });
    add(ReplayRt, 32, 32, clWhite, [](TCanvas& c) {
        Pen(c, DarkGrey);
        c.Line(3, 28, 29, 28);
        c.Line(3, 3, 3, 28);
        Pen(c, Green, 2);
        c.MoveTo(4, 6);
        c.LineTo(12, 14);
        c.LineTo(20, 20);
        c.LineTo(28, 24);
    });
    add(SummaryRange, 32, 32, clWhite, [](TCanvas& c) {
        Pen(c, DarkGrey);
        NoBrush(c);
        c.Rectangle(3, 3, 29, 29);
        for (int y = 9; y < 29; y += 6)
            c.Line(3, y, 28, y);
        c.Line(12, 3, 12, 28);
    });
    const TColor gradeColours[3] = { Red, Yellow, Green };
    const QString grades[3] = { Grade1, Grade2, Grade3 };
    for (int i = 0; i < 3; ++i) {
        const TColor colour = gradeColours[i];
        add(grades[i], 16, 16, ArtKeyColour, [colour](TCanvas& c) {
            Pen(c, DarkGrey);
            Brush(c, colour);
            c.Ellipse(1, 1, 15, 15);
        });
    }
    add(OneSilhTarget, 32, 32, clWhite, [](TCanvas& c) { Silhouette(c, 6, 3, 20, 26, DarkGrey); });
    add(AllSilhTargets, 32, 32, clWhite, [](TCanvas& c) {
        Silhouette(c, 0, 6, 14, 20, Grey);
        Silhouette(c, 18, 6, 14, 20, Grey);
        Silhouette(c, 8, 3, 16, 26, DarkGrey);
    });

    // The splash places the application logo at its right (width - 255).
    add(Start, 600, 300, Navy, [](TCanvas& c) {
        CentredText(c, 172, 112, QStringLiteral("Optical"), clWhite, 30);
        CentredText(c, 172, 152, QStringLiteral("shooting training"), clWhite, 30);
    });
    add(Logo, 250, 200, Navy, [](TCanvas& c) { LogoArt(c, 250, 200); });
    add(Logo2, 250, 200, Navy, [](TCanvas& c) { LogoArt(c, 250, 200); });
    add(Logo3, 200, 60, Navy, [](TCanvas& c) {
        CentredText(c, 100, 14, QStringLiteral("TRAXEL"), clWhite, 28);
    });
    add(Vendor, 120, 60, clWhite, [](TCanvas& c) {
        Pen(c, Navy, 4);
        NoBrush(c);
        c.Ellipse(36, 6, 84, 54);
        c.Line(60, 2, 60, 58);
        c.Line(32, 30, 88, 30);
    });
    return art;
}

const std::map<QString, Art>& ArtTable()
{
    static const std::map<QString, Art> table = MakeArt();
    return table;
}

const Art* FindArt(const QString& name)
{
    QString key = name;
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const auto it = ArtTable().find(key.toLower());
    return it == ArtTable().end() ? nullptr : &it->second;
}

} // namespace

QSize UiPictureSize(const QString& name)
{
    const Art* art = FindArt(name);
    return art ? QSize(art->width, art->height) : QSize(0, 0);
}

QImage DrawUiPicture(const QString& name)
{
    const Art* art = FindArt(name);
    if (!art)
        return {};
    QImage image = NewLayer(art->width, art->height);
    image.fill(QColor(ToQColor(art->background)));
    {
        TCanvas canvas(image);
        art->paint(canvas);
    }
    // The key colour must stay the bottom-left pixel of a transparent picture.
    return image;
}

int GenerateUiBitmaps(const QString& folder, QStringList* errors)
{
    int written = 0;
    const auto fail = [&](const QString& name) {
        if (errors)
            errors->append(name);
    };
    if (!QDir().mkpath(folder)) {
        for (const QString& name : BitmapFiles::All())
            fail(name);
        return 0;
    }
    for (const QString& name : BitmapFiles::All()) {
        QString fileName = name;
        fileName.replace(QLatin1Char('\\'), QLatin1Char('/'));
        fileName = fileName.section(QLatin1Char('/'), -1);
        const QImage picture = DrawUiPicture(name);
        QSaveFile file(folder + QLatin1Char('/') + fileName);
        if (picture.isNull() || !file.open(QIODevice::WriteOnly) || !picture.save(&file, "BMP") || !file.commit()) {
            fail(name);
            continue;
        }
        ++written;
    }
    return written;
}
