#include "device/QueueDispatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "DeviceTestSupport.h"

namespace qb {
namespace {

using namespace test;

TEST(QueueDispatcher, RunsLaterInPostingOrderAndMayBePumpedFromInsideWork) {
    QueueDispatcher d;
    std::vector<int> order;
    const auto note = [&](int n) { return [&order, n] { order.push_back(n); }; };
    d.post(note(1));
    d.post([&] {
        order.push_back(2);
        d.post(note(3));
    });
    EXPECT_TRUE(order.empty()) << "post runs nothing inline";
    EXPECT_EQ(d.runPending(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2})) << "work posted by work waits for the next call";
    EXPECT_EQ(d.runPending(), 1);

    d.post([&] {
        order.push_back(4);
        EXPECT_TRUE(d.runOne(kLongWait));  // a nested loop, as a modal box runs
        order.push_back(6);
    });
    d.post(note(5));
    EXPECT_TRUE(d.runOne(kLongWait));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

}  // namespace
}  // namespace qb
