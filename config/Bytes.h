// Small byte helpers every layer uses: hexadecimal digits and little-endian integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// The value of a hexadecimal digit (0-9, A-F, a-f), or -1.
constexpr int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two upper-case hexadecimal digits.
inline void AppendHexByte(std::string& out, std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

inline std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    std::string out;
    out.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) AppendHexByte(out, data[i]);
    return out;
}

// A signed 32-bit value stored least significant byte first.
inline std::int32_t ReadInt32LE(const std::uint8_t* p) {
    const std::uint32_t v =
        std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    return static_cast<std::int32_t>(v);  // two's complement, as the device and the file mean it
}

inline void WriteInt32LE(std::uint8_t* p, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace qb
