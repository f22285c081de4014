#include "core/capture/VisionOCRService.h"

#include <algorithm>
#include <cmath>

#include "core/capture/ReadingOrder.h"
#include "core/capture/TextProcessor.h"

namespace vela {

VisionOCRService::VisionOCRService(ScreenSource& screenSource, TextRecognizer& recognizer)
    : screenSource_(screenSource), recognizer_(recognizer) {}

bool VisionOCRService::ensureScreenCapturePermission() {
    return screenSource_.preflightAccess() || screenSource_.requestAccess();
}

OCRCaptureResult VisionOCRService::captureAndRecognize(const Rect& appKitScreenRect,
                                                       std::uint32_t excludingWindowNumber) {
    if (!ensureScreenCapturePermission())
        return OCRCaptureResult::permissionDenied();
    if (!screenSource_.hasScreen())
        return OCRCaptureResult::emptyText(appKitScreenRect);
    auto image = screenSource_.capture(appKitScreenRect, excludingWindowNumber);
    if (!image)
        return OCRCaptureResult::permissionDenied();
    std::string text = TextProcessor::smartMergeParagraphLines(recognizeText(*image));
    if (text.empty())
        return OCRCaptureResult::emptyText(appKitScreenRect);
    return OCRCaptureResult::recognized(std::move(text), appKitScreenRect);
}

std::vector<RecognitionRequest> VisionOCRService::recognitionPasses() {
    return {
        {{"ja-JP", "en-US", "zh-Hans", "ko-KR"}, true, true},
        {{"ja-JP", "en-US"}, false, true},
        {{"en-US"}, false, true},
        {{"zh-Hans", "en-US"}, false, true},
    };
}

std::string VisionOCRService::recognizeText(const PixelImage& image) {
    std::vector<std::string> lines;
    for (const RecognitionRequest& pass : recognitionPasses()) {
        // A pass that fails counts as one that found nothing.
        std::vector<RecognizedLine> found =
            recognizer_.recognize(image, pass).value_or(std::vector<RecognizedLine>{});
        sortIntoReadingOrder(found);
        lines = linesWithParagraphBreaks(found, static_cast<double>(image.width) / image.height);
        if (!lines.empty())
            break;
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    return joined;
}

}  // namespace vela
