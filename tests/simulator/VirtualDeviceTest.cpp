// The virtual device against a socket that plays the kernel's /dev/uhid: one event a message, as uhid reads and
// writes them. The guest test runs it against the real kernel.
#include "simulator/VirtualDevice.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/Reports.h"
#include "simulator/VirtualBench.h"

namespace qb {
namespace {

class VirtualDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
        remake(options);
    }
    void TearDown() override {
        device.reset();
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void remake(const VirtualDeviceOptions& with) { device = std::make_unique<VirtualDevice>(fds[0], with); }

    // The next event the device sent to the kernel; type 0 (no legacy create is ever sent) when there is none.
    uhid_event fromDevice() {
        uhid_event event{};
        pollfd p{fds[1], POLLIN, 0};
        if (::poll(&p, 1, 0) == 1) {
            EXPECT_EQ(::read(fds[1], &event, sizeof event), ssize_t(sizeof event));
        }
        return event;
    }
    void toDevice(const uhid_event& event) {
        ASSERT_EQ(::write(fds[1], &event, sizeof event), ssize_t(sizeof event));
        ASSERT_TRUE(device->handleKernelEvent()) << device->error();
    }
    // hidraw's write of a report: the report id 0 still in front (65 bytes), or the data alone (64).
    void output(char command, bool withReportId = true, std::uint8_t byte2 = 0) {
        uhid_event event{};
        event.type = UHID_OUTPUT;
        event.u.output.rtype = UHID_OUTPUT_REPORT;
        std::uint8_t* data = event.u.output.data;
        if (withReportId) *data++ = 0;
        data[0] = static_cast<std::uint8_t>(command);
        data[1] = byte2;
        event.u.output.size = withReportId ? 65 : 64;
        toDevice(event);
    }
    // The answer the device sent, as a report with the id in front.
    HidReport answer() {
        const uhid_event event = fromDevice();
        EXPECT_EQ(event.type, UHID_INPUT2);
        EXPECT_EQ(event.u.input2.size, 64);
        HidReport report{};
        std::copy_n(event.u.input2.data, 64, report.begin() + 1);
        return report;
    }

    int fds[2] = {-1, -1};
    VirtualDeviceOptions options;
    std::unique_ptr<VirtualDevice> device;
};

TEST_F(VirtualDeviceTest, CreatesTheEncoderWithItsIdsDescriptorAndStrings) {
    VirtualDeviceOptions with;
    with.serial = "VQ-42";
    for (const bool programMode : {false, true}) {
        SCOPED_TRACE(programMode ? "program mode" : "application");
        with.programMode = programMode;
        remake(with);
        ASSERT_TRUE(device->plugIn());
        const uhid_event event = fromDevice();
        ASSERT_EQ(event.type, UHID_CREATE2);
        const uhid_create2_req& create = event.u.create2;
        EXPECT_EQ(create.bus, BUS_USB);
        EXPECT_EQ(create.vendor, 0x04D8u);
        EXPECT_EQ(create.product, 0xFD37u);
        EXPECT_EQ(create.version, programMode ? 0x0001u : 0x0004u);
        EXPECT_STREQ(reinterpret_cast<const char*>(create.name), "VELMORA Quillanterbrooke");
        EXPECT_STREQ(reinterpret_cast<const char*>(create.uniq), "VQ-42");
        const auto descriptor = VirtualDeviceDescriptor();
        // What the kernel and hidapi make of the descriptor: the guest test.
        ASSERT_EQ(create.rd_size, descriptor.size());
        EXPECT_TRUE(std::equal(descriptor.begin(), descriptor.end(), create.rd_data));
        ASSERT_TRUE(device->unplug());
        EXPECT_EQ(fromDevice().type, UHID_DESTROY);
    }
}

TEST_F(VirtualDeviceTest, AnswersEachReportThroughTheModelWithOrWithoutTheReportIdInFront) {
    std::vector<HidReport> logged;  // what --received writes
    device->onReport = [&](const HidReport& r) { logged.push_back(r); };
    ASSERT_TRUE(device->plugIn());
    fromDevice();
    output('S');
    EXPECT_EQ(answer()[kIdentityByte + 2], 3);  // the model's answers in full: the tests of the simulated device

    output('d', false, 5);  // 64 bytes: the data alone
    EXPECT_EQ(answer()[kReplyDataByte], 5) << "the block number the model saw";
    device->model.keyDown = 7;
    output('K');
    EXPECT_EQ(answer()[kKeyNumberByte], 7);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[1][kBlockNumberByte], 5) << "logged with the report id in front";

    // Report requests: a feature read is refused, an output report sent as a request is taken like any other.
    uhid_event request{};
    request.type = UHID_GET_REPORT;
    request.u.get_report.id = 11;
    toDevice(request);
    uhid_event reply = fromDevice();
    EXPECT_EQ(reply.type, UHID_GET_REPORT_REPLY);
    EXPECT_EQ(reply.u.get_report_reply.id, 11u);
    EXPECT_NE(reply.u.get_report_reply.err, 0);
    request = {};
    request.type = UHID_SET_REPORT;
    request.u.set_report.id = 12;
    request.u.set_report.rtype = UHID_OUTPUT_REPORT;
    request.u.set_report.size = 65;
    request.u.set_report.data[1] = 'E';
    toDevice(request);
    reply = fromDevice();
    EXPECT_EQ(reply.type, UHID_SET_REPORT_REPLY);
    EXPECT_EQ(reply.u.set_report_reply.err, 0);
    EXPECT_EQ(answer()[1], 'E');
}

TEST_F(VirtualDeviceTest, ControlLinesChangeTheDevice) {
    ASSERT_TRUE(device->plugIn());
    fromDevice();
    struct Case {
        const char* line;
        ControlResult result;
    };
    for (const Case& c :
         {Case{"key 6", ControlResult::Done}, Case{"  # a comment", ControlResult::Done}, Case{"", ControlResult::Done},
          Case{"key 17", ControlResult::Bad}, Case{"key -1", ControlResult::Bad}, Case{"key", ControlResult::Bad},
          Case{"delay 5x", ControlResult::Bad}, Case{"unplug now", ControlResult::Bad},
          Case{"unplug-after 0", ControlResult::Bad}, Case{"mode loader", ControlResult::Bad},
          Case{"jump", ControlResult::Bad}, Case{"quit", ControlResult::Quit}})
        EXPECT_EQ(device->control(c.line), c.result) << c.line;
    EXPECT_EQ(device->model.keyDown, 6);
    EXPECT_EQ(fromDevice().type, 0u) << "a refused line changed the device";

    // The answer waits for its delay.
    ASSERT_EQ(device->control("delay 5000"), ControlResult::Done);
    output('K');
    EXPECT_EQ(fromDevice().type, 0u);
    ASSERT_TRUE(device->nextAnswerDue());
    ASSERT_TRUE(device->sendDueAnswers(*device->nextAnswerDue()));
    EXPECT_EQ(answer()[kKeyNumberByte], 6);
    ASSERT_EQ(device->control("delay 0"), ControlResult::Done);

    // The device vanishes on the second report from now, without answering it; an unplug drops what was due.
    ASSERT_EQ(device->control("unplug-after 2"), ControlResult::Done);
    output('E');
    answer();
    output('d');
    EXPECT_EQ(fromDevice().type, UHID_DESTROY);
    EXPECT_FALSE(device->pluggedIn());
    ASSERT_EQ(device->control("replug"), ControlResult::Done);
    EXPECT_EQ(fromDevice().type, UHID_CREATE2);

    // Another mode: the device re-enumerates.
    ASSERT_EQ(device->control("mode program"), ControlResult::Done);
    EXPECT_EQ(fromDevice().type, UHID_DESTROY);
    const uhid_event created = fromDevice();
    EXPECT_EQ(created.type, UHID_CREATE2);
    EXPECT_EQ(created.u.create2.version, 0x0001u);
}

TEST_F(VirtualDeviceTest, RunEndsOnQuitOrEndOfInputAndUnplugs) {
    for (const char* input : {"key 3\nquit\nkey 4\n", "key 3\n"}) {
        int control[2];
        ASSERT_EQ(::pipe(control), 0);
        ASSERT_EQ(::write(control[1], input, std::strlen(input)), ssize_t(std::strlen(input)));
        ::close(control[1]);
        remake(options);
        EXPECT_EQ(device->run(control[0]), 0) << input;
        ::close(control[0]);
        EXPECT_EQ(device->model.keyDown, 3) << input;
        EXPECT_FALSE(device->pluggedIn());
        EXPECT_EQ(fromDevice().type, UHID_CREATE2);
        EXPECT_EQ(fromDevice().type, UHID_DESTROY);
    }
}

// A bench of three encoders, each on a socket of its own playing its /dev/uhid.
class VirtualBenchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<VirtualDevice*> pointers;
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds[k]), 0);
            devices.push_back(std::make_unique<VirtualDevice>(fds[k][0], VirtualDeviceOptions{}));
            devices.back()->model.serial = 1000 + k;
            devices.back()->setSerialNumber(std::to_string(1000 + k));
            pointers.push_back(devices.back().get());
        }
        bench = std::make_unique<VirtualBench>(pointers, true);
        bench->onStatus = [this](const std::string& line) { lines.push_back(line); };
    }
    void TearDown() override {
        bench.reset();
        devices.clear();
        for (auto& pair : fds) {
            ::close(pair[0]);
            ::close(pair[1]);
        }
    }
    // The type of the next event encoder k (1..3) sent to the kernel, 0 if none; the serial it was created with.
    std::uint32_t sent(int k, std::string* serial = nullptr) {
        uhid_event event{};
        pollfd p{fds[k - 1][1], POLLIN, 0};
        if (::poll(&p, 1, 0) != 1) return 0;
        EXPECT_EQ(::read(fds[k - 1][1], &event, sizeof event), ssize_t(sizeof event));
        if (serial) *serial = reinterpret_cast<const char*>(event.u.create2.uniq);
        return event.type;
    }

    int fds[3][2] = {};
    std::vector<std::unique_ptr<VirtualDevice>> devices;
    std::unique_ptr<VirtualBench> bench;
    std::vector<std::string> lines;
};

TEST_F(VirtualBenchTest, EncodersArePluggedSwappedAndChangedOneByOne) {
    ASSERT_EQ(bench->control("plug 2"), ControlResult::Done);
    std::string serial;
    EXPECT_EQ(sent(2, &serial), UHID_CREATE2);
    EXPECT_EQ(serial, "1001");
    EXPECT_EQ(sent(1) + sent(3), 0u);

    // One pulled and the next pushed in at once, each told with its time.
    const double before = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    lines.clear();
    ASSERT_EQ(bench->control("swap 2 3"), ControlResult::Done);
    EXPECT_EQ(sent(2), UHID_DESTROY);
    EXPECT_EQ(sent(3, &serial), UHID_CREATE2);
    EXPECT_EQ(serial, "1002");
    std::erase_if(lines, [](const std::string& line) { return line.rfind("event ", 0) != 0; });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("event unplug 2 serial=1001 ", 0), 0u) << lines[0];
    double monotonic = 0, realtime = 0;
    EXPECT_EQ(
        std::sscanf(lines[1].c_str(), "event plug 3 serial=1002 monotonic=%lf realtime=%lf", &monotonic, &realtime), 2)
        << lines[1];
    EXPECT_GE(monotonic, before - 0.001);
    EXPECT_LT(monotonic, before + 1);
    EXPECT_GT(realtime, 1.7e9);

    // A line for one encoder, and the failing one.
    ASSERT_EQ(bench->control("3 key 5"), ControlResult::Done);
    EXPECT_EQ(devices[2]->model.keyDown, 5);
    EXPECT_EQ(devices[0]->model.keyDown, 0);
    ASSERT_EQ(bench->control("fault 1 on"), ControlResult::Done);
    HidReport write{};
    write[1] = kCmdFirstHalf;
    write[kBlockNumberByte] = 0;
    write[kBlockDataByte + 1] = 0x21;
    devices[0]->model.answer(write);
    devices[1]->model.answer(write);
    EXPECT_NE(devices[0]->model.blocks[0][1], 0x21) << "encoder 1 keeps a wrong byte";
    EXPECT_EQ(devices[1]->model.blocks[0][1], 0x21);
    ASSERT_EQ(bench->control("fault 1 off"), ControlResult::Done);
    EXPECT_FALSE(devices[0]->model.storeFault);

    for (const char* bad : {"plug 4", "plug 0", "plug", "swap 1 1", "swap 1", "fault 2 maybe", "4 key 1", "2 jump"})
        EXPECT_EQ(bench->control(bad), ControlResult::Bad) << bad;
    EXPECT_EQ(sent(1) + sent(2) + sent(3), 0u) << "a refused line changed a device";

    // A device's own line without a number: every encoder.
    ASSERT_EQ(bench->control("unplug"), ControlResult::Done);
    EXPECT_EQ(sent(3), UHID_DESTROY);
    for (const auto& device : devices) EXPECT_FALSE(device->pluggedIn());
}

TEST_F(VirtualBenchTest, RunsWithEveryEncoderUnpluggedUntilAPlugAndUnplugsAllAtTheEnd) {
    int control[2];
    ASSERT_EQ(::pipe(control), 0);
    const std::string input = "plug 1\nnonsense\n";
    ASSERT_EQ(::write(control[1], input.data(), input.size()), ssize_t(input.size()));
    ::close(control[1]);
    EXPECT_EQ(bench->run(control[0], false), 0);
    ::close(control[0]);
    EXPECT_EQ(sent(1), UHID_CREATE2);
    EXPECT_EQ(sent(1), UHID_DESTROY);
    EXPECT_EQ(sent(2) + sent(3), 0u);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "unknown command: nonsense"), lines.end());
}

}  // namespace
}  // namespace qb
