// A fresh folder under the system's temporary folder, removed with everything in it. Tests run as parallel
// processes, also from other build folders: two random numbers keep their folders apart.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace qb::test {

struct ScratchFolder {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("qb-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(std::random_device{}()));
    ScratchFolder() { std::filesystem::create_directories(path); }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

}  // namespace qb::test
