#pragma once

// Waiting for something another thread (or process) makes happen. The limits
// are generous: a test fails because the condition never held, never because
// a loaded machine was slow.

#include <chrono>
#include <thread>

namespace TestSupport {

// Checks `condition` and runs `pause` between checks until the condition
// holds (true) or `limit` has passed (false).
template <typename Condition, typename Pause>
bool pollUntil(Condition&& condition, std::chrono::milliseconds limit, Pause&& pause)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        pause();
    }
    return true;
}

// Sleeps `poll` between checks.
template <typename Condition>
bool waitFor(Condition&& condition, std::chrono::milliseconds limit = std::chrono::seconds(20),
             std::chrono::milliseconds poll = std::chrono::milliseconds(5))
{
    return pollUntil(condition, limit, [poll] { std::this_thread::sleep_for(poll); });
}

} // namespace TestSupport
