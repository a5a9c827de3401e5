// The text form of a configuration: written and read back without loss, and every wrong field refused by name.
#include "config/TextForm.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <variant>
#include <vector>

#include "config/DataFile.h"
#include "config/KeyTable.h"

namespace qb {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ReadText(const std::string& name) {
    std::ifstream in(std::string(QB_GOLDEN_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

KeypadConfig GoldenConfig() {
    const std::string file = ReadText("default.dat");
    const DecodeResult decoded = DecodeDataFile(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    EXPECT_TRUE(std::holds_alternative<KeypadConfig>(decoded)) << "golden file missing or damaged";
    return std::holds_alternative<KeypadConfig>(decoded) ? std::get<KeypadConfig>(decoded) : KeypadConfig{};
}

void PutText(KeypadConfig& config, int slot, std::string_view text) {
    std::uint8_t* s = Slot(config.Messages, static_cast<std::size_t>(slot));
    std::copy(text.begin(), text.end(), s);
    s[text.size()] = 0;
}

// Read over a record whose every byte is set: nothing of it may show through.
KeypadConfig Import(const std::string& json) {
    KeypadConfig config;
    config.Messages.fill(0xEE);
    std::string error;
    EXPECT_TRUE(ImportTextForm(json, config, error)) << error << "\n" << json;
    return config;
}

// The golden file's text form is the one checked in beside it, and reads back to the file byte for byte.
TEST(TextForm, GoldenFileThereAndBackByteForByte) {
    const std::string text = ExportTextForm(GoldenConfig());
    EXPECT_EQ(text, ReadText("default.json"));
    const Bytes file = EncodeDataFile(Import(text));
    const std::string golden = ReadText("default.dat");
    EXPECT_EQ(file, Bytes(golden.begin(), golden.end()));
}

// Every byte a setting, a legend or a message can hold, and codes beyond the lists, survive; bytes after a
// message's terminator carry nothing and come back as zeros.
TEST(TextForm, EveryMeaningfulByteSurvives) {
    const std::uint8_t codes[5][3] = {{0, 0, 1}, {6, 2, 2}, {7, 3, 0}, {255, 255, 255}, {3, 1, 9}};
    for (int round = 0; round < 16; ++round) {  // each legend byte once, each message byte many times
        KeypadConfig config = GoldenConfig();
        config.Messages.fill(0xA5);  // meaningless bytes everywhere after the terminators
        for (int k = 0; k < kKeyCount; ++k) {
            std::string message;
            for (int i = 0; i < 63; ++i) message += static_cast<char>(1 + (round * 16 * 63 + k * 63 + i) % 255);
            PutText(config, k, message.substr(0, static_cast<std::size_t>((k * 5 + round) % 64)));
            config.Settings[kLegendsOffset + k] = static_cast<std::uint8_t>(round * 16 + k);
        }
        for (std::size_t i = 0; i < 8; ++i) config.Settings[i] = static_cast<std::uint8_t>(1 + (i + round) % 8);
        config.Settings[kBaudCodeOffset] = codes[round % 5][0];
        config.Settings[kParityCodeOffset] = codes[round % 5][1];
        config.Settings[kStopBitsOffset] = codes[round % 5][2];

        const std::string text = ExportTextForm(config);
        for (const char* invisible : {"\x7F", "\xC2\x80", "\xC2\x9F"})  // DEL and C1 controls written as escapes
            EXPECT_EQ(text.find(invisible), std::string::npos) << round;
        const KeypadConfig back = Import(text);
        EXPECT_EQ(back.Settings, config.Settings) << round;
        for (std::size_t k = 0; k < kSlotCount; ++k) {
            EXPECT_EQ(SlotText(Slot(back.Messages, k)), SlotText(Slot(config.Messages, k))) << round << " " << k;
            const std::uint8_t* rest = Slot(back.Messages, k) + SlotText(Slot(back.Messages, k)).size();
            EXPECT_TRUE(std::all_of(rest, rest + (kSlotSize - (rest - Slot(back.Messages, k))),
                                    [](std::uint8_t b) { return b == 0; }));
        }
    }
}

// A person's edits: keys in another order, any character of the code page, 63 bytes that take 126 in UTF-8.
TEST(TextForm, ReadsWhatAPersonWrites) {
    std::string text = ExportTextForm(GoldenConfig());
    const auto swap = [&](const std::string& a, const std::string& b) {
        const auto at = text.find(a);
        text.replace(at, a.size(), b);
    };
    swap("{\"key\": \"1\", \"legend\": \"1\", \"message\": \"1\"}",
         "{\"message\": \"\\u00e9" + std::string(62, 'a') + "\", \"key\": \"D\", \"legend\": \"\\u20ac\"}");
    swap("{\"key\": \"D\", \"legend\": \"D\", \"message\": \"D\"}",
         "{\"key\": \"1\", \"legend\": \"\", \"message\": \"\\u00e9\\u00e9\\u00e9\\u00e9\\u00e9\\u00e9\\u00e9\"}");
    std::string longest = "\"message\": \"";
    for (int i = 0; i < 63; ++i) longest += "\xC3\xA9";  // é, two bytes in UTF-8 and one in the code page
    swap("\"message\": \"5\"", longest + "\"");

    const KeypadConfig config = Import(text);
    EXPECT_EQ(config.Settings[kLegendsOffset + 15], 0x80);  // € for key D
    EXPECT_EQ(config.Settings[kLegendsOffset + 0], 0);
    EXPECT_EQ(SlotText(Slot(config.Messages, 15)), "\xE9" + std::string(62, 'a'));
    EXPECT_EQ(SlotText(Slot(config.Messages, 0)), std::string(7, '\xE9'));
    EXPECT_EQ(SlotText(Slot(config.Messages, 5)), std::string(63, '\xE9'));
}

// Anything wrong is refused with the field it is in, and the record is left as it was.
TEST(TextForm, RefusesHostileTextNamingTheField) {
    const std::string good = ExportTextForm(GoldenConfig());
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const std::string key5 = "{\"key\": \"5\", \"legend\": \"5\", \"message\": \"5\"}";
    const auto k5 = [&](const std::string& legend, const std::string& message) {
        return with(key5, "{\"key\": \"5\", \"legend\": " + legend + ", \"message\": " + message + "}");
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "the text: not valid JSON"},
        {"[1, 2]", "the text: must be a JSON object"},
        {good + "x", "the text: not valid JSON"},
        {"\"\xFF\"", "the text: not valid JSON"},
        {std::string(100000, '[') + std::string(100000, ']'), "the text: must be a JSON object"},
        {std::string(kMaxTextFormSize + 1, ' '), "the text: "},
        {"{}", "format: missing"},
        {with("quillanterbrooke-config", "quillanterbrooke-backup"), "format: must be"},
        {with("\"version\": 1", "\"version\": 2"), "version: 2 is a later format"},
        {with("\"version\": 1", "\"version\": \"1\""), "version: must be a whole number"},
        {with("\"version\": 1,", ""), "version: missing"},
        {with("\"stopBits\": 1,", "\"stopBits\": 1, \"colour\": 3,"), "colour: unknown field"},
        {with("\"stopBits\": 1,", "\"stopBits\": 1, \"stopBits\": 2,"), "stopBits: given twice"},
        {with("\"stopBits\": 1,", ""), "stopBits: missing"},
        {with("\"stopBits\": 1", "\"stopBits\": 256"), "stopBits: 256 is out of range (0..255)"},
        {with("\"stopBits\": 1", "\"stopBits\": -1"), "stopBits: -1 is out of range"},
        {with("\"stopBits\": 1", "\"stopBits\": 1.0"), "stopBits: must be a whole number"},
        {with("\"stopBits\": 1", "\"stopBits\": 18446744073709551616"), "stopBits: must be a whole number"},
        {with("[1, 2, 3, 4]", "[1, 2, 3]"), "columnLines: must be a list of four"},
        {with("[1, 2, 3, 4]", "[1, 2, 9, 4]"), "columnLines[2]: 9 is out of range (1..8)"},
        {with("[5, 6, 7, 8]", "[0, 6, 7, 8]"), "rowLines[0]: 0 is out of range (1..8)"},
        {with("[5, 6, 7, 8]", "\"5678\""), "rowLines: must be a list"},
        {with("\"baudRate\": 19200", "\"baudRate\": 19201"), "baudRate: must be one of 1200,"},
        {with("\"baudRate\": 19200", "\"baudRate\": \"19200\""), "baudRate: must be one of"},
        {with("\"baudRate\": 19200", "\"baudRate\": 19200, \"baudCode\": 4"), "baudRate: give either"},
        {with("\"baudRate\": 19200,", ""), "baudRate: missing"},
        {with("\"baudRate\": 19200", "\"baudCode\": 300"), "baudCode: 300 is out of range"},
        {with("\"parity\": \"none\"", "\"parity\": \"mark\""), "parity: must be"},
        {with("\"parity\": \"none\"", "\"parityCode\": null"), "parityCode: must be a whole number"},
        {with(",\n    " + key5, ""), "keys: must be a list of all 16 keys, found a list of 15"},
        {with("\"keys\": [", "\"keys\": {\"a\": 1}, \"x\": ["), "x: unknown field"},
        {with(key5, "5"), "keys[5]: must be an object"},
        {with(key5, "{\"key\": \"6\", \"legend\": \"5\", \"message\": \"5\"}"),
         "keys[6].key: key \"6\" is given twice"},
        {with(key5, "{\"key\": \"E\", \"legend\": \"5\", \"message\": \"5\"}"), "keys[5].key: must name a key"},
        {with(key5, "{\"key\": \"5\", \"legend\": \"5\", \"message\": \"5\", \"row\": 2}"),
         "keys[5].row: unknown field"},
        {with(key5, "{\"key\": \"5\", \"message\": \"5\"}"), "keys[5].legend: missing"},
        {with(key5, "{\"key\": \"5\", \"legend\": \"5\", \"legend\": \"6\", \"message\": \"5\"}"),
         "keys[5].legend: given twice"},
        {k5("\"AB\"", "\"5\""), "keys[5] (key 5).legend: \"AB\" is more than one character"},
        {k5("5", "\"5\""), "keys[5] (key 5).legend: must be a text"},
        {k5("\"\\u0000\"", "\"5\""), "keys[5] (key 5).legend: holds U+0000"},
        {k5("\"\xF0\x9F\x98\x80\"", "\"5\""),
         "keys[5] (key 5).legend: \"\xF0\x9F\x98\x80\" (U+1F600) is not in the Windows-1252 code page"},
        {k5("\"5\"", "\"a\\u0100\""),
         "keys[5] (key 5).message: \"\xC4\x80\" (U+0100) is not in the Windows-1252 code page"},
        {k5("\"5\"", "\"\\u0080\""), "keys[5] (key 5).message: \"\\u0080\" (U+0080) is not in"},
        {k5("\"5\"", "\"a\\u0000b\""), "keys[5] (key 5).message: holds U+0000"},
        {k5("\"5\"", "[\"5\"]"), "keys[5] (key 5).message: must be a text"},
        {k5("\"5\"", "\"" + std::string(64, 'm') + "\""), "keys[5] (key 5).message: 64 bytes long"},
    };
    for (const auto& [text, expected] : cases) {
        KeypadConfig config = GoldenConfig();
        const KeypadConfig before = config;
        std::string error;
        EXPECT_FALSE(ImportTextForm(text, config, error)) << expected;
        EXPECT_EQ(error.substr(0, expected.size()), expected) << error;
        EXPECT_TRUE(config.Settings == before.Settings && config.Messages == before.Messages) << expected;
    }
}

}  // namespace
}  // namespace qb
