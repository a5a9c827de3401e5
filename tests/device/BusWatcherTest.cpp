// The plain bus watcher: the settling of a plug's several events, the hand-over to the dispatcher's thread, and
// a stop that does not wait. A pipe plays the udev monitor, whose kernel side a test cannot drive.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "device/PlatformBusWatcher.h"
#include "device/QueueDispatcher.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qb {
namespace {

using namespace std::chrono_literals;
using Clock = BusSettler::Clock;

BusEvent Event(BusEvent::Action action, std::string node, std::uint64_t sequence) {
    return {action, std::move(node), sequence};
}

TEST(BusSettlerTest, AnswersAPlugsEventsOnceTheSettleTimeAfterTheLast) {
    BusSettler settler(50ms);
    const Clock::time_point t0{};
    EXPECT_FALSE(settler.due());
    settler.add({Event(BusEvent::Action::Added, "/dev/hidraw0", 7)}, t0);
    settler.add({Event(BusEvent::Action::Other, "/dev/hidraw0", 8)}, t0 + 40ms);
    EXPECT_FALSE(settler.take(t0 + 89ms)) << "due 50 ms after the last event, not the first";
    const auto batch = settler.take(t0 + 90ms);
    ASSERT_TRUE(batch);
    ASSERT_EQ(batch->size(), 2u);
    EXPECT_EQ((*batch)[1].sequence, 8u);
    EXPECT_FALSE(settler.take(t0 + 1s)) << "a batch is answered once";

    settler.add({}, t0 + 2s);  // a change without events (lost ones) is still answered
    const auto empty = settler.take(t0 + 2s + 50ms);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

// Destroying a watcher while it waits must not wait for its next event or look.
void ExpectStopsAtOnce(std::unique_ptr<PlatformBusWatcher> watcher) {
    ASSERT_TRUE(watcher);
    watcher->start([] {});
    std::this_thread::sleep_for(20ms);  // waiting now
    const auto before = Clock::now();
    watcher.reset();
    EXPECT_LT(Clock::now() - before, 100ms);
}

TEST(BusWatcherTest, StopsAtOnceWhileWaiting) {
    QueueDispatcher dispatcher;
    ExpectStopsAtOnce(MakePlatformBusWatcher(dispatcher));
    ExpectStopsAtOnce(MakePollingBusWatcher(dispatcher, 10s));
}

TEST(BusWatcherTest, PollingLooksEveryIntervalOnTheDispatchersThread) {
    QueueDispatcher dispatcher;
    auto watcher = MakePollingBusWatcher(dispatcher, 20ms);
    int looks = 0;
    const std::thread::id mine = std::this_thread::get_id();
    watcher->watch([&](const BusEvents& events) {
        EXPECT_TRUE(events.empty());
        EXPECT_EQ(std::this_thread::get_id(), mine);
        ++looks;
    });
    while (looks < 2 && dispatcher.runOne(1s)) {
    }
    EXPECT_EQ(looks, 2);
}

#ifndef _WIN32
// Lines "ACTION NODE SEQUENCE" written to a pipe; what the watcher passes on is the same whatever the action.
class PipeSource : public BusEventSource {
public:
    explicit PipeSource(int readEnd) : fd_(readEnd) {}
    ~PipeSource() override { ::close(fd_); }
    int fd() const override { return fd_; }
    BusEvents drain() override {
        char buffer[256];
        ssize_t n;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) pending_.append(buffer, static_cast<std::size_t>(n));
        BusEvents events;
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
            char node[64] = {};
            unsigned long long sequence = 0;
            if (std::sscanf(pending_.substr(0, end).c_str(), "%*s %63s %llu", node, &sequence) == 2)
                events.push_back(Event(BusEvent::Action::Other, node, sequence));
        }
        return events;
    }
    const char* kind() const override { return "pipe"; }

private:
    int fd_;
    std::string pending_;
};

class SourceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        readEnd = fds[0];
        writeEnd = fds[1];
    }
    void TearDown() override { ::close(writeEnd); }
    std::unique_ptr<PlatformBusWatcher> make(std::chrono::milliseconds settle) {
        return MakeSourceBusWatcher(std::make_unique<PipeSource>(readEnd), dispatcher, settle);
    }
    void send(const std::string& lines) {
        ASSERT_EQ(::write(writeEnd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    }

    int readEnd = -1;
    int writeEnd = -1;
    QueueDispatcher dispatcher;
};

TEST_F(SourceWatcherTest, APlugsEventsReachTheDispatcherOnceSettled) {
    auto watcher = make(50ms);
    std::vector<BusEvents> batches;
    watcher->watch([&](const BusEvents& events) { batches.push_back(events); });
    send("add /dev/hidraw3 41\n");
    std::this_thread::sleep_for(20ms);
    send("change /dev/hidraw3 42\n");
    const auto last = Clock::now();
    ASSERT_TRUE(dispatcher.runOne(2s));
    const auto waited = Clock::now() - last;
    EXPECT_GE(waited, 45ms);
    EXPECT_LT(waited, 500ms);
    EXPECT_FALSE(dispatcher.runOne(100ms)) << "one batch for the plug";
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].size(), 2u);
    EXPECT_EQ(batches[0][0].node, "/dev/hidraw3");
    EXPECT_EQ(batches[0][1].sequence, 42u);
}

TEST_F(SourceWatcherTest, ASettleTimeOfZeroAnswersAtOnceAndABatchLeftQueuedDiesWithTheWatcher) {
    auto watcher = make(0ms);
    int batches = 0;
    watcher->watch([&](const BusEvents&) { ++batches; });
    const auto before = Clock::now();
    send("remove /dev/hidraw0 9\n");
    ASSERT_TRUE(dispatcher.runOne(2s));
    EXPECT_LT(Clock::now() - before, 40ms);
    EXPECT_EQ(batches, 1);

    send("add /dev/hidraw0 10\n");
    while (dispatcher.pendingCount() == 0) std::this_thread::sleep_for(1ms);
    watcher.reset();
    dispatcher.runPending();
    EXPECT_EQ(batches, 1) << "a batch ran after its watcher was destroyed";
}

TEST_F(SourceWatcherTest, StopsAtOnceWhileASettleIsRunning) {
    send("add /dev/hidraw1 1\n");  // read once started: a settle of 10 s begins
    ExpectStopsAtOnce(make(10s));
}
#endif

}  // namespace
}  // namespace qb
