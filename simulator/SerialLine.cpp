#include "simulator/SerialLine.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <array>
#include <string>

#include "config/KeypadConfig.h"

namespace qb {

namespace {

#if !defined(_WIN32)
constexpr std::array<speed_t, kBaudRates.size()> kSpeeds{B1200, B2400, B4800, B9600, B19200, B38400, B57600};

// A byte read at the wrong rate or parity: garbage, never the byte itself.
char Garbled(char c) {
    return static_cast<char>(static_cast<unsigned char>(c) ^ 0xA5u);
}
#endif

}  // namespace

#if !defined(_WIN32)

PseudoTerminalLine::PseudoTerminalLine() {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0) return;
    const char* name = (grantpt(fd) == 0 && unlockpt(fd) == 0) ? ptsname(fd) : nullptr;
    if (name == nullptr) {
        ::close(fd);
        return;
    }
    // Opened and closed once, so the pair starts hung up like one whose receiver has gone: see receiverFormat.
    const int receiver = ::open(name, O_RDWR | O_NOCTTY);
    if (receiver >= 0) ::close(receiver);
    // A key press must never wait for a receiver that does not read.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    master_ = fd;
    portName_ = name;
}

PseudoTerminalLine::~PseudoTerminalLine() {
    if (master_ >= 0) ::close(master_);
}

bool PseudoTerminalLine::receiverFormat(SerialFormat& format) const {
    if (master_ < 0) return false;
    pollfd p{master_, POLLOUT, 0};
    // Hung up: nobody has the far end open.
    if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP)) return false;
    termios t{};
    if (::tcgetattr(master_, &t) != 0) return false;
    format.baudCode = 0xFF;
    for (std::size_t i = 0; i < kSpeeds.size(); ++i)
        if (cfgetispeed(&t) == kSpeeds[i]) format.baudCode = static_cast<std::uint8_t>(i);
    format.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 2 : 1) : 0;
    format.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

void PseudoTerminalLine::send(std::string_view bytes, const SerialFormat& format) {
    SerialFormat receiver;
    if (bytes.empty() || !receiverFormat(receiver)) return;
    std::string line(bytes);
    // A receiver reads one stop bit whatever the sender sends: only rate and parity have to agree.
    if (receiver.baudCode != format.baudCode || receiver.parity != format.parity)
        for (char& c : line) c = Garbled(c);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(master_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the receiver's buffer is full: the rest is lost, as on a line
        done += static_cast<std::size_t>(n);
    }
}

#else

PseudoTerminalLine::PseudoTerminalLine() = default;
PseudoTerminalLine::~PseudoTerminalLine() = default;
bool PseudoTerminalLine::receiverFormat(SerialFormat&) const {
    return false;
}
void PseudoTerminalLine::send(std::string_view, const SerialFormat&) {}

#endif

}  // namespace qb
