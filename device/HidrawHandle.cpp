// Linux only (CMake adds it there); empty elsewhere.
#if defined(__linux__)
#include "device/HidrawHandle.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

namespace qb {

OpenResult HidrawHandle::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return OpenResult::Failed(errno == EACCES || errno == EPERM ? OpenFailure::AccessDenied : OpenFailure::Other);
    return {std::make_unique<HidrawHandle>(fd)};
}

HidrawHandle::HidrawHandle(int fd) : fd_(fd), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

HidrawHandle::~HidrawHandle() {
    ::close(fd_);
    if (wake_ >= 0) ::close(wake_);
}

bool HidrawHandle::write(const std::uint8_t* data, std::size_t size) {
    ssize_t n;
    do {
        n = ::write(fd_, data, size);
    } while (n < 0 && errno == EINTR);
    return n >= 0 && static_cast<std::size_t>(n) == size;
}

int HidrawHandle::read(std::uint8_t* data, std::size_t capacity, int timeoutMs) {
    for (;;) {
        if (interrupted_.load()) return 0;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = ::poll(fds, wake_ >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return -1;
        if (ready == 0 || (fds[1].revents & POLLIN)) return 0;
        // The node reports a device that went away as an error or a hang-up.
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
        const ssize_t n = ::read(fd_, data, capacity);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

void HidrawHandle::interruptRead() {
    interrupted_.store(true);
    const std::uint64_t one = 1;
    if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

}  // namespace qb

#endif  // __linux__
