#include "config/ConfigTransfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "tests/config/Fakes.h"
#include "tests/support/FakeView.h"

namespace qb {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;

Bytes SlotBytes(const KeypadConfig& config, std::size_t slot, std::size_t count) {
    const std::uint8_t* s = config.Messages.data() + slot * kSlotSize;
    return {s, s + count};
}

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

TEST(PackConfig, DefaultWindowPacksToTheDefaultRecord) {
    ConfigStore store;
    FakeView view;
    store.SetDefaultConfig(view);
    KeypadConfig packed;
    packed.Messages.fill(0xCC);
    PackConfig(view, packed);
    EXPECT_EQ(packed.Settings, kDocumentedDefaultSettings);
    for (std::size_t k = 0; k < kSlotCount; ++k)
        EXPECT_EQ(SlotBytes(packed, k, 3), (Bytes{std::uint8_t(kDefaultSlotTexts[k]), 0, 0xCC})) << k;
}

TEST(UnpackConfig, ThenPackLeavesAValidRecordUnchanged) {
    const KeypadConfig original = ValidRecord();
    FakeView view;
    view.check(RadioButton::EvenParity);
    UnpackConfig(original, view);
    KeypadConfig packed = original;
    PackConfig(view, packed);
    EXPECT_EQ(packed.Settings, original.Settings);
    EXPECT_EQ(packed.Messages, original.Messages);

    // And shown where the tables put it.
    EXPECT_EQ(view.columns, (std::array<int, 4>{8, 3, 1, 6}));
    EXPECT_EQ(view.rows, (std::array<int, 4>{2, 7, 5, 4}));
    EXPECT_EQ(view.legends[2], u"");  // a zero legend is empty, and so is its label
    EXPECT_EQ(view.labels[2], u"");
    EXPECT_EQ(view.labels[1], u"W");
    EXPECT_EQ(view.legends[4], u"\u00E9");                                    // key 5
    EXPECT_EQ(view.messages[12], u"Line 1\\0D\\0A\\\\ \u00E9\\G1\\n end\\");  // key * sits in slot 3
    EXPECT_EQ(view.messages[0], u"");
    EXPECT_EQ(view.messages[15], std::u16string(63, u'Z'));
    EXPECT_EQ(view.baud, 6);
    EXPECT_EQ(view.parityButton(), RadioButton::OddParity);
    EXPECT_TRUE(view.isChecked(RadioButton::StopBit2));
}

TEST(PackConfig, WritesOnlyEachTextAndItsTerminator) {
    KeypadConfig c;
    c.Messages.fill(0x5A);
    PutText(c, 5, "HELLO");  // key 5
    FakeView view;
    view.messages[5] = u"AB";
    view.messages[2] = u"";                            // key 3, slot 8
    view.messages[12] = std::u16string(64, u'm');      // key *, slot 3; slot 4 is packed before it
    view.messages[1] = u"\u4E2D x \U0001F600 \u00E9";  // key 2, slot 4
    view.legends[0] = u"XYZ";
    view.legends[3] = u"";
    view.legends[7] = u"\u0100";
    PackConfig(view, c);

    EXPECT_EQ(SlotBytes(c, 5, 7), (Bytes{'A', 'B', 0, 'L', 'O', 0, 0x5A}));
    EXPECT_EQ(SlotBytes(c, 8, 2), (Bytes{0, 0x5A}));
    Bytes cut(63, 'm');
    cut.push_back(0);
    EXPECT_EQ(SlotBytes(c, 3, kSlotSize), cut);
#ifndef _WIN32
    EXPECT_EQ(Text(c, 4), "? x ? \xE9");
    EXPECT_EQ(Bytes(c.Settings.begin() + kLegendsOffset, c.Settings.begin() + kLegendsOffset + 8),
              (Bytes{'X', '2', '3', 0, '4', '5', '6', '?'}));
#endif
}

// Codes the controls cannot show leave them showing something else, which is what packs again.
TEST(SerialSettings, UnknownCodesPackAsWhatTheControlsShow) {
    struct Case {
        std::size_t offset;
        std::uint8_t code, packed;
    } const cases[] = {{kParityCodeOffset, 3, 2}, {kParityCodeOffset, 1, 1}, {kStopBitsOffset, 0, 1},
                       {kStopBitsOffset, 255, 1}, {kBaudCodeOffset, 7, 255}, {kBaudCodeOffset, 255, 255},
                       {kBaudCodeOffset, 0, 0}};
    for (const Case& c : cases) {
        KeypadConfig record = ValidRecord();  // odd parity, two stop bits, baud code 6
        record.Settings[c.offset] = c.code;
        FakeView view;
        view.check(RadioButton::OddParity);
        UnpackConfig(record, view);
        EXPECT_EQ(view.baud == -1, c.offset == kBaudCodeOffset && c.packed == 255);  // no selection
        PackConfig(view, record);
        EXPECT_EQ(record.Settings[c.offset], c.packed) << c.offset << " " << int{c.code};
    }
}

}  // namespace
}  // namespace qb
