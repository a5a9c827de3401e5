#include "simulator/SimulatorState.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "config/FileAccess.h"
#include "config/KeyTable.h"

namespace qb {

namespace fs = std::filesystem;

namespace {

constexpr char kTag[8] = {'Q', 'B', 'S', 'I', 'M', ' ', '1', '\n'};

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// An environment variable as a path; empty when unset or empty.
fs::path EnvironmentPath(const char* name) {
#ifdef _WIN32
    std::wstring wide(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(wide.c_str());
#else
    const char* value = std::getenv(name);
#endif
    return value ? fs::path(value) : fs::path();
}

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

fs::path SimulatorStatePath() {
    if (fs::path chosen = EnvironmentPath("QB_SIMULATOR_STATE"); !chosen.empty()) return chosen;
    fs::path cache;
#if defined(_WIN32)
    cache = EnvironmentPath("LOCALAPPDATA");
#elif defined(__APPLE__)
    if (const fs::path home = EnvironmentPath("HOME"); home.is_absolute()) cache = home / "Library" / "Caches";
#else
    cache = EnvironmentPath("XDG_CACHE_HOME");
    // A relative XDG_CACHE_HOME is invalid and to be ignored.
    if (!cache.is_absolute())
        if (const fs::path home = EnvironmentPath("HOME"); home.is_absolute()) cache = home / ".cache";
#endif
    if (!cache.is_absolute()) return {};
    return cache / "quillanterbrooke" / "simulated-device.dat";
}

std::vector<std::uint8_t> EncodeSimulatorState(const DeviceBlocks& blocks) {
    std::vector<std::uint8_t> bytes(std::begin(kTag), std::end(kTag));
    for (const BlockImage& block : blocks) bytes.insert(bytes.end(), block.begin(), block.end());
    const std::uint32_t crc = Crc32(bytes.data(), bytes.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    return bytes;
}

std::optional<DeviceBlocks> DecodeSimulatorState(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kSimulatorStateSize || !std::equal(std::begin(kTag), std::end(kTag), bytes.begin()))
        return std::nullopt;
    const std::size_t body = kSimulatorStateSize - 4;
    std::uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) stored |= static_cast<std::uint32_t>(bytes[body + i]) << (8 * i);
    if (stored != Crc32(bytes.data(), body)) return std::nullopt;
    DeviceBlocks blocks{};
    auto from = bytes.begin() + sizeof kTag;
    for (BlockImage& block : blocks) {
        std::copy_n(from, kBlockSize, block.begin());
        from += kBlockSize;
    }
    return blocks;
}

std::optional<DeviceBlocks> LoadSimulatorState(const fs::path& path, std::string& warning) {
    warning.clear();
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return std::nullopt;
    DiskFileAccess disk;
    // One byte more than a state file, so that a longer file shows as one.
    const auto bytes = disk.read(path, kSimulatorStateSize + 1);
    if (!bytes) {
        warning = "Cannot read the simulated device's state " + Utf8(path) +
                  " (no regular file, or not readable): starting as a new device.";
        return std::nullopt;
    }
    auto blocks = DecodeSimulatorState(*bytes);
    if (!blocks)
        warning =
            "The simulated device's state " + Utf8(path) + " is damaged or no state file: starting as a new device.";
    return blocks;
}

bool SaveSimulatorState(const fs::path& path, const DeviceBlocks& blocks, std::string& error) {
    error.clear();
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    DiskFileAccess disk;
    if (!disk.write(path, EncodeSimulatorState(blocks))) {
        error = "Cannot save the simulated device's state " + Utf8(path) + ": the next run will not hold it.";
        return false;
    }
    return true;
}

bool ForgetSimulatorState(const fs::path& path, std::string& error) {
    error.clear();
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (link.type() == fs::file_type::not_found) return true;
    // Only the state file itself, never what a link points at or a folder.
    if (!fs::is_regular_file(link) && !fs::is_symlink(link)) {
        error = "Cannot remove the simulated device's state " + Utf8(path) + ": it is no file.";
        return false;
    }
    if (!fs::remove(path, ec) || ec) {
        error = "Cannot remove the simulated device's state " + Utf8(path) + ": " + ec.message();
        return false;
    }
    return true;
}

namespace {

// Seconds as "1", "0.5", "12.25": a plain decimal number, never negative, at most a day.
std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }))
        return std::nullopt;
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || !(seconds <= 86400.0)) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
}

int KeyByLegend(const std::string& name) {
    if (name.size() != 1) return 0;
    const char c = name[0] >= 'a' && name[0] <= 'd' ? static_cast<char>(name[0] - 'a' + 'A') : name[0];
    for (const KeyInfo& key : kKeys)
        if (key.legend == c) return key.keyNumber;
    return 0;
}

}  // namespace

std::vector<ScriptedPress> ParseKeyScript(const std::string& text, std::string& error) {
    error.clear();
    std::vector<ScriptedPress> script;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        const std::size_t at = item.find('@');
        const int key = at == std::string::npos ? 0 : KeyByLegend(item.substr(0, at));
        const auto when = at == std::string::npos ? std::nullopt : ParseSeconds(item.substr(at + 1));
        if (key == 0 || !when) {
            error = "\"" + item + "\" is no key press: write KEY@SECONDS, e.g. 5@0.5,A@1.0 (KEY one of 0-9, A-D, *, #)";
            return {};
        }
        if (!script.empty() && *when < script.back().at) {
            error = "\"" + item + "\" comes before the press ahead of it: list the presses in order of time";
            return {};
        }
        if (!script.empty()) script.back().hold = std::min(script.back().hold, *when - script.back().at);
        script.push_back({key, *when});
        start = end + 1;
    }
    return script;
}

int ScriptedKeyAt(const std::vector<ScriptedPress>& script, std::chrono::nanoseconds elapsed) {
    for (const ScriptedPress& press : script)
        if (elapsed >= press.at && elapsed < press.at + press.hold) return press.keyNumber;
    return 0;
}

}  // namespace qb
