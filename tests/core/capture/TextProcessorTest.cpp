#include "core/capture/TextProcessor.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vela {
namespace {

using namespace TextProcessor;

TEST(TextProcessor, SmartMergeRebuildsParagraphs) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        // An end-of-line hyphen (not "--") joins directly, whatever follows it.
        {"Hello-\nworld", "Helloworld"},
        {"well--\nknown", "well-- known"},
        {"co-\nop-\neration", "cooperation"},
        {"data-  \n  base", "database"},
        // Kana and CJK ideographs on both sides join directly, anything else with a space.
        {"中文\n句子\n继续", "中文句子继续"},
        {"か\u3099\nな", "か\u3099な"},  // the whole last character counts
        {"abc\n日本", "abc 日本"},
        {"日本\nabc", "日本 abc"},
        // Runs of blank lines are one paragraph break; CR and CRLF are line feeds.
        {"a\n \t \n\u3000\nb\nc", "a\n\nb c"},
        {"\n\n  first\nline\n\nsecond\n\n\n", "first line\n\nsecond"},
        {" \n\t\n  \n", ""},
        {"\u2028\u3000\u0085", ""},
        {"one\r\ntwo\rthree\n\r\nfour", "one two three\n\nfour"},
        {"Hello-\r\nworld", "Helloworld"},
        // Lines lose spaces and tabs at their ends only.
        {"\t two  words \t\n\u00A0next\u3000line\u2003", "two  words next\u3000line"},
        {"a\u2028\nb", "a\u2028 b"},
    };
    for (const auto& [lines, merged] : cases)
        EXPECT_EQ(smartMergeParagraphLines(lines), merged) << lines;
    // The edges of the kana and ideograph ranges, and neighbours outside them.
    for (const std::string c :
         {"\u3040", "ア", "ー", "\u30FF", "\u3400", "\u4DBF", "\u4E00", "\u9FFF"})
        EXPECT_EQ(smartMergeParagraphLines(c + "\n" + c), c + c) << c;
    for (const std::string c :
         {"。", "\u303F", "\u33FF", "\u4DC0", "\uA000", "𠀋", "Ａ", "ｱ", "ㄱ", "한"})
        EXPECT_EQ(smartMergeParagraphLines(c + "\n" + c), c + " " + c) << c;
}

TEST(TextProcessor, SelectionSizeAndPanelPlacement) {
    EXPECT_TRUE(isValidCaptureRect(10, 10) && isValidCaptureRect(500, 10));
    EXPECT_FALSE(isValidCaptureRect(9.99, 100) || isValidCaptureRect(100, 9.99));

    const Rect frame(0, 0, 1440, 875);
    const Size panel{400, 300};
    const std::vector<std::tuple<Rect, Size, Rect, Point>> cases = {
        {Rect(100, 500, 200, 50), panel, frame, {312, 250}},   // beside, tops level
        {Rect(828, 500, 200, 50), panel, frame, {1032, 250}},  // just fits beside, then margin
        {Rect(829, 500, 200, 50), panel, frame, {829, 188}},   // below, left edges level
        {Rect(1200, 100, 200, 50), panel, frame, {1032, 8}},   // pushed up to the margin
        {Rect(100, 800, 200, 70), panel, frame, {312, 567}},   // pulled below the top margin
        {Rect(-900, -900, 100, 100), panel, frame, {8, 8}},
        {Rect(100, 500, 200, 50), Size{2000, 1000}, frame, {8, 8}},  // larger than the frame
        {Rect(1600, 300, 100, 100), panel, Rect(1440, 100, 1920, 1080), {1712, 108}},
        {Rect(100.5, 500.5, 200, 50), panel, frame, {313, 251}},  // halves away from zero
        {Rect(-2000.5, -500.5, 200, 50), panel, Rect(-3000, -1000, 1440, 875), {-2001, -813}},
    };
    for (const auto& [selection, size, visible, origin] : cases) {
        SCOPED_TRACE(selection.minX());
        EXPECT_EQ(clampWindowOrigin(selection, size, visible, 12), origin);
    }
}

}  // namespace
}  // namespace vela
