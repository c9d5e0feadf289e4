// Where the screens meet the device manager: the hooks it calls during a
// scan, the port arrivals and removals of the hot-plug watch, and the one
// snapshot of the connected units that the splash and the start menu show.
//
// GUI thread. The hot-plug watch delivers on the thread that started it,
// which is the GUI thread here; the scan hooks run inside the scan's waits
// on the GUI thread too.
#pragma once

#include <QString>

#include <vector>

// One connected unit as the counts and labels see it.
struct TConnectedUnit {
    int com = 0;
    bool identifying = false;  // identification running, not finished
    bool found = false;
    bool bluetooth = false;
};

// The device manager's connected list, in list order (empty without one).
std::vector<TConnectedUnit> ConnectedUnits();

// Installs the device manager's hooks (scan progress into the splash and
// the start menu, device counts, the free viewer of a returning port) and
// starts the hot-plug watch, whose changes go to the download form. Call
// once the forms exist; RemoveDeviceEvents before they go.
void InstallDeviceEvents();
void RemoveDeviceEvents();
