#include "PosixComBackend.h"

#include "ComTermios.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ComBackend {

namespace {

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC
using Millis = std::chrono::milliseconds;

// How often line states and error counters are looked at while someone
// listens for them; the kernel has no wake-up for these on most drivers.
constexpr Millis LinePollInterval(20);
// Limits beyond this are treated as none (they would overflow the clock).
constexpr uint64_t MaxLimitMs = uint64_t(1) << 40;

enum : uint64_t { TagPort = 1, TagWake = 2, TagStop = 3 };

// A port without modem lines (a pseudo-terminal) rejects their ioctls so.
bool IsNoLinesError(int err) { return err == ENOTTY || err == EINVAL; }

bool IsGoneError(int err) { return err == EIO || err == ENODEV || err == ENXIO; }

// A point in time, or none (wait without limit).
struct TDeadline {
    bool set = false;
    Clock::time_point at {};
};

TDeadline DeadlineAfter(uint64_t ms, Clock::time_point from)
{
    if (ms >= MaxLimitMs)
        return {};
    return {true, from + Millis(ms)};
}

// Time left until the deadline, 0 when passed, -1 for none; rounded up so a
// wait never ends just short of it and spins.
int MsUntil(const TDeadline& deadline, Clock::time_point now)
{
    if (!deadline.set)
        return -1;
    if (deadline.at <= now)
        return 0;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline.at - now).count();
    int64_t ms = (us + 999) / 1000;
    return int(std::min<int64_t>(ms, 1 << 30));
}

int MinWait(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

int WaitFds(pollfd* fds, nfds_t n, int timeoutMs)
{
    int rc = poll(fds, n, timeoutMs);
    return rc < 0 ? -errno : rc;
}

} // namespace

// Holds the descriptor in use for the duration of one call.
class TPortUse {
public:
    explicit TPortUse(TPosixComPort& port) : port_(port), fd_(port.BeginUse()) {}
    ~TPortUse()
    {
        if (fd_ >= 0)
            port_.EndUse();
    }
    TPortUse(const TPortUse&) = delete;
    TPortUse& operator=(const TPortUse&) = delete;
    int Fd() const { return fd_; }
    bool Ok() const { return fd_ >= 0; }

private:
    TPosixComPort& port_;
    int fd_;
};

TPosixComPort::TPosixComPort()
{
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    abortReadFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    abortWriteFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0 || abortReadFd_ < 0 || abortWriteFd_ < 0)
        initError_ = errno ? errno : EMFILE;
}

TPosixComPort::~TPosixComPort()
{
    Close();
    for (int fd : {wakeFd_, abortReadFd_, abortWriteFd_})
        if (fd >= 0)
            ::close(fd);
}

int TPosixComPort::BeginUse()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_)
        return -1;
    ++inFlight_;
    return fd_;
}

void TPosixComPort::EndUse()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (--inFlight_ == 0)
        idle_.notify_all();
}

void TPosixComPort::Kick(int eventFd)
{
    uint64_t one = 1;
    ssize_t rc;
    do {
        rc = ::write(eventFd, &one, sizeof one);
    } while (rc < 0 && errno == EINTR);
    // EAGAIN means the counter is already non-zero: the wake-up is pending.
}

void TPosixComPort::Drain(int eventFd)
{
    uint64_t value;
    while (::read(eventFd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

int TPosixComPort::Open(const std::string& path)
{
    if (initError_)
        return initError_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ >= 0 || closing_)
            return EBUSY;
    }

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    auto fail = [fd](int err) {
        ::close(fd);
        return err;
    };

    // TIOCEXCL keeps other users out (root excepted); the lock also keeps
    // out a second opener running as root, including ourselves.
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK || err == EAGAIN) {
            ioctl(fd, TIOCNXCL); // the flag belongs to the tty, not to us
            return fail(EBUSY);
        }
        // A file system without locks still has TIOCEXCL.
    }
    // Nothing may be translated or echoed before the caller's settings come.
    if (int rc = ApplyRawMode(fd)) {
        ioctl(fd, TIOCNXCL);
        return fail(rc);
    }

    int ep = epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) {
        ioctl(fd, TIOCNXCL);
        return fail(errno);
    }
    // Edge-triggered: a handler that leaves bytes unread must not make the
    // waiter spin; the next arrival gives the next event.
    epoll_event ev {};
    ev.events = EPOLLIN | EPOLLET;
    ev.data.u64 = TagPort;
    epoll_event wake {};
    wake.events = EPOLLIN;
    wake.data.u64 = TagWake;
    if (epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev) != 0 || epoll_ctl(ep, EPOLL_CTL_ADD, wakeFd_, &wake) != 0) {
        int err = errno;
        ::close(ep);
        ioctl(fd, TIOCNXCL);
        return fail(err);
    }

    Drain(wakeFd_);
    Drain(abortReadFd_);
    Drain(abortWriteFd_);
    wakeRequested_ = false;
    closingFlag_ = false;
    {
        std::lock_guard<std::mutex> lock(rxMutex_);
        rxKnown_ = 0;
    }
    txPending_ = false;
    noModemLines_ = false;
    hungUp_ = false;
    rx80Armed_ = true;
    registeredStopFd_ = -1;
    linesBaselineValid_ = false;
    lineLevelsSupported_ = true;
    lineCountsSupported_ = true;

    // Linux raises DTR and RTS on open; the shadows start as the lines are.
    int levels = 0;
    if (ioctl(fd, TIOCMGET, &levels) == 0) {
        dtrShadow_ = (levels & TIOCM_DTR) != 0;
        rtsShadow_ = (levels & TIOCM_RTS) != 0;
    } else {
        dtrShadow_ = false;
        rtsShadow_ = false;
    }

    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
    epollFd_ = ep;
    statusCountsValid_ = false;
    serial_icounter_struct ic {};
    if (ioctl(fd, TIOCGICOUNT, &ic) == 0) {
        int counts[5] = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
        std::memcpy(statusCounts_, counts, sizeof counts);
        statusCountsValid_ = true;
    }
    return 0;
}

void TPosixComPort::Close()
{
    int fd, ep;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (closing_) {
            // Another thread is closing: return once it has finished.
            idle_.wait(lock, [this] { return !closing_; });
            return;
        }
        if (fd_ < 0)
            return;
        closing_ = true;
        closingFlag_ = true;
    }
    // Release every pending call before the descriptor goes away.
    ++readGeneration_;
    ++writeGeneration_;
    wakeRequested_ = true;
    Kick(abortReadFd_);
    Kick(abortWriteFd_);
    Kick(wakeFd_);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return inFlight_ == 0; });
        fd = fd_;
        ep = epollFd_;
    }
    ioctl(fd, TIOCNXCL);
    ::close(ep);
    ::close(fd); // also drops the lock
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fd_ = -1;
        epollFd_ = -1;
        closing_ = false;
        closingFlag_ = false;
    }
    idle_.notify_all();
}

bool TPosixComPort::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0 && !closing_;
}

int TPosixComPort::SetModemLine(int fd, int bit, bool on, std::atomic<bool>& shadow)
{
    int b = bit;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &b) == 0) {
        shadow = on;
        return 0;
    }
    int err = errno;
    if (IsNoLinesError(err)) {
        noModemLines_ = true;
        shadow = on;
        return 0;
    }
    return err;
}

int TPosixComPort::SetLineSettings(const LineSettings& settings)
{
    if (int rc = ValidateLineSettings(settings))
        return rc;
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    if (int rc = ApplyLineSettings(use.Fd(), settings))
        return rc;
    // The driver does not touch DTR/RTS for these settings: set them as the
    // flow-control choice says.
    const bool dtr = settings.dtrControl != DtrControl::Disable;
    const bool rts = settings.rtsControl == RtsControl::Enable
        || settings.rtsControl == RtsControl::Handshake;
    if (int rc = SetModemLine(use.Fd(), TIOCM_DTR, dtr, dtrShadow_))
        return rc;
    if (int rc = SetModemLine(use.Fd(), TIOCM_RTS, rts, rtsShadow_))
        return rc;
    std::lock_guard<std::mutex> lock(mutex_);
    discardNull_ = settings.discardNull;
    return 0;
}

int TPosixComPort::SetTimeouts(const Timeouts& timeouts)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_)
        return EBADF;
    timeouts_ = timeouts;
    return 0;
}

int TPosixComPort::SetBufferSizes(uint32_t inputSize, uint32_t /*outputSize*/)
{
    // The kernel's queues have fixed sizes; the input size only sets where
    // the 80 % mark lies.
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || closing_)
        return EBADF;
    inputSize_ = inputSize;
    return 0;
}

int TPosixComPort::Read(void* buffer, std::size_t count, std::size_t& done)
{
    done = 0;
    TPortUse use(*this);
    if (!use.Ok())
        return closingFlag_ ? ECANCELED : EBADF;
    if (count == 0)
        return 0;
    const uint32_t generation = readGeneration_.load();
    if (closingFlag_)
        return ECANCELED;

    Timeouts to;
    bool discardNull;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        to = timeouts_;
        discardNull = discardNull_;
    }
    constexpr uint32_t Max = Timeouts::MaxWait;
    // MaxWait,0,0: whatever is there, at once.
    const bool immediate = to.readInterval == Max && to.readTotalMultiplier == 0
        && to.readTotalConstant == 0;
    // MaxWait,MaxWait,c: what is there; if nothing, the first bytes within c.
    const bool firstBytes = to.readInterval == Max && to.readTotalMultiplier == Max
        && to.readTotalConstant != 0 && to.readTotalConstant != Max;
    const Clock::time_point start = Clock::now();
    TDeadline deadline;
    if (firstBytes)
        deadline = DeadlineAfter(to.readTotalConstant, start);
    else if (to.readTotalMultiplier != 0 || to.readTotalConstant != 0)
        deadline = DeadlineAfter(uint64_t(to.readTotalMultiplier) * count + to.readTotalConstant, start);
    const bool useInterval = to.readInterval != 0 && to.readInterval != Max;

    const int fd = use.Fd();
    auto* out = static_cast<uint8_t*>(buffer);
    Clock::time_point lastByte = start;
    bool hangup = false;
    while (done < count) {
        ssize_t n = ::read(fd, out + done, count - done);
        if (n > 0) {
            {
                std::lock_guard<std::mutex> lock(rxMutex_);
                rxKnown_ = uint64_t(n) >= rxKnown_ ? 0 : rxKnown_ - uint64_t(n);
            }
            std::size_t kept = std::size_t(n);
            if (discardNull) {
                uint8_t* begin = out + done;
                kept = std::size_t(std::remove(begin, begin + n, uint8_t(0)) - begin);
            }
            done += kept;
            lastByte = Clock::now();
            if (firstBytes && done > 0)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return errno;
        // Nothing waiting (a raw tty read gives 0 rather than EAGAIN).
        if (hangup)
            return EIO;
        if (immediate || (firstBytes && done > 0)) {
            pollfd p {fd, POLLIN, 0};
            if (done == 0 && WaitFds(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)))
                return EIO;
            break;
        }
        const Clock::time_point now = Clock::now();
        int wait = MsUntil(deadline, now);
        if (useInterval && done > 0)
            wait = MinWait(wait, MsUntil(TDeadline {true, lastByte + Millis(to.readInterval)}, now));
        if (wait == 0)
            break;
        pollfd fds[2] = {{fd, POLLIN, 0}, {abortReadFd_, POLLIN, 0}};
        int rc = WaitFds(fds, 2, wait);
        if (rc == -EINTR)
            continue;
        if (rc < 0)
            return -rc;
        if (readGeneration_.load() != generation || closingFlag_)
            return ECANCELED;
        if (fds[1].revents & POLLIN)
            Drain(abortReadFd_); // left from an abort before this read began
        if (fds[0].revents & (POLLHUP | POLLERR))
            hangup = true;
    }
    return 0;
}

int TPosixComPort::Write(const void* buffer, std::size_t count, std::size_t& done)
{
    done = 0;
    TPortUse use(*this);
    if (!use.Ok())
        return closingFlag_ ? ECANCELED : EBADF;
    if (count == 0)
        return 0;
    const uint32_t generation = writeGeneration_.load();
    if (closingFlag_)
        return ECANCELED;

    Timeouts to;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        to = timeouts_;
    }
    TDeadline deadline;
    if (to.writeTotalMultiplier != 0 || to.writeTotalConstant != 0)
        deadline = DeadlineAfter(uint64_t(to.writeTotalMultiplier) * count + to.writeTotalConstant, Clock::now());

    const int fd = use.Fd();
    const auto* in = static_cast<const uint8_t*>(buffer);
    bool hangup = false;
    int result = 0;
    while (done < count) {
        ssize_t n = ::write(fd, in + done, count - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            result = errno;
            break;
        }
        if (hangup) {
            result = EIO;
            break;
        }
        int wait = MsUntil(deadline, Clock::now());
        if (wait == 0)
            break; // time-out: a short count, no error
        pollfd fds[2] = {{fd, POLLOUT, 0}, {abortWriteFd_, POLLIN, 0}};
        int rc = WaitFds(fds, 2, wait);
        if (rc == -EINTR)
            continue;
        if (rc < 0) {
            result = -rc;
            break;
        }
        if (writeGeneration_.load() != generation || closingFlag_) {
            result = ECANCELED;
            break;
        }
        if (fds[1].revents & POLLIN)
            Drain(abortWriteFd_);
        if (fds[0].revents & (POLLHUP | POLLERR))
            hangup = true;
    }
    if (done > 0) {
        txPending_ = true;
        if (eventMask_.load() & EvTxEmpty)
            Kick(wakeFd_); // the waiter looks at the output queue
    }
    return result;
}

int TPosixComPort::AbortPending()
{
    if (!IsOpen())
        return EBADF;
    ++readGeneration_;
    ++writeGeneration_;
    Kick(abortReadFd_);
    Kick(abortWriteFd_);
    return 0;
}

int TPosixComPort::Purge(bool input, bool output)
{
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    int rc = FlushQueues(use.Fd(), input, output);
    if (rc == 0 && input) {
        std::lock_guard<std::mutex> lock(rxMutex_);
        rxKnown_ = 0;
    }
    return rc;
}

int TPosixComPort::GetStatus(Status& status)
{
    status = Status {};
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    const int fd = use.Fd();
    int in = 0;
    if (ioctl(fd, FIONREAD, &in) != 0)
        return errno;
    int out = 0;
    if (ioctl(fd, TIOCOUTQ, &out) != 0) {
        if (!IsNoLinesError(errno))
            return errno;
        out = 0;
    }
    status.inQueue = uint32_t(std::max(in, 0));
    status.outQueue = uint32_t(std::max(out, 0));

    serial_icounter_struct ic {};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0) {
        if (!IsNoLinesError(errno))
            return errno;
        return 0; // no error counters on this port
    }
    const int now[5] = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    constexpr uint32_t bits[5] = {CeFrame, CeOverrun, CeRxParity, CeBreak, CeRxOver};
    std::lock_guard<std::mutex> lock(mutex_);
    if (statusCountsValid_) {
        for (int i = 0; i < 5; ++i)
            if (now[i] != statusCounts_[i])
                status.errors |= bits[i];
    }
    std::memcpy(statusCounts_, now, sizeof now);
    statusCountsValid_ = true;
    return 0;
}

int TPosixComPort::GetModemStatus(uint32_t& modemBits)
{
    modemBits = 0;
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    int levels = 0;
    if (ioctl(use.Fd(), TIOCMGET, &levels) != 0) {
        int err = errno;
        if (IsNoLinesError(err)) {
            noModemLines_ = true;
            return 0;
        }
        return err;
    }
    if (levels & TIOCM_CTS)
        modemBits |= MsCtsOn;
    if (levels & TIOCM_DSR)
        modemBits |= MsDsrOn;
    if (levels & TIOCM_RNG)
        modemBits |= MsRingOn;
    if (levels & TIOCM_CAR)
        modemBits |= MsRlsdOn;
    return 0;
}

int TPosixComPort::EscapeFunction(Escape function)
{
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    const int fd = use.Fd();
    switch (function) {
    case Escape::SetDtr: return SetModemLine(fd, TIOCM_DTR, true, dtrShadow_);
    case Escape::ClrDtr: return SetModemLine(fd, TIOCM_DTR, false, dtrShadow_);
    case Escape::SetRts: return SetModemLine(fd, TIOCM_RTS, true, rtsShadow_);
    case Escape::ClrRts: return SetModemLine(fd, TIOCM_RTS, false, rtsShadow_);
    case Escape::SetBreak: return ioctl(fd, TIOCSBRK) == 0 ? 0 : errno;
    case Escape::ClrBreak: return ioctl(fd, TIOCCBRK) == 0 ? 0 : errno;
    // As if the peer had sent XON / XOFF: resume or hold our transmission.
    case Escape::SetXon: return SuspendOutput(fd, false);
    case Escape::SetXoff: return SuspendOutput(fd, true);
    }
    return EINVAL;
}

int TPosixComPort::TransmitChar(uint8_t c)
{
    TPortUse use(*this);
    if (!use.Ok())
        return EBADF;
    for (;;) {
        ssize_t n = ::write(use.Fd(), &c, 1);
        if (n == 1)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? errno : EAGAIN;
    }
    txPending_ = true;
    if (eventMask_.load() & EvTxEmpty)
        Kick(wakeFd_);
    return 0;
}

int TPosixComPort::SetEventMask(uint32_t mask)
{
    if (!IsOpen())
        return EBADF;
    eventMask_ = mask;
    // The waiter re-reads the mask (and with 0 returns).
    Kick(wakeFd_);
    return 0;
}

void TPosixComPort::WakeWaiter()
{
    wakeRequested_ = true;
    if (wakeFd_ >= 0)
        Kick(wakeFd_);
}

int TPosixComPort::CheckLines(int fd, uint32_t mask, uint32_t& occurred)
{
    const bool wantLevels = mask & (EvCts | EvDsr | EvRlsd | EvRing);
    const bool wantCounts = mask & (EvCts | EvDsr | EvRlsd | EvRing | EvErr | EvBreak);
    int levels = lastLevels_;
    if (wantLevels && lineLevelsSupported_) {
        if (ioctl(fd, TIOCMGET, &levels) != 0) {
            if (!IsNoLinesError(errno))
                return errno;
            lineLevelsSupported_ = false;
            levels = 0;
        }
    }
    int counts[9];
    std::memcpy(counts, lastCounts_, sizeof counts);
    if (wantCounts && lineCountsSupported_) {
        serial_icounter_struct ic {};
        if (ioctl(fd, TIOCGICOUNT, &ic) != 0) {
            if (!IsNoLinesError(errno))
                return errno;
            lineCountsSupported_ = false;
        } else {
            const int now[9] = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame,
                                ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
            std::memcpy(counts, now, sizeof now);
        }
    }
    if (linesBaselineValid_) {
        const int changed = levels ^ lastLevels_;
        // A counter catches a line that went and came back between two looks.
        if ((changed & TIOCM_CTS) || counts[0] != lastCounts_[0])
            occurred |= EvCts;
        if ((changed & TIOCM_DSR) || counts[1] != lastCounts_[1])
            occurred |= EvDsr;
        if ((changed & levels & TIOCM_RNG) || counts[2] != lastCounts_[2])
            occurred |= EvRing;
        if ((changed & TIOCM_CAR) || counts[3] != lastCounts_[3])
            occurred |= EvRlsd;
        if (counts[4] != lastCounts_[4] || counts[5] != lastCounts_[5] || counts[6] != lastCounts_[6])
            occurred |= EvErr;
        if (counts[7] != lastCounts_[7])
            occurred |= EvBreak;
    }
    lastLevels_ = levels;
    std::memcpy(lastCounts_, counts, sizeof counts);
    linesBaselineValid_ = true;
    return 0;
}

WaitResult TPosixComPort::WaitEvent(int stopFd, int timeoutMs)
{
    WaitResult result;
    TPortUse use(*this);
    if (!use.Ok()) {
        if (closingFlag_)
            result.outcome = WaitOutcome::Stopped;
        else
            result.error = EBADF;
        return result;
    }
    if (hungUp_) {
        // The device is gone; answer at once so the caller leaves its loop.
        result.outcome = WaitOutcome::Hangup;
        return result;
    }
    const int fd = use.Fd();
    int ep;
    uint32_t inputSize;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ep = epollFd_;
        inputSize = inputSize_;
    }

    if (registeredStopFd_ >= 0 && registeredStopFd_ != stopFd) {
        epoll_ctl(ep, EPOLL_CTL_DEL, registeredStopFd_, nullptr);
        registeredStopFd_ = -1;
    }
    if (stopFd >= 0) {
        // Added on every call: a descriptor closed and reopened under the
        // same number has left the set.
        epoll_event ev {};
        ev.events = EPOLLIN;
        ev.data.u64 = TagStop;
        if (epoll_ctl(ep, EPOLL_CTL_ADD, stopFd, &ev) != 0 && errno != EEXIST) {
            result.error = errno;
            return result;
        }
        registeredStopFd_ = stopFd;
    }

    TDeadline deadline;
    if (timeoutMs >= 0)
        deadline = {true, Clock::now() + Millis(timeoutMs)};
    constexpr uint32_t LineEvents = EvCts | EvDsr | EvRlsd | EvRing | EvErr | EvBreak;
    uint32_t occurred = 0;
    for (;;) {
        if (wakeRequested_.exchange(false) || closingFlag_) {
            result.outcome = WaitOutcome::Stopped;
            return result;
        }
        const uint32_t mask = eventMask_.load();
        if (mask == 0) {
            result.outcome = WaitOutcome::Stopped;
            return result;
        }

        const bool watchLines = (mask & LineEvents) && (lineLevelsSupported_ || lineCountsSupported_);
        if (watchLines) {
            if (int err = CheckLines(fd, mask, occurred)) {
                if (IsGoneError(err)) {
                    hungUp_ = true;
                    result.outcome = WaitOutcome::Hangup;
                } else {
                    result.error = err;
                }
                return result;
            }
        } else {
            linesBaselineValid_ = false; // retaken when someone listens again
        }
        const bool watchTx = (mask & EvTxEmpty) && txPending_.load();
        if (watchTx) {
            int out = 0;
            if (ioctl(fd, TIOCOUTQ, &out) != 0 || out == 0) {
                txPending_ = false;
                occurred |= EvTxEmpty;
            }
        }
        if (occurred & mask) {
            result.outcome = WaitOutcome::Events;
            result.occurred = occurred & mask;
            return result;
        }

        const Clock::time_point now = Clock::now();
        int wait = MsUntil(deadline, now);
        if (wait == 0) {
            result.outcome = WaitOutcome::Timeout;
            return result;
        }
        const bool ticking = (watchLines && (lineLevelsSupported_ || lineCountsSupported_))
            || ((mask & EvTxEmpty) && txPending_.load());
        if (ticking)
            wait = MinWait(wait, int(LinePollInterval.count()));

        epoll_event events[4];
        int n = epoll_wait(ep, events, 4, wait);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.error = errno;
            return result;
        }
        bool rxEdge = false, stopped = false, gone = false;
        for (int i = 0; i < n; ++i) {
            switch (events[i].data.u64) {
            case TagPort:
                if (events[i].events & (EPOLLHUP | EPOLLERR))
                    gone = true;
                else if (events[i].events & EPOLLIN)
                    rxEdge = true;
                break;
            case TagWake: Drain(wakeFd_); break;
            case TagStop: stopped = true; break;
            }
        }
        if (stopped) {
            result.outcome = WaitOutcome::Stopped;
            return result;
        }
        if (gone) {
            hungUp_ = true;
            result.outcome = WaitOutcome::Hangup;
            return result;
        }
        if (rxEdge && (mask & (EvRxChar | EvRx80Full))) {
            int in = 0;
            bool arrived = false;
            int err = 0;
            {
                std::lock_guard<std::mutex> lock(rxMutex_);
                if (ioctl(fd, FIONREAD, &in) != 0) {
                    err = errno;
                } else {
                    arrived = uint64_t(std::max(in, 0)) > rxKnown_;
                    rxKnown_ = uint64_t(std::max(in, 0));
                }
            }
            if (err) {
                if (IsGoneError(err)) {
                    hungUp_ = true;
                    result.outcome = WaitOutcome::Hangup;
                } else {
                    result.error = err;
                }
                return result;
            }
            if (arrived)
                occurred |= EvRxChar;
            const uint64_t mark = uint64_t(inputSize) * 8 / 10;
            if (inputSize > 0 && uint64_t(in) >= mark) {
                if (rx80Armed_)
                    occurred |= EvRx80Full;
                rx80Armed_ = false;
            } else {
                rx80Armed_ = true;
            }
        }
    }
}

std::unique_ptr<IPort> CreatePosixPort() { return std::make_unique<TPosixComPort>(); }

} // namespace ComBackend
