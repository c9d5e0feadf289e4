#include "ComLinkRelay.h"

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <vector>

struct TComLinkRelay::State {
    std::mutex mutex;
    // Under the mutex: where calls go (null while detached), which link may
    // still post, and the received bytes not yet handed over.
    QObject* receiver = nullptr;
    uint64_t generation = 0;
    std::string rx;
    bool drainPosted = false;
    // Receiver's thread only.
    SignalHandler onSignal;
    RxHandler onRx;
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
    if (port == FPort)
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
    try {
        port->RegisterLink(link.get());
    } catch (...) {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->receiver = nullptr;
        ++FState->generation;
        throw;
    }
    FLink = std::move(link);
    FPort = port;
}

void TComLinkRelay::Detach() noexcept
{
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        FState->receiver = nullptr;
        ++FState->generation;
        FState->rx.clear();
        FState->drainPosted = false;
    }
    if (FPort && FLink) {
        try {
            FPort->UnRegisterLink(FLink.get());
        } catch (...) {
            // Not registered any more: nothing to undo.
        }
        Park(std::move(FLink));
    }
    FLink.reset();
    FPort = nullptr;
}
