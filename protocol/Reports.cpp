#include "protocol/Reports.h"

#include <algorithm>
#include <cstdio>

#include "config/Bytes.h"

namespace qb {

namespace {

// Copies the 48 bytes of the message table that start at `offset` into report bytes 3..50. The table is
// sent as one run, so a block's second half reaches into the next slot; past the last slot there is nothing
// to read, and zeros go out instead.
void CopyMessageRun(HidReport& report, const MessageBlock& deviceMessages, long long offset) {
    for (std::size_t i = 0; i < kBlockHalfSize; ++i) {
        const long long at = offset + static_cast<long long>(i);
        report[kBlockDataByte + i] =
            at >= 0 && at < static_cast<long long>(deviceMessages.size()) ? deviceMessages[at] : std::uint8_t{0};
    }
}

}  // namespace

void BuildSettingsFirstHalf(HidReport& report, const SettingsBlock& settings) {
    report[kBlockNumberByte] = 0;
    report[kBlockDataByte] = kSettingsMarker;
    std::copy(settings.begin(), settings.end(), report.begin() + kBlockDataByte + kSettingsByte);
}

void BuildSettingsSecondHalf(HidReport& report) {
    report[kBlockNumberByte] = 0;
    std::fill(report.begin() + kBlockDataByte, report.end(), std::uint8_t{0xFF});
}

void BuildMessageFirstHalf(HidReport& report, std::uint8_t blockNumber, const MessageBlock& deviceMessages,
                           int messageIndex) {
    report[kBlockNumberByte] = blockNumber;
    CopyMessageRun(report, deviceMessages, static_cast<long long>(messageIndex) * kSlotSize);
}

void BuildMessageSecondHalf(HidReport& report, std::uint8_t blockNumber, const MessageBlock& deviceMessages,
                            int messageIndex) {
    report[kBlockNumberByte] = blockNumber;
    CopyMessageRun(report, deviceMessages, static_cast<long long>(messageIndex) * kSlotSize + kBlockHalfSize);
}

void BuildBlockRead(HidReport& report, std::uint8_t blockNumber) {
    report[kBlockNumberByte] = blockNumber;
}

IdentityReply DecodeIdentityReply(const HidReport& report) {
    IdentityReply reply;
    reply.accepted = report[kIdentityByte] == 0 && report[kIdentityByte + 1] == 1 && report[kIdentityByte + 2] == 3;
    reply.serial = ReadInt32LE(report.data() + kSerialByte);
    const auto first = report.begin() + kVersionByte;
    reply.version.assign(first, std::find(first, report.end(), std::uint8_t{0}));
    return reply;
}

std::string FormatSerial(std::int32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", static_cast<int>(serial));
    return text;
}

void CopyBlockReplyHalf(const HidReport& report, std::uint8_t* out) {
    std::copy_n(report.begin() + kReplyDataByte, kBlockHalfSize, out);
}

void UnpackSettingsBlock(const BlockImage& image, int blockNumber, SettingsBlock& settings) {
    if (blockNumber != 0) return;
    std::copy_n(image.begin() + kSettingsByte, settings.size(), settings.begin());
}

}  // namespace qb
