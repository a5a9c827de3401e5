// The settings block and the messages as the user reads them, whichever front end shows them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

// One line per setting, in UTF-8: {"Column lines", "1 2 3 4"}, {"Baud rate", "19200"}, {"Parity", "none"}, ...
struct SettingLine {
    std::string name;
    std::string value;
};
std::vector<SettingLine> DescribeSettings(const SettingsBlock& settings);

// A message's bytes (8-bit, escapes translated) in the tool's own notation, in UTF-8: what would be typed to get
// them back.
std::string DescribeMessage(std::string_view bytes);

}  // namespace qb
