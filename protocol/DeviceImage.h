// The configuration image as it stands in the device: what a write sends, what a read brings back, how the two
// compare, and the messages the message blocks carry.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "config/KeypadConfig.h"
#include "protocol/Reports.h"

namespace qb {

struct DeviceImage {
    std::array<BlockImage, kBlockCount> blocks{};
    std::size_t blocksRead = 0;  // blocks 0 .. blocksRead - 1 hold what the device answered
};

// The image a write sends: block 0 from `settings`, blocks 1..16 from the translated messages, byte for byte as
// the "d" and "D" reports carry them (block 16's last 32 bytes as zeros: nothing follows the last slot).
DeviceImage WrittenImage(const SettingsBlock& settings, const MessageBlock& deviceMessages);

// What differs between the image written and the one read back, where the layout defines the bytes and only for
// the blocks that were read: one line per setting or key, in UTF-8 ("Baud rate: wrote 19200, the device holds
// 9600", "Message of key 5 differs"). Empty when they agree.
std::vector<std::string> CompareImages(const DeviceImage& written, const DeviceImage& read);

// The sixteen messages carried by blocks 1..16 (slot order), as translated bytes up to their terminator; or why
// the blocks cannot be messages: a slot without a terminator, or a block whose last 32 bytes disagree with the
// start of the next block (the slots travel as one run, so they must).
struct MessageReadBack {
    std::optional<std::array<std::string, kSlotCount>> messages;
    std::string problem;  // UTF-8, when `messages` is empty
};
MessageReadBack DecodeMessageBlocks(const DeviceImage& image);

// The window's configuration beside the device's, one row per setting and, when the device's messages were read
// and decode, one per key (in the window's key order), in UTF-8. A message row shows the window's text as typed
// and the device's bytes in the tool's notation; they differ when the window's text, translated, is not what the
// device holds.
struct ComparisonRow {
    std::string name;
    std::string window;
    std::string device;
    bool differs = false;
};
struct Comparison {
    std::vector<ComparisonRow> rows;
    bool messagesRead = false;    // blocks 1..16 were read
    std::string messagesProblem;  // why they cannot be shown, when they were read but do not decode
};
Comparison CompareWithDevice(const KeypadConfig& window, const DeviceImage& device);

// The device's values as the window would hold them: the settings, and each message in the tool's notation where
// the device's messages were read and decode. A message whose notation does not fit a slot (63 bytes) keeps the
// window's text; the keys affected are returned.
std::vector<char> TakeOverDeviceValues(const DeviceImage& device, KeypadConfig& config);

}  // namespace qb
