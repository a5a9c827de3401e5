// Report layouts byte for byte, including the bytes each report must leave alone.
#include "protocol/Reports.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace qb {
namespace {

constexpr std::uint8_t kOld = 0xEE;  // what a previous report left in OutReport

HidReport Filled(std::uint8_t value) {
    HidReport r;
    r.fill(value);
    return r;
}

// The indices at which `after` differs from `before`.
std::set<std::size_t> Changed(const HidReport& before, const HidReport& after) {
    std::set<std::size_t> changed;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i]) changed.insert(i);
    return changed;
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

TEST(SettingsReports, FirstHalfSetsBlockNumberMarkerAndSettingsOnly) {
    HidReport r = Filled(kOld);
    BuildSettingsFirstHalf(r, CountingSettings());
    EXPECT_EQ(r[2], 0);
    EXPECT_EQ(r[3], 0x55);
    for (std::size_t i = 4; i <= 30; ++i) EXPECT_EQ(r[i], i - 3) << "byte " << i;
    for (std::size_t i : {0, 1, 31, 50, 64}) EXPECT_EQ(r[i], kOld) << "byte " << i << " must be left alone";
}

TEST(SettingsReports, SecondHalfIsAllFFFromByte3) {
    HidReport r = Filled(kOld);
    BuildSettingsSecondHalf(r);
    EXPECT_EQ(r[0], kOld);
    EXPECT_EQ(r[1], kOld);
    EXPECT_EQ(r[2], 0);
    for (std::size_t i = 3; i <= 64; ++i) EXPECT_EQ(r[i], 0xFF) << "byte " << i;
}

TEST(MessageReports, FirstHalfOfBlock1IsSlot0Bytes0To47) {
    const auto m = PatternedMessages();
    HidReport before = Filled(kOld);
    HidReport r = before;
    BuildMessageFirstHalf(r, 1, *m, 0);
    EXPECT_EQ(r[2], 1);
    for (std::size_t i = 0; i < 48; ++i) EXPECT_EQ(r[3 + i], m->at(i)) << "slot byte " << i;
    for (std::size_t i : Changed(before, r)) EXPECT_TRUE(i >= 2 && i <= 50) << "byte " << i << " changed";
}

TEST(MessageReports, SecondHalfOfBlock1IsSlot0TailThenSlot1Head) {
    const auto m = PatternedMessages();
    HidReport r = Filled(kOld);
    BuildMessageSecondHalf(r, 1, *m, 0);
    EXPECT_EQ(r[2], 1);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(r[3 + i], m->at(48 + i)) << "slot 0 byte " << 48 + i;
    for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(r[19 + i], m->at(64 + i)) << "slot 1 byte " << i;
    for (std::size_t i = 51; i <= 64; ++i) EXPECT_EQ(r[i], kOld) << "byte " << i;
    EXPECT_EQ(r[0], kOld);
    EXPECT_EQ(r[1], kOld);
}

TEST(MessageReports, BlocksCarryTheirOwnSlotAndNumber) {
    const auto m = PatternedMessages();
    HidReport r = Filled(kOld);
    BuildMessageFirstHalf(r, 9, *m, 8);
    EXPECT_EQ(r[2], 9);
    EXPECT_EQ(r[3], m->at(8 * 64));
    EXPECT_EQ(r[50], m->at(8 * 64 + 47));
    BuildMessageSecondHalf(r, 9, *m, 8);
    EXPECT_EQ(r[3], m->at(8 * 64 + 48));
    EXPECT_EQ(r[18], m->at(8 * 64 + 63));
    EXPECT_EQ(r[19], m->at(9 * 64));
    EXPECT_EQ(r[50], m->at(9 * 64 + 31));
}

// No slot follows the sixteenth: the last "D" must not read past the table and sends zeros there.
TEST(MessageReports, LastSecondHalfIsZeroFilledAfterTheSixteenthSlot) {
    const auto m = PatternedMessages();
    HidReport r = Filled(kOld);
    BuildMessageSecondHalf(r, 16, *m, 15);
    EXPECT_EQ(r[2], 16);
    for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(r[3 + i], m->at(15 * 64 + 48 + i)) << "slot 15 byte " << 48 + i;
    for (std::size_t i = 19; i <= 50; ++i) EXPECT_EQ(r[i], 0) << "byte " << i;
    for (std::size_t i = 51; i <= 64; ++i) EXPECT_EQ(r[i], kOld) << "byte " << i;
}

TEST(MessageReports, SlotsOutsideTheTableReadAsZeros) {
    const auto m = PatternedMessages();
    HidReport r = Filled(kOld);
    BuildMessageFirstHalf(r, 17, *m, 16);
    for (std::size_t i = 3; i <= 50; ++i) EXPECT_EQ(r[i], 0) << "byte " << i;
    r = Filled(kOld);
    BuildMessageSecondHalf(r, 0, *m, -1);
    for (std::size_t i = 3; i <= 18; ++i) EXPECT_EQ(r[i], 0) << "byte " << i;
    for (std::size_t i = 19; i <= 50; ++i) EXPECT_EQ(r[i], m->at(i - 19)) << "byte " << i;
}

// One OutReport through a whole write, as the window keeps it: what a report does not set, the previous one
// left there.
TEST(Leftovers, AWriteInOneBufferCarriesBytesFromReportToReport) {
    const auto m = PatternedMessages();
    HidReport out{};  // all zero at start

    BuildSettingsFirstHalf(out, CountingSettings());
    for (std::size_t i = 31; i <= 64; ++i) EXPECT_EQ(out[i], 0) << "first block 0 \"d\" byte " << i;

    BuildSettingsSecondHalf(out);
    for (int n = 1; n <= 16; ++n) {
        BuildMessageFirstHalf(out, static_cast<std::uint8_t>(n), *m, n - 1);
        EXPECT_EQ(out[2], n);
        for (std::size_t i = 51; i <= 64; ++i) EXPECT_EQ(out[i], 0xFF) << "\"d\" of block " << n << " byte " << i;
        BuildMessageSecondHalf(out, static_cast<std::uint8_t>(n), *m, n - 1);
        EXPECT_EQ(out[2], n);
        for (std::size_t i = 51; i <= 64; ++i) EXPECT_EQ(out[i], 0xFF) << "\"D\" of block " << n << " byte " << i;
    }

    // The next write's block 0 "d" keeps the 0xFF and the last message bytes the previous write left.
    const HidReport before = out;
    BuildSettingsFirstHalf(out, CountingSettings());
    for (std::size_t i = 31; i <= 64; ++i) EXPECT_EQ(out[i], before[i]) << "byte " << i;
    EXPECT_EQ(out[64], 0xFF);
}

TEST(ReadReports, BlockReadSetsOnlyTheBlockNumber) {
    HidReport before = Filled(kOld);
    HidReport r = before;
    BuildBlockRead(r, 0);
    EXPECT_EQ(Changed(before, r), std::set<std::size_t>{2});
    EXPECT_EQ(r[2], 0);
    BuildBlockRead(r, 7);
    EXPECT_EQ(r[2], 7);
}

HidReport IdentityReport(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    HidReport r = Filled(0x20);
    r[1] = 0x99;  // never read
    r[2] = a;
    r[3] = b;
    r[4] = c;
    r[5] = 0x77;  // never read
    return r;
}

TEST(IdentityReply, AcceptsOnlyZeroOneThree) {
    EXPECT_TRUE(DecodeIdentityReply(IdentityReport(0, 1, 3)).accepted);
    EXPECT_FALSE(DecodeIdentityReply(IdentityReport(0, 1, 4)).accepted);
    EXPECT_FALSE(DecodeIdentityReply(IdentityReport(1, 1, 3)).accepted);
    EXPECT_FALSE(DecodeIdentityReply(IdentityReport(0, 0, 3)).accepted);
    EXPECT_FALSE(DecodeIdentityReply(IdentityReport(3, 1, 0)).accepted);
    EXPECT_TRUE(IdentityAccepted(IdentityReport(0, 1, 3)));
    EXPECT_FALSE(IdentityAccepted(IdentityReport(0, 1, 4)));
}

TEST(IdentityReply, SerialIsSignedLittleEndian) {
    struct Case {
        std::array<std::uint8_t, 4> bytes;
        std::int32_t serial;
        const char* shown;
    };
    const Case cases[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1, "-1"},
        {{0x01, 0x00, 0x00, 0x00}, 1, "1"},
        {{0x00, 0x00, 0x00, 0x80}, -2147483647 - 1, "-2147483648"},
        {{0x39, 0x30, 0x00, 0x00}, 12345, "12345"},
        {{0xFF, 0xFF, 0xFF, 0x7F}, 2147483647, "2147483647"},
        {{0x00, 0x01, 0x00, 0x00}, 256, "256"},
    };
    for (const Case& c : cases) {
        HidReport r = IdentityReport(0, 1, 3);
        std::copy(c.bytes.begin(), c.bytes.end(), r.begin() + 6);
        const IdentityReply reply = DecodeIdentityReply(r);
        EXPECT_EQ(reply.serial, c.serial);
        EXPECT_EQ(FormatSerial(reply.serial), c.shown);
    }
}

TEST(IdentityReply, VersionEndsAtFirstNulOrAfterByte64) {
    HidReport r = IdentityReport(0, 1, 3);
    r[10] = '1';
    r[11] = '.';
    r[12] = '2';
    r[13] = 0;
    r[14] = 'x';
    EXPECT_EQ(DecodeIdentityReply(r).version, "1.2");

    for (std::size_t i = 10; i <= 64; ++i) r[i] = static_cast<std::uint8_t>('A' + (i - 10) % 26);
    r[20] = 0xE9;  // an 8-bit character is kept as it is
    const std::string version = DecodeIdentityReply(r).version;
    ASSERT_EQ(version.size(), 55u);
    EXPECT_EQ(version.front(), 'A');
    EXPECT_EQ(static_cast<std::uint8_t>(version[10]), 0xE9);
    EXPECT_EQ(static_cast<std::uint8_t>(version.back()), r[64]);

    r[10] = 0;
    EXPECT_EQ(DecodeIdentityReply(r).version, "");
}

TEST(Replies, BlockHalfIsBytes2To49AndKeyIsByte2) {
    HidReport r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(i);
    const auto half = BlockReplyHalf(r);
    EXPECT_EQ(half.front(), 2);
    EXPECT_EQ(half.back(), 49);

    std::array<std::uint8_t, 50> out;
    out.fill(kOld);
    CopyBlockReplyHalf(r, out.data() + 1);
    EXPECT_EQ(out[0], kOld);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[48], 49);
    EXPECT_EQ(out[49], kOld) << "only 48 bytes are copied";

    EXPECT_EQ(KeyNumber(r), 2);
    r[2] = 17;
    EXPECT_EQ(KeyNumber(r), 17);
}

}  // namespace
}  // namespace qb
