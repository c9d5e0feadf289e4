// The serial backend for real ports and pseudo-terminals on Linux.
//
// Threads: one thread may wait in WaitEvent while others read, write and
// query; one Read and one Write may be in flight at the same time. Close may
// come from any thread: it releases every pending call and closes the
// descriptor only after those calls have left.
#pragma once

#include "ComBackend.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace ComBackend {

class TPosixComPort final : public IPort {
public:
    TPosixComPort();
    ~TPosixComPort() override;
    TPosixComPort(const TPosixComPort&) = delete;
    TPosixComPort& operator=(const TPosixComPort&) = delete;

    int Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override;

    int SetLineSettings(const LineSettings& settings) override;
    int SetTimeouts(const Timeouts& timeouts) override;
    int SetBufferSizes(uint32_t inputSize, uint32_t outputSize) override;

    int Read(void* buffer, std::size_t count, std::size_t& done) override;
    int Write(const void* buffer, std::size_t count, std::size_t& done) override;
    int AbortPending() override;
    int Purge(bool input, bool output) override;

    int GetStatus(Status& status) override;
    int GetModemStatus(uint32_t& modemBits) override;
    int EscapeFunction(Escape function) override;
    int TransmitChar(uint8_t c) override;

    int SetEventMask(uint32_t mask) override;
    WaitResult WaitEvent(int stopFd, int timeoutMs) override;
    void WakeWaiter() override;

    // The port rejected the modem-line ioctls (a pseudo-terminal): DTR and
    // RTS are only remembered.
    bool HasModemLines() const { return !noModemLines_.load(); }
    bool DtrState() const { return dtrShadow_.load(); }
    bool RtsState() const { return rtsShadow_.load(); }

private:
    friend class TPortUse;

    // Marks a call as using the descriptor; -1 when closed or closing.
    int BeginUse();
    void EndUse();
    int SetModemLine(int fd, int bit, bool on, std::atomic<bool>& shadow);
    // Line-state and error-counter changes since the last look, as event bits.
    int CheckLines(int fd, uint32_t mask, uint32_t& occurred);
    void Kick(int eventFd);
    static void Drain(int eventFd);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int fd_ = -1;
    int epollFd_ = -1;
    int inFlight_ = 0;
    bool closing_ = false;
    int initError_ = 0;

    // Created once, live as long as the object.
    int wakeFd_ = -1;
    int abortReadFd_ = -1;
    int abortWriteFd_ = -1;
    std::atomic<uint32_t> readGeneration_ {0};
    std::atomic<uint32_t> writeGeneration_ {0};
    std::atomic<bool> wakeRequested_ {false};
    std::atomic<bool> closingFlag_ {false};

    // Guarded by mutex_.
    Timeouts timeouts_;
    bool discardNull_ = false;
    uint32_t inputSize_ = 4096;
    // Error counters at the last GetStatus.
    bool statusCountsValid_ = false;
    int statusCounts_[5] = {};

    // Bytes known to be waiting: the input count at the last EvRxChar, less
    // what was read since. The kernel may wake an edge-triggered waiter for
    // other reasons; only a count above this means new bytes. It may run low
    // (an extra event) but never high (a lost one).
    std::mutex rxMutex_;
    uint64_t rxKnown_ = 0;

    std::atomic<uint32_t> eventMask_ {0};
    std::atomic<bool> txPending_ {false};
    std::atomic<bool> noModemLines_ {false};
    std::atomic<bool> dtrShadow_ {false};
    std::atomic<bool> rtsShadow_ {false};

    // Owned by the one waiting thread.
    bool hungUp_ = false;
    bool rx80Armed_ = true;
    int registeredStopFd_ = -1;
    bool linesBaselineValid_ = false;
    bool lineLevelsSupported_ = true;
    bool lineCountsSupported_ = true;
    int lastLevels_ = 0;
    int lastCounts_[9] = {};
};

} // namespace ComBackend
