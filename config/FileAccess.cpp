#include "config/FileAccess.h"

#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace qb {

namespace fs = std::filesystem;

namespace {

// The file a path finally names: symbolic links followed, even to a file that does not exist yet.
std::optional<fs::path> FollowLinks(fs::path path) {
    std::error_code ec;
    for (int depth = 0; depth < 40; ++depth) {
        const fs::file_status link = fs::symlink_status(path, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) return std::nullopt;
        if (!fs::is_symlink(link)) return path;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return std::nullopt;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;  // a loop of links
}

// A short name, so that a target name of the longest legal length still has a temporary beside it.
fs::path TemporaryName(const fs::path& folder) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".qb-save-";
    for (int i = 0; i < 10; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return folder / name;
}

}  // namespace

#ifndef _WIN32

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false if the close reported an error (a full disk can show up only here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DiskFileAccess::read(const fs::path& path, std::size_t maxBytes) {
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return std::nullopt;
    // Not blocking, and checked again once open: the name may have been swapped for a FIFO meanwhile.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return std::nullopt;

    std::vector<std::uint8_t> bytes(maxBytes);
    std::size_t total = 0;
    while (total < maxBytes) {
        const ssize_t n = ::read(fd.get(), bytes.data() + total, maxBytes - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;  // a folder, a vanished medium
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    bytes.resize(total);
    return bytes;
}

bool DiskFileAccess::write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const std::optional<fs::path> target = FollowLinks(path);
    if (!target || target->filename().empty()) return false;

    mode_t mode = 0666;  // a new file: the process's umask applies at creation
    bool replacing = false;
    struct stat existing {};
    if (::stat(target->c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) return false;  // a FIFO, a device, a folder: never replaced
        if (::access(target->c_str(), W_OK) != 0) return false;
        mode = existing.st_mode & 07777;
        replacing = true;
    } else if (errno != ENOENT) {
        return false;
    }

    const fs::path folder = target->parent_path().empty() ? fs::path(".") : target->parent_path();
    fs::path temp;
    int raw = -1;
    for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
        temp = TemporaryName(folder);
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, replacing ? 0600 : mode);
        if (raw < 0 && errno != EEXIST) return false;
    }
    if (raw < 0) return false;
    Descriptor fd(raw);
    const auto discard = [&] {
        ::unlink(temp.c_str());
        return false;
    };

    if (replacing) {
        // The same owner where we may set it (root saving a user's file), and the same permissions.
        if (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0) { /* only root may give a file away */
        }
        if (::fchmod(fd.get(), mode) != 0) return discard();
    }
    if (!WriteAll(fd.get(), bytes.data(), bytes.size())) return discard();
    if (::fsync(fd.get()) != 0) return discard();
    if (!fd.close()) return discard();
    if (::rename(temp.c_str(), target->c_str()) != 0) return discard();

    // The rename itself is on disk only once the folder is.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

#else  // Windows

std::optional<std::vector<std::uint8_t>> DiskFileAccess::read(const fs::path& path, std::size_t maxBytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::nullopt;
    std::vector<std::uint8_t> bytes(maxBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(maxBytes));
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool DiskFileAccess::write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const std::optional<fs::path> target = FollowLinks(path);
    if (!target || target->filename().empty()) return false;
    std::error_code ec;
    const fs::file_status status = fs::status(*target, ec);
    const bool exists = fs::exists(status);
    if (exists && !fs::is_regular_file(status)) return false;
    if (exists && (status.permissions() & fs::perms::owner_write) == fs::perms::none) return false;  // read-only

    const fs::path folder = target->parent_path().empty() ? fs::path(".") : target->parent_path();
    fs::path temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temp = TemporaryName(folder);
        file = _wfopen(temp.c_str(), L"wbxc");  // x: only a new file; c: fflush commits to disk
    }
    if (!file) return false;
    const auto discard = [&] {
        fs::remove(temp, ec);
        return false;
    };
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 &&
                         _commit(_fileno(file)) == 0;
    if (std::fclose(file) != 0 || !written) return discard();
    if (exists) fs::permissions(temp, status.permissions(), ec);
    // Windows refuses to replace a file that someone (a virus scanner, another save) holds open at that moment:
    // a few more tries before the save counts as failed.
    for (int attempt = 0; attempt < 50; ++attempt) {
        fs::rename(temp, *target, ec);
        if (!ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return discard();
}

#endif

}  // namespace qb
