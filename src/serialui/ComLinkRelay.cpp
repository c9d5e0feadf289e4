#include "ComLinkRelay.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <mutex>
#include <vector>

struct TComLinkRelay::State {
    std::mutex mutex;
    // Under the mutex: where calls go (null while detached), which link may
    // still post, and the received bytes not yet handed over.
    QObject* receiver = nullptr;
    TCustomComPort* port = nullptr;  // the linked port; cleared when it goes
    uint64_t generation = 0;
    std::string rx;
    bool drainPosted = false;
    // Receiver's thread only.
    SignalHandler onSignal;
    RxHandler onRx;
    std::function<void()> onRemoved;
};

namespace {

// Detached links, kept alive for a port that may still be calling them.
void Park(std::unique_ptr<TComLink> link)
{
    static std::mutex mutex;
    static std::vector<std::unique_ptr<TComLink>> parked;
    std::lock_guard<std::mutex> lock(mutex);
    parked.push_back(std::move(link));
}

} // namespace

TComLinkRelay::TComLinkRelay(QObject* receiver) : FReceiver(receiver), FState(std::make_shared<State>()) {}

TComLinkRelay::~TComLinkRelay()
{
    Detach();
}

void TComLinkRelay::SetSignalHandler(SignalHandler handler)
{
    FState->onSignal = std::move(handler);
}

void TComLinkRelay::SetRxHandler(RxHandler handler)
{
    FState->onRx = std::move(handler);
}

void TComLinkRelay::SetRemovedHandler(std::function<void()> handler)
{
    FState->onRemoved = std::move(handler);
}

TCustomComPort* TComLinkRelay::Port() const
{
    std::lock_guard<std::mutex> lock(FState->mutex);
    return FState->port;
}

std::unique_ptr<TComLink> TComLinkRelay::MakeLink(uint64_t generation) const
{
    const std::shared_ptr<State> state = FState;
    auto post = [state, generation](TComLinkEvent event, bool on) {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->receiver || state->generation != generation)
            return;
        QMetaObject::invokeMethod(
            state->receiver,
            [state, generation, event, on] {
                {
                    std::lock_guard<std::mutex> lock(state->mutex);
                    if (state->generation != generation)
                        return;
                }
                if (state->onSignal)
                    state->onSignal(event, on);
            },
            Qt::QueuedConnection);
    };
    auto link = std::make_unique<TComLink>();
    link->OnConn = [post](TCustomComPort&, bool on) { post(leConn, on); };
    link->OnCTSChange = [post](TCustomComPort&, bool on) { post(leCTS, on); };
    link->OnDSRChange = [post](TCustomComPort&, bool on) { post(leDSR, on); };
    link->OnRLSDChange = [post](TCustomComPort&, bool on) { post(leRLSD, on); };
    link->OnRx = [post](TCustomComPort&, bool on) { post(leRx, on); };
    link->OnTx = [post](TCustomComPort&, bool on) { post(leTx, on); };
    link->OnRing = [post](TCustomComPort&) { post(leRing, true); };
    link->OnTxEmpty = [post](TCustomComPort&) { post(leTxEmpty, true); };
    link->OnRxFlag = [post](TCustomComPort&) { post(leRxFlag, true); };
    // The port dropped the link already; calls it posted before are void.
    link->OnRemove = [state, generation](TCustomComPort&) {
        QObject* receiver = nullptr;
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->generation != generation || !state->port)
                return;
            receiver = state->receiver;
            state->receiver = nullptr;
            state->port = nullptr;
            ++state->generation;
            state->rx.clear();
            state->drainPosted = false;
        }
        if (!receiver)
            return;
        const auto removed = [state] {
            if (state->onRemoved)
                state->onRemoved();
        };
        if (receiver->thread() == QThread::currentThread())
            removed();
        else
            QMetaObject::invokeMethod(receiver, removed, Qt::QueuedConnection);
    };
    if (!state->onRx)
        return link;
    link->OnRxBuf = [state, generation](TCustomComPort&, const void* buffer, int count) {
        if (count <= 0)
            return;
        std::lock_guard<std::mutex> lock(state->mutex);
        if (!state->receiver || state->generation != generation)
            return;
        state->rx.append(static_cast<const char*>(buffer), std::size_t(count));
        if (state->drainPosted)
            return;
        state->drainPosted = true;
        QMetaObject::invokeMethod(
            state->receiver,
            [state, generation] {
                std::string bytes;
                {
                    std::lock_guard<std::mutex> lock(state->mutex);
                    if (state->generation != generation)
                        return;
                    state->drainPosted = false;
                    bytes.swap(state->rx);
                }
                if (!bytes.empty())
                    state->onRx(std::move(bytes));
            },
            Qt::QueuedConnection);
    };
    return link;
}

void TComLinkRelay::Attach(TCustomComPort* port)
{
    if (port == Port())
        return;
    Detach();
    if (!port)
        return;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        generation = ++FState->generation;
        FState->receiver = FReceiver;
    }
    std::unique_ptr<TComLink> link = MakeLink(generation);
    // Linked before registering: the port may be destroyed (and call
    // OnRemove) as soon as the link is in its list.
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->port = port;
    }
    try {
        port->RegisterLink(link.get());
    } catch (...) {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->receiver = nullptr;
        FState->port = nullptr;
        ++FState->generation;
        throw;
    }
    FLink = std::move(link);
}

void TComLinkRelay::Detach() noexcept
{
    // The port's destructor waits on this lock in OnRemove, so a port still
    // named here is alive while it is unregistered from.
    std::lock_guard<std::mutex> lock(FState->mutex);
    FState->receiver = nullptr;
    ++FState->generation;
    FState->rx.clear();
    FState->drainPosted = false;
    if (FState->port && FLink) {
        try {
            FState->port->UnRegisterLink(FLink.get());
        } catch (...) {
            // Not registered any more: nothing to undo.
        }
    }
    // Parked also when the port went: its destructor may still be running
    // the link's OnRemove on another thread.
    if (FLink)
        Park(std::move(FLink));
    FState->port = nullptr;
}
