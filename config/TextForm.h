// The text form of a configuration: JSON a person can read, edit and review in version control, and that reads
// back to the same record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/KeypadConfig.h"

namespace qb {

inline constexpr char kTextFormFormat[] = "quillanterbrooke-config";
inline constexpr int kTextFormVersion = 1;
// Far more than any configuration's text form needs (about 8 KiB at most); anything longer is refused unread.
inline constexpr std::size_t kMaxTextFormSize = 256 * 1024;

// UTF-8 JSON, two-space indent, fields always in the same order, one line per key in the window's row-major order:
//
//   {
//     "format": "quillanterbrooke-config",
//     "version": 1,
//     "columnLines": [1, 2, 3, 4],
//     "rowLines": [5, 6, 7, 8],
//     "baudRate": 19200,
//     "parity": "none",
//     "stopBits": 1,
//     "keys": [
//       {"key": "1", "legend": "1", "message": "1"},
//       ...
//     ]
//   }
//
// A baud code beyond the list is written as "baudCode" (the number) instead of "baudRate", a parity code beyond
// none/even/odd as "parityCode". A legend is one character or "" for none. A message is the slot's text as typed,
// escapes untranslated (a typed backslash appears doubled, as JSON writes it); 8-bit characters are read as
// Windows-1252 on every platform, so the file means the same everywhere. Bytes after a message's terminator carry
// nothing and are not written.
std::string ExportTextForm(const KeypadConfig& config);

// Reads a text form into `out` (the bytes after each message's terminator become zeros). On any problem `out` is
// left untouched and `error` says, in UTF-8, which field is wrong and why ("keys[4].legend: ..."). Every field must
// be present and of its type, no other field may be; keypad lines are 1..8, codes 0..255, a legend at most one
// character, a message at most 63 bytes in its 8-bit form, and every character must be in Windows-1252.
// A message's escapes are not checked: the record holds whatever was typed, and the write to the device refuses an
// invalid one as it does for a file.
bool ImportTextForm(std::string_view json, KeypadConfig& out, std::string& error);

}  // namespace qb
