// The simulated device's serial port: a key going down sends the key's message as last written, at the
// written format, out of a pseudo-terminal.
#include "simulator/SerialLine.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "simulator/SimulatedDevice.h"

namespace qb {
namespace {

struct RecordingLine : SerialLine {
    void send(std::string_view bytes, const SerialFormat& format) override {
        sent.emplace_back(bytes);
        baudCodes.push_back(format.baudCode);
    }
    std::vector<std::string> sent;
    std::vector<int> baudCodes;
};

TEST(SimulatedSerialPort, AKeyGoingDownSendsItsWrittenMessageOnce) {
    SimulatedDevice device;
    RecordingLine line;
    device.setSerialLine(&line);
    SimulatedDevice::Block settings{};
    settings[0] = kSettingsMarker;
    settings[1 + kBaudCodeOffset] = 6;  // 57600
    device.setBlock(0, settings);
    SimulatedDevice::Block key6{};  // block 6 holds slot 5, then the start of slot 6
    const std::string message = "K\x01\\\r";
    std::copy(message.begin(), message.end(), key6.begin());
    std::fill(key6.begin() + kSlotSize, key6.end(), 'x');
    device.setBlock(6, key6);

    device.setKeyDown(6);
    device.setKeyDown(6);  // still held
    device.setKeyDown(0);
    device.setKeyDown(7);  // as new: its legend
    device.setKeyDown(6);
    EXPECT_EQ(line.sent, (std::vector<std::string>{message, "8", message}));
    EXPECT_EQ(line.baudCodes, (std::vector<int>{6, 6, 6}));
    device.setSerialLine(nullptr);
}

#if !defined(_WIN32)
// The far end as a serial monitor opens it: raw, at a rate.
int OpenReceiver(const std::string& port, speed_t speed) {
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

std::string Receive(int fd) {
    std::string got;
    pollfd p{fd, POLLIN, 0};
    char buffer[256];
    while (::poll(&p, 1, got.empty() ? 5000 : 50) > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(PseudoTerminalLine, ArrivesAtTheRightFormatGarbledAtAWrongOneAndIsLostWithNobodyListening) {
    PseudoTerminalLine line;
    ASSERT_TRUE(line.isOpen());
    const SerialFormat at19200{4, 0, 1};
    line.send("lost", at19200);  // nobody has the port open yet

    const int fd = OpenReceiver(line.portName(), B19200);
    ASSERT_GE(fd, 0);
    line.send("1\r\n", at19200);
    EXPECT_EQ(Receive(fd), "1\r\n");
    line.send("2 stop bits", SerialFormat{4, 0, 2});
    EXPECT_EQ(Receive(fd), "2 stop bits") << "a receiver reads one stop bit whatever is sent";
    for (const SerialFormat& wrong : {SerialFormat{6, 0, 1}, SerialFormat{4, 1, 1}}) {
        const std::string got = Receive((line.send("abc", wrong), fd));
        EXPECT_EQ(got.size(), 3u);
        EXPECT_NE(got, "abc");
    }
    ::close(fd);
    line.send(std::string(100000, 'z'), at19200);  // never blocks
}
#endif

}  // namespace
}  // namespace qb
