#include "device/Transport.h"

#include <gtest/gtest.h>

#include <set>

#include "device/HidapiTransport.h"

namespace qb {
namespace {

TEST(HardwareId, FourUpperCaseHexDigitsEach) {
    EXPECT_EQ(MakeHardwareId(0x04D8, 0xFD37, 0x0004), "HID\\VID_04D8&PID_FD37&REV_0004");
    EXPECT_EQ(MakeHardwareId(0xabcd, 0x0001, 0x0100), "HID\\VID_ABCD&PID_0001&REV_0100");
    EXPECT_EQ(MakeHardwareId(0, 0xFFFF, 0x0002), "HID\\VID_0000&PID_FFFF&REV_0002");
}

// Whatever HID devices this machine has: each path listed once, each with its first id in the platform's form.
TEST(HidapiTransport, ListsEachPathOnceAndRefusesAPathThatIsNotThere) {
    HidapiTransport transport;
    std::set<std::string> paths;
    for (const HidInterfaceInfo& info : transport.enumerate()) {
        EXPECT_TRUE(paths.insert(info.path).second) << "listed twice: " << info.path;
        ASSERT_FALSE(info.hardwareIds.empty());
        EXPECT_EQ(info.hardwareIds.front().rfind("HID\\VID_", 0), 0u) << info.hardwareIds.front();
        EXPECT_EQ(info.hardwareIds.front().size(), 30u) << info.hardwareIds.front();
    }
    EXPECT_EQ(transport.open("/nonexistent/hidraw-none"), nullptr);

    // A second transport shares the library with the first and may outlive it.
    auto second = std::make_unique<HidapiTransport>();
    { HidapiTransport third; }
    EXPECT_EQ(second->open(""), nullptr);
}

}  // namespace
}  // namespace qb
