#include "core/support/UnicodeText.h"

#include <gtest/gtest.h>

namespace vela {

// Last graphemes are covered by the settings store's key hint.
TEST(UnicodeText, TrimmingTakesWhitespaceAtBothEndsOnlyOutsideTextIsValidUtf8WithoutNul) {
    EXPECT_EQ(trimmed("\u00a0\u0085 a \n b\u2028\u2029\r\n"), "a \n b");
    EXPECT_EQ(trimmed("\u200bx\u200b"), "\u200bx\u200b");  // a zero-width space is no whitespace
    EXPECT_EQ(toScalars("a\xff"
                        "b\xe3\x81"),
              U"a\uFFFDb\uFFFD");                                 // a byte, a truncated sequence
    EXPECT_EQ(toScalars("\xed\xa0\x80"), U"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(externalText(std::string("\0a\0b\xff\x01\0", 7)), "ab\uFFFD\x01");
    EXPECT_EQ(upperCased("space straße é 1"), "SPACE STRASSE É 1");
    EXPECT_EQ(firstGraphemes("a\U0001F1EF\U0001F1F5e\u0301", 2), "a\U0001F1EF\U0001F1F5");
}

}  // namespace vela
