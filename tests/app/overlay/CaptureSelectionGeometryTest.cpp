// The overlay's arithmetic and its drawing, painted into an image in memory and read back
// pixel by pixel.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <memory>

#include "app/overlay/CaptureSelectionGeometry.h"
#include "app/overlay/CaptureSelectionView.h"

namespace vela {
namespace {

TEST(CaptureSelectionGeometry, SelectionFromDragPoints) {
    EXPECT_EQ(selectionRect({100, 200}, {400, 350}), Rect(100, 200, 300, 150));
    // Dragging up and to the left gives the same rectangle.
    EXPECT_EQ(selectionRect({400, 350}, {100, 200}), Rect(100, 200, 300, 150));
    EXPECT_EQ(selectionRect({400, 200}, {100, 350}), Rect(100, 200, 300, 150));
    EXPECT_EQ(selectionRect({7, 7}, {7, 7}), Rect(7, 7, 0, 0));

    EXPECT_FALSE(selectionIsDrawn(Rect(0, 0, 1, 50)));
    EXPECT_FALSE(selectionIsDrawn(Rect(0, 0, 50, 1)));
    EXPECT_TRUE(selectionIsDrawn(Rect(0, 0, 1.5, 1.5)));

    EXPECT_EQ(sizeBadgeText(Rect(3, 4, 300.9, 150.2)), " Vela · 300 × 150 ");
    EXPECT_EQ(sizeBadgeText(Rect(0, 0, 9, 10)), " Vela · 9 × 10 ");
}

TEST(CaptureSelectionGeometry, BadgeSitsAboveTheSelectionButInsideTheView) {
    const Size text{120, 14};
    // 6 points above the selection, from its left edge, text plus 10 by 6.
    const Rect box = badgeBoxRect(Rect(100, 200, 300, 150), text);
    EXPECT_EQ(box, Rect(100, 200 - 6 - 20, 130, 20));
    EXPECT_EQ(badgeTextOrigin(box), (Point{105, 177}));
    // A selection at the top edge: the box's bottom is h + 8 below the top, so it overlaps
    // the selection rather than leaving the view.
    EXPECT_EQ(badgeBoxRect(Rect(40, 0, 300, 150), text), Rect(40, 2, 130, 20));
    EXPECT_EQ(badgeBoxRect(Rect(40, 25, 300, 150), text), Rect(40, 2, 130, 20));
    EXPECT_EQ(badgeBoxRect(Rect(40, 29, 300, 150), text), Rect(40, 3, 130, 20));
}

TEST(CaptureSelectionGeometry, ViewRectanglesBecomeDesktopPoints) {
    const Rect primary(0, 0, 1440, 900);
    // On the primary monitor: y flips around its height.
    EXPECT_EQ(viewRectToDesktop(Rect(100, 50, 200, 100), primary, primary),
              Rect(100, 750, 200, 100));
    // A second monitor to the right at x = 1440: view x 100 is desktop x 1540.
    EXPECT_EQ(viewRectToDesktop(Rect(100, 50, 200, 100), Rect(1440, 0, 1920, 1080), primary),
              Rect(1540, 750, 200, 100));
    // A monitor below the primary one lies at negative y.
    EXPECT_EQ(viewRectToDesktop(Rect(0, 0, 10, 10), Rect(0, 900, 1440, 900), primary),
              Rect(0, -10, 10, 10));
    // A primary monitor that is not at the X screen's origin.
    EXPECT_EQ(
        viewRectToDesktop(Rect(10, 20, 30, 40), Rect(0, 0, 800, 600), Rect(800, 0, 1440, 900)),
        Rect(-790, 840, 30, 40));
}

// Paints the overlay over a 200 x 100 image of one colour and reads pixels back.
class OverlayPainting : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kImageColour = 0x4080C0;

    void paint(const std::optional<Rect>& selection) {
        PixelImage image{200, 100, std::vector<std::uint32_t>(200 * 100, kImageColour)};
        cairo_surface_t* source = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_RGB24, 200, 100,
            800);
        target.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100));
        cairo_t* cr = cairo_create(target.get());
        paintCaptureOverlay(cr, Size{200, 100}, source, Point{0, 0}, 1.0, selection);
        cairo_destroy(cr);
        cairo_surface_destroy(source);
        cairo_surface_flush(target.get());
    }
    std::uint32_t pixel(int x, int y) const {
        const unsigned char* data = cairo_image_surface_get_data(target.get());
        const int stride = cairo_image_surface_get_stride(target.get());
        return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
    }
    static int channel(std::uint32_t rgb, int shift) { return (rgb >> shift) & 0xFF; }
    static void expectNear(std::uint32_t actual, int r, int g, int b, const char* what) {
        EXPECT_NEAR(channel(actual, 16), r, 2) << what;
        EXPECT_NEAR(channel(actual, 8), g, 2) << what;
        EXPECT_NEAR(channel(actual, 0), b, 2) << what;
    }
    static void expectDimmed(std::uint32_t actual, const char* what) {
        expectNear(actual, std::lround(0x40 * 0.72), std::lround(0x80 * 0.72),
                   std::lround(0xC0 * 0.72), what);
    }

    struct SurfaceDeleter {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> target;
};

TEST_F(OverlayPainting, DimsAroundAnUndimmedHoleWithBordersAndBadge) {
    const Rect selection(50, 50, 80, 40);
    paint(selection);
    expectDimmed(pixel(5, 95), "outside the selection");
    expectDimmed(pixel(195, 5), "outside the selection");
    expectNear(pixel(90, 70), 0x40, 0x80, 0xC0, "inside the hole");
    expectNear(pixel(50, 50), 0x40, 0x80, 0xC0, "first pixel of the hole");
    expectNear(pixel(129, 89), 0x40, 0x80, 0xC0, "last pixel of the hole");
    // Inner border: 2 points of black just outside the hole.
    expectNear(pixel(48, 70), 0, 0, 0, "inner border, left");
    expectNear(pixel(49, 70), 0, 0, 0, "inner border, left");
    expectNear(pixel(131, 70), 0, 0, 0, "inner border, right");
    expectNear(pixel(90, 91), 0, 0, 0, "inner border, bottom");
    // Outer border along the bottom edge (y = 93, 1.5 wide): dashes of 5 on, 4 off starting
    // at the top-left corner and running clockwise, so pink and dimmed pixels alternate.
    int pink = 0;
    int plain = 0;
    for (int x = 48; x < 130; ++x) {
        const std::uint32_t p = pixel(x, 93);
        if (channel(p, 16) > 160 && channel(p, 8) > 90 && channel(p, 0) > 140)
            ++pink;
        if (channel(p, 16) < 60)
            ++plain;
    }
    EXPECT_GT(pink, 30);
    EXPECT_GT(plain, 20);
    // Badge: pink box whose bottom border is 6 above the selection, black text inside.
    expectNear(pixel(53, 41), 0xFF, 0x90, 0xE8, "badge fill");
    EXPECT_LT(channel(pixel(70, 43), 16), 80) << "badge border, mostly black";
    expectDimmed(pixel(70, 46), "between badge and dashed border");
    int dark = 0;
    for (int y = 25; y < 42; ++y) {
        for (int x = 56; x < 120; ++x) {
            if (channel(pixel(x, y), 16) < 100)
                ++dark;
        }
    }
    EXPECT_GT(dark, 40) << "badge text";
}

TEST_F(OverlayPainting, WithoutASelectionOnlyTheDimmedImage) {
    paint(std::nullopt);
    for (int y = 0; y < 100; y += 7) {
        for (int x = 0; x < 200; x += 9)
            expectDimmed(pixel(x, y), "everywhere");
    }
    paint(Rect(50, 50, 1, 40));  // one point wide: no hole, no border
    expectDimmed(pixel(50, 60), "thin selection");
    expectDimmed(pixel(48, 60), "thin selection border");
}

TEST_F(OverlayPainting, HighDensityFramesAreDrawnAtTheirScale) {
    // 400 x 200 device pixels for a 200 x 100 point view, the right half white, placed
    // 20 points to the left as on a monitor beside the frame's origin.
    PixelImage image{400, 200, std::vector<std::uint32_t>(400 * 200, kImageColour)};
    for (int y = 0; y < 200; ++y) {
        for (int x = 200; x < 400; ++x)
            image.pixels[y * 400 + x] = 0xFFFFFF;
    }
    cairo_surface_t* source = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(image.pixels.data()), CAIRO_FORMAT_RGB24, 400, 200, 1600);
    target.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100));
    cairo_t* cr = cairo_create(target.get());
    paintCaptureOverlay(cr, Size{200, 100}, source, Point{-20, 0}, 2.0, std::nullopt);
    cairo_destroy(cr);
    cairo_surface_destroy(source);
    cairo_surface_flush(target.get());
    expectDimmed(pixel(78, 50), "left half");
    expectNear(pixel(82, 50), 184, 184, 184, "right half");
    expectNear(pixel(185, 50), 0, 0, 0, "beyond the frame");
}

TEST_F(OverlayPainting, BadgeStaysInsideWhenTheSelectionTouchesTheTop) {
    paint(Rect(60, 0, 100, 60));
    // The box overlaps the selection: its top border sits 2 points below the top edge.
    expectNear(pixel(63, 5), 0xFF, 0x90, 0xE8, "badge fill at the top");
    expectNear(pixel(63, 0), 0x40, 0x80, 0xC0, "hole above the badge");
    EXPECT_LT(channel(pixel(80, 2), 16), 80) << "badge top border";
}

}  // namespace
}  // namespace vela
