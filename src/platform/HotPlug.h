// Port arrival and removal. Watches the kernel's tty events (libudev) and the
// registry's Ports folder; after a quiet spell it refreshes the registry and
// tells every listener, on the thread that started it (the GUI thread), which
// "COMn" came or went.
//
// Where no udev daemon runs, the udev monitor may exist but never fire; the
// folder watch works regardless.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

class TPortRegistry;

enum class EPortChange { Arrival, Removal };

using TPortChangeListener = std::function<void(EPortChange change, const std::string& portName)>;

class THotPlug {
public:
    static constexpr int DebounceMs = 300;
    // A steady stream of events still gets a refresh this often.
    static constexpr int MaxDelayMs = 1000;

    // Needs a QCoreApplication; the registry must outlive this object.
    explicit THotPlug(TPortRegistry& registry, int debounceMs = DebounceMs);
    THotPlug();  // on the process-wide registry
    ~THotPlug();
    THotPlug(const THotPlug&) = delete;
    THotPlug& operator=(const THotPlug&) = delete;

    // Takes the present ports as the starting point and starts watching.
    // Call on the thread whose event loop delivers the changes.
    void Start();
    void Stop();
    bool Running() const;
    // Whether a udev monitor is listening (false without libudev support).
    bool UdevActive() const;

    // Listeners are called in registration order; the id removes one again.
    // A listener may add or remove listeners while it is called, and may run
    // the event loop: changes found meanwhile are delivered after it returns.
    int AddListener(TPortChangeListener listener);
    void RemoveListener(int id);

private:
    struct TImpl;
    std::unique_ptr<TImpl> d_;
};
