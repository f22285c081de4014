#include <gtest/gtest.h>

#include "core/capture/ReadingOrder.h"
#include "core/capture/VisionOCRService.h"

namespace vela {
namespace {

RecognizedLine line(const std::string& text, double minX, double midY) {
    return RecognizedLine{Rect(minX, midY, 0.1, 0), {text}};
}

std::vector<std::string> ordered(std::vector<RecognizedLine> lines) {
    sortIntoReadingOrder(lines);
    return linesWithParagraphBreaks(lines, 1);
}

using Lines = std::vector<std::string>;

TEST(ReadingOrder, TopToBottomThenLeftToRightWithinABand) {
    // Centres exactly 0.025 apart share a band and go left to right.
    EXPECT_EQ(ordered({line("right-low", 0.5, 0.0), line("left-high", 0.1, 0.025)}),
              (Lines{"left-high", "right-low"}));
    EXPECT_EQ(ordered({line("left-low", 0.1, 0.0), line("right-high", 0.5, 0.025)}),
              (Lines{"left-low", "right-high"}));
    // 0.0251 apart: the higher one comes first, wherever it starts.
    EXPECT_EQ(ordered({line("left-low", 0.1, 0.0), line("right-high", 0.5, 0.0251)}),
              (Lines{"right-high", "left-low"}));
    // Equal minX inside a band keeps the recogniser's order (stable).
    EXPECT_EQ(
        ordered({line("first", 0.2, 0.50), line("second", 0.2, 0.51), line("third", 0.2, 0.49)}),
        (Lines{"first", "second", "third"}));
    // A page: three lines top to bottom, given bottom first.
    EXPECT_EQ(ordered({line("c", 0.1, 0.2), line("b", 0.1, 0.5), line("a", 0.1, 0.8)}),
              (Lines{"a", "b", "c"}));
    // Two columns: each row band reads left then right.
    EXPECT_EQ(ordered({line("r2", 0.6, 0.4), line("r1", 0.6, 0.7), line("l2", 0.05, 0.41),
                       line("l1", 0.05, 0.71)}),
              (Lines{"l1", "r1", "l2", "r2"}));
}

TEST(ReadingOrder, LinesWithoutCandidatesAddNothingEmptyCandidatesStay) {
    std::vector<RecognizedLine> lines{line("a", 0.1, 0.9), RecognizedLine{Rect(0, 0.5, 1, 0), {}},
                                      line("", 0.1, 0.4), line("b", 0.1, 0.1)};
    EXPECT_EQ(ordered(lines), (Lines{"a", "", "b"}));
}

TEST(RecognitionPasses, FirstPassDetectsThenThreeFixedFallbacks) {
    const auto passes = VisionOCRService::recognitionPasses();
    ASSERT_EQ(passes.size(), 4u);
    EXPECT_EQ(passes[0].recognitionLanguages, (Lines{"ja-JP", "en-US", "zh-Hans", "ko-KR"}));
    EXPECT_TRUE(passes[0].automaticallyDetectsLanguage);
    EXPECT_EQ(passes[1].recognitionLanguages, (Lines{"ja-JP", "en-US"}));
    EXPECT_EQ(passes[2].recognitionLanguages, (Lines{"en-US"}));
    EXPECT_EQ(passes[3].recognitionLanguages, (Lines{"zh-Hans", "en-US"}));
    for (std::size_t i = 0; i < passes.size(); ++i) {
        EXPECT_TRUE(passes[i].usesLanguageCorrection);
        if (i > 0) {
            EXPECT_FALSE(passes[i].automaticallyDetectsLanguage);
        }
    }
    EXPECT_EQ(tesseractLanguageCode("ja-JP"), "jpn");
    EXPECT_EQ(tesseractLanguageCode("en-US"), "eng");
    EXPECT_EQ(tesseractLanguageCode("zh-Hans"), "chi_sim");
    EXPECT_EQ(tesseractLanguageCode("ko-KR"), "kor");
    EXPECT_EQ(tesseractLanguageCode("ja"), std::nullopt);
}

}  // namespace
}  // namespace vela
