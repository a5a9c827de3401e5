// Report layouts byte for byte, including the bytes each report must leave alone.
#include "protocol/Reports.h"

#include "config/KeyTable.h"
#include "protocol/DeviceImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace qb {
namespace {

constexpr std::uint8_t kOld = 0xEE;  // what a previous report left in OutReport

// One OutReport through a write, as the window keeps it: each report sets its own bytes and leaves the others
// as the previous one left them. The message table goes out as one run: a block's "D" reaches into the next
// slot, and after the sixteenth slot zeros.
TEST(WriteReports, OneBufferThroughAWriteByteForByte) {
    SettingsBlock settings;
    for (std::size_t i = 0; i < settings.size(); ++i) settings[i] = static_cast<std::uint8_t>(i + 1);
    // Every table byte differs from its neighbours and is never 0, 0xFF or kOld, so a misplaced byte shows.
    // On the heap: reading past it trips the address sanitizer.
    const auto m = std::make_unique<MessageBlock>();
    for (std::size_t i = 0; i < m->size(); ++i) m->at(i) = static_cast<std::uint8_t>(1 + (i * 7) % 200);
    HidReport r, expected;
    r.fill(kOld);
    expected.fill(kOld);

    BuildSettingsFirstHalf(r, settings);
    expected[2] = 0;
    expected[3] = 0x55;
    std::copy(settings.begin(), settings.end(), expected.begin() + 4);  // bytes 4..30
    EXPECT_EQ(r, expected);

    BuildSettingsSecondHalf(r);
    std::fill(expected.begin() + 3, expected.end(), 0xFF);
    EXPECT_EQ(r, expected);

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

// Bytes 2, 3, 4 must be exactly 0, 1, 3; the serial is bytes 6..9, signed little-endian.
TEST(IdentityReply, AcceptsOnlyZeroOneThreeAndDecodesTheSerial) {
    const struct {
        std::array<std::uint8_t, 8> bytes;  // report bytes 2..9
        bool accepted;
        const char* serial;
    } cases[] = {
        {{0, 1, 3, 0, 0xFF, 0xFF, 0xFF, 0xFF}, true, "-1"},
        {{0, 1, 3, 0, 0x01, 0x00, 0x00, 0x00}, true, "1"},
        {{0, 1, 3, 0, 0x00, 0x00, 0x00, 0x80}, true, "-2147483648"},
        {{0, 1, 4}, false, nullptr},
        {{1, 1, 3}, false, nullptr},
        {{0, 0, 3}, false, nullptr},
    };
    for (const auto& c : cases) {
        HidReport r;
        r.fill(0x20);
        std::copy(c.bytes.begin(), c.bytes.end(), r.begin() + 2);
        const IdentityReply reply = DecodeIdentityReply(r);
        EXPECT_EQ(reply.accepted, c.accepted) << +c.bytes[0] << +c.bytes[1] << +c.bytes[2];
        if (c.serial) {
            EXPECT_EQ(FormatSerial(reply.serial), c.serial);
        }
    }
}

TEST(IdentityReply, VersionEndsAtTheFirstNulOrAfterByte64) {
    HidReport r;
    r.fill('A');
    r[20] = 0xE9;  // an 8-bit character is kept as it is
    EXPECT_EQ(DecodeIdentityReply(r).version, std::string(r.begin() + 10, r.end()));  // all 55 bytes
    r[13] = 0;
    EXPECT_EQ(DecodeIdentityReply(r).version, "AAA");
}

TEST(Replies, BlockHalfIsBytes2To49) {
    HidReport r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, 49> out;
    out.fill(kOld);
    CopyBlockReplyHalf(r, out.data());
    EXPECT_TRUE(std::equal(r.begin() + 2, r.begin() + 50, out.begin()));
    EXPECT_EQ(out[48], kOld) << "only 48 bytes are copied";
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// Two settings that read alike are still two: an empty legend is not a typed "-", and the comparison of what was
// written with what the device holds goes by the bytes.
TEST(Verification, ComparesTheSettingsByteForByte) {
    KeypadConfig config;
    ApplyDefaults(config);
    config.Settings[kLegendsOffset + 3] = 0;
    MessageBlock messages{};
    ASSERT_LT(TranslateMessages(config.Messages, messages), 0);
    const DeviceImage written = WrittenImage(config.Settings, messages);
    DeviceImage held = written;
    EXPECT_TRUE(CompareImages(written, held).empty());
    held.blocks[0][kSettingsByte + kLegendsOffset + 3] = '-';
    const std::vector<std::string> differences = CompareImages(written, held);
    ASSERT_EQ(differences.size(), 1u);
    EXPECT_EQ(differences[0],
              "Legends: wrote 1 2 3 \\00 4 5 6 B 7 8 9 C * 0 # D, the device holds 1 2 3 - 4 5 6 B 7 8 9 C * 0 # D");
    const Comparison shown = CompareWithDevice(config, held);
    EXPECT_TRUE(std::any_of(shown.rows.begin(), shown.rows.end(),
                            [](const ComparisonRow& row) { return row.name == "Legends" && row.differs; }));
}

// The device's messages come into the window in the notation of the message edits: one whose notation takes 63
// characters fits a slot; one that takes 64 keeps the window's own message, and its key is named.
TEST(TakeOver, AMessageFitsUpToSixtyThreeCharactersOfNotation) {
    KeypadConfig window;
    ApplyDefaults(window);
    MessageBlock messages{};
    ASSERT_LT(TranslateMessages(window.Messages, messages), 0);
    const std::string fits = std::string(60, 'a') + '\r';     // "aaa…\0D": 63 characters
    const std::string tooLong = std::string(61, 'b') + '\r';  // 64 characters
    std::copy(fits.begin(), fits.end(), Slot(messages, std::size_t(kKeys[0].slot)));
    std::copy(tooLong.begin(), tooLong.end(), Slot(messages, std::size_t(kKeys[1].slot)));
    const DeviceImage device = WrittenImage(window.Settings, messages);
    KeypadConfig taken = window;
    EXPECT_EQ(TakeOverDeviceValues(device, taken), std::vector<char>{kKeys[1].legend});
    EXPECT_EQ(SlotText(Slot(taken.Messages, std::size_t(kKeys[0].slot))), std::string(60, 'a') + "\\0D");
    EXPECT_EQ(SlotText(Slot(taken.Messages, std::size_t(kKeys[1].slot))), std::string(1, kKeys[1].legend));
}

}  // namespace
}  // namespace qb
