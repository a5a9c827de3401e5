#include "device/QueueDispatcher.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "DeviceTestSupport.h"

namespace qb {
namespace {

using namespace test;

TEST(QueueDispatcher, RunsInPostingOrderAndOnlyWhatWasQueuedAtTheCall) {
    QueueDispatcher d;
    std::vector<int> order;
    d.post([&] { order.push_back(1); });
    d.post([&] {
        order.push_back(2);
        d.post([&] { order.push_back(3); });  // waits for the next call
    });
    EXPECT_EQ(d.pendingCount(), 2u);
    EXPECT_EQ(d.runPending(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(d.pendingCount(), 1u);
    EXPECT_EQ(d.runPending(), 1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(d.runPending(), 0);
}

TEST(QueueDispatcher, RunOneWaitsForWorkFromAnotherThread) {
    QueueDispatcher d;
    EXPECT_FALSE(d.runOne(20ms));
    std::thread::id ranOn;
    std::thread poster([&] { d.post([&] { ranOn = std::this_thread::get_id(); }); });
    EXPECT_TRUE(d.runOne(kLongWait));
    poster.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id()) << "work runs on the pumping thread";
}

TEST(QueueDispatcher, WorkMayPumpTheQueueItself) {
    QueueDispatcher d;
    std::vector<int> order;
    d.post([&] {
        order.push_back(1);
        EXPECT_TRUE(d.runOne(kLongWait));  // a nested loop, as a modal box runs
        order.push_back(3);
    });
    d.post([&] { order.push_back(2); });
    EXPECT_EQ(d.runPending(), 1) << "the second piece ran inside the first";
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QueueDispatcher, WorkNeverRunInlineByPost) {
    QueueDispatcher d;
    bool ran = false;
    d.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(d.runOne(kLongWait));
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace qb
