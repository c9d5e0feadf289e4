// Start-up and shutdown of the program's global objects and forms, in the
// order the rest of the program relies on.
//
// GUI thread; the program entry calls them once, tests once per test.
#pragma once

#include <functional>

class INetworkLink;
class QWidget;

// Creates the diagnostics log (the debug log's sink), the device manager,
// the viewer list and the session, loads the bitmaps, finds the data folders
// (creating them after telling the operator), loads the translation and the
// settings and copies the shipped default setup list. False when start-up
// cannot go on (no application-data folder); the message has been shown and
// the program ends with a non-zero code without creating any form.
bool ApplicationStartup();

// Makers of the two forms the network layer supplies (it sits above the
// screens). The network control form also implements INetworkLink, which is
// installed when it exists. Either may be empty: a plain form stands in.
struct TNetworkFormMakers {
    std::function<QWidget*()> networkControl;
    std::function<QWidget*()> sendMessage;
};

// Creates the fourteen forms in their fixed order (the splash first, so it is
// the main form), installs the grading file's reports (before the first
// renderer), the device manager's hooks and the hot-plug watch, and
// translates the forms.
void CreateForms(const TNetworkFormMakers& network = {});

// Removes the hooks and the hot-plug watch, then deletes the viewers and the
// forms explicitly, before the globals they use.
void DestroyForms();

// Tears down what ApplicationStartup made: the diagnostics log first (lines
// go to standard error from then on), the device manager, the session, the
// bitmaps, the translation faults (saved when due) and the settings
// document. A device manager already gone is reported to standard error as
// "Multiple app destroy" and the remaining steps still run. Safe to call
// after a start-up that returned false.
void ApplicationShutdown();
