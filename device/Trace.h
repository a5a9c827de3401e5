// Reports as text, one a line: all 65 bytes as 130 upper-case hex digits. Recorded traces under tests/ use it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/HidReport.h"

namespace qb {

std::string FormatReport(const HidReport& report);
// Reads such text back; blank lines and lines starting with '#' are skipped, spaces between bytes allowed.
// False on a malformed line.
bool ParseTrace(std::string_view text, std::vector<HidReport>& reports);

}  // namespace qb
