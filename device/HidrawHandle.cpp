// Linux only (CMake adds it there); empty elsewhere.
#if defined(__linux__)
#include "device/HidrawHandle.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>

namespace qb {

namespace {

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "NAME, process PID": the name the program was started by (its command line's first word, which the
// kernel's short name cuts at 15 characters), else that short name, else the number alone.
std::string DescribeProcess(long pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::string name = ReadSmallFile(proc + "/cmdline");
    name = name.substr(0, name.find('\0'));
    name = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
    if (name.empty()) {
        name = ReadSmallFile(proc + "/comm");
        while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    }
    const std::string process = "process " + std::to_string(pid);
    return name.empty() ? process : name + ", " + process;
}

// Who holds the open file's lock, from /proc/locks where it is readable; nothing when nobody is listed.
std::optional<std::string> HolderOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    return FlockHolder(ReadSmallFile("/proc/locks"), st.st_dev, st.st_ino);
}

OpenFailure FailureOfOpen(int error) {
    return error == EACCES || error == EPERM ? OpenFailure::AccessDenied : OpenFailure::Other;
}

}  // namespace

std::optional<std::string> FlockHolder(const std::string& procLocks, unsigned long long device,
                                       unsigned long long inode) {
    // Each line: "1: FLOCK  ADVISORY  WRITE 1234 00:05:321 0 EOF"; a waiter's line has "->" after the number,
    // the device numbers are hexadecimal and the inode decimal.
    std::istringstream lines(procLocks);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, access, file;
        long pid = 0;
        if (!(words >> number >> kind) || kind != "FLOCK") continue;
        if (!(words >> mode >> access >> pid >> file) || access != "WRITE") continue;
        unsigned major = 0, minor = 0;
        unsigned long long ino = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &ino) != 3) continue;
        // A holder in another process name space is listed as 0: in use by a program nobody can name.
        if (major == ::major(device) && minor == ::minor(device) && ino == inode)
            return pid > 0 ? DescribeProcess(pid) : std::string();
    }
    return std::nullopt;
}

OpenResult HidrawHandle::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return OpenResult::Failed(FailureOfOpen(errno));
    // Held by this open file until it and its duplicates are closed, whatever the program does after.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        OpenResult refused = OpenResult::Failed(error == EWOULDBLOCK ? OpenFailure::InUse : OpenFailure::Other,
                                                error == EWOULDBLOCK ? HolderOf(fd).value_or("") : std::string());
        ::close(fd);
        return refused;
    }
    return {std::make_unique<HidrawHandle>(fd)};
}

OpenCheck HidrawHandle::Probe(const std::string& path) {
    // Opening tells whether this user may; the lock is only looked up. Even a shared lock taken and dropped at
    // once would refuse a session whose exclusive lock came in that instant.
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return {FailureOfOpen(errno), {}};
    std::optional<std::string> holder = HolderOf(fd);
    ::close(fd);
    if (!holder) return {};
    return {OpenFailure::InUse, std::move(*holder)};
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

std::unique_ptr<HidHandle> HidrawHandle::duplicate() {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? nullptr : std::make_unique<HidrawHandle>(fd);
}

void HidrawHandle::interruptRead() {
    interrupted_.store(true);
    const std::uint64_t one = 1;
    if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

}  // namespace qb

#endif  // __linux__
