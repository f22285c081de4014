#include <gtest/gtest.h>

#include "core/capture/ReadingOrder.h"
#include "core/capture/VisionOCRService.h"

namespace vela {
namespace {

// A line of height `height` centred at `midY`, normalised to the image.
RecognizedLine line(const std::string& text, double minX, double midY, double height = 0.04) {
    return RecognizedLine{Rect(minX, midY - height / 2, 0.3, height), {text}};
}

using Lines = std::vector<std::string>;

std::vector<std::string> ordered(std::vector<RecognizedLine> lines, double aspect = 1) {
    sortIntoReadingOrder(lines);
    return linesWithParagraphBreaks(lines, aspect);
}

// Lines `pitch` apart from the top, starting at 0.05 or the given `minX`; an empty text
// leaves its line out.
std::vector<RecognizedLine> page(const std::vector<std::string>& texts, double pitch, double height,
                                 const std::vector<double>& minX = {}) {
    std::vector<RecognizedLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].empty())
            continue;  // a blank line's place
        lines.push_back(line(texts[i], i < minX.size() ? minX[i] : 0.05,
                             0.99 - pitch * static_cast<double>(i + 1), height));
    }
    return lines;
}

TEST(ReadingOrder, RowsAreLinesThatOverlapVertically) {
    // Overlapping lines (centres closer than half the smaller height) read left to right.
    EXPECT_EQ(ordered({line("right", 0.5, 0.50), line("left", 0.1, 0.515)}),
              (Lines{"left", "right"}));
    // Centres half a line apart do not overlap: the higher line comes first.
    EXPECT_EQ(ordered({line("left-low", 0.1, 0.50), line("right-high", 0.5, 0.52)}),
              (Lines{"right-high", "left-low"}));
    // Equal minX inside a row keeps the recogniser's order (stable).
    EXPECT_EQ(
        ordered({line("first", 0.2, 0.50), line("second", 0.2, 0.51), line("third", 0.2, 0.49)}),
        (Lines{"first", "second", "third"}));
    // Two columns: each row reads left then right.
    EXPECT_EQ(ordered({line("r2", 0.6, 0.64), line("r1", 0.6, 0.70), line("l2", 0.05, 0.645),
                       line("l1", 0.05, 0.71)}),
              (Lines{"l1", "r1", "l2", "r2"}));
    // A tall selection: lines 0.0199 of the image apart stay top to bottom, indented or
    // not, whatever order they come in.
    std::vector<std::string> texts;
    for (int i = 0; i < 48; ++i)
        texts.push_back("line " + std::to_string(i));
    std::vector<RecognizedLine> tall = page(texts, 0.0199, 0.014);
    tall[4].boundingBox.origin.x = 0.12;  // an indented first line opens a paragraph
    std::reverse(tall.begin(), tall.end());
    texts.insert(texts.begin() + 4, "");
    EXPECT_EQ(ordered(tall), texts);
}

TEST(ReadingOrder, ParagraphBreaksFromLayout) {
    struct Case {
        const char* name;
        std::vector<RecognizedLine> lines;
        Lines expected;
    };
    const std::vector<Case> cases{
        {"evenly spaced lines are one paragraph",
         page({"a", "b", "c", "d"}, 0.1, 0.07),
         {"a", "b", "c", "d"}},
        {"a gap of a blank line splits",
         page({"a", "b", "", "c", "d"}, 0.1, 0.07),
         {"a", "b", "", "c", "d"}},
        {"two lines a blank line apart", page({"a", "", "b"}, 0.2, 0.15), {"a", "", "b"}},
        {"an indented first line opens a paragraph",
         page({"a", "b", "c", "d"}, 0.05, 0.035, {0.05, 0.05, 0.1, 0.05}),
         {"a", "b", "", "c", "d"}},
        {"list items split, their hanging indent does not",
         page({"1. one", "2. two", "wraps", "3. three"}, 0.05, 0.035, {0.05, 0.05, 0.09, 0.05}),
         {"1. one", "", "2. two", "wraps", "", "3. three"}},
        {"side-by-side fragments stay on one row",
         {line("left", 0.05, 0.8), line("right", 0.6, 0.8), line("next", 0.05, 0.74)},
         {"left", "right", "next"}},
        {"lines without candidates add nothing, empty candidates stay",
         {line("a", 0.1, 0.9), RecognizedLine{Rect(0, 0.5, 1, 0.04), {}}, line("", 0.1, 0.85),
          line("b", 0.1, 0.8)},
         {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ordered(c.lines), c.expected);
    }
}

}  // namespace
}  // namespace vela
