#include "config/KeypadConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/KeyTable.h"
#include "tests/config/TestData.h"
#include "tests/support/FakeSink.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using test::FakeSink;
using test::FakeView;
using test::PutText;
using test::Text;

// ---- Defaults -------------------------------------------------------------------------------------------

TEST(DefaultConfig, SettingsAreTheDocumentedBytes) {
    EXPECT_TRUE(std::equal(kDefaultSettings.begin(), kDefaultSettings.end(), test::kDocumentedDefaultSettings.begin(),
                           test::kDocumentedDefaultSettings.end()));

    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    EXPECT_TRUE(std::equal(store.Config.Settings.begin(), store.Config.Settings.end(),
                           test::kDocumentedDefaultSettings.begin(), test::kDocumentedDefaultSettings.end()));
}

TEST(DefaultConfig, EverySlotHoldsItsKeyNameAndZerosAfter) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    EXPECT_EQ(Text(store.Config, 1), "4");  // key 4: row 2, column 1
    for (std::size_t k = 0; k < kSlotCount; ++k) {
        EXPECT_EQ(Text(store.Config, k), std::string(1, test::kDefaultSlotTexts[k])) << "slot " << k;
        const std::uint8_t* s = store.slot(k);
        EXPECT_TRUE(std::all_of(s + 1, s + kSlotSize, [](std::uint8_t b) { return b == 0; })) << "slot " << k;
    }
}

TEST(DefaultConfig, KeepsTheBytesAfterEachSlotsTerminator) {
    ConfigStore store;
    store.Config.Messages.fill(0xAA);
    FakeView view;
    store.SetDefaultConfig(view);
    for (std::size_t k = 0; k < kSlotCount; ++k) {
        const std::uint8_t* s = store.slot(k);
        EXPECT_EQ(s[0], static_cast<std::uint8_t>(test::kDefaultSlotTexts[k]));
        EXPECT_EQ(s[1], 0);
        EXPECT_TRUE(std::all_of(s + 2, s + kSlotSize, [](std::uint8_t b) { return b == 0xAA; })) << "slot " << k;
    }
}

TEST(DefaultConfig, CountsAsSavedAndIsShownInTheWindow) {
    ConfigStore store;
    FakeView view;
    view.legends.fill(u"x");
    view.messages.fill(u"y");
    view.check(RadioButton::OddParity);
    view.check(RadioButton::StopBit2);
    store.SetDefaultConfig(view);

    EXPECT_FALSE(store.ConfigChanged());
    EXPECT_EQ(store.SavedConfig.Messages, store.Config.Messages);
    for (const KeyInfo& key : kKeys) {
        const std::u16string name(1, static_cast<char16_t>(key.legend));
        EXPECT_EQ(view.legends[key.legendIndex], name);
        EXPECT_EQ(view.labels[key.legendIndex], name);
        EXPECT_EQ(view.messages[key.legendIndex], name);
    }
    EXPECT_EQ(view.columns, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_EQ(view.rows, (std::array<int, 4>{5, 6, 7, 8}));
    EXPECT_EQ(view.baud, 4);
    EXPECT_EQ(view.parityButton(), RadioButton::NoParity);
    EXPECT_TRUE(view.isChecked(RadioButton::StopBit1));
}

// ---- Escape translation ---------------------------------------------------------------------------------

constexpr std::uint8_t kUntouched = 0xEE;

struct Decoded {
    bool ok;
    std::array<std::uint8_t, kSlotSize> out;
};

Decoded Decode(const std::string& text) {
    std::array<std::uint8_t, kSlotSize> slot{};
    std::memcpy(slot.data(), text.data(), std::min(text.size(), kMaxMessageBytes));
    Decoded d{};
    d.out.fill(kUntouched);
    d.ok = DecodeMessageEscapes(slot.data(), d.out.data());
    return d;
}

std::vector<std::uint8_t> Prefix(const Decoded& d, std::size_t n) {
    return {d.out.begin(), d.out.begin() + n};
}

TEST(MessageEscapes, TranslateToTheirBytes) {
    const Decoded crlf = Decode("\\0D\\0a");
    ASSERT_TRUE(crlf.ok);
    EXPECT_EQ(Prefix(crlf, 4), (std::vector<std::uint8_t>{13, 10, 0, kUntouched}));

    const Decoded backslash = Decode("A\\\\B");
    ASSERT_TRUE(backslash.ok);
    EXPECT_EQ(Prefix(backslash, 5), (std::vector<std::uint8_t>{65, 92, 66, 0, kUntouched}));

    const Decoded cases = Decode("\\fF\\Aa\\9b-");
    ASSERT_TRUE(cases.ok);
    EXPECT_EQ(Prefix(cases, 5), (std::vector<std::uint8_t>{0xFF, 0xAA, 0x9B, '-', 0}));

    const Decoded plain = Decode("Hello, world!");
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(std::string(plain.out.begin(), plain.out.begin() + 13), "Hello, world!");
    EXPECT_EQ(plain.out[13], 0);
    EXPECT_EQ(plain.out[14], kUntouched);
}

TEST(MessageEscapes, EmptyTextGivesALoneTerminator) {
    const Decoded d = Decode("");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.out[0], 0);
    EXPECT_TRUE(std::all_of(d.out.begin() + 1, d.out.end(), [](std::uint8_t b) { return b == kUntouched; }));
}

TEST(MessageEscapes, ZeroByteIsWrittenLikeAnyOtherAndStillTerminated) {
    const Decoded alone = Decode("\\00");
    ASSERT_TRUE(alone.ok);
    EXPECT_EQ(Prefix(alone, 3), (std::vector<std::uint8_t>{0, 0, kUntouched}));

    const Decoded inside = Decode("x\\00y");
    ASSERT_TRUE(inside.ok);
    EXPECT_EQ(Prefix(inside, 5), (std::vector<std::uint8_t>{'x', 0, 'y', 0, kUntouched}));
}

TEST(MessageEscapes, InvalidTextsAreRefused) {
    for (const char* text : {"abc\\", "abc\\4", "\\G1", "\\n", "\\r", "\\t", "\\1G", "\\\\\\", "\\ 1", "x\\g0"})
        EXPECT_FALSE(Decode(text).ok) << text;
}

TEST(MessageEscapes, LongestTextFillsTheSlot) {
    const std::string text(kMaxMessageBytes, 'q');
    const Decoded d = Decode(text);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(std::string(d.out.begin(), d.out.begin() + kMaxMessageBytes), text);
    EXPECT_EQ(d.out[kMaxMessageBytes], 0);

    // Twenty-one escapes in 63 bytes shrink to 21 bytes.
    std::string escapes;
    for (int i = 0; i < 21; ++i) escapes += "\\41";
    const Decoded e = Decode(escapes);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(std::string(e.out.begin(), e.out.begin() + 21), std::string(21, 'A'));
    EXPECT_EQ(e.out[21], 0);
}

// ---- Slots without a zero byte --------------------------------------------------------------------------
// Each slot lives in a heap block of exactly 64 bytes, so a read past it is caught by the address sanitizer.

std::unique_ptr<std::uint8_t[]> HeapSlot(const std::string& bytes) {
    auto slot = std::make_unique<std::uint8_t[]>(kSlotSize);
    std::memset(slot.get(), 0, kSlotSize);
    std::memcpy(slot.get(), bytes.data(), std::min(bytes.size(), kSlotSize));
    return slot;
}

TEST(UnterminatedSlot, TextIsCutAt63Bytes) {
    const auto full = HeapSlot(std::string(64, 'x'));
    EXPECT_EQ(SlotText(full.get()), std::string(63, 'x'));

    const auto zeroLast = HeapSlot(std::string(63, 'y'));  // the zero is byte 63
    EXPECT_EQ(SlotText(zeroLast.get()), std::string(63, 'y'));

    const auto shortText = HeapSlot("abc");
    EXPECT_EQ(SlotText(shortText.get()), "abc");
}

TEST(UnterminatedSlot, TranslationStopsAt63Bytes) {
    const auto in = HeapSlot(std::string(64, 'x'));
    const auto out = std::make_unique<std::uint8_t[]>(kSlotSize);
    ASSERT_TRUE(DecodeMessageEscapes(in.get(), out.get()));
    EXPECT_EQ(std::string(out.get(), out.get() + 63), std::string(63, 'x'));
    EXPECT_EQ(out[63], 0);
}

TEST(UnterminatedSlot, EscapeDigitsBeyondTheTextAreNotRead) {
    // "\41" would be valid if byte 63 were read as the low digit.
    const auto split = HeapSlot(std::string(61, 'x') + "\\41");
    const auto out = std::make_unique<std::uint8_t[]>(kSlotSize);
    EXPECT_FALSE(DecodeMessageEscapes(split.get(), out.get()));

    // Likewise a doubled backslash whose second half is byte 63.
    const auto doubled = HeapSlot(std::string(62, 'x') + "\\\\");
    EXPECT_FALSE(DecodeMessageEscapes(doubled.get(), out.get()));
}

TEST(UnterminatedSlot, ComparedAndReportedAsItsFirst63Bytes) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);

    // Saved with its terminator at byte 63, now without any zero: the same 63-byte text.
    PutText(store.Config, 2, std::string(63, 'm'));
    store.MarkConfigSaved();
    store.slot(2)[63] = 'm';
    EXPECT_FALSE(store.ConfigChanged());

    // The text must not run on into the next slot.
    std::memset(store.slot(3), 'n', kSlotSize);
    std::memset(store.slot(4), 'o', kSlotSize);
    store.slot(3)[61] = '\\';
    store.slot(3)[62] = '4';
    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    ASSERT_EQ(sink.errors().size(), 1u);
    EXPECT_EQ(sink.errors()[0], u"Error on Message:\r" + std::u16string(61, u'n') + u"\\4");
}

// ---- TranslateMessages ----------------------------------------------------------------------------------

TEST(TranslateMessages, FillsEveryDeviceSlot) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    PutText(store.Config, 5, "Key\\205\\0D\\0A");
    FakeSink sink;
    ASSERT_TRUE(store.TranslateMessages(sink));
    EXPECT_TRUE(sink.shown.empty());
    for (std::size_t k = 0; k < kSlotCount; ++k) {
        if (k == 5) continue;
        EXPECT_EQ(store.deviceSlot(k)[0], static_cast<std::uint8_t>(test::kDefaultSlotTexts[k]));
        EXPECT_EQ(store.deviceSlot(k)[1], 0);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(store.deviceSlot(5))), "Key 5\r\n");
}

TEST(TranslateMessages, ReportsOnlyTheFirstInvalidSlotWithItsRawText) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    store.DeviceMessages.fill(0x55);
    // Key 2 is slot 4, key 4 slot 1: slot 1 comes first.
    PutText(store.Config, KeyBySlot(4).slot, "two\\x");
    PutText(store.Config, KeyBySlot(1).slot, "four\\4\xE9");

    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].kind, FakeSink::Kind::Error);
    EXPECT_EQ(sink.shown[0].text, u"Error on Message:\rfour\\4\u00E9");

    // Slot 0 was translated, nothing after slot 1 was.
    EXPECT_EQ(store.deviceSlot(0)[0], '1');
    EXPECT_EQ(store.deviceSlot(0)[1], 0);
    for (std::size_t k = 2; k < kSlotCount; ++k) EXPECT_EQ(store.deviceSlot(k)[0], 0x55) << "slot " << k;
}

TEST(TranslateMessages, InvalidMessageLeavesRecordAndSavedCopyAlone) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    PutText(store.Config, 9, "\\");
    const KeypadConfig before = store.Config;
    const KeypadConfig savedBefore = store.SavedConfig;
    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{u"Error on Message:\r\\"});
    EXPECT_EQ(store.Config.Settings, before.Settings);
    EXPECT_EQ(store.Config.Messages, before.Messages);
    EXPECT_EQ(store.SavedConfig.Messages, savedBefore.Messages);
}

// ---- ConfigChanged --------------------------------------------------------------------------------------

TEST(ConfigChanged, FollowsEverySettingsByte) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    for (std::size_t i = 0; i < kSettingsSize; ++i) {
        store.Config.Settings[i] ^= 0x80;
        EXPECT_TRUE(store.ConfigChanged()) << "byte " << i;
        store.Config.Settings[i] ^= 0x80;
        EXPECT_FALSE(store.ConfigChanged()) << "byte " << i;
    }
}

TEST(ConfigChanged, ComparesTextsUpToTheirTerminators) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);

    PutText(store.Config, 15, "Hello");
    EXPECT_TRUE(store.ConfigChanged());
    PutText(store.Config, 15, "D");  // changed back: "D\0llo" still reads "D"
    EXPECT_FALSE(store.ConfigChanged());
    EXPECT_NE(store.Config.Messages, store.SavedConfig.Messages);

    // A shorter or longer text is a change even when the common bytes agree.
    PutText(store.Config, 0, "");
    EXPECT_TRUE(store.ConfigChanged());
    PutText(store.Config, 0, "12");
    EXPECT_TRUE(store.ConfigChanged());
    PutText(store.Config, 0, "1");
    EXPECT_FALSE(store.ConfigChanged());

    // Bytes after the terminators never count.
    for (std::size_t k = 0; k < kSlotCount; ++k) std::memset(store.slot(k) + 2, 0x7F, kSlotSize - 2);
    EXPECT_FALSE(store.ConfigChanged());
}

TEST(ConfigChanged, MarkConfigSavedCopiesTheWholeRecord) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    store.Config.Messages.fill(0x31);
    store.Config.Settings.fill(0x02);
    EXPECT_TRUE(store.ConfigChanged());
    store.MarkConfigSaved();
    EXPECT_FALSE(store.ConfigChanged());
    EXPECT_EQ(store.SavedConfig.Settings, store.Config.Settings);
    EXPECT_EQ(store.SavedConfig.Messages, store.Config.Messages);
}

}  // namespace
}  // namespace qb
