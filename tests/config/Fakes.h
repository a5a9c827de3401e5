// Test doubles for the file dialogs and file access, a scratch folder on the real disk, and expected values
// written down from the documented record layout, independent of the code under test.
#pragma once

#include <algorithm>
#include <atomic>
#include <deque>
#include <fstream>
#include <map>
#include <random>

#include "config/DataFile.h"
#include "config/KeypadConfig.h"

namespace qb::test {

inline constexpr SettingsBlock kDocumentedDefaultSettings{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x31,
                                                          0x32, 0x33, 0x41, 0x34, 0x35, 0x36, 0x42, 0x37, 0x38,
                                                          0x39, 0x43, 0x2A, 0x30, 0x23, 0x44, 0x04, 0x00, 0x01};
// Default text of message slots 0..15 (column-major key order), one character each.
inline constexpr std::string_view kDefaultSlotTexts = "147*2580369#ABCD";

inline std::string Text(const KeypadConfig& config, std::size_t slot) {
    return std::string(SlotText(config.Messages.data() + slot * kSlotSize));
}

inline void PutText(KeypadConfig& config, std::size_t slot, std::string_view text) {
    std::uint8_t* s = config.Messages.data() + slot * kSlotSize;
    std::copy(text.begin(), text.end(), s);
    s[text.size()] = 0;
}

using Path = std::filesystem::path;

// Hands out prepared answers; an unprepared dialog counts as cancelled.
class FakeChooser : public FileChooser {
public:
    std::optional<Path> chooseFileToOpen() override { return next(openCalls); }
    std::optional<Path> chooseFileToSave() override { return next(saveCalls); }
    std::deque<std::optional<Path>> answers;
    int openCalls = 0, saveCalls = 0;

private:
    std::optional<Path> next(int& calls) {
        ++calls;
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Files in memory. A write can break off after some bytes; what landed is kept, as on a plain file system.
class FakeFileAccess : public FileAccess {
public:
    std::optional<std::vector<std::uint8_t>> read(const Path& path, std::size_t maxBytes) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return std::vector<std::uint8_t>(it->second.begin(),
                                         it->second.begin() + std::min(maxBytes, it->second.size()));
    }
    bool write(const Path& path, const std::vector<std::uint8_t>& bytes) override {
        ++writes;
        const std::size_t landed = std::min(failAfterBytes.value_or(bytes.size()), bytes.size());
        files[path].assign(bytes.begin(), bytes.begin() + landed);
        return landed == bytes.size();
    }
    std::map<Path, std::vector<std::uint8_t>> files;
    std::optional<std::size_t> failAfterBytes;
    int writes = 0;
};

// A fresh folder under the system's temporary folder, removed with everything in it. Tests run as parallel
// processes: two random numbers and a counter keep their folders apart.
class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("qb-config-test-" + std::to_string(random()) + "-" +
                                                          std::to_string(random()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    Path operator/(const std::string& name) const { return path_ / name; }
    const Path& path() const { return path_; }

private:
    Path path_;
};

inline std::vector<std::uint8_t> ReadWholeFile(const Path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const Path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qb::test
