// The sixteen keys of the 4 x 4 keypad: the one table every part of the tool looks keys up in.
#pragma once

#include <array>
#include <cstdint>

namespace qb {

struct KeyInfo {
    char legend;         // default legend, and the key's name ("1" .. "D", "*", "#")
    const char* suffix;  // control-name suffix: SwitchEdit<suffix>, OutStringEdit<suffix>, ...
    int row;             // 1..4, top to bottom
    int column;          // 1..4, left to right
    int legendIndex;     // row-major: 4 * (row - 1) + (column - 1); also the Legends offset
    int slot;            // column-major: 4 * (column - 1) + (row - 1); message slot
    int keyNumber;       // the device's number for the key in key replies: slot + 1
};

inline constexpr int kKeyCount = 16;

// Row-major order: kKeys[i].legendIndex == i.
// A row of the keypad per line.
// clang-format off
inline constexpr std::array<KeyInfo, kKeyCount> kKeys{{
    {'1', "1", 1, 1, 0, 0, 1},   {'2', "2", 1, 2, 1, 4, 5},   {'3', "3", 1, 3, 2, 8, 9},    {'A', "A", 1, 4, 3, 12, 13},
    {'4', "4", 2, 1, 4, 1, 2},   {'5', "5", 2, 2, 5, 5, 6},   {'6', "6", 2, 3, 6, 9, 10},   {'B', "B", 2, 4, 7, 13, 14},
    {'7', "7", 3, 1, 8, 2, 3},   {'8', "8", 3, 2, 9, 6, 7},   {'9', "9", 3, 3, 10, 10, 11}, {'C', "C", 3, 4, 11, 14, 15},
    {'*', "As", 4, 1, 12, 3, 4}, {'0', "0", 4, 2, 13, 7, 8},  {'#', "Ha", 4, 3, 14, 11, 12}, {'D', "D", 4, 4, 15, 15, 16},
}};
// clang-format on

// The key whose message sits in `slot` (0..15, column-major).
constexpr const KeyInfo& KeyBySlot(int slot) {
    for (const KeyInfo& k : kKeys)
        if (k.slot == slot) return k;
    return kKeys[0];  // not reached for 0..15
}

// The key the device reports as `number`, or nullptr for 0 ("no key") and anything above 16.
constexpr const KeyInfo* KeyByNumber(int number) {
    if (number < 1 || number > kKeyCount) return nullptr;
    return &KeyBySlot(number - 1);
}

}  // namespace qb
