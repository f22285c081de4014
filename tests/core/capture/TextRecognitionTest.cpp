// Real recognition with Tesseract on images of text rendered at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/capture/TextProcessor.h"
#include "core/capture/VisionOCRService.h"
#include "tests/support/RenderedText.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using test::characterErrorRate;
using test::TextRendering;

// Clean rendered text must come back nearly exact: at most one misread character in the
// shortest paragraph here (33 characters; the Chinese model confuses "门" in "门口"). Small
// text (18 px, scaled up inside the recogniser) may lose one character more.
constexpr double kMaxCharacterErrorRate = 0.035;
constexpr double kMaxSmallTextCharacterErrorRate = 0.07;

// A desktop made of one image whose lower-left corner is the desktop origin.
class ImageScreen : public ScreenSource {
  public:
    explicit ImageScreen(PixelImage desktop) : desktop_(std::move(desktop)) {}
    bool granted = true;
    bool screenPresent = true;
    bool captureWorks = true;
    int captures = 0;

    bool preflightAccess() override { return granted; }
    bool requestAccess() override { return granted; }
    bool hasScreen() override { return screenPresent; }
    std::optional<PixelImage> capture(const Rect& r, std::uint32_t) override {
        ++captures;
        if (!captureWorks)
            return std::nullopt;
        const int top = desktop_.height - static_cast<int>(r.maxY());
        return desktop_.cropped(static_cast<int>(r.minX()), top, static_cast<int>(r.width()),
                                static_cast<int>(r.height()));
    }

  private:
    PixelImage desktop_;
};

struct Sample {
    const char* name;
    std::string_view font;
    std::vector<std::string> lines;
    std::string merged;
};

std::vector<Sample> samples() {
    return {
        {"English",
         test::kLatinFont,
         {"Reading a page of a new language every morning",
          "keeps the mind curious, and small daily", "habits slowly grow into skills that last."},
         "Reading a page of a new language every morning keeps the mind curious, and small daily "
         "habits slowly grow into skills that last."},
        {"Japanese",
         test::kJapaneseFont,
         {"駅前の小さな本屋には毎週金曜日に新しい", "絵本が届きます。子どもたちはその日を楽しみに",
          "待っています。"},
         "駅前の小さな本屋には毎週金曜日に新しい絵本が届きます。子どもたちはその日を楽しみに待って"
         "います。"},
        {"Chinese",
         test::kChineseFont,
         {"我们明天早上八点在图书馆门口见面然后", "一起去参加关于环境保护的讲座。"},
         "我们明天早上八点在图书馆门口见面然后一起去参加关于环境保护的讲座。"},
        {"Korean",
         test::kKoreanFont,
         {"우리는 내일 아침 여덟 시에 도서관 앞에서", "만나서 함께 환경 보호 강연을 들으러",
          "갑니다."},
         "우리는 내일 아침 여덟 시에 도서관 앞에서 만나서 함께 환경 보호 강연을 들으러 갑니다."},
    };
}

TEST(TextRecognition, RenderedParagraphsInFourLanguagesComeBackMerged) {
    test::TempDir dir;
    ImageScreen unused{PixelImage{}};
    VisionOCRService service(unused);
    for (const Sample& sample : samples()) {
        for (int pointSize : {26, 18}) {  // ordinary and small screen text
            SCOPED_TRACE(std::string(sample.name) + " at " + std::to_string(pointSize) + " px");
            TextRendering r;
            r.lines = sample.lines;
            r.font = sample.font;
            r.pointSize = pointSize;
            const PixelImage image = test::renderText(r, dir.path());
            // Small text is read from an enlarged copy, ordinary text as it is.
            if (pointSize >= 24) {
                EXPECT_EQ(TextRecognizer::shared().upscaleFactorFor(image), 1.0);
            } else {
                EXPECT_GT(TextRecognizer::shared().upscaleFactorFor(image), 1.2);
            }
            const std::string raw = service.recognizeText(image);
            const std::string merged = TextProcessor::smartMergeParagraphLines(raw);
            EXPECT_LE(characterErrorRate(sample.merged, merged),
                      pointSize >= 24 ? kMaxCharacterErrorRate : kMaxSmallTextCharacterErrorRate)
                << "raw:\n"
                << raw << "\nmerged:\n"
                << merged;
            // One line per rendered line, in order.
            EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n') + 1,
                      static_cast<long>(sample.lines.size()))
                << raw;
        }
    }
}

TEST(TextRecognition, LightTextOnADarkThemeIsRead) {
    test::TempDir dir;
    ImageScreen unused{PixelImage{}};
    VisionOCRService service(unused);
    TextRendering r;
    r.lines = {"Dark themes are common", "on modern desktops"};
    r.foreground = "#e8e8e8";
    r.background = "#202124";
    EXPECT_EQ(TextProcessor::smartMergeParagraphLines(
                  service.recognizeText(test::renderText(r, dir.path()))),
              "Dark themes are common on modern desktops");
    r.font = test::kJapaneseFont;
    r.lines = {"暗い背景の画面でも", "文字を読み取れます。"};
    EXPECT_LE(characterErrorRate("暗い背景の画面でも文字を読み取れます。",
                                 TextProcessor::smartMergeParagraphLines(
                                     service.recognizeText(test::renderText(r, dir.path())))),
              kMaxCharacterErrorRate);
}

TEST(TextRecognition, TwoColumnsAreReadAcrossEachBandAndParagraphsSplitAtGaps) {
    test::TempDir dir;
    ImageScreen unused{PixelImage{}};
    VisionOCRService service(unused);
    TextRendering left, right;
    left.lines = {"Left column starts", "and continues here", "", "Another paragraph"};
    right.lines = {"Right column begins", "with its second line", "", "Final words here"};
    const PixelImage image = test::renderColumns(left, right, 120, dir.path());
    const std::string merged =
        TextProcessor::smartMergeParagraphLines(service.recognizeText(image));
    // Lines level with each other share a band and read left to right.
    const std::string expected =
        "Left column starts Right column begins and continues here with its second line\n\n"
        "Another paragraph Final words here";
    EXPECT_LE(characterErrorRate(expected, merged), kMaxCharacterErrorRate) << merged;
}

TEST(TextRecognition, CaptureThroughAScreenSourceAndItsFailures) {
    test::TempDir dir;
    TextRendering r;
    r.lines = {"Capture this sentence"};
    r.pointSize = 22;
    r.border = 0;
    const PixelImage text = test::renderText(r, dir.path());
    // A 1000 x 600 white desktop with the text at pixel (300, 200) from the top left.
    PixelImage desktop = test::plainImage(1000, 600, 0xFFFFFF);
    for (int y = 0; y < text.height; ++y) {
        for (int x = 0; x < text.width; ++x) {
            desktop.pixels[static_cast<std::size_t>((200 + y) * 1000 + 300 + x)] = text.at(x, y);
        }
    }
    ImageScreen screen(desktop);
    VisionOCRService service(screen);
    // Desktop points with y upwards: the text's lower edge is 600 - 200 - height.
    const Rect around(290, 600 - 200 - text.height - 10, text.width + 20, text.height + 20);
    const OCRCaptureResult result = service.captureAndRecognize(around, 7);
    ASSERT_EQ(result.kind(), OCRCaptureResult::Kind::recognized);
    EXPECT_EQ(result.text(), "Capture this sentence");
    EXPECT_EQ(result.screenRect(), around);

    // An all-white region: every pass runs and finds nothing.
    const Rect blank(20, 20, 400, 120);
    EXPECT_EQ(service.recognizeText(desktop.cropped(20, 460, 400, 120)), "");
    EXPECT_EQ(service.captureAndRecognize(blank, 7), OCRCaptureResult::emptyText(blank));

    screen.captureWorks = false;
    EXPECT_EQ(service.captureAndRecognize(around, 7), OCRCaptureResult::permissionDenied());
    screen.screenPresent = false;
    const int capturesBefore = screen.captures;
    EXPECT_EQ(service.captureAndRecognize(around, 7), OCRCaptureResult::emptyText(around));
    screen.granted = false;
    EXPECT_FALSE(service.ensureScreenCapturePermission());
    EXPECT_EQ(service.captureAndRecognize(around, 7), OCRCaptureResult::permissionDenied());
    EXPECT_EQ(screen.captures, capturesBefore);  // nothing captured without a screen or access
}

TEST(TextRecognition, EnginesAreCreatedOnceAndShareableAcrossThreads) {
    test::TempDir dir;
    TextRendering r;
    r.lines = {"Threads share one engine"};
    const PixelImage image = test::renderText(r, dir.path());
    TextRecognizer recognizer;
    const RecognitionRequest english{{"en-US"}, false, true};
    EXPECT_EQ(recognizer.engineCount(), 0u);
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            auto lines = recognizer.recognize(image, english);
            if (lines && !lines->empty())
                results[i] = lines->front().candidates.front();
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(recognizer.engineCount(), 1u);
    for (const auto& text : results)
        EXPECT_EQ(text, "Threads share one engine");

    // Boxes are normalised with the origin at the lower left: one line in the middle.
    auto lines = recognizer.recognize(image, english);
    ASSERT_TRUE(lines && lines->size() == 1);
    const Rect box = lines->front().boundingBox;
    EXPECT_GT(box.minX(), 0.0);
    EXPECT_LT(box.maxX(), 1.0);
    EXPECT_NEAR(box.midY(), 0.5, 0.1);
    EXPECT_GT(box.height(), 0.2);

    // Unknown languages make the pass fail rather than guess.
    EXPECT_EQ(recognizer.recognize(image, {{"fr-FR"}, false, true}), std::nullopt);
    TextRecognizer missingModels(TextRecognizer::Options{.dataPath = dir.path()});
    EXPECT_EQ(missingModels.recognize(image, english), std::nullopt);
}

}  // namespace
}  // namespace vela
