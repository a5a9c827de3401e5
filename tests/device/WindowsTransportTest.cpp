// The Windows HID layer's overlapped handle, against a message pipe standing in for a device (a pipe keeps
// report boundaries as a HID device does). Its enumeration is tested with every platform's (TransportTest).
#include "device/WindowsTransport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <utility>

#include "device/HidReport.h"

namespace qb {
namespace {

// The device's end of a pipe (plain, blocking) and ours as a HidHandle.
struct PipeDevice {
    const std::wstring name = L"\\\\.\\pipe\\qb-transport-test-" + std::to_wstring(std::random_device{}());
    HANDLE device = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                                     4096, 4096, 0, nullptr);
    std::unique_ptr<HidHandle> host =
        MakeOverlappedHidHandle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OVERLAPPED, nullptr),
                                kReportSize);
    ~PipeDevice() { closeDevice(); }
    void closeDevice() {
        if (device != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(device, INVALID_HANDLE_VALUE));
    }
    bool send(const HidReport& report) {
        DWORD n = 0;
        return WriteFile(device, report.data(), DWORD(report.size()), &n, nullptr) && n == report.size();
    }
    HidReport receive() {
        HidReport report{};
        DWORD n = 0;
        EXPECT_TRUE(ReadFile(device, report.data(), DWORD(report.size()), &n, nullptr));
        EXPECT_EQ(n, report.size());
        return report;
    }
};

HidReport Numbered(std::uint8_t first) {
    HidReport report{};
    for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(first + i);
    return report;
}

TEST(OverlappedHidHandle, ReadsWithoutTheReportIdWaitsNoLongerThanAskedAndSeesTheDeviceGo) {
    PipeDevice pipe;
    ASSERT_NE(pipe.device, INVALID_HANDLE_VALUE);
    std::uint8_t data[kReportSize] = {};
    // Nothing sent: the read comes back empty-handed, and the read it left pending gets the next report.
    EXPECT_EQ(pipe.host->read(data, 64, 20), 0);
    ASSERT_TRUE(pipe.send(Numbered(0)));
    ASSERT_EQ(pipe.host->read(data, 64, 5000), 64);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[63], 64);
    // Less room than the report: only what fits.
    ASSERT_TRUE(pipe.send(Numbered(100)));
    data[5] = 0xEE;
    EXPECT_EQ(pipe.host->read(data, 5, 5000), 5);
    EXPECT_EQ(data[4], 105);
    EXPECT_EQ(data[5], 0xEE);

    const HidReport out = Numbered(7);
    EXPECT_TRUE(pipe.host->write(out.data(), out.size()));
    EXPECT_EQ(pipe.receive(), out);

    pipe.closeDevice();
    EXPECT_EQ(pipe.host->read(data, 64, 5000), -1);
    EXPECT_FALSE(pipe.host->write(out.data(), out.size()));
}

// A handle destroyed while its read is pending cancels it rather than leaving the system writing into it.
TEST(OverlappedHidHandle, DestroyedWithAReadPending) {
    PipeDevice pipe;
    std::uint8_t data[kReportSize] = {};
    EXPECT_EQ(pipe.host->read(data, 64, 1), 0);
    pipe.host.reset();
    EXPECT_FALSE(pipe.send(Numbered(0)));  // our end is closed
}

// A session opens without sharing: another program's open (here a second transport) is refused as in use, and
// so is a look; our own second handle is a duplicate that keeps working after the first is closed. A plain file
// stands in for the device.
TEST(WindowsTransport, ASessionHoldsTheDeviceUntilItsLastHandleCloses) {
    wchar_t folder[MAX_PATH] = {}, file[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"qb", 0, file), 0u);
    std::string path;
    for (const wchar_t* c = file; *c; ++c) path += static_cast<char>(*c);  // the temporary folder is plain ASCII
    WindowsTransport ours, theirs;
    OpenResult session = ours.open(path);
    ASSERT_NE(session.handle, nullptr);
    EXPECT_EQ(ours.probe(path).failure, OpenFailure::InUse);
    EXPECT_EQ(theirs.open(path).failure, OpenFailure::InUse);
    std::unique_ptr<HidHandle> second = session.handle->duplicate();
    ASSERT_NE(second, nullptr);
    session.handle.reset();
    const HidReport out = Numbered(3);
    EXPECT_TRUE(second->write(out.data(), out.size()));
    EXPECT_EQ(theirs.open(path).failure, OpenFailure::InUse);
    second.reset();
    EXPECT_EQ(theirs.probe(path).failure, OpenFailure::None);
    EXPECT_NE(theirs.open(path).handle, nullptr);
    DeleteFileW(file);
}

}  // namespace
}  // namespace qb
