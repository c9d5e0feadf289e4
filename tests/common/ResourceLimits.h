// Limits for death-test children (inside EXPECT_EXIT's statement: they hold
// for the rest of the process), to reach what a full disk or exhausted memory
// does.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace ResourceLimits {

// Sanitizers reserve huge address ranges and abort on a failed allocation, so
// a memory limit cannot be tested under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool MemoryLimitUsable = false;
#else
inline constexpr bool MemoryLimitUsable = true;
#endif

// Files may grow to maxBytes; a write past it fails with EFBIG ("File too
// large") instead of the signal that would end the process.
inline void LimitFileSize(rlim_t maxBytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit {maxBytes, maxBytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// The address space may grow by headroom bytes beyond what is mapped now.
inline void LimitMemoryGrowth(size_t headroom)
{
    size_t pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%zu", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlim_t bytes = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit limit {bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

}  // namespace ResourceLimits
