// Text as the user sees it, whatever front end shows it: UTF-8 output, line breaks, and control bytes in the
// tool's own \XX notation.
#pragma once

#include <string>
#include <string_view>

namespace qb {

std::string ToUtf8(std::u16string_view text);
// Reads UTF-8; an invalid sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view text);

// The tool's texts break lines with "\r\n" or a lone "\r" (as the device's platform did); every front end shows
// them as separate lines: each becomes "\n".
std::u16string NormaliseLineBreaks(std::u16string_view text);

// 8-bit message bytes for display on one line: printable characters as they are (in the 8-bit code page), a
// backslash doubled, every other byte as a backslash and two upper-case hex digits. The result reads back
// through the message escapes to the same bytes.
std::u16string ShowBytes(std::string_view bytes);
// A message as it was typed (its escapes untranslated), for display on one line: as typed, but for the bytes no
// one can type (control bytes from a file made elsewhere), shown as a backslash and two hex digits.
std::u16string ShowTyped(std::string_view typed);

}  // namespace qb
