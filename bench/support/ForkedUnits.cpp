#include "ForkedUnits.h"

#include "TSimUnit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// unit >= 0: fire a shot there, answered with the send time (ns).
// StatsCommand: answered with the samples sent by all units.
// QuitCommand: answered with the child's CPU (ns), then it exits.
struct TCommand {
    int32_t unit = 0;
    int16_t x = 0;
    int16_t y = 0;
};
constexpr int32_t StatsCommand = -1;
constexpr int32_t QuitCommand = -2;

bool WriteAll(int fd, const void* data, std::size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t n)
{
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        n -= std::size_t(r);
    }
    return true;
}

[[noreturn]] void RunUnits(int count, int in, int out)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    std::vector<std::unique_ptr<unitsim::TSimUnit>> units;
    for (int i = 0; i < count; ++i) {
        unitsim::UnitConfig config;
        config.name = unitsim::UnitName("KBR", i + 1);
        units.push_back(std::make_unique<unitsim::TSimUnit>(config));
    }
    for (const auto& unit : units) {
        const std::string path = unit->SlavePath();
        const uint32_t length = uint32_t(path.size());
        WriteAll(out, &length, sizeof length);
        WriteAll(out, path.data(), path.size());
    }
    TCommand command;
    while (ReadAll(in, &command, sizeof command)) {
        if (command.unit >= 0 && command.unit < count) {
            unitsim::SimShot shot;
            shot.x = command.x;
            shot.y = command.y;
            shot.functionMode = 1;
            const int64_t sent = NowNs();
            units[std::size_t(command.unit)]->FireShot(shot);
            WriteAll(out, &sent, sizeof sent);
        } else if (command.unit == StatsCommand) {
            int64_t samples = 0;
            for (const auto& unit : units)
                samples += int64_t(unit->Stats().samplesSent);
            WriteAll(out, &samples, sizeof samples);
        } else {
            break;
        }
    }
    const int64_t cpu = int64_t(CpuSeconds() * 1e9);
    units.clear();
    WriteAll(out, &cpu, sizeof cpu);
    ::_exit(0);
}

}  // namespace

int64_t NowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

double CpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t rank = std::size_t(std::max(1.0, std::ceil(p / 100.0 * double(values.size()))));
    return values[std::min(rank, values.size()) - 1];
}

int ArgValue(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) != 0)
            continue;
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(argv[i + 1], &end, 10);
        if (errno == 0 && end != argv[i + 1] && *end == '\0' && value > 0 && value <= 1000000)
            return int(value);
        std::fprintf(stderr, "%s: not a positive whole number: %s\n", name, argv[i + 1]);
        std::exit(2);
    }
    return fallback;
}

bool TForkedUnits::Start(int count)
{
    int down[2];
    int up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0)
        return false;
    pid_ = ::fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        ::close(down[1]);
        ::close(up[0]);
        RunUnits(count, down[0], up[1]);
    }
    ::close(down[0]);
    ::close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
    for (int i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!ReadAll(fromChild_, &length, sizeof length) || length > 4096)
            return false;
        std::string path(length, '\0');
        if (!ReadAll(fromChild_, path.data(), length))
            return false;
        paths_.push_back(path);
    }
    return true;
}

int64_t TForkedUnits::Ask(int32_t unit, int16_t x, int16_t y)
{
    const TCommand command {unit, x, y};
    int64_t answer = -1;
    if (!WriteAll(toChild_, &command, sizeof command) || !ReadAll(fromChild_, &answer, sizeof answer))
        return -1;
    return answer;
}

int64_t TForkedUnits::Fire(int unit, int16_t x, int16_t y) { return Ask(unit, x, y); }

int64_t TForkedUnits::SamplesSent() { return Ask(StatsCommand, 0, 0); }

double TForkedUnits::Stop()
{
    const int64_t cpu = Ask(QuitCommand, 0, 0);
    ::close(toChild_);
    ::close(fromChild_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return double(cpu) / 1e9;
}
