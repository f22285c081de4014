#include "core/support/UnicodeText.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(UnicodeText, TrimmingRemovesTheWhitespaceAndNewlineSetAtBothEndsOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"  \t\nhello world\r\n ", "hello world"},
        {"\u3000\u00a0\u0085こんにちは\u2028\u2029", "こんにちは"},
        {" a \n b ", "a \n b"},
        {"\u200bx\u200b", "\u200bx\u200b"},  // a zero-width space is no whitespace
        {" \n\t\u3000", ""},
        {"", ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(trimmed(text), expected) << text;
}

TEST(UnicodeText, InvalidUtf8IsReadAsReplacementCharacters) {
    EXPECT_EQ(toScalars("a\xff"
                        "b"),
              U"a\uFFFDb");
    EXPECT_EQ(toScalars("\xe3\x81"), U"\uFFFD");                  // truncated sequence
    EXPECT_EQ(toScalars("\xed\xa0\x80"), U"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(fromScalars(toScalars("日本語😀")), "日本語😀");
    // Text from outside: valid UTF-8 and no NUL, everything else kept.
    EXPECT_EQ(externalText(std::string("\0a\0b\xff\x01\0", 7)), "ab\uFFFD\x01");
}

TEST(UnicodeText, UpperCasingIsFullAndCharactersAreGraphemeClusters) {
    EXPECT_EQ(upperCased("space straße é 1"), "SPACE STRASSE É 1");
    // A flag, a family emoji and a combining accent are one character each.
    const std::string text =
        "a\U0001F1EF\U0001F1F5\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301";
    EXPECT_EQ(graphemeClusters(text).size(), 4u);
    EXPECT_EQ(lastGraphemes(text, 2), "\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301");
    EXPECT_EQ(firstGraphemes(text, 2), "a\U0001F1EF\U0001F1F5");
    EXPECT_EQ(lastGraphemes("abc", 4), "abc");
    EXPECT_EQ(firstGraphemes("", 3), "");
}

}  // namespace
}  // namespace vela
