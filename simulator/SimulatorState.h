// What the command line's simulated device keeps between runs (the blocks written into it, in a small file in the
// user's cache folder), and the key presses it can make on its own.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Reports.h"

namespace qb {

using DeviceBlocks = std::array<BlockImage, kBlockCount>;

// QB_SIMULATOR_STATE when set and not empty; else quillanterbrooke/simulated-device.dat in the user's cache
// folder ($XDG_CACHE_HOME or ~/.cache; ~/Library/Caches on macOS; %LOCALAPPDATA% on Windows). Empty when there is
// no such folder.
std::filesystem::path SimulatorStatePath();

// The file: a tag line, the 17 blocks, and a CRC-32 of both, so that a cut or edited file is not taken for a
// device's memory.
inline constexpr std::size_t kSimulatorStateSize = 8 + kBlockCount * kBlockSize + 4;
std::vector<std::uint8_t> EncodeSimulatorState(const DeviceBlocks& blocks);
std::optional<DeviceBlocks> DecodeSimulatorState(const std::vector<std::uint8_t>& bytes);

// Loads the state kept at `path`: nothing (and no warning) when there is no file; nothing and a warning when the
// file cannot be read or is not a state file. Never blocks on a FIFO or a device.
std::optional<DeviceBlocks> LoadSimulatorState(const std::filesystem::path& path, std::string& warning);
// Saves safely (temporary file, flushed, renamed), creating the folder; false with `error` set if it could not.
bool SaveSimulatorState(const std::filesystem::path& path, const DeviceBlocks& blocks, std::string& error);
// Starts afresh: the kept state is removed, so the next run holds what a new device holds. True when there is no
// state file afterwards.
bool ForgetSimulatorState(const std::filesystem::path& path, std::string& error);

// A key the simulated device presses on its own: the key named by its default legend ("1" .. "9", "0", "A" .. "D",
// "*", "#"), pressed `at` after the device started and held for `hold`.
struct ScriptedPress {
    int keyNumber = 0;  // 1..16, as the device reports it
    std::chrono::milliseconds at{0};
    std::chrono::milliseconds hold{500};
};
// "5@0.5,A@1.0": key 5 half a second after the start, key A after a second, each held for half a second (or until
// the next press begins). Times in seconds, up to a day, in ascending order. Empty and `error` set when the text
// is not such a list.
std::vector<ScriptedPress> ParseKeyScript(const std::string& text, std::string& error);
// The key held at `elapsed` after the start: 0 for none.
int ScriptedKeyAt(const std::vector<ScriptedPress>& script, std::chrono::nanoseconds elapsed);

}  // namespace qb
