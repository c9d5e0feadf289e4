// The pictures of the program's bitmap files. The program ships no artwork:
// the build draws every file named in BitmapFiles with simple shapes, at the
// sizes the screens lay them out for (see tools/bitmaps).
#pragma once

#include "DrawKit.h"

#include <QImage>
#include <QString>
#include <QStringList>

// Geometry and colours of the grading lights (Grading3_*.bmp), which the
// grading panel places side by side in 40-pixel columns.
namespace LightArt {
constexpr int Width = 40;
constexpr int Height = 100;
constexpr int LampX = 20;
constexpr int LampY[3] = { 18, 50, 82 };   // red, yellow, green from the top
constexpr int LampRadius = 13;
constexpr TColor Housing { 0x202020 };
constexpr TColor Blinking { 0xFFFFFF };
// Lamp 0 red, 1 yellow, 2 green; lit or dark.
TColor LampColour(int lamp, bool lit);
} // namespace LightArt

// Colour the transparent pictures (grade marks, time-line pause) are drawn on;
// it is their bottom-left pixel, so a transparent draw drops it.
constexpr TColor ArtKeyColour { 0xFF00FF };

// Width and height a picture is drawn at; (0, 0) for an unknown name.
QSize UiPictureSize(const QString& name);

// The picture for one of BitmapFiles' names (either spelling); null for a
// name it does not know.
QImage DrawUiPicture(const QString& name);

// Writes every picture of BitmapFiles::All() as a BMP file into folder
// (created when missing), named as the name's last part. Returns the number
// of files written; the names that failed go to errors.
int GenerateUiBitmaps(const QString& folder, QStringList* errors = nullptr);
