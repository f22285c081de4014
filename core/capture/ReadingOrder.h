#pragma once
// Reading order and paragraph breaks of recognised lines, from their boxes alone.
// Boxes are normalised to the image (0 to 1, origin at the lower left, y upwards).
// Pure functions: thread-safe, never fail.

#include <string>
#include <vector>

#include "core/capture/TextRecognizer.h"

namespace vela {

// Stable sort into reading order. Two lines share a row when they overlap vertically:
// their centres are closer than half the smaller line height (a chain of such lines is
// one row). Rows read top to bottom, the lines of a row left to right; lines of a row that
// start at the same x keep the recogniser's order.
void sortIntoReadingOrder(std::vector<RecognizedLine>& lines);

// The top candidate of each line (lines without a candidate add nothing, an empty one
// stays), with an empty line before each row that the layout shows to start a paragraph:
// a vertical gap clearly larger than the usual line spacing, a first line indented from
// a text's left edge, or a list item (a line that starts with "1.", "2)", "•", "-", ...).
// `lines` must be in reading order; `imageAspect` is the image's width over its height,
// to compare horizontal and vertical distances.
std::vector<std::string> linesWithParagraphBreaks(const std::vector<RecognizedLine>& lines,
                                                  double imageAspect);

}  // namespace vela
