#include "FakeComBackend.h"
#include "TestWait.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

using namespace ComBackend;

void FakeComState::FailNext(const std::string& call, int error) { Locked([&] { FFailNext[call].push_back(error); }); }
void FakeComState::FailAlways(const std::string& call, int error) { Locked([&] { FFailAlways[call] = error; }); }

void FakeComState::PushWait(WaitResult result, std::function<void()> action)
{
    Locked([&] { FWaits.emplace_back(result, std::move(action)); });
    FWaitChanged.notify_all();
}

void FakeComState::AddInput(const std::string& bytes) { Locked([&] { input += bytes; }); }
bool FakeComState::IsOpen() { return Locked([&] { return open; }); }
int FakeComState::Waiting() { return Locked([&] { return waiting; }); }
std::size_t FakeComState::Scripted() { return Locked([&] { return FWaits.size(); }); }
std::vector<std::string> FakeComState::Log() { return Locked([&] { return FLog; }); }

int FakeComState::Count(const std::string& call)
{
    const std::vector<std::string> log = Log();
    return int(std::count_if(log.begin(), log.end(),
                             [&](const std::string& e) { return e.substr(0, e.find(' ')) == call; }));
}

void FakeComState::ClearLog() { Locked([&] { FLog.clear(); }); }

bool FakeComState::WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    return WaitUntil(pred, std::chrono::milliseconds(timeoutMs));
}

int FakeComState::Enter(const std::string& call, const std::string& args)
{
    std::lock_guard<std::mutex> lock(mutex);
    FLog.push_back(args.empty() ? call : call + ' ' + args);
    auto next = FFailNext.find(call);
    if (next != FFailNext.end() && !next->second.empty()) {
        const int error = next->second.front();
        next->second.pop_front();
        return error;
    }
    auto always = FFailAlways.find(call);
    return always != FFailAlways.end() ? always->second : 0;
}

WaitResult FakeComState::Wait(int stopFd, int timeoutMs)
{
    std::function<void()> action;
    WaitResult result;
    {
        std::unique_lock<std::mutex> lock(mutex);
        FLog.push_back("WaitEvent " + std::to_string(stopFd) + ' ' + std::to_string(timeoutMs));
        ++waiting;
        FWaitChanged.notify_all();
        auto ready = [this] { return FWoken || !FWaits.empty(); };
        if (timeoutMs < 0)
            FWaitChanged.wait(lock, ready);
        else
            FWaitChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        --waiting;
        if (FWoken) {
            FWoken = false;
            return {WaitOutcome::Stopped, 0, 0};
        }
        if (FWaits.empty())
            return {WaitOutcome::Timeout, 0, 0};
        result = FWaits.front().first;
        action = std::move(FWaits.front().second);
        FWaits.pop_front();
    }
    if (action)
        action();
    return result;
}

void FakeComState::ResetWake() { Locked([&] { FWoken = false; }); }

void FakeComState::Wake()
{
    Locked([&] {
        FLog.push_back("WakeWaiter");
        FWoken = true;
    });
    FWaitChanged.notify_all();
}

namespace {

// The arguments as the log shows them, blank-separated.
template <class... A>
std::string Args(const A&... args)
{
    std::ostringstream text;
    ((text << args << ' '), ...);
    std::string joined = text.str();
    joined.pop_back();
    return joined;
}

class FakeComPort : public IPort {
public:
    explicit FakeComPort(std::shared_ptr<FakeComState> state) : S(std::move(state)) {}

    int Open(const std::string& path) override
    {
        S->ResetWake();
        return Call("Open", path, [&] { S->open = true; });
    }
    void Close() override
    {
        Call("Close", "", [&] { S->open = false; });
    }
    bool IsOpen() const override { return S->IsOpen(); }
    int SetLineSettings(const LineSettings& s) override
    {
        const std::string args = Args(s.baudRate, s.dataBits, int(s.parity), int(s.stopBits),
                                      "xon=" + std::to_string(s.xonLim), "xoff=" + std::to_string(s.xoffLim));
        return Call("SetLineSettings", args, [&] { S->lastLine = s; });
    }
    int SetTimeouts(const Timeouts& t) override
    {
        return Call("SetTimeouts", Args(t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                                        t.writeTotalMultiplier, t.writeTotalConstant), [] {});
    }
    int SetBufferSizes(uint32_t in, uint32_t out) override
    {
        return Call("SetBufferSizes", Args(in, out), [&] {
            S->inputSize = in;
            S->outputSize = out;
        });
    }
    int Read(void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        return Call("Read", Args(count), [&] {
            done = std::min(count, S->input.size());
            std::memcpy(buffer, S->input.data(), done);
            S->input.erase(0, done);
        });
    }
    int Write(const void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        return Call("Write", Args(count), [&] {
            S->written.append(static_cast<const char*>(buffer), count);
            done = count;
        });
    }
    int AbortPending() override { return S->Enter("AbortPending", ""); }
    int Purge(bool input, bool output) override { return S->Enter("Purge", Args(int(input), int(output))); }
    int GetStatus(Status& status) override
    {
        return Call("GetStatus", "", [&] {
            status.errors = std::exchange(S->errorBits, 0);
            status.inQueue = uint32_t(S->input.size());
            status.outQueue = 0;
        });
    }
    int GetModemStatus(uint32_t& bits) override
    {
        bits = 0;
        return Call("GetModemStatus", "", [&] { bits = S->modemBits; });
    }
    int EscapeFunction(Escape function) override { return S->Enter("EscapeFunction", Args(int(function))); }
    int TransmitChar(uint8_t c) override { return S->Enter("TransmitChar", Args(int(c))); }
    int SetEventMask(uint32_t mask) override { return S->Enter("SetEventMask", Args(mask)); }
    WaitResult WaitEvent(int stopFd, int timeoutMs) override { return S->Wait(stopFd, timeoutMs); }
    void WakeWaiter() override { S->Wake(); }

private:
    // Logs the call; unless it is made to fail, change runs under the state's lock.
    template <class F>
    int Call(const std::string& call, const std::string& args, F change)
    {
        const int error = S->Enter(call, args);
        if (error == 0) {
            std::lock_guard<std::mutex> lock(S->mutex);
            change();
        }
        return error;
    }

    std::shared_ptr<FakeComState> S;
};

} // namespace

PortFactory FakeComFactory(std::shared_ptr<FakeComState> state)
{
    return [state] { return std::unique_ptr<IPort>(std::make_unique<FakeComPort>(state)); };
}

FakePort::FakePort(TSyncMethod sync, bool events)
{
    port->SetPort("/dev/ttyFAKE0");
    port->SetSyncMethod(sync);
    if (!events)
        port->SetEvents({});
}

std::vector<std::string> FakePort::Log()
{
    std::vector<std::string> log = fake->Log();
    std::erase_if(log, [](const std::string& e) { return e.rfind("WaitEvent", 0) == 0; });
    return log;
}

bool FakePort::Idle()
{
    return FakeComState::WaitFor([&] { return fake->Waiting() > 0 && fake->Scripted() == 0; });
}

bool FakePort::Deliver(uint32_t bits)
{
    if (!Idle())
        return false;
    const int waits = fake->Count("WaitEvent");
    fake->PushEvents(bits);
    return FakeComState::WaitFor([&] { return fake->Count("WaitEvent") > waits; });
}
