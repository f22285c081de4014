// The X11 screen source on a real X server: real windows with real text, grabbed and read
// by Tesseract.
#include "app/platform/X11ScreenSource.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "core/capture/VisionOCRService.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/TextWindow.h"

namespace vela {
namespace {

TEST(X11ScreenSource, FractionsOfPointsRoundOutwards) {
    EXPECT_EQ(toDevicePixels(Rect(0.25, 0.25, 10, 10), ScreenLayout{{0, 0, 100, 100}, 1.0}),
              (PixelRect{0, 89, 11, 11}));
}

bool samePixels(const std::optional<PixelImage>& a, const std::optional<PixelImage>& b) {
    return a && b && a->width == b->width && a->pixels == b->pixels;
}

TEST(X11ScreenSource, FrozenFrameIsWhatTheCaptureReadsWhateverAppearsLater) {
    ASSERT_TRUE(test::ensureGtk());
    const test::TextWindow shown("Frozen text stays", 300, 200, 760, 120);
    X11ScreenSource source;
    const auto frame = source.freeze();
    ASSERT_TRUE(frame);
    EXPECT_EQ(source.frozenScreen(), frame);
    const Rect window(300, 1080 - 200 - 120, 760, 120);
    const auto pixels = source.capture(window, 0);

    // The same pixels through a primary monitor at (1000, 100), the window left of and below
    // it at negative points, and at full device resolution with two device pixels a point.
    X11ScreenSource offset({{}, ScreenLayout{{1000, 100, 800, 600}, 1.0}});
    X11ScreenSource scaled({{}, ScreenLayout{{0, 0, 1920, 1080}, 2.0}});
    ASSERT_TRUE(offset.freeze() && scaled.freeze());
    EXPECT_TRUE(samePixels(offset.capture(Rect(-700, 700 - 200 - 120, 760, 120), 0), pixels));
    EXPECT_TRUE(samePixels(scaled.capture(Rect(150, 380, 380, 60), 0), pixels));
    EXPECT_TRUE(offset.capture(Rect(-5000, -5000, 100, 100), 0)->empty()) << "off every screen";

    // A window over the text after the freeze is not in the frame; the live screen has it.
    const test::TextWindow cover("Live pixels", 300, 200, 760, 120);
    EXPECT_EQ(VisionOCRService(source).captureAndRecognize(window, 0),
              OCRCaptureResult::recognized("Frozen text stays", window));
    source.thaw();
    EXPECT_EQ(source.frozenScreen(), nullptr);
    EXPECT_FALSE(samePixels(source.capture(window, 0), pixels));
}

TEST(X11ScreenSource, NoDisplayGivesNoFrameAndNoPixels) {
    X11ScreenSource missing({":97", std::nullopt});
    EXPECT_EQ(missing.freeze(), nullptr);
    EXPECT_EQ(missing.capture(Rect(0, 0, 50, 50), 0), std::nullopt);
}

}  // namespace
}  // namespace vela
