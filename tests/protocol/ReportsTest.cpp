// Report layouts byte for byte, including the bytes each report must leave alone.
#include "protocol/Reports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace qb {
namespace {

constexpr std::uint8_t kOld = 0xEE;  // what a previous report left in OutReport

HidReport Filled(std::uint8_t value) {
    HidReport r;
    r.fill(value);
    return r;
}

bool AllFrom(const HidReport& r, std::size_t first, std::uint8_t value) {
    return std::all_of(r.begin() + first, r.end(), [&](std::uint8_t b) { return b == value; });
}

SettingsBlock CountingSettings() {
    SettingsBlock s;
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i + 1);  // 01 .. 1B
    return s;
}

// Every byte of the table distinct from its neighbours and never 0 or kOld, so a byte from the wrong place or
// a byte left alone shows.
std::unique_ptr<MessageBlock> PatternedMessages() {
    auto m = std::make_unique<MessageBlock>();  // on the heap: reading past it trips the address sanitizer
    for (std::size_t i = 0; i < m->size(); ++i) m->at(i) = static_cast<std::uint8_t>(1 + (i * 7) % 200);
    return m;
}

TEST(SettingsReports, BothHalvesByteForByte) {
    HidReport r = Filled(kOld), expected = Filled(kOld);
    BuildSettingsFirstHalf(r, CountingSettings());
    expected[2] = 0;
    expected[3] = 0x55;
    for (std::size_t i = 4; i <= 30; ++i) expected[i] = static_cast<std::uint8_t>(i - 3);
    EXPECT_EQ(r, expected);

    BuildSettingsSecondHalf(r);
    std::fill(expected.begin() + 3, expected.end(), 0xFF);
    EXPECT_EQ(r, expected);
}

// The table goes out as one run: a block's "D" reaches into the next slot, and after the sixteenth slot zeros.
TEST(MessageReports, HalvesByteForByte) {
    const auto m = PatternedMessages();
    HidReport r = Filled(kOld), expected = Filled(kOld);
    BuildMessageFirstHalf(r, 1, *m, 0);
    expected[2] = 1;
    std::copy_n(m->begin(), 48, expected.begin() + 3);  // slot 0 bytes 0..47
    EXPECT_EQ(r, expected);

    BuildMessageSecondHalf(r, 1, *m, 0);
    std::copy_n(m->begin() + 48, 16, expected.begin() + 3);   // slot 0 bytes 48..63
    std::copy_n(m->begin() + 64, 32, expected.begin() + 19);  // slot 1 bytes 0..31
    EXPECT_EQ(r, expected);

    BuildMessageSecondHalf(r, 16, *m, 15);
    expected[2] = 16;
    std::copy_n(m->begin() + 15 * 64 + 48, 16, expected.begin() + 3);
    std::fill(expected.begin() + 19, expected.begin() + 51, 0);
    EXPECT_EQ(r, expected);

    BuildBlockRead(r, 7);
    expected[2] = 7;
    EXPECT_EQ(r, expected);
}

// One OutReport through a whole write, as the window keeps it: what a report does not set, the previous one
// left there.
TEST(Leftovers, AWriteInOneBufferCarriesBytesFromReportToReport) {
    const auto m = PatternedMessages();
    HidReport out{};  // all zero at start
    BuildSettingsFirstHalf(out, CountingSettings());
    EXPECT_TRUE(AllFrom(out, 31, 0)) << "the first block 0 \"d\" after start";
    BuildSettingsSecondHalf(out);
    for (int n = 1; n <= 16; ++n) {
        BuildMessageFirstHalf(out, static_cast<std::uint8_t>(n), *m, n - 1);
        EXPECT_TRUE(AllFrom(out, 51, 0xFF)) << "\"d\" of block " << n;
        BuildMessageSecondHalf(out, static_cast<std::uint8_t>(n), *m, n - 1);
        EXPECT_TRUE(AllFrom(out, 51, 0xFF)) << "\"D\" of block " << n;
    }
}

HidReport IdentityReport(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    HidReport r = Filled(0x20);
    r[2] = a;
    r[3] = b;
    r[4] = c;
    return r;
}

TEST(IdentityReply, AcceptsOnlyZeroOneThreeAndDecodesTheSerialSignedLittleEndian) {
    const std::array<std::uint8_t, 3> identities[] = {{0, 1, 3}, {0, 1, 4}, {1, 1, 3}, {0, 0, 3}};
    for (const auto& [a, b, c] : identities) {
        const bool accepted = a == 0 && b == 1 && c == 3;
        EXPECT_EQ(DecodeIdentityReply(IdentityReport(a, b, c)).accepted, accepted) << +a << +b << +c;
        EXPECT_EQ(IdentityAccepted(IdentityReport(a, b, c)), accepted) << +a << +b << +c;
    }
    const std::pair<std::array<std::uint8_t, 4>, const char*> cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, "-1"}, {{0x01, 0x00, 0x00, 0x00}, "1"}, {{0x00, 0x00, 0x00, 0x80}, "-2147483648"}};
    for (const auto& [bytes, shown] : cases) {
        HidReport r = IdentityReport(0, 1, 3);
        std::copy(bytes.begin(), bytes.end(), r.begin() + 6);
        EXPECT_EQ(FormatSerial(DecodeIdentityReply(r).serial), shown);
    }
}

TEST(IdentityReply, VersionEndsAtFirstNulOrAfterByte64) {
    HidReport r = IdentityReport(0, 1, 3);
    const char text[] = "1.2\0x";
    std::copy(text, text + 5, r.begin() + 10);
    EXPECT_EQ(DecodeIdentityReply(r).version, "1.2");

    for (std::size_t i = 10; i <= 64; ++i) r[i] = static_cast<std::uint8_t>('A' + (i - 10) % 26);
    r[20] = 0xE9;  // an 8-bit character is kept as it is
    EXPECT_EQ(DecodeIdentityReply(r).version, std::string(r.begin() + 10, r.end()));
    EXPECT_EQ(DecodeIdentityReply(r).version.size(), 55u);
}

TEST(Replies, BlockHalfIsBytes2To49AndKeyIsByte2) {
    HidReport r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(i);
    const auto half = BlockReplyHalf(r);
    EXPECT_TRUE(std::equal(half.begin(), half.end(), r.begin() + 2));
    std::array<std::uint8_t, 49> out;
    out.fill(kOld);
    CopyBlockReplyHalf(r, out.data());
    EXPECT_TRUE(std::equal(half.begin(), half.end(), out.begin()));
    EXPECT_EQ(out[48], kOld) << "only 48 bytes are copied";
    EXPECT_EQ(KeyNumber(r), 2);
}

}  // namespace
}  // namespace qb
