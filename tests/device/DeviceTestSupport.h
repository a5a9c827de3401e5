// Bounded waits for the threaded device tests, and a guard that turns a hang into a failure. The test thread
// plays the window's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace qb::test {

using namespace std::chrono_literals;

inline constexpr auto kLongWait = 10s;  // only ever reached when something is broken

// For conditions another thread changes without telling anyone: polls, but never longer than `timeout`.
template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout = kLongWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    return predicate();
}

// Runs `action`; aborts the test program if it has not returned within kLongWait, so a deadlock fails the run.
template <typename Action>
void WithoutHang(Action action) {
    std::atomic<bool> done{false};
    std::thread guard([&] {
        if (!WaitUntil([&] { return done.load(); })) std::abort();
    });
    action();
    done = true;
    guard.join();
}

}  // namespace qb::test
