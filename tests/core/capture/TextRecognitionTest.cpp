// Real recognition with Tesseract on images of text rendered at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/capture/TextProcessor.h"
#include "core/capture/VisionOCRService.h"
#include "core/support/UnicodeText.h"
#include "tests/support/RenderedText.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using test::characterErrorRate;
using test::TextRendering;

// Clean rendered text must come back nearly exact: at most one misread character in the
// shortest sample here (26 characters; the Chinese model confuses "门" in "门口").
constexpr double kMaxCharacterErrorRate = 0.04;

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
    int pointSize;
    std::vector<std::string> lines;  // "" leaves a blank line
    std::string merged;
    bool dark = false;
};

// Screens in each language and mixed, small and large, light and dark, and paragraphs.
std::vector<Sample> samples() {
    return {
        {"English",
         test::kLatinFont,
         26,
         {"Reading a page of a new language every morning",
          "keeps the mind curious, and small daily", "habits slowly grow into skills that last."},
         "Reading a page of a new language every morning keeps the mind curious, and small daily "
         "habits slowly grow into skills that last."},
        {"small English",
         test::kLatinFont,
         13,
         {"Small print on a crowded toolbar"},
         "Small print on a crowded toolbar"},
        {"Japanese with its final full stop",
         test::kJapaneseFont,
         26,
         {"駅前の小さな本屋には毎週金曜日に新しい", "絵本が届きます。子どもたちはその日を楽しみに",
          "待っています。"},
         "駅前の小さな本屋には毎週金曜日に新しい絵本が届きます。子どもたちはその日を楽しみに待って"
         "います。"},
        {"small Japanese",
         test::kJapaneseFont,
         18,
         {"小さな文字でも正しく読めます。"},
         "小さな文字でも正しく読めます。"},
        {"Chinese",
         test::kChineseFont,
         26,
         {"我们明天早上八点在图书馆门口见面然后", "一起去参加关于环境保护的讲座。"},
         "我们明天早上八点在图书馆门口见面然后一起去参加关于环境保护的讲座。"},
        {"Korean at 28 px",
         test::kKoreanFont,
         28,
         {"우리는 내일 아침 여덟 시에 도서관 앞에서", "만나서 함께 환경 보호 강연을 들으러",
          "갑니다."},
         "우리는 내일 아침 여덟 시에 도서관 앞에서 만나서 함께 환경 보호 강연을 들으러 갑니다."},
        {"Chinese with English words",
         test::kChineseFont,
         24,
         {"打开 Firefox 以后，在 Preferences 里修改主页。"},
         "打开 Firefox 以后，在 Preferences 里修改主页。"},
        {"Japanese with English labels",
         test::kJapaneseFont,
         22,
         {"Wi-Fi がオフの場合は Network 設定を開いて", "Connect を押してください。"},
         "Wi-Fi がオフの場合は Network 設定を開いて Connect を押してください。"},
        {"Korean with English names",
         test::kKoreanFont,
         24,
         {"Chrome 에서 Gmail 계정으로 로그인하세요."},
         "Chrome 에서 Gmail 계정으로 로그인하세요."},
        {"dark English",
         test::kLatinFont,
         24,
         {"Dark themes are common", "on modern desktops"},
         "Dark themes are common on modern desktops",
         true},
        {"dark Japanese",
         test::kJapaneseFont,
         24,
         {"暗い背景の画面でも", "文字を読み取れます。"},
         "暗い背景の画面でも文字を読み取れます。",
         true},
        {"two paragraphs stay two",
         test::kLatinFont,
         22,
         {"A heading line", "", "The text below it wraps over", "two lines of the window."},
         "A heading line\n\nThe text below it wraps over two lines of the window."},
    };
}

TEST(TextRecognition, RenderedScreensComeBackMergedInReadingOrder) {
    test::TempDir dir;
    ImageScreen unused{PixelImage{}};
    VisionOCRService service(unused);
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(std::string(sample.name) + " at " + std::to_string(sample.pointSize) + " px");
        TextRendering r;
        r.lines = sample.lines;
        r.font = sample.font;
        r.pointSize = sample.pointSize;
        if (sample.dark) {
            r.foreground = "#e8e8e8";
            r.background = "#202124";
        }
        const PixelImage image = test::renderText(r, dir.path());
        // Small text is read from an enlarged copy, ordinary text as it is.
        EXPECT_EQ(TextRecognizer::shared().upscaleFactorFor(image) > 1.2, sample.pointSize < 20);
        const std::string raw = service.recognizeText(image);
        const std::string merged = TextProcessor::smartMergeParagraphLines(raw);
        EXPECT_LE(characterErrorRate(sample.merged, merged), kMaxCharacterErrorRate)
            << "raw:\n"
            << raw << "\nmerged:\n"
            << merged;
        // Nothing lost at the end (a sentence's final "。"), one line per rendered line.
        EXPECT_EQ(lastGraphemes(merged, 1), lastGraphemes(sample.merged, 1));
        EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'),
                  static_cast<long>(sample.lines.size()) - 1)
            << raw;
    }
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

    // An all-white region has no text, and no engine is even created to look for it.
    const Rect blank(20, 20, 400, 120);
    TextRecognizer fresh;
    VisionOCRService blankService(screen, fresh);
    EXPECT_EQ(blankService.captureAndRecognize(blank, 7), OCRCaptureResult::emptyText(blank));
    EXPECT_EQ(fresh.engineCount(), 0u);

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

    // Engines not in use can be released; the next pass creates its engine again.
    recognizer.releaseEngines();
    EXPECT_EQ(recognizer.engineCount(), 0u);
    lines = recognizer.recognize(image, english);
    ASSERT_TRUE(lines && lines->size() == 1);
    EXPECT_EQ(lines->front().candidates.front(), "Threads share one engine");

    // Unknown languages make the pass fail rather than guess.
    EXPECT_EQ(recognizer.recognize(image, {{"fr-FR"}, false, true}), std::nullopt);
    TextRecognizer missingModels(TextRecognizer::Options{.dataPath = dir.path()});
    EXPECT_EQ(missingModels.recognize(image, english), std::nullopt);
}

}  // namespace
}  // namespace vela
