// The field-by-field diff, and how settings without a valid baud rate are shown and refused.
#include "config/ConfigDiff.h"

#include <gtest/gtest.h>

#include "config/KeyTable.h"
#include "config/SettingsText.h"

namespace qb {
namespace {

KeypadConfig Defaults() {
    KeypadConfig config;
    config.Settings = kDefaultSettings;
    for (const KeyInfo& key : kKeys) {
        Slot(config.Messages, static_cast<std::size_t>(key.slot))[0] = static_cast<std::uint8_t>(key.legend);
    }
    return config;
}

void PutText(KeypadConfig& config, int slot, std::string_view text) {
    std::uint8_t* s = Slot(config.Messages, static_cast<std::size_t>(slot));
    std::copy(text.begin(), text.end(), s);
    s[text.size()] = 0;
}

TEST(ConfigDiff, AgreeingConfigurationsGiveNothingWhateverFollowsTheTerminators) {
    KeypadConfig a = Defaults();
    KeypadConfig b = Defaults();
    PutText(a, 3, "long text\\0D");
    PutText(a, 3, "x");
    PutText(b, 3, "x");
    b.Messages[kMessagesSize - 1] = 0x77;
    EXPECT_TRUE(DiffConfigs(a, b).empty());
}

TEST(ConfigDiff, EachKindOfFieldOnALineOfItsOwn) {
    const KeypadConfig a = Defaults();
    KeypadConfig b = Defaults();
    b.Settings[kColumnLinesOffset + 2] = 7;
    b.Settings[kRowLinesOffset + 0] = 6;
    b.Settings[kBaudCodeOffset] = 255;
    b.Settings[kParityCodeOffset] = 1;
    b.Settings[kStopBitsOffset] = 2;
    b.Settings[kLegendsOffset + 5] = 'X';    // key 5
    b.Settings[kLegendsOffset + 12] = 0;     // key *
    b.Settings[kLegendsOffset + 15] = 0xE9;  // key D
    PutText(b, 0, "A\\0D\xE9\"");            // key 1, as typed: escapes untranslated
    PutText(b, 15, "");                      // key D
    PutText(b, 4, "\x05");                   // key 2: a raw control byte, as only a foreign file holds
    EXPECT_EQ(DiffConfigs(a, b), (std::vector<std::string>{
                                     "Line of column 3: 3 -> 7",
                                     "Line of row 1: 5 -> 6",
                                     "Baud rate: 19200 -> none (code 255)",
                                     "Parity: none -> even",
                                     "Stop bits: 1 -> 2",
                                     "Message of key 1: \"1\" -> \"A\\0D\xC3\xA9\"\"",
                                     "Message of key 2: \"2\" -> \"\\05\"",
                                     "Legend of key 5: \"5\" -> \"X\"",
                                     "Legend of key *: \"*\" -> none",
                                     "Legend of key D: \"D\" -> \"\xC3\xA9\"",
                                     "Message of key D: \"D\" -> \"\"",
                                 }));

    // A raw byte and its typed escape look alike: their bytes tell them apart.
    KeypadConfig typed = b;
    PutText(typed, 4, "\\05");
    EXPECT_EQ(DiffConfigs(b, typed), std::vector<std::string>{"Message of key 2: bytes 05 -> bytes 5C3035"});
}

// A baud code beyond the list selects no rate: shown as such, and refused for a write.
TEST(SettingsText, BaudCodeBeyondTheListIsNoRate) {
    SettingsBlock settings = kDefaultSettings;
    for (const auto& [code, shown, valid] : {std::tuple{0, "1200", true},
                                             {6, "57600", true},
                                             {7, "none (code 7)", false},
                                             {255, "none (code 255)", false}}) {
        settings[kBaudCodeOffset] = static_cast<std::uint8_t>(code);
        EXPECT_EQ(DescribeSettings(settings)[2].value, shown);
        EXPECT_EQ(BaudCodeValid(settings), valid) << code;
    }
}

}  // namespace
}  // namespace qb
