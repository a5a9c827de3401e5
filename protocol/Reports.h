// The report layouts in both directions. Builders fill OutReport from byte 2 on and leave every byte their
// report does not define as the previous report left it; SendReport then sets bytes 0 and 1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/KeypadConfig.h"
#include "device/HidReport.h"

namespace qb {

// Byte 1 of each output report.
inline constexpr std::uint8_t kCmdIdentify = 'S';
inline constexpr std::uint8_t kCmdWriteStart = 'E';
inline constexpr std::uint8_t kCmdFirstHalf = 'd';
inline constexpr std::uint8_t kCmdSecondHalf = 'D';
inline constexpr std::uint8_t kCmdWriteEnd = 'Z';
inline constexpr std::uint8_t kCmdReadFirstHalf = 'r';
inline constexpr std::uint8_t kCmdReadSecondHalf = 'R';
inline constexpr std::uint8_t kCmdKeyPoll = 'K';

// The device's configuration image: 17 blocks of 96 bytes, each sent as two halves of 48.
inline constexpr std::size_t kBlockCount = 17;
inline constexpr std::size_t kBlockHalfSize = 48;
inline constexpr std::uint8_t kSettingsMarker = 0x55;
inline constexpr std::size_t kIdentityVersionMax = 55;  // bytes 10..64

// Identify "S", write start "E", write end "Z" and key poll "K" set nothing beyond bytes 0 and 1.

// "d" of block 0: byte 2 = 0, byte 3 = the marker, bytes 4..30 = Settings. Bytes 31..64 are left alone.
void BuildSettingsFirstHalf(HidReport& report, const SettingsBlock& settings);
// "D" of block 0: byte 2 = 0, bytes 3..64 = 0xFF.
void BuildSettingsSecondHalf(HidReport& report);
// "d" of message block `blockNumber`: bytes 3..50 = bytes 0..47 of slot `messageIndex` of `deviceMessages`.
void BuildMessageFirstHalf(HidReport& report, std::uint8_t blockNumber, const MessageBlock& deviceMessages,
                           int messageIndex);
// "D" of message block `blockNumber`: bytes 3..18 = bytes 48..63 of slot `messageIndex`, bytes 19..50 = bytes
// 0..31 of the next slot. After the sixteenth slot nothing follows: those bytes go out as zeros.
void BuildMessageSecondHalf(HidReport& report, std::uint8_t blockNumber, const MessageBlock& deviceMessages,
                            int messageIndex);
// "r" / "R": byte 2 = the block number.
void BuildBlockRead(HidReport& report, std::uint8_t blockNumber);

// The answer to "S".
struct IdentityReply {
    bool accepted = false;    // bytes 2, 3, 4 are exactly 0, 1, 3
    std::int32_t serial = 0;  // bytes 6..9, little-endian, signed
    std::string version;      // bytes 10.. up to the first NUL, at most 55 bytes, in the 8-bit code page
};
IdentityReply DecodeIdentityReply(const HidReport& report);
bool IdentityAccepted(const HidReport& report);
// The serial number as the user sees it: signed decimal.
std::string FormatSerial(std::int32_t serial);

// The answer to "r" / "R": bytes 2..49, the requested half of the block.
std::array<std::uint8_t, kBlockHalfSize> BlockReplyHalf(const HidReport& report);
// The same 48 bytes copied to `out`.
void CopyBlockReplyHalf(const HidReport& report, std::uint8_t* out);
// The answer to "K": byte 2, 0 for no key, 1..16 for a key; anything else means no key.
std::uint8_t KeyNumber(const HidReport& report);

}  // namespace qb
