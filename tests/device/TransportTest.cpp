#include "device/Transport.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "device/HidapiTransport.h"

namespace qb {
namespace {

TEST(HardwareId, FourUpperCaseHexDigitsEach) {
    EXPECT_EQ(MakeHardwareId(0x04D8, 0xFD37, 0x0004), "HID\\VID_04D8&PID_FD37&REV_0004");
    EXPECT_EQ(MakeHardwareId(0xabcd, 0, 0x0100), "HID\\VID_ABCD&PID_0000&REV_0100");
}

// Whatever HID devices this machine has: each path listed once, each with its first id in the platform's form.
TEST(HidapiTransport, ListsEachPathOnceAndRefusesAPathThatIsNotThere) {
    auto first = std::make_unique<HidapiTransport>();
    HidapiTransport second;
    std::set<std::string> paths;
    for (const HidInterfaceInfo& info : first->enumerate()) {
        EXPECT_TRUE(paths.insert(info.path).second) << "listed twice: " << info.path;
        ASSERT_FALSE(info.hardwareIds.empty());
        EXPECT_EQ(info.hardwareIds.front().rfind("HID\\VID_", 0), 0u) << info.hardwareIds.front();
        EXPECT_EQ(info.hardwareIds.front().size(), 30u) << info.hardwareIds.front();
    }
    first.reset();  // the library stays up for the second transport
    EXPECT_EQ(second.open("/nonexistent/hidraw-none"), nullptr);
}

}  // namespace
}  // namespace qb
