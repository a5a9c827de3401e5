#include "device/QueueDispatcher.h"

namespace qb {

void QueueDispatcher::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(work));
    }
    cv_.notify_all();
}

int QueueDispatcher::runPending() {
    std::size_t count;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count = queue_.size();
    }
    // Work posted while these run waits for the next call; the lock is not held while work runs, so work may
    // pump the queue itself (a modal box's nested loop).
    int ran = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) break;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        ++ran;
    }
    return ran;
}

bool QueueDispatcher::runOne(std::chrono::milliseconds timeout) {
    std::function<void()> work;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return false;
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    work();
    return true;
}

std::size_t QueueDispatcher::pendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

}  // namespace qb
