// Small pictures the splash and the start menu draw themselves: the unit
// icons of the device count and the home and settings glyphs.
//
// GUI thread (QPixmap).
#pragma once

#include <QPixmap>

enum class TUnitIcon {
    None,       // no unit connected
    Wired,      // the first unit is on a wired port
    Bluetooth,  // the first unit is on a Bluetooth port
    Found,      // the splash: units were found
};

QPixmap UnitIcon(TUnitIcon kind, int size = 32);
QPixmap HomeIcon(int size = 32);
// Settings glyph; advanced: the variant shown while advanced settings are on.
QPixmap SettingsIcon(bool advanced, int size = 32);
