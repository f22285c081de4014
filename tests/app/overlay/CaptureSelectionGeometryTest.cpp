// The overlay's arithmetic, and its drawing painted into an image in memory and read back
// pixel by pixel.
#include <gtest/gtest.h>

#include <cairo.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/overlay/CaptureSelectionGeometry.h"
#include "app/overlay/CaptureSelectionView.h"

namespace vela {
namespace {

TEST(CaptureSelectionGeometry, SelectionBadgeAndDesktopPoints) {
    // Any two opposite corners give the same rectangle.
    for (const auto& [a, b] : {std::pair<Point, Point>{{100, 200}, {400, 350}},
                               {{400, 350}, {100, 200}},
                               {{400, 200}, {100, 350}}})
        EXPECT_EQ(selectionRect(a, b), Rect(100, 200, 300, 150));
    EXPECT_FALSE(selectionIsDrawn(Rect(0, 0, 1, 50)));
    EXPECT_FALSE(selectionIsDrawn(Rect(0, 0, 50, 1)));
    EXPECT_TRUE(selectionIsDrawn(Rect(0, 0, 1.5, 1.5)));
    EXPECT_EQ(sizeBadgeText(Rect(3, 4, 300.9, 150.2)), " Vela · 300 × 150 ");

    // The badge: 6 points above the selection, from its left edge, text plus 10 by 6; at the
    // top of the view pushed down so that it stays 2 points inside.
    const Size text{120, 14};
    EXPECT_EQ(badgeBoxRect(Rect(100, 200, 300, 150), text), Rect(100, 174, 130, 20));
    EXPECT_EQ(badgeTextOrigin(Rect(100, 174, 130, 20)), (Point{105, 177}));
    EXPECT_EQ(badgeBoxRect(Rect(40, 0, 300, 150), text), Rect(40, 2, 130, 20));
    EXPECT_EQ(badgeBoxRect(Rect(40, 29, 300, 150), text), Rect(40, 3, 130, 20));

    // Desktop points: origin at the primary monitor's lower-left corner, y upwards; monitors
    // to the right, below, and a primary one away from the X screen's origin.
    const Rect primary(0, 0, 1440, 900);
    EXPECT_EQ(viewRectToDesktop(Rect(100, 50, 200, 100), primary, primary),
              Rect(100, 750, 200, 100));
    EXPECT_EQ(viewRectToDesktop(Rect(100, 50, 200, 100), Rect(1440, 0, 1920, 1080), primary),
              Rect(1540, 750, 200, 100));
    EXPECT_EQ(viewRectToDesktop(Rect(0, 0, 10, 10), Rect(0, 900, 1440, 900), primary),
              Rect(0, -10, 10, 10));
    EXPECT_EQ(
        viewRectToDesktop(Rect(10, 20, 30, 40), Rect(0, 0, 800, 600), Rect(800, 0, 1440, 900)),
        Rect(-790, 840, 30, 40));
}

constexpr std::uint32_t kImage = 0x4080C0;

// The overlay painted over a 200 x 100 point view of one colour; at scale 2 the image has
// 400 x 200 pixels, its right half white, and lies 20 points to the left.
class Painted {
  public:
    explicit Painted(const std::optional<Rect>& selection, int scale = 1) {
        const int w = 200 * scale, h = 100 * scale;
        std::vector<std::uint32_t> pixels(w * h);
        for (int i = 0; i < w * h; ++i)
            pixels[i] = scale > 1 && i % w >= w / 2 ? 0xFFFFFF : kImage;
        cairo_surface_t* source = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_RGB24, w, h, w * 4);
        cairo_t* cr = cairo_create(target_.get());
        paintCaptureOverlay(cr, Size{200, 100}, source, Point{scale > 1 ? -20.0 : 0, 0}, scale,
                            selection);
        cairo_destroy(cr);
        cairo_surface_destroy(source);
        cairo_surface_flush(target_.get());
    }
    std::uint32_t at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(target_.get()) +
                                   y * cairo_image_surface_get_stride(target_.get());
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
    }
    int red(int x, int y) const { return static_cast<int>(at(x, y) >> 16); }

  private:
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> target_{
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 100), &cairo_surface_destroy};
};

TEST(OverlayPainting, DimsAroundAnUndimmedHoleWithBordersAndBadge) {
    // Black at 0.28 over the image leaves 72 % of each channel.
    const std::uint32_t dim = 0x2E5C8A, dimWhite = 0xB8B8B8, black = 0, pink = 0xFF90E8;
    const Rect sel(50, 50, 80, 40), top(60, 0, 100, 60), thin(50, 50, 1, 40);
    struct Case {
        const char* what;
        std::optional<Rect> selection;
        int scale, x, y;
        std::uint32_t colour;
    };
    const std::vector<Case> cases = {
        {"outside", sel, 1, 5, 95, dim},
        {"outside", sel, 1, 195, 5, dim},
        {"inside the hole", sel, 1, 90, 70, kImage},
        {"first pixel of the hole", sel, 1, 50, 50, kImage},
        {"last pixel of the hole", sel, 1, 129, 89, kImage},
        {"inner border, 2 points", sel, 1, 48, 70, black},
        {"inner border, 2 points", sel, 1, 49, 70, black},
        {"inner border, right", sel, 1, 131, 70, black},
        {"inner border, bottom", sel, 1, 90, 91, black},
        {"badge fill", sel, 1, 53, 41, pink},
        {"between badge and outer border", sel, 1, 70, 46, dim},
        {"no selection", std::nullopt, 1, 100, 50, dim},
        {"one point wide: no hole", thin, 1, 50, 60, dim},
        {"one point wide: no border", thin, 1, 48, 60, dim},
        {"badge kept inside at the top", top, 1, 63, 5, pink},
        {"hole above that badge", top, 1, 63, 0, kImage},
        {"two pixels a point: left half", std::nullopt, 2, 78, 50, dim},
        {"two pixels a point: right half", std::nullopt, 2, 82, 50, dimWhite},
        {"beyond the image", std::nullopt, 2, 185, 50, black},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint32_t actual = Painted(c.selection, c.scale).at(c.x, c.y);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR((actual >> shift) & 0xFF, (c.colour >> shift) & 0xFF, 2)
                << std::hex << actual;
    }

    // The outer border along the bottom edge (y = 93) in dashes: pink and dimmed pixels
    // alternate. The badge has dark borders and dark text.
    const Painted p(sel);
    int pinkCount = 0, plain = 0, dark = 0;
    for (int x = 48; x < 130; ++x) {
        pinkCount += p.red(x, 93) > 160;
        plain += p.red(x, 93) < 60;
    }
    for (int y = 25; y < 42; ++y) {
        for (int x = 56; x < 120; ++x)
            dark += p.red(x, y) < 100;
    }
    EXPECT_GT(pinkCount, 30);
    EXPECT_GT(plain, 20);
    EXPECT_GT(dark, 40) << "badge text";
    EXPECT_LT(p.red(70, 43), 80) << "badge border";
    EXPECT_LT(Painted(top).red(80, 2), 80) << "badge top border at the top";
}

}  // namespace
}  // namespace vela
