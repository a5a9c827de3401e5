#include "protocol/Reports.h"

#include <algorithm>
#include <cstdio>

namespace qb {

namespace {

constexpr std::size_t kBlockNumberByte = 2;
constexpr std::size_t kFirstDataByte = 3;

// Copies the 48 bytes of the message table that start at `offset` into report bytes 3..50. The table is
// sent as one run, so a block's second half reaches into the next slot; past the last slot there is nothing
// to read, and zeros go out instead.
void CopyMessageRun(HidReport& report, const MessageBlock& deviceMessages, long long offset) {
    for (std::size_t i = 0; i < kBlockHalfSize; ++i) {
        const long long at = offset + static_cast<long long>(i);
        report[kFirstDataByte + i] =
            at >= 0 && at < static_cast<long long>(deviceMessages.size()) ? deviceMessages[at] : std::uint8_t{0};
    }
}

}  // namespace

void BuildSettingsFirstHalf(HidReport& report, const SettingsBlock& settings) {
    report[kBlockNumberByte] = 0;
    report[kFirstDataByte] = kSettingsMarker;
    std::copy(settings.begin(), settings.end(), report.begin() + kFirstDataByte + 1);
}

void BuildSettingsSecondHalf(HidReport& report) {
    report[kBlockNumberByte] = 0;
    std::fill(report.begin() + kFirstDataByte, report.end(), std::uint8_t{0xFF});
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

bool IdentityAccepted(const HidReport& report) {
    return report[2] == 0 && report[3] == 1 && report[4] == 3;
}

IdentityReply DecodeIdentityReply(const HidReport& report) {
    IdentityReply reply;
    reply.accepted = IdentityAccepted(report);
    const std::uint32_t bits = static_cast<std::uint32_t>(report[6]) | static_cast<std::uint32_t>(report[7]) << 8 |
                               static_cast<std::uint32_t>(report[8]) << 16 |
                               static_cast<std::uint32_t>(report[9]) << 24;
    reply.serial = static_cast<std::int32_t>(bits);  // two's complement, as the device means it
    const auto first = report.begin() + 10;
    const auto end = std::find(first, report.end(), std::uint8_t{0});
    reply.version.assign(first, end);
    return reply;
}

std::string FormatSerial(std::int32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", static_cast<int>(serial));
    return text;
}

std::array<std::uint8_t, kBlockHalfSize> BlockReplyHalf(const HidReport& report) {
    std::array<std::uint8_t, kBlockHalfSize> half;
    std::copy_n(report.begin() + 2, kBlockHalfSize, half.begin());
    return half;
}

void CopyBlockReplyHalf(const HidReport& report, std::uint8_t* out) {
    std::copy_n(report.begin() + 2, kBlockHalfSize, out);
}

std::uint8_t KeyNumber(const HidReport& report) {
    return report[2];
}

}  // namespace qb
