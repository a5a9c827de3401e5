#include "config/SettingsText.h"

#include "config/Codepage.h"
#include "config/KeyTable.h"
#include "config/Text.h"

namespace qb {

namespace {

std::string Numbers(const SettingsBlock& s, std::size_t offset) {
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) text += (i ? " " : "") + std::to_string(s[offset + i]);
    return text;
}

std::string Unknown(int code) {
    return "unknown (" + std::to_string(code) + ")";
}

}  // namespace

std::vector<SettingLine> DescribeSettings(const SettingsBlock& s) {
    const int baud = s[kBaudCodeOffset];
    const int parity = s[kParityCodeOffset];
    std::string legends;
    for (const KeyInfo& key : kKeys) {
        const std::uint8_t legend = s[kLegendsOffset + key.legendIndex];
        if (!legends.empty()) legends += ' ';
        // In the notation of the message edits: an empty legend (0) cannot be taken for a typed one.
        legends += ToUtf8(ShowBytes(std::string(1, static_cast<char>(legend))));
    }
    return {
        {"Column lines", Numbers(s, kColumnLinesOffset), kColumnLinesOffset, 4},
        {"Row lines", Numbers(s, kRowLinesOffset), kRowLinesOffset, 4},
        {"Baud rate",
         baud < int(kBaudRates.size()) ? kBaudRates[baud]
         : baud == 255                 ? "none"
                                       : Unknown(baud),
         kBaudCodeOffset, 1},
        {"Parity",
         parity == 0   ? "none"
         : parity == 1 ? "even"
         : parity == 2 ? "odd"
                       : Unknown(parity),
         kParityCodeOffset, 1},
        // Any value but 2 means one stop bit to the window; the number itself shows what the record holds.
        {"Stop bits",
         s[kStopBitsOffset] == 2   ? "2"
         : s[kStopBitsOffset] == 1 ? "1"
                                   : Unknown(s[kStopBitsOffset]),
         kStopBitsOffset, 1},
        {"Legends", legends, kLegendsOffset, kKeyCount},
    };
}

std::string DescribeMessage(std::string_view bytes) {
    return ToUtf8(ShowBytes(bytes));
}

}  // namespace qb
