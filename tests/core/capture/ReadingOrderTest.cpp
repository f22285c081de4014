#include "core/capture/ReadingOrder.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using Lines = std::vector<std::string>;

// A line of height `height` centred at `midY`, normalised to the image.
RecognizedLine line(const std::string& text, double minX, double midY, double height = 0.04) {
    return RecognizedLine{Rect(minX, midY - height / 2, 0.3, height), {text}};
}

// Lines `pitch` apart from the top, at x 0.05 unless `minX` says otherwise; an empty text
// leaves its line's place blank.
std::vector<RecognizedLine> page(const Lines& texts, double pitch, double height,
                                 const std::vector<double>& minX = {}) {
    std::vector<RecognizedLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i].empty())
            lines.push_back(line(texts[i], i < minX.size() ? minX[i] : 0.05,
                                 0.99 - pitch * static_cast<double>(i + 1), height));
    }
    return lines;
}

TEST(ReadingOrder, RowsTopToBottomLeftToRightWithParagraphBreaks) {
    struct Case {
        const char* name;
        std::vector<RecognizedLine> lines;
        Lines expected;
    };
    std::vector<Case> cases{
        {"centres closer than half a line share a row",
         {line("right", 0.5, 0.50), line("left", 0.1, 0.515)},
         {"left", "right"}},
        {"half a line apart: the higher first",
         {line("left-low", 0.1, 0.50), line("right-high", 0.5, 0.52)},
         {"right-high", "left-low"}},
        {"equal x in a row keeps the recogniser's order",
         {line("first", 0.2, 0.50), line("second", 0.2, 0.51), line("third", 0.2, 0.49)},
         {"first", "second", "third"}},
        {"two columns read across each row",
         {line("r2", 0.6, 0.64), line("r1", 0.6, 0.70), line("l2", 0.05, 0.645),
          line("l1", 0.05, 0.71)},
         {"l1", "r1", "l2", "r2"}},
        {"the gap of a blank line splits",
         page({"a", "b", "", "c", "d"}, 0.1, 0.07),
         {"a", "b", "", "c", "d"}},
        {"an indented first line opens a paragraph",
         page({"a", "b", "c", "d"}, 0.05, 0.035, {0.05, 0.05, 0.1, 0.05}),
         {"a", "b", "", "c", "d"}},
        {"list items split, their hanging indent does not",
         page({"1. one", "2. two", "wraps", "3. three"}, 0.05, 0.035, {0.05, 0.05, 0.09, 0.05}),
         {"1. one", "", "2. two", "wraps", "", "3. three"}},
        {"CJK list marks split, a number inside a line or a bare one does not",
         page({"前", "1．一", "２、二", "一、三", "（4）四", "①五", "2024年", "3.5 倍"}, 0.05,
              0.035),
         {"前", "", "1．一", "", "２、二", "", "一、三", "", "（4）四", "", "①五", "2024年",
          "3.5 倍"}},
        {"lines without candidates add nothing, empty candidates stay",
         {line("a", 0.1, 0.9), RecognizedLine{Rect(0, 0.5, 1, 0.04), {}}, line("", 0.1, 0.85),
          line("b", 0.1, 0.8)},
         {"a", "", "b"}},
    };

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        sortIntoReadingOrder(c.lines);
        EXPECT_EQ(linesWithParagraphBreaks(c.lines, 1.0), c.expected);
    }
}

}  // namespace
}  // namespace vela
