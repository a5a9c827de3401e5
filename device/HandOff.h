// The synchronous hand-off from the reader thread to the window's thread, and the reader's stop request.
// The state lives in a shared object so that a hand-off still queued on the window's thread when the reader
// is stopped finds it cancelled and does nothing, even after the reader itself is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace qb {

class Dispatcher;

class HandOff : public std::enable_shared_from_this<HandOff> {
public:
    // `work` runs on the dispatcher's thread, once per handOver() that is not cut short by a stop.
    static std::shared_ptr<HandOff> Create(std::function<void()> work);

    // Posts the work and waits until it has returned. False if a stop was requested before that: work still
    // queued then never runs, and work already running is left to finish on its own (the window thread may
    // sit in a modal box inside it and be the one asking for the stop).
    bool handOver(Dispatcher& dispatcher);

    void requestStop();
    bool stopRequested() const;
    // Waits up to `timeout`; true if a stop has been requested.
    bool waitForStop(std::chrono::milliseconds timeout);

private:
    enum class State { Idle, Pending, Running, Done, Cancelled };

    explicit HandOff(std::function<void()> work) : work_(std::move(work)) {}
    void runPosted(std::uint64_t ticket);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    State state_ = State::Idle;
    std::uint64_t ticket_ = 0;  // a queued call runs only for the hand-off it was posted for
    bool stop_ = false;
    std::function<void()> work_;
};

}  // namespace qb
