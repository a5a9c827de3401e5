// The report layouts in both directions and the device's configuration image. Builders fill OutReport from
// byte 2 on and leave every byte their report does not define as the previous report left it; SendReport then
// sets bytes 0 and 1.
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

// Where the fields stand in a report.
inline constexpr std::size_t kBlockNumberByte = 2;  // "d", "D", "r", "R"
inline constexpr std::size_t kBlockDataByte = 3;    // "d", "D": the half's bytes
inline constexpr std::size_t kReplyDataByte = 2;    // every field of an answer starts here
inline constexpr std::size_t kIdentityByte = 2;     // answer to "S": bytes 2, 3, 4 must be 0, 1, 3
inline constexpr std::size_t kSerialByte = 6;       // answer to "S": bytes 6..9, little-endian
inline constexpr std::size_t kVersionByte = 10;     // answer to "S": bytes 10..64, up to the first NUL
inline constexpr std::size_t kKeyNumberByte = 2;    // answer to "K"

// The device's configuration image: 17 blocks of 96 bytes, each sent as two halves of 48. Block 0 carries the
// settings after a marker byte; block n (1..16) carries message slot n - 1 and the first 32 bytes of slot n.
inline constexpr std::size_t kBlockCount = 17;
inline constexpr std::size_t kLastBlock = kBlockCount - 1;
inline constexpr std::size_t kBlockSize = 96;
inline constexpr std::size_t kBlockHalfSize = 48;
inline constexpr std::uint8_t kSettingsMarker = 0x55;  // block 0, byte 0
inline constexpr std::size_t kSettingsByte = 1;        // block 0: where the settings start, after the marker
using BlockImage = std::array<std::uint8_t, kBlockSize>;

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
// The serial number as the user sees it: signed decimal.
std::string FormatSerial(std::int32_t serial);

// The answer to "r" / "R": bytes 2..49, the requested half of the block, copied to `out` (48 bytes).
void CopyBlockReplyHalf(const HidReport& report, std::uint8_t* out);

// Copies the settings that block 0 carries (image bytes 1..27) into `settings`; other blocks carry none.
void UnpackSettingsBlock(const BlockImage& image, int blockNumber, SettingsBlock& settings);

}  // namespace qb
