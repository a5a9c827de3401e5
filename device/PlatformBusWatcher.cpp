#include "device/PlatformBusWatcher.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "device/BusDelivery.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace qb {

void BusSettler::add(BusEvents events, Clock::time_point now) {
    gathered_.insert(gathered_.end(), std::make_move_iterator(events.begin()), std::make_move_iterator(events.end()));
    due_ = now + settle_;
}

std::optional<BusEvents> BusSettler::take(Clock::time_point now) {
    if (!due_ || now < *due_) return std::nullopt;
    due_.reset();
    return std::exchange(gathered_, {});
}

void PlatformBusWatcher::start(std::function<void()> changed) {
    watch([changed = std::move(changed)](const BusEvents&) { changed(); });
}

void BusDelivery::setHandler(PlatformBusWatcher::EventsHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::make_shared<PlatformBusWatcher::EventsHandler>(std::move(handler));
}

void BusDelivery::post(BusEvents events) {
    std::weak_ptr<PlatformBusWatcher::EventsHandler> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!handler_) return;
        handler = handler_;
    }
    // The watcher is destroyed on the dispatcher's thread: a batch queued before that finds the handler gone.
    dispatcher_.post([handler, events = std::move(events)] {
        if (const auto live = handler.lock()) (*live)(events);
    });
}

void BusDelivery::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_.reset();
}

namespace {

class PollingBusWatcher : public PlatformBusWatcher {
public:
    PollingBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds interval)
        : delivery_(dispatcher), interval_(interval) {}
    ~PollingBusWatcher() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        delivery_.close();
    }
    PollingBusWatcher(const PollingBusWatcher&) = delete;
    PollingBusWatcher& operator=(const PollingBusWatcher&) = delete;

    void watch(EventsHandler changed) override {
        delivery_.setHandler(std::move(changed));
        thread_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            while (!wake_.wait_for(lock, interval_, [this] { return stop_; })) delivery_.post({});
        });
    }
    const char* kind() const override { return "polling"; }

private:
    BusDelivery delivery_;
    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

#ifndef _WIN32
class SourceBusWatcher : public PlatformBusWatcher {
public:
    SourceBusWatcher(std::unique_ptr<BusEventSource> source, Dispatcher& dispatcher, std::chrono::milliseconds settle)
        : source_(std::move(source)), delivery_(dispatcher), settler_(settle) {}
    ~SourceBusWatcher() override {
        if (thread_.joinable()) {
            const char stop = 0;
            while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
            }
            thread_.join();
        }
        for (const int fd : wake_)
            if (fd >= 0) ::close(fd);
        delivery_.close();
    }
    SourceBusWatcher(const SourceBusWatcher&) = delete;
    SourceBusWatcher& operator=(const SourceBusWatcher&) = delete;

    bool setUp() {
        if (::pipe(wake_) != 0) return false;
        for (const int fd : wake_) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return true;
    }
    void watch(EventsHandler changed) override {
        delivery_.setHandler(std::move(changed));
        thread_ = std::thread([this] { run(); });
    }
    const char* kind() const override { return source_->kind(); }

private:
    void run() {
        using Clock = BusSettler::Clock;
        for (;;) {
            int timeoutMs = -1;
            if (const auto due = settler_.due()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
                timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
            }
            pollfd fds[2] = {{wake_[0], POLLIN, 0}, {source_->fd(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno != EINTR) return;
            if (ready > 0 && fds[0].revents != 0) return;
            if (ready > 0 && (fds[1].revents & POLLNVAL)) return;
            // An error (events lost to a full socket buffer) is read like events: the batch says "look again".
            if (ready > 0 && fds[1].revents != 0) settler_.add(source_->drain(), Clock::now());
            if (auto batch = settler_.take(Clock::now())) delivery_.post(std::move(*batch));
        }
    }

    std::unique_ptr<BusEventSource> source_;
    BusDelivery delivery_;
    BusSettler settler_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};
#endif

}  // namespace

std::unique_ptr<PlatformBusWatcher> MakePollingBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds interval) {
    return std::make_unique<PollingBusWatcher>(dispatcher, interval);
}

#ifndef _WIN32
std::unique_ptr<PlatformBusWatcher> MakeSourceBusWatcher(std::unique_ptr<BusEventSource> source, Dispatcher& dispatcher,
                                                         std::chrono::milliseconds settle) {
    auto watcher = std::make_unique<SourceBusWatcher>(std::move(source), dispatcher, settle);
    if (!watcher->setUp()) return nullptr;
    return watcher;
}
#endif

std::unique_ptr<PlatformBusWatcher> MakePlatformBusWatcher(Dispatcher& dispatcher, std::chrono::milliseconds settle,
                                                           std::chrono::milliseconds pollInterval) {
    if (auto own = detail::MakeNativeBusWatcher(dispatcher, settle)) return own;
    return MakePollingBusWatcher(dispatcher, pollInterval);
}

}  // namespace qb
