#include "config/Codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace qb {
namespace {

#ifndef _WIN32
// Elsewhere than on Windows the 8-bit texts are Windows-1252, as written by a Western European Windows.
TEST(Windows1252, EveryByteSurvivesARoundTripAndOtherCharactersBecomeQuestionMarks) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        ASSERT_EQ(FromAnsi(byte).size(), 1u) << b;
        EXPECT_EQ(ToAnsi(FromAnsi(byte)), byte) << b;
    }
    EXPECT_EQ(FromAnsi("A\x80\x8A\x9C\x9F"), u"A\u20AC\u0160\u0153\u0178");
    EXPECT_EQ(FromAnsi("\x81\x8D\x8F\x90\x9D\xA0\xE9\xFF"), u"\u0081\u008D\u008F\u0090\u009D\u00A0\u00E9\u00FF");
    EXPECT_EQ(ToAnsi(u"\u0080\u0082\u0100"), "???");  // C1 controls whose bytes stand for other characters
    EXPECT_EQ(ToAnsi(std::u16string{char16_t(0xD800), u'z', char16_t(0xDC00), char16_t(0xD800)}),
              "?z??");  // lone surrogate halves
}
#endif

}  // namespace
}  // namespace qb
