// Waiting on a condition with a deadline, for the tests of every layer: a
// test never sleeps a fixed time and then checks.
#pragma once

#include <chrono>
#include <thread>

// Polls pred every millisecond until it holds; false once limit has passed
// without it.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Milliseconds since start on the steady clock.
inline long long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
