// What differs between two configurations, field by field, for a person to read.
#pragma once

#include <string>
#include <vector>

#include "config/KeypadConfig.h"

namespace qb {

// One UTF-8 line per differing field, settings first, then each key in the window's row-major order, legend before
// message: "Line of column 3: 3 -> 7", "Baud rate: 19200 -> 9600", "Legend of key 5: \"5\" -> \"X\"",
// "Message of key 1: \"A\" -> \"B\"". Messages are compared and shown as typed (escapes untranslated); the bytes
// after their terminators carry nothing and are ignored. Empty when the two agree.
std::vector<std::string> DiffConfigs(const KeypadConfig& a, const KeypadConfig& b);

}  // namespace qb
