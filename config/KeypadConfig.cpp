#include "config/KeypadConfig.h"

#include <cstring>
#include <string>

#include "config/Bytes.h"
#include "config/Codepage.h"
#include "config/ConfigTransfer.h"
#include "config/KeyTable.h"
#include "config/UserSink.h"

namespace qb {

namespace {

constexpr SettingsBlock MakeDefaultSettings() {
    SettingsBlock s{};
    for (std::size_t i = 0; i < 4; ++i) {
        s[kColumnLinesOffset + i] = static_cast<std::uint8_t>(1 + i);
        s[kRowLinesOffset + i] = static_cast<std::uint8_t>(5 + i);
    }
    for (const KeyInfo& key : kKeys) s[kLegendsOffset + key.legendIndex] = static_cast<std::uint8_t>(key.legend);
    s[kBaudCodeOffset] = kDefaultBaudCode;
    s[kParityCodeOffset] = 0;
    s[kStopBitsOffset] = 1;
    return s;
}

}  // namespace

const SettingsBlock kDefaultSettings = MakeDefaultSettings();

std::string_view SlotText(const std::uint8_t* slot) {
    const auto* chars = reinterpret_cast<const char*>(slot);
    const void* zero = std::memchr(chars, 0, kMaxMessageBytes);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : kMaxMessageBytes;
    return {chars, length};
}

bool DecodeMessageEscapes(const std::uint8_t* text, std::uint8_t* out) {
    const std::string_view in = SlotText(text);
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(in[i]); };
    std::size_t i = 0;
    std::size_t n = 0;
    while (i < in.size()) {
        if (at(i) != '\\') {
            out[n] = at(i);
            i += 1;
        } else if (i + 1 < in.size() && at(i + 1) == '\\') {
            out[n] = '\\';
            i += 2;
        } else {
            // Both digits must lie within the text: a backslash at its end is as invalid as a stray letter.
            if (i + 2 >= in.size()) return false;
            const int high = HexValue(at(i + 1));
            const int low = HexValue(at(i + 2));
            if (high < 0 || low < 0) return false;
            out[n] = static_cast<std::uint8_t>(high * 16 + low);
            i += 3;
        }
        n += 1;
    }
    // n <= i <= 63, so the terminator always stays inside the slot.
    out[n] = 0;
    return true;
}

void ApplyDefaults(KeypadConfig& config) {
    config.Settings = kDefaultSettings;
    for (const KeyInfo& key : kKeys) {
        std::uint8_t* s = Slot(config.Messages, static_cast<std::size_t>(key.slot));
        s[0] = static_cast<std::uint8_t>(key.legend);
        s[1] = 0;
    }
}

void ConfigStore::SetDefaultConfig(ConfigView& view) {
    ApplyDefaults(Config);
    MarkConfigSaved();
    UnpackConfig(Config, view);
}

void ConfigStore::MarkConfigSaved() {
    SavedConfig = Config;
}

bool ConfigStore::ConfigChanged() const {
    if (Config.Settings != SavedConfig.Settings) return true;
    for (std::size_t k = 0; k < kSlotCount; ++k)
        if (SlotText(Slot(Config.Messages, k)) != SlotText(Slot(SavedConfig.Messages, k))) return true;
    return false;
}

int TranslateMessages(const MessageBlock& typed, MessageBlock& out) {
    for (std::size_t k = 0; k < kSlotCount; ++k)
        if (!DecodeMessageEscapes(Slot(typed, k), Slot(out, k))) return static_cast<int>(k);
    return -1;
}

std::u16string MessageErrorText(const MessageBlock& typed, int slot) {
    return u"Error on Message:" + std::u16string(1, u'\r') + FromAnsi(SlotText(Slot(typed, std::size_t(slot))));
}

bool ConfigStore::TranslateMessages(MessageSink& sink) {
    const int bad = qb::TranslateMessages(Config.Messages, DeviceMessages);
    if (bad >= 0) sink.showError(MessageErrorText(Config.Messages, bad));
    return bad < 0;
}

}  // namespace qb
