// Expected values written down from the documented record layout, independent of the code under test.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/KeypadConfig.h"

namespace qb::test {

inline constexpr std::array<std::uint8_t, 27> kDocumentedDefaultSettings{
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x31, 0x32, 0x33, 0x41, 0x34, 0x35,
    0x36, 0x42, 0x37, 0x38, 0x39, 0x43, 0x2A, 0x30, 0x23, 0x44, 0x04, 0x00, 0x01};

// Default text of message slots 0..15 (column-major key order), one character each.
inline constexpr std::string_view kDefaultSlotTexts = "147*2580369#ABCD";

inline std::string Text(const KeypadConfig& config, std::size_t slot) {
    return std::string(SlotText(config.Messages.data() + slot * kSlotSize));
}

inline void PutText(KeypadConfig& config, std::size_t slot, std::string_view text) {
    std::uint8_t* s = config.Messages.data() + slot * kSlotSize;
    for (std::size_t i = 0; i < text.size(); ++i) s[i] = static_cast<std::uint8_t>(text[i]);
    s[text.size()] = 0;
}

}  // namespace qb::test
