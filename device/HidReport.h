#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qb {

// One report as it travels: byte 0 the report id (always 0), bytes 1..64 the report's data.
inline constexpr std::size_t kReportSize = 65;
using HidReport = std::array<std::uint8_t, kReportSize>;

}  // namespace qb
