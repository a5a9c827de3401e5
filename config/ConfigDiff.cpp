#include "config/ConfigDiff.h"

#include <string_view>

#include "config/Bytes.h"
#include "config/Codepage.h"
#include "config/KeyTable.h"
#include "config/SettingsText.h"
#include "config/Text.h"

namespace qb {

namespace {

// A text as the window shows it, in quotes. Control bytes cannot be typed and would not show: they appear in the
// tool's \XX notation.
std::string Quoted(std::string_view bytes) {
    std::u16string shown;
    for (const char16_t c : FromAnsi(bytes)) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            std::string hex = "\\";
            AppendHexByte(hex, static_cast<std::uint8_t>(c));
            shown.append(hex.begin(), hex.end());
        } else {
            shown += c;
        }
    }
    std::string quoted = "\"";
    quoted += ToUtf8(shown);
    return quoted += '"';
}

std::string Legend(std::uint8_t legend) {
    return legend ? Quoted(std::string(1, static_cast<char>(legend))) : "none";
}

// Two texts that differ but look the same (a control byte typed as \XX beside the raw byte, or characters the
// code page shows alike) are told apart by their bytes.
void AddTexts(std::vector<std::string>& lines, const std::string& field, std::string_view a, std::string_view b,
              std::string (*show)(std::string_view)) {
    std::string from = show(a);
    std::string to = show(b);
    if (from == to) {
        const auto hex = [](std::string_view t) {
            return "bytes " + HexBytes(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
        };
        from = hex(a);
        to = hex(b);
    }
    lines.push_back(field + ": " + from + " -> " + to);
}

std::string ShowLegend(std::string_view legend) {
    return Legend(static_cast<std::uint8_t>(legend[0]));
}

}  // namespace

std::vector<std::string> DiffConfigs(const KeypadConfig& a, const KeypadConfig& b) {
    std::vector<std::string> lines;
    const auto add = [&](const std::string& field, const std::string& from, const std::string& to) {
        if (from != to) lines.push_back(field + ": " + from + " -> " + to);
    };
    const SettingsBlock& sa = a.Settings;
    const SettingsBlock& sb = b.Settings;
    for (std::size_t i = 0; i < 4; ++i) {
        add("Line of column " + std::to_string(i + 1), std::to_string(sa[kColumnLinesOffset + i]),
            std::to_string(sb[kColumnLinesOffset + i]));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        add("Line of row " + std::to_string(i + 1), std::to_string(sa[kRowLinesOffset + i]),
            std::to_string(sb[kRowLinesOffset + i]));
    }
    add("Baud rate", DescribeBaudCode(sa[kBaudCodeOffset]), DescribeBaudCode(sb[kBaudCodeOffset]));
    add("Parity", DescribeParityCode(sa[kParityCodeOffset]), DescribeParityCode(sb[kParityCodeOffset]));
    add("Stop bits", DescribeStopBits(sa[kStopBitsOffset]), DescribeStopBits(sb[kStopBitsOffset]));
    for (const KeyInfo& key : kKeys) {
        const std::string name = std::string(" of key ") + key.legend;
        const std::size_t legend = kLegendsOffset + static_cast<std::size_t>(key.legendIndex);
        if (sa[legend] != sb[legend]) {
            const auto* la = reinterpret_cast<const char*>(&sa[legend]);
            const auto* lb = reinterpret_cast<const char*>(&sb[legend]);
            AddTexts(lines, "Legend" + name, {la, 1}, {lb, 1}, ShowLegend);
        }
        const std::string_view ma = SlotText(Slot(a.Messages, static_cast<std::size_t>(key.slot)));
        const std::string_view mb = SlotText(Slot(b.Messages, static_cast<std::size_t>(key.slot)));
        if (ma != mb) AddTexts(lines, "Message" + name, ma, mb, Quoted);
    }
    return lines;
}

}  // namespace qb
