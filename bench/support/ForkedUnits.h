// Simulated units in a child process for the end-to-end benchmarks, so that
// getrusage(RUSAGE_SELF) of the benchmark counts the program alone, not the
// simulator's threads. Both processes stamp with the same monotonic clock, so
// the child's send time and the program's stamps compare directly.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Monotonic nanoseconds, the clock both processes stamp with.
int64_t NowNs();
// User plus system CPU of this process so far.
double CpuSeconds();

// The p-th percentile (nearest rank) of values; 0 when empty.
double Percentile(std::vector<double> values, double p);
// The positive whole number after the argument name; fallback when absent.
// Anything else ends the program with a message.
int ArgValue(int argc, char** argv, const char* name, int fallback);

class TForkedUnits {
public:
    // Starts count units named "KBR..." in a child process; false when the
    // child could not be started or did not report its ports.
    bool Start(int count);
    // The units' pseudo-terminal slave paths, in unit order.
    const std::vector<std::string>& Paths() const { return paths_; }
    // Has unit fire a classic shot at raw (x, y); returns the child's send
    // time, -1 when the child is gone.
    int64_t Fire(int unit, int16_t x, int16_t y);
    // Live samples all units sent so far.
    int64_t SamplesSent();
    // Ends the child; returns its CPU seconds.
    double Stop();

private:
    int64_t Ask(int32_t unit, int16_t x, int16_t y);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::vector<std::string> paths_;
};
