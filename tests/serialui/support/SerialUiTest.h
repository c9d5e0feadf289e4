// Shared pieces of the serial widget tests: the application object, waiting
// on the GUI loop, and a port on the scripted backend whose event thread the
// test drives.
#pragma once

#include "CPort.h"
#include "FakeComBackend.h"

#include <functional>
#include <memory>

// Creates the QApplication once per test program (offscreen under ctest).
void EnsureApplication();

// Runs the GUI loop until pred holds or timeoutMs passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 3000);

// Runs the GUI loop until every call queued to the GUI thread before this one
// has run.
void PumpQueued();

// A port on the scripted backend, events delivered on its event thread.
struct TFakePortRig {
    std::shared_ptr<FakeComState> fake = std::make_shared<FakeComState>();
    TComPort port{FakeComFactory(fake)};

    explicit TFakePortRig(const char* path = "/dev/ttyFAKE1");
    // Sets the modem lines, lets the event thread report events for them and
    // returns once it has delivered them (and waits again).
    void LineEvent(uint32_t modemBits, uint32_t eventBits);
};
