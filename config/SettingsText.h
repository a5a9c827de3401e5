// The settings block and the messages as the user reads them, whichever front end shows them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

// One line per setting, in UTF-8 (an empty legend shows as \\00, the notation of a zero byte, so that it cannot be
// taken for a typed one): {"Column lines", "1 2 3 4"}, {"Baud rate", "19200"}, {"Parity", "none"}, ...
struct SettingLine {
    std::string name;
    std::string value;
    std::size_t offset = 0;  // the bytes of the settings block it shows
    std::size_t size = 0;
};
std::vector<SettingLine> DescribeSettings(const SettingsBlock& settings);

// Single settings as DescribeSettings shows them. A baud code beyond the list selects no rate: "none (code 255)".
std::string DescribeBaudCode(std::uint8_t code);
std::string DescribeParityCode(std::uint8_t code);
std::string DescribeStopBits(std::uint8_t stopBits);

// True if the baud code selects a rate of the list. A configuration without one must not go to the device: it would
// have no serial format to send its messages with.
bool BaudCodeValid(const SettingsBlock& settings);

// A message's bytes (8-bit, escapes translated) in the tool's own notation, in UTF-8: what would be typed to get
// them back.
std::string DescribeMessage(std::string_view bytes);

}  // namespace qb
