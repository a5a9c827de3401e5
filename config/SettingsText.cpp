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

std::string DescribeBaudCode(std::uint8_t code) {
    return code < kBaudRates.size() ? kBaudRates[code] : "none (code " + std::to_string(code) + ")";
}

std::string DescribeParityCode(std::uint8_t code) {
    return code == 0 ? "none" : code == 1 ? "even" : code == 2 ? "odd" : Unknown(code);
}

std::string DescribeStopBits(std::uint8_t stopBits) {
    // Any value but 2 means one stop bit to the window; the number itself shows what the record holds.
    return stopBits == 2 ? "2" : stopBits == 1 ? "1" : Unknown(stopBits);
}

bool BaudCodeValid(const SettingsBlock& settings) {
    return settings[kBaudCodeOffset] < kBaudRates.size();
}

std::vector<SettingLine> DescribeSettings(const SettingsBlock& s) {
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
        {"Baud rate", DescribeBaudCode(s[kBaudCodeOffset]), kBaudCodeOffset, 1},
        {"Parity", DescribeParityCode(s[kParityCodeOffset]), kParityCodeOffset, 1},
        {"Stop bits", DescribeStopBits(s[kStopBitsOffset]), kStopBitsOffset, 1},
        {"Legends", legends, kLegendsOffset, kKeyCount},
    };
}

std::string DescribeMessage(std::string_view bytes) {
    return ToUtf8(ShowBytes(bytes));
}

}  // namespace qb
