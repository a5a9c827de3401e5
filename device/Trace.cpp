#include "device/Trace.h"

#include "config/Bytes.h"

namespace qb {

std::string FormatReport(const HidReport& report) {
    return HexBytes(report.data(), report.size());
}

bool ParseTrace(std::string_view text, std::vector<HidReport>& reports) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::vector<HidReport> parsed;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;

        // Two hex digits a byte; spaces between bytes are allowed, inside a byte they are not.
        HidReport report{};
        std::size_t count = 0;
        for (std::size_t i = first; i < line.size();) {
            if (isSpace(line[i])) {
                ++i;
                continue;
            }
            if (i + 1 >= line.size() || count == report.size()) return false;
            const int high = HexValue(static_cast<unsigned char>(line[i]));
            const int low = HexValue(static_cast<unsigned char>(line[i + 1]));
            if (high < 0 || low < 0) return false;
            report[count++] = static_cast<std::uint8_t>(high * 16 + low);
            i += 2;
        }
        if (count != report.size()) return false;
        parsed.push_back(report);
    }
    reports = std::move(parsed);
    return true;
}

}  // namespace qb
