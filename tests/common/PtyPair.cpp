#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

TPtyPair::TPtyPair()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: errno " << errno;
        CloseMaster();
        return;
    }
    slavePath_ = name;
    // A raw-mode test only means something if the line starts cooked, which
    // a fresh pty does; the keeper must not change that.
    keeper_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

TPtyPair::~TPtyPair()
{
    CloseMaster();
    if (keeper_ >= 0)
        close(keeper_);
}

bool TPtyPair::Write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n >= 0) {
            done += std::size_t(n);
        } else if (errno == EAGAIN) {
            pollfd p {master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::string TPtyPair::Read(int timeoutMs, std::size_t maxBytes)
{
    std::string result;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (result.size() < maxBytes) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd p {master_, POLLIN, 0};
        if (poll(&p, 1, int(left)) <= 0 || !(p.revents & POLLIN))
            break;
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        result.append(buf, std::size_t(n));
    }
    return result;
}

void TPtyPair::CloseMaster()
{
    if (master_ >= 0)
        close(std::exchange(master_, -1));
}
