#include "device/Transport.h"

#include <gtest/gtest.h>

#include <set>

#include "device/PlatformTransport.h"

#if defined(__linux__)
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "device/HidrawHandle.h"
#endif

namespace qb {
namespace {

// Whatever HID devices this machine has: each path listed once, each with a first id to match.
TEST(PlatformTransport, ListsEachPathOnceAndRefusesAPathThatIsNotThere) {
    PlatformTransport transport;
    std::set<std::string> paths;
    for (const HidInterfaceInfo& info : transport.enumerate()) {
        EXPECT_TRUE(paths.insert(info.path).second) << "listed twice: " << info.path;
        EXPECT_FALSE(info.hardwareIds.empty()) << info.path;
    }
    const OpenResult missing = transport.open("/nonexistent/hidraw-none");
    EXPECT_EQ(missing.handle, nullptr);
    EXPECT_EQ(missing.failure, OpenFailure::Other);
}

#if defined(__linux__)
// A packet socket stands in for the hidraw node: one report per read, a hang-up when the other end goes.
TEST(HidrawHandle, ReadsReportsWakesOnInterruptAndFailsWhenTheDeviceGoes) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    HidrawHandle handle(ends[0]);
    ASSERT_TRUE(handle.readsInterruptible());
    std::uint8_t data[64] = {};
    EXPECT_EQ(handle.read(data, sizeof data, 0), 0) << "nothing yet";
    const std::uint8_t report[] = {0, 'S', 1};
    ASSERT_TRUE(handle.write(report, sizeof report));
    std::uint8_t seen[8] = {};
    EXPECT_EQ(::read(ends[1], seen, sizeof seen), 3);
    EXPECT_EQ(::write(ends[1], "abc", 3), 3);
    EXPECT_EQ(handle.read(data, sizeof data, -1), 3);
    EXPECT_EQ(data[2], 'c');

    // A read blocked without a time-out returns 0 once interrupted, and so does every later one.
    std::thread stopper([&] { handle.interruptRead(); });
    EXPECT_EQ(handle.read(data, sizeof data, -1), 0);
    stopper.join();
    EXPECT_EQ(::write(ends[1], "x", 1), 1);
    EXPECT_EQ(handle.read(data, sizeof data, -1), 0);

    HidrawHandle other(::dup(ends[0]));
    ::close(ends[1]);
    EXPECT_EQ(other.read(data, sizeof data, -1), -1);
    EXPECT_EQ(HidrawHandle::Open("/nonexistent/hidraw").failure, OpenFailure::Other);
}
#endif

}  // namespace
}  // namespace qb
