#pragma once
// Pure text and geometry functions of the capture flow: rebuilding paragraphs from
// recognised lines, the minimum selection size and the panel placement beside a
// selection. Stateless; every function is thread-safe and never fails.

#include <string>
#include <string_view>

#include "core/support/Geometry.h"

namespace vela::TextProcessor {

// Joins wrapped lines back into paragraphs: CR/LF and CR become LF, each line is trimmed
// of spaces and tabs, runs of blank lines become one paragraph break ("\n\n"), an
// end-of-line "-" (not "--") is removed and the next line appended directly, Japanese and
// Chinese characters join without a space, everything else joins with one space.
std::string smartMergeParagraphLines(std::string_view text);

// True for a selection of at least 10 x 10 points.
bool isValidCaptureRect(double width, double height);

// Lower-left origin for a window of `windowSize` placed beside `selectionRect`: to its
// right with the tops level, or below it when that would cross the right edge of
// `screenVisibleFrame`; then kept screenEdgeMargin inside the visible frame and rounded to whole
// points (halves away from zero). A window larger than the frame lands on the lower-left
// margin corner.
Point clampWindowOrigin(const Rect& selectionRect, const Size& windowSize,
                        const Rect& screenVisibleFrame, double gap);

// True when any scalar of the user-perceived character `character` (UTF-8) is kana or a
// CJK unified ideograph (U+3040-30FF, U+3400-4DBF, U+4E00-9FFF); false for "".
bool isCJKOrKana(std::string_view character);

}  // namespace vela::TextProcessor
