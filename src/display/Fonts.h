// Font names the drawing code uses ("Arial", "Courier New", "Tahoma") mapped
// to the free fonts installed with the program.
#pragma once

#include <QFont>
#include <QString>

// Registers the substitutions once; later calls do nothing. Needs a
// QGuiApplication.
void RegisterFontSubstitutions();

// The installed family that stands in for name; name itself when it has no
// substitute.
QString SubstituteFontFamily(const QString& name);

// A font of the given family, pixel height and weight.
QFont MakeFont(const QString& name, int pixelHeight, bool bold);
