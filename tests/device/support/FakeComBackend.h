// A scripted serial backend for the port component's tests: every call is
// logged with its arguments, any call can be made to fail with a given errno,
// and the event waits return scripted results (blocking, like the real one,
// when nothing is scripted until they are woken).
#pragma once

#include "CPort.h"
#include "ComBackend.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FakeComState {
public:
    // ---- Script
    // The next call of that name fails with error (queued per name).
    void FailNext(const std::string& call, int error);
    // Every call of that name fails with error (0 ends it).
    void FailAlways(const std::string& call, int error);
    // A WaitEvent result; action (optional) runs inside WaitEvent before it returns.
    void PushWait(ComBackend::WaitResult result, std::function<void()> action = {});
    void PushEvents(uint32_t bits) { PushWait({ComBackend::WaitOutcome::Events, bits, 0}); }
    // Bytes that Read hands out (and GetStatus counts as inQueue).
    void AddInput(const std::string& bytes);

    // ---- State the port sees (under mutex)
    std::mutex mutex;
    uint32_t modemBits = 0;
    uint32_t errorBits = 0;
    std::string input;
    std::string written;
    bool open = false;
    ComBackend::LineSettings lastLine;
    uint32_t inputSize = 0;
    uint32_t outputSize = 0;
    int waiting = 0; // threads blocked in WaitEvent

    // Locked reads of the fields above that another thread changes.
    bool IsOpen();
    int Waiting();
    // WaitEvent results scripted and not yet handed out.
    std::size_t Scripted();

    // ---- Log
    std::vector<std::string> Log();
    int Count(const std::string& call);
    void ClearLog();
    // Polls pred (under no lock) until true or the time is up.
    static bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 2000);

    // ---- Used by the fake port
    int Enter(const std::string& call, const std::string& args);
    ComBackend::WaitResult Wait(int stopFd, int timeoutMs);
    void Wake();
    // A new opening forgets a wake meant for the previous one, like the real backend.
    void ResetWake();

private:
    // f's result, with the mutex held while it runs.
    template <class F>
    auto Locked(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f();
    }

    std::vector<std::string> FLog;
    std::map<std::string, std::deque<int>> FFailNext;
    std::map<std::string, int> FFailAlways;
    std::deque<std::pair<ComBackend::WaitResult, std::function<void()>>> FWaits;
    std::condition_variable FWaitChanged;
    bool FWoken = false;
};

// One port on the shared state; the factory hands out a new one per call.
ComBackend::PortFactory FakeComFactory(std::shared_ptr<FakeComState> state);

// A port on its own scripted backend, named /dev/ttyFAKE0, with the given
// sync method and, unless events is false, the default events.
struct FakePort {
    std::shared_ptr<FakeComState> fake = std::make_shared<FakeComState>();
    std::unique_ptr<TComPort> port = std::make_unique<TComPort>(FakeComFactory(fake));

    explicit FakePort(TSyncMethod sync = smNone, bool events = true);
    // The log without the event thread's waits, which run on their own time.
    std::vector<std::string> Log();
    // True once the event thread waits with nothing scripted left.
    bool Idle();
    // Hands the waiting event thread these events; true once it has
    // dispatched them and waits again.
    bool Deliver(uint32_t bits);
};
