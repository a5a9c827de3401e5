#include "config/ConfigTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "tests/config/TestData.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using test::FakeView;
using test::PutText;
using test::Text;

std::vector<std::uint8_t> SlotBytes(const KeypadConfig& config, std::size_t slot, std::size_t count) {
    const std::uint8_t* s = config.Messages.data() + slot * kSlotSize;
    return {s, s + count};
}

// A record the controls can show exactly: lines 1..8, baud 0..6, parity 0..2, stop bits 1 or 2, texts within
// the edit limits; with leftovers after the terminators.
KeypadConfig ValidRecord() {
    KeypadConfig c;
    for (std::size_t i = 0; i < c.Messages.size(); ++i) c.Messages[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::uint8_t lines[8] = {8, 3, 1, 6, 2, 7, 5, 4};
    std::copy(lines, lines + 8, c.Settings.begin());
    const char legends[] = "QW\0R\xE9Y~!@$%^&()_";
    std::copy(legends, legends + 16, c.Settings.begin() + kLegendsOffset);
    c.Settings[kBaudCodeOffset] = 6;
    c.Settings[kParityCodeOffset] = 2;
    c.Settings[kStopBitsOffset] = 2;
    for (std::size_t k = 0; k < kSlotCount; ++k) PutText(c, k, std::string(k * 4, static_cast<char>('a' + k)));
    PutText(c, 0, "");
    PutText(c, 3, "Line 1\\0D\\0A\\\\ \xE9");
    PutText(c, 15, std::string(63, 'Z'));
    return c;
}

// ---- Defaults -------------------------------------------------------------------------------------------

TEST(PackDefaults, DefaultWindowPacksToTheDefaultRecord) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);

    KeypadConfig packed;
    packed.Messages.fill(0xCC);
    PackConfig(view, packed);
    EXPECT_TRUE(std::equal(packed.Settings.begin(), packed.Settings.end(), test::kDocumentedDefaultSettings.begin(),
                           test::kDocumentedDefaultSettings.end()));
    for (std::size_t k = 0; k < kSlotCount; ++k)
        EXPECT_EQ(Text(packed, k), std::string(1, test::kDefaultSlotTexts[k])) << "slot " << k;
}

TEST(PackDefaults, UnpackThenPackLeavesAValidRecordUnchanged) {
    const KeypadConfig original = ValidRecord();
    FakeView view;
    UnpackConfig(original, view);
    KeypadConfig packed = original;
    PackConfig(view, packed);
    EXPECT_EQ(packed.Settings, original.Settings);
    EXPECT_EQ(packed.Messages, original.Messages);

    // And shown where the tables put it.
    EXPECT_EQ(view.columns, (std::array<int, 4>{8, 3, 1, 6}));
    EXPECT_EQ(view.rows, (std::array<int, 4>{2, 7, 5, 4}));
    EXPECT_EQ(view.legends[2], u"");
    EXPECT_EQ(view.legends[4], u"\u00E9");                       // key 5
    EXPECT_EQ(view.messages[12], u"Line 1\\0D\\0A\\\\ \u00E9");  // key * sits in slot 3
    EXPECT_EQ(view.messages[15], std::u16string(63, u'Z'));
    EXPECT_EQ(view.baud, 6);
    EXPECT_EQ(view.parityButton(), RadioButton::OddParity);
    EXPECT_TRUE(view.isChecked(RadioButton::StopBit2));
    EXPECT_FALSE(view.isChecked(RadioButton::StopBit1));
}

// ---- Legends --------------------------------------------------------------------------------------------

TEST(Legends, EmptyIsZeroAndZeroIsEmpty) {
    FakeView view;
    view.legends[5] = u"";
    KeypadConfig c;
    c.Settings.fill(0x77);
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kLegendsOffset + 5], 0);
    EXPECT_EQ(c.Settings[kLegendsOffset + 4], '4');

    FakeView shown;
    UnpackConfig(c, shown);
    EXPECT_EQ(shown.legends[5], u"");
    EXPECT_EQ(shown.labels[5], u"");  // the label follows its legend
    EXPECT_EQ(shown.labels[4], u"4");
}

TEST(Legends, OnlyTheFirstByteIsKept) {
    FakeView view;
    view.legends[0] = u"XYZ";
    view.legends[15] = u"\u00E9t\u00E9";
    KeypadConfig c;
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kLegendsOffset + 0], 'X');
#ifndef _WIN32
    EXPECT_EQ(c.Settings[kLegendsOffset + 15], 0xE9);
#endif
}

// ---- Messages -------------------------------------------------------------------------------------------

TEST(Messages, ShorterTextLeavesTheSlotsTail) {
    KeypadConfig c;
    c.Messages.fill(0x5A);
    const std::size_t slot = static_cast<std::size_t>(kKeys[5].slot);  // key 5
    PutText(c, slot, "HELLO");

    FakeView view;
    UnpackConfig(c, view);
    view.messages[5] = u"AB";
    PackConfig(view, c);
    EXPECT_EQ(SlotBytes(c, slot, 7), (std::vector<std::uint8_t>{'A', 'B', 0, 'L', 'O', 0, 0x5A}));
    EXPECT_TRUE(std::all_of(c.Messages.begin() + slot * kSlotSize + 6, c.Messages.begin() + (slot + 1) * kSlotSize,
                            [](std::uint8_t b) { return b == 0x5A; }));

    FakeView shown;
    UnpackConfig(c, shown);
    EXPECT_EQ(shown.messages[5], u"AB");
}

TEST(Messages, EmptyTextIsALeadingZero) {
    KeypadConfig c;
    c.Messages.fill(0x41);
    FakeView view;
    view.messages.fill(u"");
    PackConfig(view, c);
    for (std::size_t k = 0; k < kSlotCount; ++k) {
        EXPECT_EQ(c.Messages[k * kSlotSize], 0) << k;
        EXPECT_EQ(c.Messages[k * kSlotSize + 1], 0x41) << k;
    }
}

TEST(Messages, EscapesAreStoredAndShownAsTyped) {
    const std::u16string typed = u"\\0D\\0a\\\\\\G1\\n end\\";
    FakeView view;
    view.messages[0] = typed;
    KeypadConfig c;
    PackConfig(view, c);
    EXPECT_EQ(Text(c, 0), "\\0D\\0a\\\\\\G1\\n end\\");

    FakeView shown;
    UnpackConfig(c, shown);
    EXPECT_EQ(shown.messages[0], typed);
}

TEST(Messages, SlotsFollowTheColumnMajorOrder) {
    FakeView view;
    for (const KeyInfo& key : kKeys) view.messages[key.legendIndex] = u"msg " + std::u16string(1, key.legend);
    KeypadConfig c;
    PackConfig(view, c);
    for (std::size_t k = 0; k < kSlotCount; ++k)
        EXPECT_EQ(Text(c, k), std::string("msg ") + test::kDefaultSlotTexts[k]);
}

TEST(Messages, LongTextIsCutTo63Bytes) {
    KeypadConfig c;
    c.Messages.fill(0x66);
    FakeView view;
    view.messages[0] = std::u16string(64, u'm');  // slot 0, followed by slot 1
    view.messages[4] = std::u16string(63, u'n');  // slot 1
    PackConfig(view, c);
    EXPECT_EQ(SlotBytes(c, 0, 64), [] {
        std::vector<std::uint8_t> v(63, 'm');
        v.push_back(0);
        return v;
    }());
    EXPECT_EQ(Text(c, 1), std::string(63, 'n'));
    EXPECT_EQ(c.Messages[2 * kSlotSize], '7');  // the next slot starts with its own text
}

TEST(Messages, UnterminatedSlotShowsIts63Bytes) {
    KeypadConfig c;
    std::memset(c.Messages.data(), 'x', kSlotSize);      // slot 0, no zero byte
    std::memset(c.Messages.data() + kSlotSize, 'y', 5);  // slot 1
    c.Messages[kSlotSize + 5] = 0;
    FakeView view;
    UnpackConfig(c, view);
    EXPECT_EQ(view.messages[0], std::u16string(63, u'x'));
    EXPECT_EQ(view.messages[4], u"yyyyy");
}

#ifndef _WIN32
TEST(Messages, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    FakeView view;
    view.messages[1] = u"\u4E2D x \U0001F600 \u00E9";
    view.legends[1] = u"\u0100";
    KeypadConfig c;
    PackConfig(view, c);
    EXPECT_EQ(Text(c, 4), "? x ? \xE9");
    EXPECT_EQ(c.Settings[kLegendsOffset + 1], '?');
}
#endif

// ---- Serial port settings -------------------------------------------------------------------------------

TEST(SerialSettings, ParityFromEvenAndOddOnly) {
    FakeView view;
    KeypadConfig c;
    view.check(RadioButton::EvenParity);
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kParityCodeOffset], 1);
    view.check(RadioButton::OddParity);
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kParityCodeOffset], 2);
    view.check(RadioButton::NoParity);
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kParityCodeOffset], 0);
    view.checked = {false, false, false, true, false};  // no parity button on at all
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kParityCodeOffset], 0);
}

TEST(SerialSettings, UnknownParityKeepsTheButtons) {
    KeypadConfig c = ValidRecord();
    FakeView view;
    view.check(RadioButton::OddParity);
    c.Settings[kParityCodeOffset] = 3;
    UnpackConfig(c, view);
    EXPECT_EQ(view.parityButton(), RadioButton::OddParity);
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kParityCodeOffset], 2);

    for (std::uint8_t code : {0, 1, 2}) {
        c.Settings[kParityCodeOffset] = code;
        UnpackConfig(c, view);
        const RadioButton expected[] = {RadioButton::NoParity, RadioButton::EvenParity, RadioButton::OddParity};
        EXPECT_EQ(view.parityButton(), expected[code]);
    }
}

TEST(SerialSettings, AnyStopBitValueButTwoIsOne) {
    KeypadConfig c = ValidRecord();
    FakeView view;
    for (std::uint8_t stop : {0, 1, 3, 255}) {
        view.check(RadioButton::StopBit2);
        c.Settings[kStopBitsOffset] = stop;
        UnpackConfig(c, view);
        EXPECT_TRUE(view.isChecked(RadioButton::StopBit1)) << int{stop};
        EXPECT_FALSE(view.isChecked(RadioButton::StopBit2)) << int{stop};
        PackConfig(view, c);
        EXPECT_EQ(c.Settings[kStopBitsOffset], 1) << int{stop};
    }
    c.Settings[kStopBitsOffset] = 2;
    UnpackConfig(c, view);
    EXPECT_TRUE(view.isChecked(RadioButton::StopBit2));
    PackConfig(view, c);
    EXPECT_EQ(c.Settings[kStopBitsOffset], 2);
}

TEST(SerialSettings, BaudCodeBeyondTheListBecomesNoSelection) {
    KeypadConfig c = ValidRecord();
    FakeView view;
    for (std::uint8_t code : {7, 200, 255}) {
        c.Settings[kBaudCodeOffset] = code;
        UnpackConfig(c, view);
        EXPECT_EQ(view.baud, -1) << int{code};
        PackConfig(view, c);
        EXPECT_EQ(c.Settings[kBaudCodeOffset], 255) << int{code};
    }
    for (std::uint8_t code = 0; code <= 6; ++code) {
        c.Settings[kBaudCodeOffset] = code;
        UnpackConfig(c, view);
        EXPECT_EQ(view.baud, code);
    }
}

TEST(SerialSettings, LineValuesAreStoredAsTheirLowByte) {
    FakeView view;
    view.columns = {1, 258, -1, 8};
    view.rows = {0, 9, 255, 256};
    KeypadConfig c;
    PackConfig(view, c);
    EXPECT_EQ(std::vector<std::uint8_t>(c.Settings.begin(), c.Settings.begin() + 8),
              (std::vector<std::uint8_t>{1, 2, 255, 8, 0, 9, 255, 0}));

    // Unpacked as unsigned values, whatever the controls make of them.
    UnpackConfig(c, view);
    EXPECT_EQ(view.columns, (std::array<int, 4>{1, 2, 255, 8}));
    EXPECT_EQ(view.rows, (std::array<int, 4>{0, 9, 255, 0}));
}

TEST(SerialSettings, UnpackDoesNotChangeTheRecord) {
    const KeypadConfig original = ValidRecord();
    KeypadConfig c = original;
    FakeView view;
    UnpackConfig(c, view);
    EXPECT_EQ(c.Settings, original.Settings);
    EXPECT_EQ(c.Messages, original.Messages);
}

}  // namespace
}  // namespace qb
