#include "config/Codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace qb {
namespace {

TEST(Codepage, AsciiPassesBothWays) {
    const std::string ascii = "Hello \\0D\\0A ~!";
    EXPECT_EQ(FromAnsi(ascii), u"Hello \\0D\\0A ~!");
    EXPECT_EQ(ToAnsi(u"Hello \\0D\\0A ~!"), ascii);
    EXPECT_EQ(ToAnsi(u""), "");
    EXPECT_EQ(FromAnsi(""), u"");
    // A zero inside the text is a character like any other here.
    EXPECT_EQ(ToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Codepage, CutKeepsShortTextsAndCutsLongOnes) {
    EXPECT_EQ(CutToWholeCharacters("abc", 63), "abc");
    EXPECT_EQ(CutToWholeCharacters(std::string(63, 'x'), 63), std::string(63, 'x'));
    EXPECT_EQ(CutToWholeCharacters(std::string(64, 'x'), 63), std::string(63, 'x'));
    EXPECT_EQ(CutToWholeCharacters("", 63), "");
}

#ifndef _WIN32
// Elsewhere than on Windows the 8-bit texts are Windows-1252, as written by a Western European Windows.

TEST(Windows1252, EveryByteSurvivesARoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::u16string wide = FromAnsi(byte);
        ASSERT_EQ(wide.size(), 1u) << b;
        EXPECT_EQ(ToAnsi(wide), byte) << b;
    }
}

TEST(Windows1252, MapsTheUpperHalfLikeWindows) {
    EXPECT_EQ(FromAnsi("\x80"), u"\u20AC");
    EXPECT_EQ(FromAnsi("\x8A\x9C\x9F"), u"\u0160\u0153\u0178");
    EXPECT_EQ(FromAnsi("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(FromAnsi("\xA0\xE9\xFF"), u"\u00A0\u00E9\u00FF");
    EXPECT_EQ(ToAnsi(u"\u20AC\u2122\u00E9"), "\x80\x99\xE9");
}

TEST(Windows1252, UnrepresentableCharactersBecomeOneQuestionMarkEach) {
    EXPECT_EQ(ToAnsi(u"a\u0100b"), "a?b");
    EXPECT_EQ(ToAnsi(u"\u4E2D\u6587"), "??");
    EXPECT_EQ(ToAnsi(u"\u0080\u0082"), "??");   // C1 controls whose bytes stand for other characters
    EXPECT_EQ(ToAnsi(u"x\U0001F600y"), "x?y");  // a surrogate pair is one character
    EXPECT_EQ(ToAnsi(std::u16string(1, char16_t(0xD800)) + u"z"), "?z");
    EXPECT_EQ(ToAnsi(std::u16string(1, char16_t(0xDC00))), "?");
    EXPECT_EQ(ToAnsi(std::u16string(1, char16_t(0xD800))), "?");
}
#endif

}  // namespace
}  // namespace qb
