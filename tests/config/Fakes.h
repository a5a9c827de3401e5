// Test doubles for the file dialogs and file access, and a scratch folder on the real disk.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "config/DataFile.h"

namespace qb::test {

// Hands out prepared answers; an unprepared dialog counts as cancelled.
class FakeChooser : public FileChooser {
public:
    std::optional<std::filesystem::path> chooseFileToOpen() override { return next(openCalls); }
    std::optional<std::filesystem::path> chooseFileToSave() override { return next(saveCalls); }

    std::deque<std::optional<std::filesystem::path>> answers;
    int openCalls = 0;
    int saveCalls = 0;

private:
    std::optional<std::filesystem::path> next(int& calls) {
        ++calls;
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Files in memory. Can refuse to open, or break off a write after some bytes (what lands is kept, as a
// plain file system would keep it).
class FakeFileAccess : public FileAccess {
public:
    std::optional<std::vector<std::uint8_t>> read(const std::filesystem::path& path, std::size_t maxBytes) override {
        lastMaxBytes = maxBytes;
        auto it = files.find(path);
        if (failOpen || it == files.end()) return std::nullopt;
        const auto& all = it->second;
        return std::vector<std::uint8_t>(all.begin(),
                                         all.begin() + static_cast<std::ptrdiff_t>(std::min(maxBytes, all.size())));
    }
    bool write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) override {
        ++writes;
        if (failOpen) return false;
        if (failAfterBytes && *failAfterBytes < bytes.size()) {
            files[path].assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(*failAfterBytes));
            return false;
        }
        files[path] = bytes;
        return true;
    }

    std::map<std::filesystem::path, std::vector<std::uint8_t>> files;
    bool failOpen = false;
    std::optional<std::size_t> failAfterBytes;
    std::size_t lastMaxBytes = 0;
    int writes = 0;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        // Tests run as parallel processes: time, a random number and a counter keep their folders apart.
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        const auto random = std::random_device{}();
        path_ = std::filesystem::temp_directory_path() / ("qb-config-test-" + std::to_string(stamp) + "-" +
                                                          std::to_string(random) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qb::test
