// A dispatcher whose "window thread" is whichever thread calls runPending() / runOne(): used by tests, the
// benchmark and front ends without a Qt event loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "device/Dispatcher.h"

namespace qb {

class QueueDispatcher : public Dispatcher {
public:
    void post(std::function<void()> work) override;
    // Runs everything queued now; returns how many ran.
    int runPending();
    // Waits up to `timeout` for one piece of work and runs it; false if none came.
    bool runOne(std::chrono::milliseconds timeout);
    std::size_t pendingCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};

}  // namespace qb
