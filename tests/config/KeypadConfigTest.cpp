#include "config/KeypadConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "config/KeyTable.h"
#include "tests/config/Fakes.h"
#include "tests/support/FakeSink.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

bool AllAre(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t value) {
    return std::all_of(begin, end, [value](std::uint8_t b) { return b == value; });
}

struct DefaultStore : ConfigStore {
    FakeView view;
    DefaultStore() { SetDefaultConfig(view); }
};

TEST(DefaultConfig, DocumentedBytesKeyNamesInTheSlotsShownAndSaved) {
    FakeView view;
    view.legends.fill(u"x");
    view.messages.fill(u"y");
    view.check(RadioButton::OddParity);
    view.check(RadioButton::StopBit2);
    ConfigStore store;
    store.Config.Messages.fill(0xAA);
    store.SetDefaultConfig(view);

    EXPECT_EQ(store.Config.Settings, kDocumentedDefaultSettings);
    EXPECT_EQ(Text(store.Config, 1), "4");  // key 4: row 2, column 1
    for (std::size_t k = 0; k < kSlotCount; ++k) {
        // Each slot gets its key's name and a zero; the bytes after that are kept.
        EXPECT_EQ(Bytes(store.slot(k), store.slot(k) + 2), (Bytes{std::uint8_t(kDefaultSlotTexts[k]), 0}));
        EXPECT_TRUE(AllAre(store.slot(k) + 2, store.slot(k) + kSlotSize, 0xAA)) << "slot " << k;
    }
    EXPECT_FALSE(store.ConfigChanged());
    EXPECT_EQ(store.SavedConfig.Messages, store.Config.Messages);
    FakeView shown;  // key names, lines 1..4 and 5..8, no parity, one stop bit
    shown.baud = 4;
    EXPECT_EQ(
        std::tie(view.legends, view.labels, view.messages, view.columns, view.rows, view.baud, view.checked),
        std::tie(shown.legends, shown.labels, shown.messages, shown.columns, shown.rows, shown.baud, shown.checked));
}

// ---- Escape translation, through the device messages --------------------------------------------------

// The text in slot 5 of a default record, translated into device messages prefilled with 0xEE.
struct Translated {
    DefaultStore store;
    FakeSink sink;
    bool ok;
    explicit Translated(const std::string& text) {
        PutText(store.Config, 5, text);
        store.DeviceMessages.fill(0xEE);
        ok = store.TranslateMessages(sink);
    }
};

TEST(TranslateMessages, EscapesBecomeTheirBytesThenOneTerminator) {
    std::string escapes;  // twenty-one escapes in 63 bytes shrink to 21 bytes
    for (int i = 0; i < 21; ++i) escapes += "\\41";
    const std::pair<std::string, Bytes> cases[] = {{"\\0D\\0a", {13, 10}},
                                                   {"A\\\\B", {65, 92, 66}},
                                                   {"\\fF\\Aa\\9b-", {0xFF, 0xAA, 0x9B, '-'}},
                                                   {"", {}},
                                                   {"\\00", {0}},
                                                   {"x\\00y", {'x', 0, 'y'}},
                                                   {std::string(63, 'q'), Bytes(63, 'q')},
                                                   {escapes, Bytes(21, 'A')}};
    for (const auto& [text, expected] : cases) {
        const Translated t(text);
        ASSERT_TRUE(t.ok) << text;
        EXPECT_TRUE(t.sink.shown.empty()) << text;
        const std::uint8_t* out = t.store.deviceSlot(5);
        EXPECT_EQ(Bytes(out, out + expected.size()), expected) << text;
        EXPECT_EQ(out[expected.size()], 0) << text;
        EXPECT_TRUE(AllAre(out + expected.size() + 1, out + kSlotSize, 0xEE)) << text;  // nothing written after
    }
}

TEST(TranslateMessages, InvalidEscapesShowTheRawText) {
    for (const std::string text : {"abc\\", "abc\\4", "\\G1", "\\n", "\\1G", "\\\\\\", "x\\g0"}) {
        const Translated t(text);
        EXPECT_FALSE(t.ok) << text;
        EXPECT_EQ(t.sink.errors(), std::vector{u"Error on Message:\r" + std::u16string(text.begin(), text.end())});
    }
}

TEST(TranslateMessages, ReportsOnlyTheFirstInvalidSlotAndChangesNoRecord) {
    DefaultStore store;
    store.DeviceMessages.fill(0x55);
    // Key 2 is slot 4, key 4 slot 1: slot 1 comes first.
    PutText(store.Config, KeyBySlot(4).slot, "two\\x");
    PutText(store.Config, KeyBySlot(1).slot, "four\\4\xE9");
    const KeypadConfig before = store.Config;
    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{u"Error on Message:\rfour\\4\u00E9"});
    EXPECT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(Bytes(store.deviceSlot(0), store.deviceSlot(0) + 2), (Bytes{'1', 0}));      // slot 0 was translated
    EXPECT_TRUE(AllAre(store.deviceSlot(2), store.deviceSlot(0) + kMessagesSize, 0x55));  // nothing after slot 1
    EXPECT_EQ(store.Config.Messages, before.Messages);
    EXPECT_EQ(store.SavedConfig.Settings, kDocumentedDefaultSettings);
}

// ---- Slots without a zero byte -------------------------------------------------------------------------
// Each slot lives in a heap block of exactly 64 bytes, so a read past it is caught by the address sanitizer.

std::unique_ptr<std::uint8_t[]> HeapSlot(const std::string& bytes) {
    auto slot = std::make_unique<std::uint8_t[]>(kSlotSize);
    std::memset(slot.get(), 0, kSlotSize);
    std::memcpy(slot.get(), bytes.data(), std::min(bytes.size(), kSlotSize));
    return slot;
}

TEST(UnterminatedSlot, CutAt63BytesEverywhereAndNeverReadPast) {
    EXPECT_EQ(SlotText(HeapSlot(std::string(64, 'x')).get()), std::string(63, 'x'));
    EXPECT_EQ(SlotText(HeapSlot(std::string(63, 'y')).get()), std::string(63, 'y'));  // the zero is byte 63

    const auto out = HeapSlot("");
    ASSERT_TRUE(DecodeMessageEscapes(HeapSlot(std::string(64, 'x')).get(), out.get()));
    EXPECT_EQ(std::string(out.get(), out.get() + 63), std::string(63, 'x'));
    EXPECT_EQ(out[63], 0);
    // "\41" and "\\" would be valid if byte 63 were read as their last character.
    EXPECT_FALSE(DecodeMessageEscapes(HeapSlot(std::string(61, 'x') + "\\41").get(), out.get()));
    EXPECT_FALSE(DecodeMessageEscapes(HeapSlot(std::string(62, 'x') + "\\\\").get(), out.get()));

    // Saved with its terminator at byte 63, now without any zero: the same 63-byte text.
    DefaultStore store;
    PutText(store.Config, 2, std::string(63, 'm'));
    store.MarkConfigSaved();
    store.slot(2)[63] = 'm';
    EXPECT_FALSE(store.ConfigChanged());
    // The reported text does not run on into the next slot.
    std::memset(store.slot(3), 'n', 2 * kSlotSize);
    store.slot(3)[61] = '\\';
    store.slot(3)[62] = '4';
    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    EXPECT_EQ(sink.errors(), std::vector{u"Error on Message:\r" + std::u16string(61, u'n') + u"\\4"});
}

// ---- ConfigChanged -------------------------------------------------------------------------------------

TEST(ConfigChanged, FollowsEverySettingsByteAndTheTextsUpToTheirTerminators) {
    DefaultStore store;
    for (std::size_t i = 0; i < kSettingsSize; ++i) {
        store.Config.Settings[i] ^= 0x80;
        EXPECT_TRUE(store.ConfigChanged()) << "byte " << i;
        store.Config.Settings[i] ^= 0x80;
        EXPECT_FALSE(store.ConfigChanged()) << "byte " << i;
    }
    PutText(store.Config, 15, "Hello");
    EXPECT_TRUE(store.ConfigChanged());
    PutText(store.Config, 15, "D");  // changed back: "D\0llo" still reads "D"
    EXPECT_FALSE(store.ConfigChanged());
    // A shorter or longer text is a change even when the common bytes agree.
    for (const char* text : {"", "12"}) {
        PutText(store.Config, 0, text);
        EXPECT_TRUE(store.ConfigChanged()) << text;
    }
    PutText(store.Config, 0, "1");
    // Bytes after the terminators never count.
    for (std::size_t k = 0; k < kSlotCount; ++k) std::memset(store.slot(k) + 2, 0x7F, kSlotSize - 2);
    EXPECT_FALSE(store.ConfigChanged());
}

}  // namespace
}  // namespace qb
