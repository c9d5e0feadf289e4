// Start-up and shutdown of the program's global objects and forms, in the
// order the rest of the program relies on.
//
// GUI thread; the program entry calls them once, tests once per test.
#pragma once

#include <functional>

class INetworkLink;
class QWidget;

// Creates the device manager, the viewer list and the session, loads the
// bitmaps, finds the data folders (creating them after telling the operator),
// loads the translation and the settings and copies the shipped default setup
// list. False when start-up cannot go on (no application-data folder); the
// message has been shown and the program ends with a non-zero code.
bool ApplicationStartup();

// Makers of the two forms the network layer supplies (it sits above the
// screens). The network control form also implements INetworkLink, which is
// installed when it exists. Either may be empty: a plain form stands in.
struct TNetworkFormMakers {
    std::function<QWidget*()> networkControl;
    std::function<QWidget*()> sendMessage;
};

// Creates the fourteen forms in their fixed order (the splash first, so it is
// the main form) and translates them.
void CreateForms(const TNetworkFormMakers& network = {});

// Deletes the viewers and the forms explicitly, before the globals they use.
void DestroyForms();

// Tears down what ApplicationStartup made. Safe to call after a start-up that
// returned false.
void ApplicationShutdown();
