#include "device/Transport.h"

#include <gtest/gtest.h>

#include <set>

#include "device/DeviceIds.h"
#include "device/PlatformTransport.h"

namespace qb {
namespace {

TEST(HardwareId, FourUpperCaseHexDigitsEach) {
    EXPECT_EQ(MakeHardwareId(0x04D8, 0xFD37, 0x0004), "HID\\VID_04D8&PID_FD37&REV_0004");
    EXPECT_EQ(MakeHardwareId(0xabcd, 0, 0x0100), "HID\\VID_ABCD&PID_0000&REV_0100");
    EXPECT_EQ(RevisionSubstring(kApplicationRelease), "Vid_04d8&Pid_fd37&rev_0004");
    EXPECT_EQ(RevisionSubstring(kProgramModeRelease), "Vid_04d8&Pid_fd37&rev_0001");
    EXPECT_EQ(RevisionSubstring(std::nullopt), "Vid_04d8&Pid_fd37");
}

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

}  // namespace
}  // namespace qb
