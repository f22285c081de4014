#include "core/capture/TextProcessor.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using TextProcessor::smartMergeParagraphLines;

TEST(SmartMerge, HyphenatedLineEndsJoinWithoutTheHyphen) {
    EXPECT_EQ(smartMergeParagraphLines("Hello-\nworld"), "Helloworld");
    EXPECT_EQ(smartMergeParagraphLines("well--\nknown"), "well-- known");
    EXPECT_EQ(smartMergeParagraphLines("co-\nop-\neration"), "cooperation");
    // Nothing about the next line is looked at: case and digits do not matter.
    EXPECT_EQ(smartMergeParagraphLines("A-\nB"), "AB");
    EXPECT_EQ(smartMergeParagraphLines("1990-\n2000"), "19902000");
    // A trailing hyphen followed by spaces is still a line-end hyphen after trimming.
    EXPECT_EQ(smartMergeParagraphLines("data-  \n  base"), "database");
    // Hyphenation wins over the ideograph rule.
    EXPECT_EQ(smartMergeParagraphLines("日本-\n語"), "日本語");
}

TEST(SmartMerge, IdeographsAndKanaJoinDirectlyEverythingElseWithASpace) {
    EXPECT_EQ(smartMergeParagraphLines("日本\n語"), "日本語");
    EXPECT_EQ(smartMergeParagraphLines("カタ\nカナ"), "カタカナ");
    EXPECT_EQ(smartMergeParagraphLines("ひら\nがな"), "ひらがな");
    EXPECT_EQ(smartMergeParagraphLines("ラー\nメン"), "ラーメン");  // U+30FC is in range
    EXPECT_EQ(smartMergeParagraphLines("𠀋\n語"), "𠀋 語");         // Extension B is not
    EXPECT_EQ(smartMergeParagraphLines("㐀\n㐁"), "㐀㐁");          // Extension A is
    EXPECT_EQ(smartMergeParagraphLines("日本。\n語"), "日本。 語");
    EXPECT_EQ(smartMergeParagraphLines("日本\n、語"), "日本 、語");
    EXPECT_EQ(smartMergeParagraphLines("全角\nＡ"), "全角 Ａ");
    EXPECT_EQ(smartMergeParagraphLines("abc\n日本"), "abc 日本");
    EXPECT_EQ(smartMergeParagraphLines("日本\nabc"), "日本 abc");
    EXPECT_EQ(smartMergeParagraphLines("안녕하세요\n세계"), "안녕하세요 세계");
    EXPECT_EQ(smartMergeParagraphLines("中文\n句子\n继续"), "中文句子继续");
    // The whole last character counts: kana with a combining voiced mark still joins.
    EXPECT_EQ(smartMergeParagraphLines("か\u3099\nな"), "か\u3099な");
}

TEST(SmartMerge, BlankLineRunsBecomeOneParagraphBreak) {
    EXPECT_EQ(smartMergeParagraphLines("a\n\n\nb"), "a\n\nb");
    EXPECT_EQ(smartMergeParagraphLines("a\n \t \n\u3000\nb\nc"), "a\n\nb c");
    EXPECT_EQ(smartMergeParagraphLines("\n\n  first\nline\n\nsecond\n\n\n"),
              "first line\n\nsecond");
    EXPECT_EQ(smartMergeParagraphLines(" \n\t\n  \n"), "");
    EXPECT_EQ(smartMergeParagraphLines(""), "");
    EXPECT_EQ(smartMergeParagraphLines("\u2028\u3000\u0085"), "");
}

TEST(SmartMerge, CarriageReturnsActLikeLineFeeds) {
    EXPECT_EQ(smartMergeParagraphLines("one\r\ntwo\rthree\n\r\nfour"), "one two three\n\nfour");
    EXPECT_EQ(smartMergeParagraphLines("a\r\rb"), "a\n\nb");
    EXPECT_EQ(smartMergeParagraphLines("Hello-\r\nworld"), "Helloworld");
}

TEST(SmartMerge, LineEndsLoseSpacesAndTabsButInnerSpacesStay) {
    EXPECT_EQ(smartMergeParagraphLines("\t two  words \t\n\u00A0next\u3000line\u2003"),
              "two  words next\u3000line");
    // Only spaces and tabs are trimmed per line; other line breaks stay inside a line.
    EXPECT_EQ(smartMergeParagraphLines("a\u2028\nb"), "a\u2028 b");
}

TEST(CaptureRect, AtLeastTenByTenPoints) {
    EXPECT_TRUE(TextProcessor::isValidCaptureRect(10, 10));
    EXPECT_TRUE(TextProcessor::isValidCaptureRect(500, 10));
    EXPECT_FALSE(TextProcessor::isValidCaptureRect(9.99, 100));
    EXPECT_FALSE(TextProcessor::isValidCaptureRect(9, 200));
    EXPECT_FALSE(TextProcessor::isValidCaptureRect(100, 9.99));
    EXPECT_FALSE(TextProcessor::isValidCaptureRect(0, 0));
}

TEST(ClampWindowOrigin, BesideBelowAndKeptInsideTheVisibleFrame) {
    using TextProcessor::clampWindowOrigin;
    const Rect visible(0, 0, 1440, 875);
    const Size panel{400, 300};
    // Right of the selection, tops level.
    EXPECT_EQ(clampWindowOrigin(Rect(100, 500, 200, 50), panel, visible, 12), (Point{312, 250}));
    // Exactly touching the right edge still counts as beside (1028 + 12 + 400 = 1440), then
    // the 8-point margin pulls it in.
    EXPECT_EQ(clampWindowOrigin(Rect(828, 500, 200, 50), panel, visible, 12), (Point{1032, 250}));
    // One point further: below the selection, left edges level.
    EXPECT_EQ(clampWindowOrigin(Rect(829, 500, 200, 50), panel, visible, 12), (Point{829, 188}));
    // Below would leave the frame at the bottom: pushed up to the margin.
    EXPECT_EQ(clampWindowOrigin(Rect(1200, 100, 200, 50), panel, visible, 12), (Point{1032, 8}));
    // Near the top: the preferred place is pulled down below the top margin.
    EXPECT_EQ(clampWindowOrigin(Rect(100, 800, 200, 70), panel, visible, 12), (Point{312, 567}));
    // Entirely left of or below the frame: clamped to the lower-left margin corner.
    EXPECT_EQ(clampWindowOrigin(Rect(-900, -900, 100, 100), panel, visible, 12), (Point{8, 8}));
    // A window larger than the frame sits on the lower-left margin corner.
    EXPECT_EQ(clampWindowOrigin(Rect(100, 500, 200, 50), Size{2000, 1000}, visible, 12),
              (Point{8, 8}));
    // A second screen to the right of the primary one, with an offset origin.
    EXPECT_EQ(clampWindowOrigin(Rect(1600, 300, 100, 100), panel, Rect(1440, 100, 1920, 1080), 12),
              (Point{1712, 108}));
    // Halves round away from zero, also for negative coordinates.
    EXPECT_EQ(clampWindowOrigin(Rect(100.5, 500.5, 200, 50), panel, visible, 12),
              (Point{313, 251}));
    EXPECT_EQ(
        clampWindowOrigin(Rect(-2000.5, -500.5, 200, 50), panel, Rect(-3000, -1000, 1440, 875), 12),
        (Point{-2001, -813}));
}

TEST(CJKOrKana, RangesAndNeighbours) {
    using TextProcessor::isCJKOrKana;
    for (const char* yes : {"\u3040", "あ", "ア", "\u30FF", "ー", "\u3400", "\u4DBF", "\u4E00",
                            "語", "\u9FFF", "か\u3099"}) {
        EXPECT_TRUE(isCJKOrKana(yes)) << yes;
    }
    for (const char* no : {"", "a", "。", "、", "\u303F", "\u3000", "\uA000", "\u4DC0", "Ａ", "ｱ",
                           "한", "𠀋", "\u33FF"}) {
        EXPECT_FALSE(isCJKOrKana(no)) << no;
    }
}

}  // namespace
}  // namespace vela
