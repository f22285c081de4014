#pragma once
// The outcome of one screenshot recognition, handed from the capture service to the
// panel. A value type; copies are independent and safe to move between threads.

#include <string>

#include "core/support/Geometry.h"

namespace vela {

class OCRCaptureResult {
  public:
    enum class Kind { recognized, emptyText, permissionDenied };

    // Capture and recognition succeeded; `text` is the merged, non-empty text and
    // `screenRect` the selection exactly as it was passed to the capture.
    static OCRCaptureResult recognized(std::string text, Rect screenRect) {
        return OCRCaptureResult(Kind::recognized, std::move(text), screenRect);
    }
    // The capture ran but no text was left after merging (or there was no screen).
    static OCRCaptureResult emptyText(Rect screenRect) {
        return OCRCaptureResult(Kind::emptyText, {}, screenRect);
    }
    // Reading the screen is not permitted, or the capture produced no image.
    static OCRCaptureResult permissionDenied() {
        return OCRCaptureResult(Kind::permissionDenied, {}, {});
    }

    Kind kind() const { return kind_; }
    // The merged text; empty unless `recognized`.
    const std::string& text() const { return text_; }
    // The selection; meaningful for `recognized` and `emptyText`, a zero rectangle otherwise.
    const Rect& screenRect() const { return screenRect_; }

    // Same case and equal payloads (the factories leave unused payload fields empty).
    friend bool operator==(const OCRCaptureResult&, const OCRCaptureResult&) = default;

  private:
    OCRCaptureResult(Kind kind, std::string text, Rect rect)
        : kind_(kind), text_(std::move(text)), screenRect_(rect) {}

    Kind kind_;
    std::string text_;
    Rect screenRect_;
};

}  // namespace vela
