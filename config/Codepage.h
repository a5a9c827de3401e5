// The 8-bit text layer: the platform's ANSI code page on Windows, Windows-1252 elsewhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// UTF-16 to 8-bit; a character the code page cannot represent becomes '?'.
std::string ToAnsi(std::u16string_view text);
// 8-bit to UTF-16.
std::u16string FromAnsi(std::string_view bytes);

// The longest start of `bytes` that holds whole characters only and is at most `maxBytes` long: a double-byte
// character of an East Asian code page is never split.
std::string_view CutToWholeCharacters(std::string_view bytes, std::size_t maxBytes);

}  // namespace qb
