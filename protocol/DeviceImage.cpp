#include "protocol/DeviceImage.h"

#include <algorithm>
#include <cstring>

#include "config/Codepage.h"
#include "config/KeyTable.h"
#include "config/SettingsText.h"
#include "config/Text.h"

namespace qb {

namespace {

constexpr std::size_t kSettingsEnd = kSettingsByte + kSettingsSize;
constexpr std::size_t kMessageBlockFirst = 1;

std::string KeyName(std::size_t slot) {
    return std::string(1, KeyBySlot(static_cast<int>(slot)).legend);
}

SettingsBlock SettingsOf(const BlockImage& block0) {
    SettingsBlock settings{};
    UnpackSettingsBlock(block0, 0, settings);
    return settings;
}

bool SameBytes(const SettingsBlock& a, const SettingsBlock& b, const SettingLine& line) {
    return std::equal(a.begin() + line.offset, a.begin() + line.offset + line.size, b.begin() + line.offset);
}

// Whether the layout defines byte `offset` of block `block`: block 0's bytes 28..47 are never sent, and block 16's
// bytes 64..95 carry no message.
bool ByteDefined(std::size_t block, std::size_t offset) {
    if (block == 0) return offset < kSettingsEnd || offset >= kBlockHalfSize;
    if (block == kLastBlock) return offset < kSlotSize;
    return offset < kBlockSize;
}

}  // namespace

DeviceImage WrittenImage(const SettingsBlock& settings, const MessageBlock& deviceMessages) {
    DeviceImage image;
    BlockImage& block0 = image.blocks[0];
    block0[0] = kSettingsMarker;
    std::copy(settings.begin(), settings.end(), block0.begin() + kSettingsByte);
    std::fill(block0.begin() + kBlockHalfSize, block0.end(), std::uint8_t{0xFF});
    for (std::size_t n = kMessageBlockFirst; n < kBlockCount; ++n) {
        const std::size_t from = (n - 1) * kSlotSize;
        const std::size_t count = std::min(kBlockSize, deviceMessages.size() - from);
        std::copy_n(deviceMessages.begin() + from, count, image.blocks[n].begin());
    }
    image.blocksRead = kBlockCount;
    return image;
}

std::vector<std::string> CompareImages(const DeviceImage& written, const DeviceImage& read) {
    std::vector<std::string> differences;
    const std::size_t blocks = std::min(written.blocksRead, read.blocksRead);
    if (blocks == 0) return differences;

    const BlockImage& wrote0 = written.blocks[0];
    const BlockImage& read0 = read.blocks[0];
    if (wrote0[0] != read0[0]) differences.push_back("Settings marker differs");
    const SettingsBlock wroteSettings = SettingsOf(wrote0), heldSettings = SettingsOf(read0);
    const std::vector<SettingLine> wrote = DescribeSettings(wroteSettings);
    const std::vector<SettingLine> holds = DescribeSettings(heldSettings);
    // Bytes, not their descriptions: two bytes may read alike.
    for (std::size_t i = 0; i < wrote.size(); ++i)
        if (!SameBytes(wroteSettings, heldSettings, wrote[i]))
            differences.push_back(wrote[i].name + ": wrote " + wrote[i].value + ", the device holds " + holds[i].value);
    if (!std::equal(wrote0.begin() + kBlockHalfSize, wrote0.end(), read0.begin() + kBlockHalfSize))
        differences.push_back("Settings block: the second half differs");

    // Bytes 64..95 of a block are the next key's slot: a difference there is that key's.
    for (std::size_t n = kMessageBlockFirst; n < blocks; ++n) {
        for (std::size_t i = 0; i < kBlockSize; ++i) {
            if (!ByteDefined(n, i) || written.blocks[n][i] == read.blocks[n][i]) continue;
            const std::string line = "Message of key " + KeyName(i < kSlotSize ? n - 1 : n) + " differs";
            if (std::find(differences.begin(), differences.end(), line) == differences.end())
                differences.push_back(line);
        }
    }
    return differences;
}

Comparison CompareWithDevice(const KeypadConfig& window, const DeviceImage& device) {
    Comparison result;
    if (device.blocksRead == 0) return result;
    const SettingsBlock held = SettingsOf(device.blocks[0]);
    const std::vector<SettingLine> ours = DescribeSettings(window.Settings);
    const std::vector<SettingLine> theirs = DescribeSettings(held);
    for (std::size_t i = 0; i < ours.size(); ++i)
        result.rows.push_back(
            {ours[i].name, ours[i].value, theirs[i].value, !SameBytes(window.Settings, held, ours[i])});

    result.messagesRead = device.blocksRead == kBlockCount;
    if (!result.messagesRead) return result;
    const MessageReadBack read = DecodeMessageBlocks(device);
    if (!read.messages) {
        result.messagesProblem = read.problem;
        return result;
    }
    for (const KeyInfo& key : kKeys) {
        const std::uint8_t* typed = Slot(window.Messages, static_cast<std::size_t>(key.slot));
        std::array<std::uint8_t, kSlotSize> translated{};
        const bool valid = DecodeMessageEscapes(typed, translated.data());
        const std::string& held = (*read.messages)[key.slot];
        const bool same = valid && std::string(reinterpret_cast<const char*>(translated.data())) == held;
        result.rows.push_back(
            {"Message " + std::string(1, key.legend), ToUtf8(FromAnsi(SlotText(typed))), DescribeMessage(held), !same});
    }
    return result;
}

std::vector<char> TakeOverDeviceValues(const DeviceImage& device, KeypadConfig& config) {
    std::vector<char> kept;
    if (device.blocksRead == 0) return kept;
    config.Settings = SettingsOf(device.blocks[0]);
    const MessageReadBack read = DecodeMessageBlocks(device);
    if (!read.messages) return kept;
    for (const KeyInfo& key : kKeys) {
        const std::string text = ToAnsi(ShowBytes((*read.messages)[key.slot]));
        if (text.size() > kMaxMessageBytes) {
            kept.push_back(key.legend);
            continue;
        }
        std::uint8_t* slot = Slot(config.Messages, static_cast<std::size_t>(key.slot));
        std::copy(text.begin(), text.end(), slot);
        slot[text.size()] = 0;
    }
    return kept;
}

MessageReadBack DecodeMessageBlocks(const DeviceImage& image) {
    MessageReadBack result;
    if (image.blocksRead < kBlockCount) {
        result.problem = "the message blocks were not read";
        return result;
    }
    std::array<std::string, kSlotCount> messages;
    for (std::size_t n = kMessageBlockFirst; n < kBlockCount; ++n) {
        const BlockImage& block = image.blocks[n];
        const auto* slot = reinterpret_cast<const char*>(block.data());
        const void* zero = std::memchr(slot, 0, kSlotSize);
        if (!zero) {
            result.problem = "block " + std::to_string(n) + " holds no message: no end within 64 bytes";
            return result;
        }
        if (n < kLastBlock && !std::equal(block.begin() + kSlotSize, block.end(), image.blocks[n + 1].begin())) {
            result.problem = "blocks " + std::to_string(n) + " and " + std::to_string(n + 1) +
                             " do not agree: they are no message blocks";
            return result;
        }
        messages[n - 1].assign(slot, static_cast<const char*>(zero));
    }
    result.messages = messages;
    return result;
}

}  // namespace qb
