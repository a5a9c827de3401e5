#include "device/HandOff.h"

#include "device/Dispatcher.h"

namespace qb {

std::shared_ptr<HandOff> HandOff::Create(std::function<void()> work) {
    return std::shared_ptr<HandOff>(new HandOff(std::move(work)));
}

bool HandOff::handOver(Dispatcher& dispatcher) {
    std::uint64_t ticket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return false;
        state_ = State::Pending;
        ticket = ++ticket_;
    }
    dispatcher.post([self = shared_from_this(), ticket] { self->runPosted(ticket); });

    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return state_ == State::Done || stop_; });
    if (state_ == State::Done) {
        state_ = State::Idle;
        return true;
    }
    state_ = State::Cancelled;
    return false;
}

void HandOff::runPosted(std::uint64_t ticket) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (state_ != State::Pending || ticket != ticket_) return;
        state_ = State::Running;
    }
    // Marks the hand-off done even if the work throws, so the reader is never left waiting.
    struct Finish {
        HandOff& h;
        ~Finish() {
            {
                std::lock_guard<std::mutex> lock(h.mutex_);
                if (h.state_ == State::Running) h.state_ = State::Done;
            }
            h.cv_.notify_all();
        }
    } finish{*this};
    work_();
}

void HandOff::requestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
}

bool HandOff::stopRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

bool HandOff::waitForStop(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return stop_; });
}

}  // namespace qb
