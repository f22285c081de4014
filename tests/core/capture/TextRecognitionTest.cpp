// Real recognition with Tesseract on images of text rendered at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/capture/VisionOCRService.h"
#include "core/support/UnicodeText.h"
#include "tests/support/RenderedText.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

// A screen showing one image, as far as the test grants access.
struct ImageScreen : ScreenSource {
    std::optional<PixelImage> shown;
    bool granted = true, present = true;
    int captures = 0;
    bool preflightAccess() override { return false; }  // always asks
    bool requestAccess() override { return granted; }
    bool hasScreen() override { return present; }
    std::optional<PixelImage> capture(const Rect&, std::uint32_t) override {
        ++captures;
        return shown;
    }
};

TEST(TextRecognition, RenderedScreensComeBackLineByLineInReadingOrder) {
    using namespace test;
    std::string tall = "Row 1 of a tall page";
    for (int i = 2; i <= 16; ++i)
        tall += "\nRow " + std::to_string(i) + " of a tall page";
    const std::string latin = "DejaVu-Sans", ja = "Noto-Sans-CJK-JP", zh = "Noto-Sans-CJK-SC",
                      ko = "Noto-Sans-CJK-KR";
    const std::vector<TextRendering> samples = {
        {"Reading a page of a new language every morning\nkeeps the mind curious, and small "
         "daily\nhabits slowly grow into skills that last.",
         latin, 26},
        {"Small print on a crowded toolbar", latin, 13},
        {"駅前の小さな本屋には毎週金曜日に新しい\n絵本が届きます。子どもたちはその日を楽しみに\n"
         "待っています。",
         ja, 26},
        {"我们明天早上八点在图书馆门口见面然后\n一起去参加关于环境保护的讲座。", zh, 26},
        {"우리는 내일 아침 여덟 시에 도서관 앞에서\n만나서 함께 환경 보호 강연을 들으러\n갑니다.",
         ko, 28},
        {"打开 Firefox 以后，在 Preferences 里修改主页。", zh, 24},
        {"Wi-Fi がオフの場合は Network 設定を開いて\nConnect を押してください。", ja, 22},
        {"Chrome 에서 Gmail 계정으로 로그인하세요.", ko, 24},
        {"Open the 設定 menu and pick 言語 there.", ja, 24},  // kanji alone among Latin words
        // The middle line alone does not tell the page's script.
        {"新しい版が出ました。\nRelease Notes 2.4\n起動が速くなりました。", ja, 24},
        {"本月的部门聚餐安排如下。\n2026年5月20日\n地点在公司附近的餐厅。", zh, 20},
        {"暗い背景の画面でも\n文字を読み取れます。", ja, 24, "#e8e8e8", "#202124"},
        {"A heading line\n\nThe text below it wraps over\ntwo lines of the window.", latin, 22},
        {tall, latin, 22},
    };
    TempDir dir;
    ImageScreen unused;
    VisionOCRService service(unused);
    for (const TextRendering& sample : samples) {
        SCOPED_TRACE(sample.text);
        const PixelImage image = renderText(sample, dir.path());
        // Small text is read from an enlarged copy, ordinary text as it is.
        EXPECT_EQ(TextRecognizer::shared().upscaleFactorFor(image) > 1.2, sample.pointSize < 20);
        const std::string read = service.recognizeText(image);
        // At most one misread character in the shortest sample (the Chinese model
        // confuses "门" in "门口"), nothing lost at the end (a final "。"), and one line
        // per rendered line.
        EXPECT_LE(characterErrorRate(sample.text, read), 0.04) << read;
        EXPECT_EQ(lastGraphemes(read, 1), lastGraphemes(sample.text, 1));
        EXPECT_EQ(std::ranges::count(read, '\n'), std::ranges::count(sample.text, '\n'));
    }
    // Marks of CJK text come back as printed, full-width where they are, and ideographs
    // without kana in the model that reads them surely.
    for (const auto& [text, font] : std::vector<std::pair<std::string, std::string>>{
             {"経済産業省：発表資料（概要）", ja},
             {"提示：请输入密码（至少八位）。", zh},
             {"点击“确定”按钮保存。", zh},
             {"在设置（Preferences）里打开 Firefox（火狐）。", zh}}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(service.recognizeText(renderText({text, font}, dir.path())), text);
    }
    // The borders of a window's controls add no text and do not mislead the script.
    std::string dialog = service.recognizeText(
        renderText({"変更を保存しますか？\n\nOK　　　　キャンセル", ja}, dir.path(),
                   "rectangle 1,1 289,144 rectangle 4,78 66,134 rectangle 128,78 276,134"));
    std::erase_if(dialog, [](char c) { return c == ' ' || c == '\n'; });
    EXPECT_LE(characterErrorRate("変更を保存しますか？OKキャンセル", dialog), 0.1) << dialog;
}

TEST(TextRecognition, CaptureMergesTheTextOrSaysWhyThereIsNone) {
    test::TempDir dir;
    ImageScreen screen;
    const PixelImage image = test::renderText({"Capture this\nsentence"}, dir.path());
    screen.shown = image;
    TextRecognizer recognizer;
    VisionOCRService service(screen, recognizer);
    const Rect selection(20, 20, 400, 120);
    EXPECT_EQ(service.captureAndRecognize(selection, 7),
              OCRCaptureResult::recognized("Capture this sentence", selection));

    // One engine per language set, shared by passes on two threads at once.
    recognizer.releaseEngines();
    const RecognitionRequest english{{"en-US"}, false, true};
    std::optional<std::vector<RecognizedLine>> read, alongside;
    {
        const std::jthread other([&] { alongside = recognizer.recognize(image, english); });
        read = recognizer.recognize(image, english);
    }
    EXPECT_EQ(recognizer.engineCount(), 1u);
    EXPECT_EQ(read, alongside);
    // Boxes are normalised to the image with the origin at the lower left.
    ASSERT_EQ(read.value().size(), 2u);
    const Rect upper = read->at(0).boundingBox, lower = read->at(1).boundingBox;
    EXPECT_EQ(read->at(0).candidates, std::vector<std::string>{"Capture this"});
    EXPECT_TRUE(lower.minY() > 0 && lower.maxY() < upper.minY() && upper.maxY() < 1 &&
                upper.minX() > 0 && upper.maxX() < 1);
    // Unknown languages and missing models make the pass fail rather than guess.
    EXPECT_EQ(recognizer.recognize(image, {{"fr-FR"}, false, true}), std::nullopt);
    TextRecognizer missingModels(TextRecognizer::Options{.dataPath = dir.path()});
    EXPECT_EQ(missingModels.recognize(image, english), std::nullopt);

    // A region without ink has no text, and no engine is created to look for it.
    screen.shown = PixelImage{400, 120, std::vector<std::uint32_t>(400 * 120, 0xFFFFFF)};
    recognizer.releaseEngines();
    EXPECT_EQ(service.captureAndRecognize(selection, 7), OCRCaptureResult::emptyText(selection));
    EXPECT_EQ(recognizer.engineCount(), 0u);
    EXPECT_EQ(recognizer.recognize(image, english), read);  // created again after the release
    screen.shown.reset();                                   // the capture fails
    EXPECT_EQ(service.captureAndRecognize(selection, 7), OCRCaptureResult::permissionDenied());
    screen.present = false;
    EXPECT_EQ(service.captureAndRecognize(selection, 7), OCRCaptureResult::emptyText(selection));
    screen.granted = false;
    EXPECT_FALSE(service.ensureScreenCapturePermission());
    EXPECT_EQ(service.captureAndRecognize(selection, 7), OCRCaptureResult::permissionDenied());
    EXPECT_EQ(screen.captures, 3);  // nothing captured without a screen or access
}

}  // namespace
}  // namespace vela
