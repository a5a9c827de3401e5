// The configuration record and its transfer to and from the window's controls.
#include "config/KeypadConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "config/ConfigTransfer.h"
#include "config/MemoryConfigView.h"
#include "tests/support/FakeSink.h"

namespace qb {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

std::string Text(const KeypadConfig& config, std::size_t slot) {
    return std::string(SlotText(config.Messages.data() + slot * kSlotSize));
}

void PutText(KeypadConfig& config, std::size_t slot, std::string_view text) {
    std::uint8_t* s = config.Messages.data() + slot * kSlotSize;
    std::copy(text.begin(), text.end(), s);
    s[text.size()] = 0;
}

bool AllAre(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t value) {
    return std::all_of(begin, end, [value](std::uint8_t b) { return b == value; });
}

// The defaults count as saved, are shown (the window packs back to them), and give each slot its key's name
// and a zero, keeping the bytes after that.
TEST(DefaultConfig, ShownAndSavedKeepingTheBytesAfterEachKeysName) {
    MemoryConfigView view;
    view.legends.fill(u"x");
    view.messages.fill(u"y");
    view.check(RadioButton::OddParity);
    view.check(RadioButton::StopBit2);
    ConfigStore store;
    store.Config.Messages.fill(0xAA);
    store.SetDefaultConfig(view);
    PackConfig(view, store.Config);
    EXPECT_FALSE(store.ConfigChanged());  // the bytes themselves are the golden file's (DataFileTest)
    for (std::size_t k = 0; k < kSlotCount; ++k)
        EXPECT_TRUE(AllAre(Slot(store.Config.Messages, k) + 2, Slot(store.Config.Messages, k) + kSlotSize, 0xAA))
            << "slot " << k;
}

// ---- Escapes and slots without a zero byte -------------------------------------------------------------
// Each escape and each slot on its own: the fuzz target fuzz_message_escapes, whose seed corpus runs as a test.

// Key 4's slot, earlier than key 2's, has no zero byte: its reported text stops at the slot's end.
TEST(TranslateMessages, ReportsOnlyTheFirstInvalidSlotUpToItsEnd) {
    ConfigStore store;
    PutText(store.Config, 4, "two\\x");  // key 2
    std::memset(Slot(store.Config.Messages, 1), 'n', 2 * kSlotSize);
    std::memcpy(Slot(store.Config.Messages, 1), "four\\4\xE9", 7);
    FakeSink sink;
    EXPECT_FALSE(store.TranslateMessages(sink));
    EXPECT_EQ(sink.errors(), std::vector{u"Error on Message:\rfour\\4\u00E9" + std::u16string(56, u'n')});
}

TEST(ConfigChanged, FollowsEverySettingsByteAndTheTextsUpToTheirTerminators) {
    MemoryConfigView view;
    ConfigStore store;
    store.SetDefaultConfig(view);
    for (std::size_t i = 0; i < kSettingsSize; ++i) {
        store.Config.Settings[i] ^= 0x80;
        EXPECT_TRUE(store.ConfigChanged()) << "byte " << i;
        store.Config.Settings[i] ^= 0x80;
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
}

// ---- Packing the controls into the record and unpacking it ---------------------------------------------

// A record the controls can show exactly: lines 1..8, baud 0..6, parity 0..2, stop bits 1 or 2, texts within
// the edit limits, escapes (valid or not) as typed; with leftovers after the terminators.
KeypadConfig ValidRecord() {
    KeypadConfig c;
    for (std::size_t i = 0; i < c.Messages.size(); ++i) c.Messages[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const char settings[] = "\x08\x03\x01\x06\x02\x07\x05\x04QW\0R\xE9Y~!@$%^&()_\x06\x02\x02";
    std::copy(settings, settings + kSettingsSize, c.Settings.begin());
    for (std::size_t k = 0; k < kSlotCount; ++k) PutText(c, k, std::string(k * 4, static_cast<char>('a' + k)));
    PutText(c, 3, "Line 1\\0D\\0A\\\\ \xE9\\G1\\n end\\");
    PutText(c, 15, std::string(63, 'Z'));
    return c;
}

TEST(UnpackConfig, ShowsEachValueWhereTheKeyTablePutsItAndPacksBackUnchanged) {
    const KeypadConfig original = ValidRecord();
    MemoryConfigView view;
    view.check(RadioButton::EvenParity);
    UnpackConfig(original, view);
    EXPECT_EQ(view.columns, (std::array<int, 4>{8, 3, 1, 6}));
    EXPECT_EQ(view.rows, (std::array<int, 4>{2, 7, 5, 4}));
    EXPECT_EQ(view.legends[2], u"");                                          // a zero legend is empty
    EXPECT_EQ(view.legends[4], u"\u00E9");                                    // key 5
    EXPECT_EQ(view.messages[12], u"Line 1\\0D\\0A\\\\ \u00E9\\G1\\n end\\");  // key * sits in slot 3
    EXPECT_EQ(view.baud, 6);
    EXPECT_TRUE(view.isChecked(RadioButton::OddParity) && !view.isChecked(RadioButton::EvenParity));
    EXPECT_TRUE(view.isChecked(RadioButton::StopBit2));

    KeypadConfig packed = original;
    PackConfig(view, packed);
    EXPECT_EQ(packed.Settings, original.Settings);
    EXPECT_EQ(packed.Messages, original.Messages);
}

TEST(PackConfig, WritesOnlyEachTextAndItsTerminator) {
    KeypadConfig c;
    c.Messages.fill(0x5A);
    PutText(c, 5, "HELLO");  // key 5
    MemoryConfigView view;
    view.messages[5] = u"AB";
    view.messages[12] = std::u16string(64, u'm');      // key *, slot 3; slot 4 is packed before it
    view.messages[1] = u"\u4E2D x \U0001F600 \u00E9";  // key 2, slot 4
    view.legends[0] = u"XYZ";
    view.legends[3] = u"";
    view.legends[7] = u"\u0100";
    PackConfig(view, c);

    EXPECT_EQ(Bytes(c.Messages.begin() + 5 * kSlotSize, c.Messages.begin() + 5 * kSlotSize + 7),
              (Bytes{'A', 'B', 0, 'L', 'O', 0, 0x5A}));
    EXPECT_EQ(Text(c, 3), std::string(63, 'm'));
    EXPECT_EQ(c.Messages[3 * kSlotSize + 63], 0);
#ifndef _WIN32
    EXPECT_EQ(Text(c, 4), "? x ? \xE9");
    EXPECT_EQ(Bytes(c.Settings.begin() + kLegendsOffset, c.Settings.begin() + kLegendsOffset + 8),
              (Bytes{'X', '2', '3', 0, '4', '5', '6', '?'}));
#endif
}

// Codes the controls cannot show pack as what the controls show: fuzz_data_file (its seed odd-values.dat).

}  // namespace
}  // namespace qb
