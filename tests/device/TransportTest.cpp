#include "device/Transport.h"

#include <gtest/gtest.h>

#include <set>

#include "device/PlatformTransport.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "device/HidrawHandle.h"
#include "tests/support/ScratchFolder.h"
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

// Every flock() of this test program, the code under test's included, is counted.
std::atomic<int> flockCalls{0};

}  // namespace
}  // namespace qb

extern "C" int flock(int fd, int operation) noexcept {
    ++qb::flockCalls;
    return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

namespace qb {
namespace {

// Any file that flock works on stands in for the hidraw node.
class HidrawLock : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(node.c_str()) << ""; }

    test::ScratchFolder folder;
    const std::string node = (folder / "hidraw").string();
};

// One session at a time: our own second handle is a duplicate that shares the hold; another program's open is
// refused as in use and names the holder; the hold ends with the last handle.
TEST_F(HidrawLock, ASecondProgramIsRefusedAndToldWhoHoldsTheDevice) {
    // Another program: a child process that takes the lock and keeps it until told to end.
    int ready[2], finish[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(finish), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(finish[1]);  // so that the parent's close ends the wait below
        const int fd = ::open(node.c_str(), O_RDWR);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        char ignored;
        if (::write(ready[1], &ok, 1) == 1) (void)!::read(finish[0], &ignored, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    const OpenResult refused = HidrawHandle::Open(node);
    const OpenCheck looked = HidrawHandle::Probe(node);
    ::close(finish[1]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(refused.handle, nullptr);
    EXPECT_EQ(refused.failure, OpenFailure::InUse);
    // A forked child has its parent's command line.
    const std::string holder = "qb_device_tests, process " + std::to_string(child);
    EXPECT_EQ(refused.holder, holder);
    EXPECT_EQ(looked.failure, OpenFailure::InUse);
    EXPECT_EQ(looked.holder, holder);

    // The child is gone, and its lock with it.
    EXPECT_EQ(HidrawHandle::Probe(node).failure, OpenFailure::None);
    OpenResult first = HidrawHandle::Open(node);
    ASSERT_NE(first.handle, nullptr);
    std::unique_ptr<HidHandle> second = first.handle->duplicate();
    ASSERT_NE(second, nullptr);
    first.handle.reset();
    EXPECT_EQ(HidrawHandle::Open(node).failure, OpenFailure::InUse) << "the duplicate keeps the hold";
    EXPECT_EQ(HidrawHandle::Probe(node).failure, OpenFailure::InUse);
    second.reset();
    EXPECT_NE(HidrawHandle::Open(node).handle, nullptr) << "the last handle closed ends the hold";
    ::close(ready[0]);
    ::close(ready[1]);
    ::close(finish[0]);
}

// The status line looks while other programs start sessions. A look that took the lock, even a shared one for
// an instant, would refuse a session starting in that instant: it takes none at all.
TEST_F(HidrawLock, ALookTakesNoLock) {
    const int before = flockCalls.load();
    EXPECT_EQ(HidrawHandle::Probe(node).failure, OpenFailure::None);
    OpenResult session = HidrawHandle::Open(node);
    ASSERT_NE(session.handle, nullptr);
    const int held = flockCalls.load();
    EXPECT_EQ(HidrawHandle::Probe(node).failure, OpenFailure::InUse);
    EXPECT_EQ(flockCalls.load(), held);
    EXPECT_EQ(held, before + 1) << "only the session's own lock";
}

// /proc/locks as the kernel writes it: device numbers in hexadecimal, a waiter marked "->", and a holder in
// another process name space listed as 0.
TEST(FlockHolder, FindsTheExclusiveHolderOfThatFileOnly) {
    const std::string self = std::to_string(::getpid());
    const std::string locks =
        "1: POSIX  ADVISORY  WRITE 1 00:1a:77 0 EOF\n"
        "2: FLOCK  ADVISORY  READ 1 00:1a:77 0 EOF\n"
        "3: FLOCK  ADVISORY  WRITE 1 00:1a:78 0 EOF\n"
        "4: -> FLOCK  ADVISORY  WRITE 1 00:1a:77 0 EOF\n"
        "4: FLOCK  ADVISORY  WRITE " +
        self +
        " 00:1a:77 0 EOF\n"
        "5: FLOCK  ADVISORY  WRITE 0 fd:01:9 0 EOF\n";
    EXPECT_EQ(FlockHolder(locks, makedev(0, 0x1a), 77), "qb_device_tests, process " + self);
    EXPECT_EQ(FlockHolder(locks, makedev(0xfd, 1), 9), "");
    EXPECT_EQ(FlockHolder(locks, makedev(0, 0x1a), 79), std::nullopt);
}
#endif

}  // namespace
}  // namespace qb
