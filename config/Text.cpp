#include "config/Text.h"

#include "config/Bytes.h"
#include "config/Codepage.h"

namespace qb {

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string NormaliseLineBreaks(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r') {
            out += text[i];
            continue;
        }
        out += u'\n';
        if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    }
    return out;
}

std::u16string ShowBytes(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += u"\\\\";
        } else if (b < 0x20 || b == 0x7F) {
            std::string hex = "\\";
            AppendHexByte(hex, b);
            out.append(hex.begin(), hex.end());
        } else {
            const std::u16string shown = FromAnsi(std::string_view(&c, 1));
            // A byte the code page leaves undefined (a C1 control) is no more printable than a C0 one.
            if (shown.size() == 1 && shown[0] >= 0x80 && shown[0] < 0xA0) {
                std::string hex = "\\";
                AppendHexByte(hex, b);
                out.append(hex.begin(), hex.end());
            } else {
                out += shown;
            }
        }
    }
    return out;
}

}  // namespace qb
