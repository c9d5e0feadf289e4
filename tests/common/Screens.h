// Pictures of the forms the tests show, so that people can look at the
// screens without running them. Each goes into build/screens/<name>.png.
#pragma once

#include <QString>

class QWidget;

// Grabs the widget (laid out at its current size) and saves it as
// <screens folder>/<name>.png. A failed save is only logged: a missing
// picture must never fail a test.
void SaveScreen(QWidget& widget, const QString& name);

// The folder the pictures go to (created on first use).
QString ScreensFolder();
