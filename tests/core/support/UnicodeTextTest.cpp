#include "core/support/UnicodeText.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

TEST(UnicodeText, TrimsOnlyTheWhitespaceAndNewlineSetAtBothEnds) {
    EXPECT_EQ(trimmed("  \t\nhello world\r\n "), "hello world");
    // Ideographic space, NBSP, NEL, line and paragraph separators are trimmed too.
    EXPECT_EQ(trimmed("\u3000\u00a0\u0085こんにちは\u2028\u2029"), "こんにちは");
    // Inner whitespace stays; zero-width space is not whitespace.
    EXPECT_EQ(trimmed(" a \n b "), "a \n b");
    EXPECT_EQ(trimmed("\u200bx\u200b"), "\u200bx\u200b");
    EXPECT_EQ(trimmed(" \n\t\u3000"), "");
    EXPECT_EQ(trimmed(""), "");
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

TEST(UnicodeText, UpperCasingIsFullUnicode) {
    EXPECT_EQ(upperCased("space"), "SPACE");
    EXPECT_EQ(upperCased("straße"), "STRASSE");
    EXPECT_EQ(upperCased("é"), "É");
    EXPECT_EQ(upperCased("1"), "1");
}

TEST(UnicodeText, GraphemeClustersCountUserPerceivedCharacters) {
    // Flag, family emoji and a combining accent are one character each.
    std::string text = "a\U0001F1EF\U0001F1F5\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301";
    auto clusters = graphemeClusters(text);
    ASSERT_EQ(clusters.size(), 4u);
    EXPECT_EQ(clusters[3], "e\u0301");
    EXPECT_EQ(lastGraphemes(text, 2), "\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301");
    EXPECT_EQ(firstGraphemes(text, 2), "a\U0001F1EF\U0001F1F5");
    EXPECT_EQ(lastGraphemes("abc", 4), "abc");
    EXPECT_EQ(firstGraphemes("", 3), "");
}

}  // namespace
}  // namespace vela
