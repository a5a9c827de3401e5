#include "device/Trace.h"

#include <charconv>
#include <cstdio>

#include "config/Bytes.h"

namespace qb {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Two hex digits a byte, blanks between bytes; exactly one report.
bool ParseReport(std::string_view text, HidReport& report) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || count == report.size()) return false;
        const int high = HexValue(static_cast<unsigned char>(text[i]));
        const int low = HexValue(static_cast<unsigned char>(text[i + 1]));
        if (high < 0 || low < 0) return false;
        report[count++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return count == report.size();
}

// "SECONDS.MICROSECONDS" (the fraction up to six digits).
std::optional<std::chrono::microseconds> ParseTime(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || fraction.size() > 6 || (dot != std::string_view::npos && fraction.empty())) return {};
    long long seconds = 0;
    long long micros = 0;
    auto number = [](std::string_view digits, long long& value) {
        if (digits.empty()) return true;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return ec == std::errc() && end == digits.data() + digits.size() && digits.front() != '-' &&
               digits.front() != '+';
    };
    if (whole.size() > 12 || !number(whole, seconds) || !number(fraction, micros)) return {};
    for (std::size_t i = fraction.size(); i < 6; ++i) micros *= 10;
    return std::chrono::microseconds(seconds * 1000000 + micros);
}

bool ParseLine(std::string_view line, TraceEntry& entry) {
    const std::size_t arrow = line.find_first_of("<>");
    if (arrow == std::string_view::npos) return ParseReport(line, entry.report);  // plain: sent to the device
    std::string_view time = line.substr(0, arrow);
    while (!time.empty() && IsBlank(time.back())) time.remove_suffix(1);
    entry.time = ParseTime(time);
    entry.direction = line[arrow] == '>' ? TraceDirection::ToDevice : TraceDirection::FromDevice;
    return entry.time && arrow + 1 < line.size() && IsBlank(line[arrow + 1]) &&
           ParseReport(line.substr(arrow + 1), entry.report);
}

}  // namespace

std::string FormatReport(const HidReport& report) {
    return HexBytes(report.data(), report.size());
}

std::string FormatTraceLine(std::chrono::microseconds time, TraceDirection direction, const HidReport& report) {
    char stamp[48];
    const long long micros = time.count() < 0 ? 0 : time.count();
    std::snprintf(stamp, sizeof stamp, "%lld.%06lld %c ", micros / 1000000, micros % 1000000,
                  direction == TraceDirection::ToDevice ? '>' : '<');
    return stamp + FormatReport(report);
}

bool ParseTraceEntries(std::string_view text, std::vector<TraceEntry>& entries) {
    std::vector<TraceEntry> parsed;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        TraceEntry entry;
        if (!ParseLine(line.substr(first), entry)) return false;
        parsed.push_back(entry);
    }
    entries = std::move(parsed);
    return true;
}

bool ParseTrace(std::string_view text, std::vector<HidReport>& reports) {
    std::vector<TraceEntry> entries;
    if (!ParseTraceEntries(text, entries)) return false;
    reports.clear();
    for (const TraceEntry& entry : entries) reports.push_back(entry.report);
    return true;
}

}  // namespace qb
