// Whole-file access for data files: the real disk, or a fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace qb {

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // Reads at most `maxBytes` of a regular file; empty when it is no regular file or cannot be read.
    virtual std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path, std::size_t maxBytes) = 0;
    // Creates or replaces the file with exactly `bytes`; false if that did not completely succeed, in which case
    // whatever stood at `path` is left as it was.
    virtual bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) = 0;
};

// The real disk.
// - Reading refuses anything but a regular file (a FIFO or a device would block or never end) before it opens it.
// - Writing goes to a temporary file of a unique name in the target's folder, which is flushed to disk and then
//   renamed over the target, and the folder flushed after it: a failed save never damages the old file, and a
//   completed one survives a power cut. A symbolic link is followed (the file it points to is replaced, the link
//   stays); a target that exists but is no regular file, or that this user may not write, is refused; the new
//   file keeps the permissions of the file it replaces.
class DiskFileAccess : public FileAccess {
public:
    std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path, std::size_t maxBytes) override;
    bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) override;
};

}  // namespace qb
