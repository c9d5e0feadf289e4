// Follows a serial port for one widget through a TComLink. The port calls its
// links on whatever thread raises the event: its event thread for line
// changes and received bytes, the opening or closing thread for the
// connection events. The relay turns every call into a queued call on the
// receiver's thread (the GUI thread), in the order the port made them, so a
// line that goes on and off again still arrives as on, then off.
//
// Threads. Attach, Detach and the destructor run on the receiver's thread;
// the link's handlers run on the port's threads and only lock the shared
// state and post. The handlers given here run on the receiver's thread and
// only while the receiver lives. Received bytes are gathered under the lock
// and handed over in one call per turn of the GUI loop, however many blocks
// arrived meanwhile.
//
// Lifetime. Calls posted for a port the relay has left (Attach of another
// port, Detach) are dropped. The port may still be delivering to the old link
// while Detach unregisters it, so a detached link is parked until the program
// ends instead of being freed. A port destroyed while linked drops the link
// itself and tells the relay, which forgets it at once (Port() reads nullptr
// from then on) and runs the removed handler: right away when the port is
// destroyed on the receiver's thread, else queued to it. Either the port or
// the relay may therefore go first.
#pragma once

#include "CPort.h"

#include <functional>
#include <memory>
#include <string>

class QObject;

class TComLinkRelay {
public:
    // Line and connection changes; ring, transmit-empty and receive-flag
    // notices come as on.
    using SignalHandler = std::function<void(TComLinkEvent event, bool on)>;
    using RxHandler = std::function<void(std::string bytes)>;

    // receiver: the object whose thread runs the handlers (not owned; it
    // owns the relay).
    explicit TComLinkRelay(QObject* receiver);
    ~TComLinkRelay();
    TComLinkRelay(const TComLinkRelay&) = delete;
    TComLinkRelay& operator=(const TComLinkRelay&) = delete;

    // Set before Attach. With an Rx handler the link takes the received
    // bytes, so the port no longer reports them through its own OnRxChar.
    void SetSignalHandler(SignalHandler handler);
    void SetRxHandler(RxHandler handler);
    // The linked port was destroyed; the relay is detached already.
    void SetRemovedHandler(std::function<void()> handler);

    // Registers a fresh link with port (nullptr: only detaches). Raises
    // EComPort 18 when the port refuses it; the relay is detached then.
    void Attach(TCustomComPort* port);
    void Detach() noexcept;
    TCustomComPort* Port() const;

private:
    struct State;
    std::unique_ptr<TComLink> MakeLink(uint64_t generation) const;

    QObject* FReceiver;
    std::shared_ptr<State> FState;
    std::unique_ptr<TComLink> FLink;
};
