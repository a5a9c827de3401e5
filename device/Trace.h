// Reports as text, one a line. A line is either plain, all 65 bytes as 130 hex digits (a report sent to the
// device; the recorded traces under tests/ use it), or timed: the seconds since the trace began, the direction
// ('>' to the device, '<' from it) and the 130 hex digits, e.g. "0.001250 < 00530001...". Lines starting with
// '#' and blank lines are comments.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/HidReport.h"

namespace qb {

enum class TraceDirection { ToDevice, FromDevice };

struct TraceEntry {
    std::optional<std::chrono::microseconds> time;  // none on a plain line
    TraceDirection direction = TraceDirection::ToDevice;
    HidReport report{};

    bool operator==(const TraceEntry&) const = default;
};

// What a timed trace starts with.
inline constexpr char kTraceHeader[] =
    "# Quillanterbrooke trace: seconds since the start, > to the device or < from it, the 65 report bytes\n";

std::string FormatReport(const HidReport& report);
// One timed line, without the line break.
std::string FormatTraceLine(std::chrono::microseconds time, TraceDirection direction, const HidReport& report);

// Reads plain and timed lines (spaces between the bytes allowed, inside a byte not). False on a malformed line.
bool ParseTraceEntries(std::string_view text, std::vector<TraceEntry>& entries);
// The reports alone, of every line whatever its direction.
bool ParseTrace(std::string_view text, std::vector<HidReport>& reports);

}  // namespace qb
