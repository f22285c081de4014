#pragma once
// Turns a selected screen rectangle into an OCRCaptureResult: checks the permission,
// captures the pixels through the screen source, recognises the lines (a first pass over
// Japanese, English, simplified Chinese and Korean with automatic language detection, and
// up to three fallback passes when it finds nothing), puts them in reading order with an
// empty line where the layout shows a paragraph break, and rebuilds paragraphs with
// TextProcessor.
//
// Ownership: borrows the screen source and the recogniser, which must outlive it.
// Thread-safety: no state of its own; calls may overlap on any threads (the recogniser
// serialises use of each engine). Every call blocks for the capture and recognition, so
// the application runs it off the main thread. No call fails: every outcome is a value.

#include <cstdint>
#include <string>
#include <vector>

#include "core/capture/OCRCaptureResult.h"
#include "core/capture/PixelImage.h"
#include "core/capture/ScreenSource.h"
#include "core/capture/TextRecognizer.h"
#include "core/support/Geometry.h"

namespace vela {

class VisionOCRService {
  public:
    explicit VisionOCRService(ScreenSource& screenSource,
                              TextRecognizer& recognizer = TextRecognizer::shared());

    // The source's preflight answer, or else its request answer.
    bool ensureScreenCapturePermission();

    // `appKitScreenRect` is the selection in desktop points; it comes back unchanged in the
    // result. `excludingWindowNumber` is the overlay's window.
    OCRCaptureResult captureAndRecognize(const Rect& appKitScreenRect,
                                         std::uint32_t excludingWindowNumber);

    // The recognised lines of the image in reading order joined with "\n", with an empty
    // line between paragraphs; "" for none.
    std::string recognizeText(const PixelImage& image);

    // The first pass and the three fallback passes, in the order they are tried.
    static std::vector<RecognitionRequest> recognitionPasses();

  private:
    ScreenSource& screenSource_;
    TextRecognizer& recognizer_;
};

}  // namespace vela
