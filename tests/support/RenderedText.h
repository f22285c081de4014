#pragma once
// Images of known text for recognition tests, drawn at test time by ImageMagick with the
// installed fonts (e.g. "Noto-Sans-CJK-JP", "-SC", "-KR" for CJK, "DejaVu-Sans" for Latin).

#include <filesystem>
#include <string>
#include <string_view>

#include "core/capture/PixelImage.h"

namespace vela::test {

struct TextRendering {
    // Lines separated by "\n" ("" between two is a blank line); "%" starts an ImageMagick escape.
    std::string text;
    std::string font = "DejaVu-Sans";  // an ImageMagick font name
    int pointSize = 24;                // pixels at ImageMagick's default 72 dpi
    std::string foreground = "black";
    std::string background = "white";  // also the 20-pixel margin around the text
};

// Draws the lines as a PNG in `folder`, strokes `drawing` (ImageMagick -draw primitives:
// the borders of controls) in grey over them, and reads it back; fails the calling test
// (and answers an empty image) when ImageMagick fails.
PixelImage renderText(const TextRendering& rendering, const std::filesystem::path& folder,
                      const std::string& drawing = "");

// Edit distance between the two texts in Unicode scalars, divided by the length of
// `expected` (1 when `expected` is empty and `actual` is not).
double characterErrorRate(std::string_view expected, std::string_view actual);

}  // namespace vela::test
