// Helpers for the threaded device tests: a window-thread queue that can be watched, a read handle that plays
// a script, bounded waits and a watchdog that turns a hang into a failure.
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

// The test thread plays the window's thread and pumps this queue; posts can be awaited without running them.
class WatchedDispatcher : public QueueDispatcher {
public:
    void post(std::function<void()> work) override {
        QueueDispatcher::post(std::move(work));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++posted_;
        }
        cv_.notify_all();
    }
    bool waitForPosted(std::size_t count, std::chrono::milliseconds timeout = kLongWait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return posted_ >= count; });
    }
    std::size_t posted() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return posted_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::size_t posted_ = 0;
};

// One scripted read result: -1 (device gone), 0 (nothing in time) or these data bytes.
struct ScriptedRead {
    int result;
    std::vector<std::uint8_t> data;
    static ScriptedRead Failure() { return {-1, {}}; }
    static ScriptedRead Nothing() { return {0, {}}; }
    static ScriptedRead Bytes(std::vector<std::uint8_t> bytes) {
        const int n = static_cast<int>(bytes.size());
        return {n, std::move(bytes)};
    }
};

// A read handle that returns its script in order; with the script used up, a read waits for more until its
// time-out and returns 0.
class ScriptedHandle : public HidHandle {
public:
    void push(ScriptedRead read) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            script_.push_back(std::move(read));
        }
        cv_.notify_all();
    }
    bool write(const std::uint8_t*, std::size_t) override { return true; }
    int read(std::uint8_t* data, std::size_t capacity, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++reads_;
        cv_.notify_all();
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !script_.empty(); })) return 0;
        ScriptedRead next = std::move(script_.front());
        script_.pop_front();
        if (next.result > 0) {
            EXPECT_LE(next.data.size(), capacity);
            std::copy(next.data.begin(), next.data.end(), data);
        }
        return next.result;
    }
    int reads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }
    bool waitForReads(int count, std::chrono::milliseconds timeout = kLongWait) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return reads_ >= count; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<ScriptedRead> script_;
    int reads_ = 0;
};

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

// Aborts the test program if the scope is not left within `limit`: a deadlock then fails the test run instead
// of hanging it.
class Watchdog {
public:
    Watchdog(const char* what, std::chrono::milliseconds limit = kLongWait)
        : thread_([this, what, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "hang: %s did not finish within %lld ms\n", what,
                               static_cast<long long>(limit.count()));
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

inline std::vector<std::uint8_t> Pattern(std::uint8_t first, std::size_t size = 64) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

}  // namespace qb::test
