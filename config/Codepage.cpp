#include "config/Codepage.h"

#include <algorithm>
#include <array>

#ifdef _WIN32
#include "config/Win32.h"

#include <climits>
#endif

namespace qb {

namespace {

// Windows-1252 0x80..0x9F; the five bytes it leaves undefined map to the C1 control of the same value, as
// Windows itself does, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls{
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

}  // namespace

char16_t Windows1252Char(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
}

int Windows1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
    return -1;
}

#ifdef _WIN32

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 strings are handed to the system as they are");

std::string ToAnsi(std::u16string_view text) {
    const int wideLength = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    if (wideLength == 0) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    // No explicit default character: the system's own ('?') is the only one allowed when the ANSI code page
    // is UTF-8.
    const int length = WideCharToMultiByte(CP_ACP, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, wideLength, result.data(), length, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(std::max(written, 0)));
    return result;
}

std::u16string FromAnsi(std::string_view bytes) {
    const int narrowLength = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
    if (narrowLength == 0) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), narrowLength, nullptr, 0);
    if (length <= 0) return {};
    std::u16string result(static_cast<std::size_t>(length), u'\0');
    const int written =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), narrowLength, reinterpret_cast<wchar_t*>(result.data()), length);
    result.resize(static_cast<std::size_t>(std::max(written, 0)));
    return result;
}

namespace {

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

std::string_view CutToWholeCharacters(std::string_view bytes, std::size_t maxBytes) {
    const UINT codePage = GetACP();
    std::size_t end = 0;
    while (end < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[end]);
        std::size_t width = 1;
        if (codePage == CP_UTF8)
            width = Utf8SequenceLength(lead);
        else if (IsDBCSLeadByteEx(codePage, lead))
            width = 2;
        // A lead byte at the very end has no trail byte; it still counts as one character.
        const std::size_t next = std::min(end + width, bytes.size());
        if (next > maxBytes) break;
        end = next;
    }
    return bytes.substr(0, end);
}

#else  // Windows-1252 everywhere else, so data files read the same as on a Western European Windows.

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char ToWindows1252(char16_t c) {
    const int byte = Windows1252Byte(c);
    return byte < 0 ? '?' : static_cast<char>(byte);
}

}  // namespace

std::string ToAnsi(std::u16string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            result += '?';  // one character outside the code page, however many units it takes
            ++i;
        } else {
            result += ToWindows1252(c);
        }
    }
    return result;
}

std::u16string FromAnsi(std::string_view bytes) {
    std::u16string result;
    result.reserve(bytes.size());
    for (const char byte : bytes) result += Windows1252Char(static_cast<std::uint8_t>(byte));
    return result;
}

std::string_view CutToWholeCharacters(std::string_view bytes, std::size_t maxBytes) {
    return bytes.substr(0, std::min(bytes.size(), maxBytes));
}

#endif

}  // namespace qb
