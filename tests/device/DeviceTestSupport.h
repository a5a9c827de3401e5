// Helpers for the threaded device tests: a read handle that plays a script, bounded waits and a guard that
// turns a hang into a failure. The test thread plays the window's thread and pumps a QueueDispatcher.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "device/QueueDispatcher.h"
#include "device/Transport.h"

namespace qb::test {

using namespace std::chrono_literals;

inline constexpr auto kLongWait = 10s;  // only ever reached when something is broken

// For conditions another thread changes without telling anyone: polls, but never longer than `timeout`.
template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout = kLongWait) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs `action`; aborts the test program if it has not returned within kLongWait, so a deadlock fails the run.
template <typename Action>
void WithoutHang(const char* what, Action action) {
    std::atomic<bool> done{false};
    std::thread guard([&] {
        if (WaitUntil([&] { return done.load(); })) return;
        std::fprintf(stderr, "hang: %s\n", what);
        std::abort();
    });
    action();
    done = true;
    guard.join();
}

// A read handle that returns its script in order: -1 (device gone), 0 (nothing in time) or data bytes. With
// the script used up, a read waits for more until its time-out and returns 0.
class ScriptedHandle : public HidHandle {
public:
    void push(int result, std::vector<std::uint8_t> data = {}) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            script_.emplace_back(result, std::move(data));
        }
        cv_.notify_all();
    }
    bool write(const std::uint8_t*, std::size_t) override { return true; }
    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++reads_;
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !script_.empty(); })) return 0;
        auto [result, bytes] = std::move(script_.front());
        script_.pop_front();
        EXPECT_LE(bytes.size(), capacity);
        std::copy(bytes.begin(), bytes.end(), data);
        return result;
    }
    int reads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::pair<int, std::vector<std::uint8_t>>> script_;
    int reads_ = 0;
};

inline std::vector<std::uint8_t> Pattern(std::uint8_t first, std::size_t size = 64) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

}  // namespace qb::test
