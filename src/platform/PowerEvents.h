// Suspend and resume of the machine, from the login manager on the system
// bus: its PrepareForSleep(true) before sleeping, PrepareForSleep(false)
// after waking.
//
// GUI thread: the bus connection delivers on the thread that called Start,
// and the handlers run there. While started, a "delay" inhibitor lock on
// sleep is held, so the machine waits (up to the login manager's delay
// limit) until the suspend handler has returned; the lock is released right
// after it and taken again after the resume handler. Without a system bus
// or a login manager (a build machine, a container) Start returns false and
// logs once per process; nothing is ever delivered then.
//
// The handlers are plain callbacks: whoever installs them (the program
// entry) turns them into calls on the screens. Tests drive PrepareForSleep
// directly, or connect to a bus of their own.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class TPowerEvents {
public:
    using THandler = std::function<void()>;

    // The login manager on the system bus.
    TPowerEvents();
    // A connection by bus address; service names the login manager (empty on
    // a peer-to-peer connection, which has no names).
    TPowerEvents(const QString& busAddress, const QString& service);
    ~TPowerEvents();
    TPowerEvents(const TPowerEvents&) = delete;
    TPowerEvents& operator=(const TPowerEvents&) = delete;

    void SetHandlers(THandler suspend, THandler resume);
    // Subscribes to PrepareForSleep and takes the inhibitor lock. False when
    // there is no bus to listen on.
    bool Start();
    void Stop();
    bool Running() const;
    // The delay lock is held now.
    bool HoldsSleepLock() const;

    // What the bus signal runs: true before sleeping (suspend handler, then
    // the lock released), false after waking (lock taken again, then the
    // resume handler). A handler's exception is logged, never passed on.
    void PrepareForSleep(bool sleeping);

private:
    struct TImpl;
    std::unique_ptr<TImpl> d_;
};
