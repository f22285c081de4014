// The overlay's arithmetic, and its drawing painted into an image in memory and read back
// pixel by pixel.
#include <gtest/gtest.h>

#include <cairo.h>

#include <optional>
#include <vector>

#include "app/overlay/CaptureSelectionGeometry.h"
#include "app/overlay/CaptureSelectionView.h"

namespace vela {
namespace {

TEST(CaptureSelectionGeometry, BadgeTextAndDesktopPoints) {
    EXPECT_EQ(sizeBadgeText(Rect(3, 4, 300.9, 150.2)), " Vela · 300 × 150 ");
    // Desktop points have their origin at the primary monitor's lower-left corner, y upwards:
    // a lower monitor left of it lies at negative x, its y counted from the primary's bottom.
    EXPECT_EQ(
        viewRectToDesktop(Rect(10, 20, 30, 40), Rect(0, 0, 800, 600), Rect(800, 0, 1440, 900)),
        Rect(-790, 840, 30, 40));
}

// The overlay painted over a 200 x 100 point view of a 400 x 200 pixel image of colour
// 0x4080C0, read back as 0xRRGGBB at (x, y); at scale 2 the image lies 20 points to the left.
std::uint32_t paintedPixel(const std::optional<Rect>& selection, int scale, int x, int y) {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 200);
    cairo_t* cr = cairo_create(image);
    cairo_set_source_rgb(cr, 0.25, 0.5, 0.75);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_t* view = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100);
    cr = cairo_create(view);
    paintCaptureOverlay(cr, Size{200, 100}, image, Point{scale > 1 ? -20.0 : 0, 0}, scale,
                        selection);
    cairo_destroy(cr);
    cairo_surface_flush(view);
    const std::uint32_t pixel =
        reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(view))[y * 200 + x];
    cairo_surface_destroy(view);
    cairo_surface_destroy(image);
    return pixel & 0xFFFFFF;
}

TEST(OverlayPainting, DimsAroundAnUndimmedHoleWithBordersAndBadge) {
    // Black at 0.28 over the image leaves 72 % of each channel.
    const std::uint32_t image = 0x4080C0, dim = 0x2E5C8A, pink = 0xFF90E8;
    const Rect sel(50, 50, 80, 40), top(60, 0, 100, 60), thin(50, 50, 1, 40);
    struct Case {
        const char* what;
        std::optional<Rect> selection;
        int scale, x, y;
        std::uint32_t colour;
    };
    const std::vector<Case> cases = {
        {"outside", sel, 1, 5, 95, dim},
        {"first pixel of the hole", sel, 1, 50, 50, image},
        {"last pixel of the hole", sel, 1, 129, 89, image},
        {"inner border", sel, 1, 48, 70, 0},
        {"badge fill", sel, 1, 53, 41, pink},
        {"one point wide: no hole, no border", thin, 1, 49, 60, dim},
        {"badge kept inside at the top", top, 1, 63, 5, pink},
        {"two pixels a point: the image", std::nullopt, 2, 175, 50, dim},
        {"two pixels a point: beyond its right edge", std::nullopt, 2, 185, 50, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint32_t actual = paintedPixel(c.selection, c.scale, c.x, c.y);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR((actual >> shift) & 0xFF, (c.colour >> shift) & 0xFF, 2)
                << std::hex << actual;
    }
}

}  // namespace
}  // namespace vela
