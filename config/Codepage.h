// The 8-bit text layer: the platform's ANSI code page on Windows, Windows-1252 elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Windows-1252 on every platform, for texts that must read the same on every machine (the text form of data files).
// The five bytes the code page leaves undefined stand for the C1 control of the same value, so every byte has a
// character and back.
char16_t Windows1252Char(std::uint8_t byte);
// The byte of `c`, or -1 if Windows-1252 has none for it.
int Windows1252Byte(char16_t c);

}  // namespace qb
