#include "FakeComBackend.h"

#include <cerrno>
#include <cstring>
#include <sstream>
#include <thread>

using namespace ComBackend;

void FakeComState::FailNext(const std::string& call, int error)
{
    std::lock_guard<std::mutex> lock(mutex);
    FFailNext[call].push_back(error);
}

void FakeComState::FailAlways(const std::string& call, int error)
{
    std::lock_guard<std::mutex> lock(mutex);
    FFailAlways[call] = error;
}

void FakeComState::PushWait(WaitResult result, std::function<void()> action)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        FWaits.emplace_back(result, std::move(action));
    }
    FWaitChanged.notify_all();
}

void FakeComState::AddInput(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    input += bytes;
}

bool FakeComState::IsOpen()
{
    std::lock_guard<std::mutex> lock(mutex);
    return open;
}

int FakeComState::Waiting()
{
    std::lock_guard<std::mutex> lock(mutex);
    return waiting;
}

std::vector<std::string> FakeComState::Log()
{
    std::lock_guard<std::mutex> lock(mutex);
    return FLog;
}

std::vector<std::string> FakeComState::Calls()
{
    std::vector<std::string> names;
    for (const std::string& entry : Log())
        names.push_back(entry.substr(0, entry.find(' ')));
    return names;
}

int FakeComState::Count(const std::string& call)
{
    int n = 0;
    for (const std::string& name : Calls())
        n += name == call ? 1 : 0;
    return n;
}

void FakeComState::ClearLog()
{
    std::lock_guard<std::mutex> lock(mutex);
    FLog.clear();
}

bool FakeComState::WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
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

void FakeComState::ResetWake()
{
    std::lock_guard<std::mutex> lock(mutex);
    FWoken = false;
}

void FakeComState::Wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        FLog.push_back("WakeWaiter");
        FWoken = true;
    }
    FWaitChanged.notify_all();
}

namespace {

const char* Name(Escape e)
{
    switch (e) {
    case Escape::SetDtr: return "SetDtr";
    case Escape::ClrDtr: return "ClrDtr";
    case Escape::SetRts: return "SetRts";
    case Escape::ClrRts: return "ClrRts";
    case Escape::SetBreak: return "SetBreak";
    case Escape::ClrBreak: return "ClrBreak";
    case Escape::SetXon: return "SetXon";
    case Escape::SetXoff: return "SetXoff";
    }
    return "?";
}

class FakeComPort : public IPort {
public:
    explicit FakeComPort(std::shared_ptr<FakeComState> state) : S(std::move(state)) {}

    int Open(const std::string& path) override
    {
        const int error = S->Enter("Open", path);
        if (error == 0) {
            S->ResetWake();
            std::lock_guard<std::mutex> lock(S->mutex);
            S->open = true;
        }
        return error;
    }
    void Close() override
    {
        S->Enter("Close", "");
        std::lock_guard<std::mutex> lock(S->mutex);
        S->open = false;
    }
    bool IsOpen() const override
    {
        std::lock_guard<std::mutex> lock(S->mutex);
        return S->open;
    }
    int SetLineSettings(const LineSettings& s) override
    {
        std::ostringstream args;
        args << s.baudRate << ' ' << s.dataBits << ' ' << int(s.parity) << ' ' << int(s.stopBits)
             << " xon=" << s.xonLim << " xoff=" << s.xoffLim;
        const int error = S->Enter("SetLineSettings", args.str());
        if (error == 0) {
            std::lock_guard<std::mutex> lock(S->mutex);
            S->lastLine = s;
        }
        return error;
    }
    int SetTimeouts(const Timeouts& t) override
    {
        std::ostringstream args;
        args << t.readInterval << ' ' << t.readTotalMultiplier << ' ' << t.readTotalConstant << ' '
             << t.writeTotalMultiplier << ' ' << t.writeTotalConstant;
        const int error = S->Enter("SetTimeouts", args.str());
        if (error == 0) {
            std::lock_guard<std::mutex> lock(S->mutex);
            S->lastTimeouts = t;
        }
        return error;
    }
    int SetBufferSizes(uint32_t in, uint32_t out) override
    {
        const int error = S->Enter("SetBufferSizes", std::to_string(in) + ' ' + std::to_string(out));
        if (error == 0) {
            std::lock_guard<std::mutex> lock(S->mutex);
            S->inputSize = in;
            S->outputSize = out;
        }
        return error;
    }
    int Read(void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        const int error = S->Enter("Read", std::to_string(count));
        if (error != 0)
            return error;
        std::lock_guard<std::mutex> lock(S->mutex);
        done = std::min(count, S->input.size());
        std::memcpy(buffer, S->input.data(), done);
        S->input.erase(0, done);
        return 0;
    }
    int Write(const void* buffer, std::size_t count, std::size_t& done) override
    {
        done = 0;
        const int error = S->Enter("Write", std::to_string(count));
        if (error != 0)
            return error;
        std::lock_guard<std::mutex> lock(S->mutex);
        S->written.append(static_cast<const char*>(buffer), count);
        done = count;
        return 0;
    }
    int AbortPending() override { return S->Enter("AbortPending", ""); }
    int Purge(bool input, bool output) override
    {
        return S->Enter("Purge", std::to_string(int(input)) + ' ' + std::to_string(int(output)));
    }
    int GetStatus(Status& status) override
    {
        const int error = S->Enter("GetStatus", "");
        if (error != 0)
            return error;
        std::lock_guard<std::mutex> lock(S->mutex);
        status.errors = S->errorBits;
        S->errorBits = 0;
        status.inQueue = uint32_t(S->input.size());
        status.outQueue = S->outQueue;
        return 0;
    }
    int GetModemStatus(uint32_t& bits) override
    {
        const int error = S->Enter("GetModemStatus", "");
        std::lock_guard<std::mutex> lock(S->mutex);
        bits = error == 0 ? S->modemBits : 0;
        return error;
    }
    int EscapeFunction(Escape function) override { return S->Enter("EscapeFunction", Name(function)); }
    int TransmitChar(uint8_t c) override { return S->Enter("TransmitChar", std::to_string(c)); }
    int SetEventMask(uint32_t mask) override
    {
        const int error = S->Enter("SetEventMask", std::to_string(mask));
        if (error == 0) {
            std::lock_guard<std::mutex> lock(S->mutex);
            S->eventMask = mask;
        }
        return error;
    }
    WaitResult WaitEvent(int stopFd, int timeoutMs) override { return S->Wait(stopFd, timeoutMs); }
    void WakeWaiter() override { S->Wake(); }

private:
    std::shared_ptr<FakeComState> S;
};

} // namespace

PortFactory FakeComFactory(std::shared_ptr<FakeComState> state)
{
    return [state] { return std::unique_ptr<IPort>(std::make_unique<FakeComPort>(state)); };
}
