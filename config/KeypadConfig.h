// The keypad configuration record, its saved copy and the translated messages the device receives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

class ConfigView;
class MessageSink;

inline constexpr std::size_t kSettingsSize = 27;
inline constexpr std::size_t kSlotCount = 16;
inline constexpr std::size_t kSlotSize = 64;
inline constexpr std::size_t kMessagesSize = kSlotCount * kSlotSize;  // 1024
inline constexpr std::size_t kMaxMessageBytes = kSlotSize - 1;        // 63, the terminator always fits

// Settings offsets.
inline constexpr std::size_t kColumnLinesOffset = 0;
inline constexpr std::size_t kRowLinesOffset = 4;
inline constexpr std::size_t kLegendsOffset = 8;
inline constexpr std::size_t kBaudCodeOffset = 24;
inline constexpr std::size_t kParityCodeOffset = 25;
inline constexpr std::size_t kStopBitsOffset = 26;

using SettingsBlock = std::array<std::uint8_t, kSettingsSize>;
using MessageBlock = std::array<std::uint8_t, kMessagesSize>;

// BaudCode is the index into this list; 255 means none selected.
inline constexpr std::array<const char*, 7> kBaudRates{"1200", "2400", "4800", "9600", "19200", "38400", "57600"};
inline constexpr std::uint8_t kDefaultBaudCode = 4;  // 19200

// Slot `k` (0..15, column-major) of a message block.
inline std::uint8_t* Slot(MessageBlock& block, std::size_t k) {
    return block.data() + k * kSlotSize;
}
inline const std::uint8_t* Slot(const MessageBlock& block, std::size_t k) {
    return block.data() + k * kSlotSize;
}

struct KeypadConfig {
    SettingsBlock Settings{};
    MessageBlock Messages{};
};

// The default Settings block: lines 1..4 / 5..8, legends "123A456B789C*0#D", 19200 baud, no parity, 1 stop bit.
extern const SettingsBlock kDefaultSettings;

// The default settings into `config`, and in each slot its key's legend and a zero (the rest of the slot is kept).
void ApplyDefaults(KeypadConfig& config);

// The text held by a 64-byte slot: the bytes before its first zero, and never more than 63 of them. A slot
// without a zero byte (only a file made elsewhere can hold one) is cut at 63 bytes, the same way everywhere.
std::string_view SlotText(const std::uint8_t* slot);

// Translates one message's escapes into `out` (a 64-byte slot). False if the text is invalid; `out` then may
// hold a partial translation. Only the first 63 bytes of `text` before its zero byte are read (see SlotText).
bool DecodeMessageEscapes(const std::uint8_t* text, std::uint8_t* out);

// Translates the sixteen typed messages of `typed` into `out`. The slot number (0..15) of the first invalid one, or
// -1 when all are valid.
int TranslateMessages(const MessageBlock& typed, MessageBlock& out);
// "Error on Message:\r<raw text>" for slot `slot` of `typed`: what the user is shown for an invalid message.
std::u16string MessageErrorText(const MessageBlock& typed, int slot);

// The record, the copy taken at the last default / load / save, and the translated messages.
class ConfigStore {
public:
    KeypadConfig Config;
    KeypadConfig SavedConfig;
    MessageBlock DeviceMessages{};

    // Defaults into Config (each slot gets its legend and a zero; the rest of the slot is kept),
    // MarkConfigSaved, then UnpackConfig into `view`.
    void SetDefaultConfig(ConfigView& view);
    void MarkConfigSaved();
    bool ConfigChanged() const;
    // Translates all sixteen slots into DeviceMessages; on the first invalid one shows
    // "Error on Message:\r<raw text>" through `sink` and returns false.
    bool TranslateMessages(MessageSink& sink);
};

}  // namespace qb
