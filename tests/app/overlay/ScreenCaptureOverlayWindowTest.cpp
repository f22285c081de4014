// The selection overlay as a user meets it: a real window on the X server, driven by real
// pointer and key input, its look read back from the screen's pixels.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xutil.h>
#include <gtk/gtk.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"
#include "app/overlay/CaptureSelectionGeometry.h"
#include "app/overlay/ScreenCaptureOverlayWindow.h"

namespace vela {
namespace {

constexpr std::uint32_t kFrozen = 0x4080C0;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// Whether two colours match within 3 per channel; `dimmedB` compares with `b` dimmed.
bool near(std::uint32_t a, std::uint32_t b, bool dimmedB = false) {
    for (int shift : {16, 8, 0}) {
        const double cb = ((b >> shift) & 0xFF) * (dimmedB ? 1 - kOverlayDimAlpha : 1);
        if (std::abs(static_cast<double>((a >> shift) & 0xFF) - cb) > 3)
            return false;
    }
    return true;
}

// The screen as frozen when the capture started: one colour with a white block at
// (1000, 300)-(1200, 500) in X screen pixels.
std::shared_ptr<const FrozenScreen> frozenScreen() {
    PixelImage image{1920, 1080, std::vector<std::uint32_t>(1920 * 1080, kFrozen)};
    for (int y = 300; y < 500; ++y)
        std::fill_n(image.pixels.begin() + y * 1920 + 1000, 200, kWhite);
    return std::make_shared<const FrozenScreen>(
        FrozenScreen{std::move(image), ScreenLayout{PixelRect{0, 0, 1920, 1080}, 1.0}});
}

class ScreenCaptureOverlayWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(test::ensureGtk()); }
    void SetUp() override { ASSERT_TRUE(x.ok()); }
    void TearDown() override {
        overlay.reset();
        test::drainEvents();
    }

    std::uint32_t pixel(int px, int py) {
        XImage* image = XGetImage(x.display(), DefaultRootWindow(x.display()), px, py, 1, 1,
                                  AllPlanes, ZPixmap);
        const auto value = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return value;
    }
    // Shows the overlay as the shell does, which drops it in its callback when `drop`.
    void open(std::unique_ptr<ScreenCaptureOverlayWindow> window, bool drop = true) {
        overlay = std::move(window);
        const auto outcome = [this, drop](std::optional<Rect> rect) {
            EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(overlay->window())));
            outcomes.push_back(rect);
            if (drop)
                overlay.reset();
        };
        overlay->onFinishSelection = [=, this](const Rect& rect, std::uint32_t number) {
            EXPECT_EQ(number, overlay->windowNumber());
            outcome(rect);
        };
        overlay->onCancelSelection = [=] { outcome(std::nullopt); };
        overlay->makeKeyAndOrderFront();
        // Shown and painted: the frozen image appears dimmed on the screen.
        const int left = static_cast<int>(overlay->screen().monitorFrame.minX()) + 20;
        ASSERT_TRUE(test::spinUntil([&] { return near(pixel(left, 20), kFrozen, true); }));
    }
    void open(const OverlayScreen& screen, bool drop = true) {
        open(std::make_unique<ScreenCaptureOverlayWindow>(screen, frozenScreen()), drop);
    }
    bool waitFor(std::size_t count) {
        return test::spinUntil([&] { return outcomes.size() >= count; });
    }

    test::XInput x;
    std::unique_ptr<ScreenCaptureOverlayWindow> overlay;
    std::vector<std::optional<Rect>> outcomes;  // a selection in desktop points, or a cancel
};

TEST_F(ScreenCaptureOverlayWindowTest, DragShowsTheFrozenScreenAndReportsDesktopPoints) {
    GdkMonitor* monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
    struct Case {
        const char* name;
        OverlayScreen screen;
        int x0, y0, x1, y1;  // the drag, in X screen pixels
        int holeX, holeY;    // inside the selection and the white block: undimmed
        int outX, outY;      // outside the selection, on the white block: dimmed
        std::optional<int> uncoveredX;
        Rect selection;
    };
    const std::vector<Case> cases = {
        {"monitor", overlayScreenFor(monitor), 900, 350, 1150, 600, 1100, 400, 1175, 450,
         std::nullopt, Rect(900, 480, 250, 250)},
        // The right half of the screen as a second monitor beside a primary left half.
        {"second monitor",
         {Rect(960, 0, 960, 1080), Rect(0, 0, 960, 1080), 1},
         1060,
         300,
         1260,
         400,
         1100,
         350,
         1100,
         450,
         940,
         Rect(1060, 680, 200, 100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        outcomes.clear();
        open(c.screen);
        GdkCursor* cursor =
            gdk_window_get_cursor(gtk_widget_get_window(overlay->overlayView().widget()));
        ASSERT_NE(cursor, nullptr);
        EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_CROSSHAIR);
        EXPECT_FALSE(c.uncoveredX && near(pixel(*c.uncoveredX, 250), kFrozen, true))
            << "covers its own monitor only";

        x.move(c.x0, c.y0);
        x.button(1, true);
        x.move(c.x1, c.y1);
        ASSERT_TRUE(test::spinUntil([&] { return near(pixel(c.holeX, c.holeY), kWhite); }))
            << "the hole shows the frozen image undimmed";
        EXPECT_TRUE(near(pixel(c.outX, c.outY), kWhite, true));
        x.button(1, false);
        ASSERT_TRUE(waitFor(1));
        EXPECT_EQ(outcomes[0], c.selection);
        EXPECT_EQ(overlay, nullptr);
        const int left = static_cast<int>(c.screen.monitorFrame.minX()) + 20;
        EXPECT_TRUE(test::spinUntil([&] { return !near(pixel(left, 20), kFrozen, true); }))
            << "the live screen is back";
    }
}

TEST_F(ScreenCaptureOverlayWindowTest, SmallSelectionsClicksKeysAndRightClicksCancelOnce) {
    const OverlayScreen screen{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1080), 0};
    struct Case {
        const char* name;
        std::function<void()> act;
        std::optional<Rect> outcome;
    };
    const std::vector<Case> cases = {
        {"click", [&] { x.click(500, 500); }, std::nullopt},
        {"9 x 200", [&] { x.drag(100, 100, 109, 300); }, std::nullopt},
        {"10 x 10", [&] { x.drag(100, 100, 110, 110); }, Rect(100, 970, 10, 10)},
        {"other keys are swallowed, Escape twice",
         [&] {
             for (const char* key : {"a", "Return", "space", "Escape", "Escape"})
                 x.chord({key});
             x.click(300, 300, 3);
         },
         std::nullopt},
        {"right-click amid a drag, then the release",
         [&] {
             x.move(200, 200);
             x.button(1, true);
             x.move(400, 400);
             x.click(400, 400, 3);
             x.button(1, false);
         },
         std::nullopt},
        {"right-click, then Escape",
         [&] {
             x.click(700, 700, 3);
             x.chord({"Escape"});
         },
         std::nullopt},
    };
    std::vector<std::optional<Rect>> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open(screen, false);  // kept open: what follows the first outcome must not count
        c.act();
        ASSERT_TRUE(waitFor(expected.size() + 1));
        expected.push_back(c.outcome);
        overlay.reset();
    }
    // The next overlay's Escape comes after everything above has been handled.
    open(screen);
    x.chord({"Escape"});
    ASSERT_TRUE(waitFor(expected.size() + 1));
    expected.push_back(std::nullopt);
    EXPECT_EQ(outcomes, expected);
}

TEST_F(ScreenCaptureOverlayWindowTest, OpensFromTheCaptureHotKeyWhileItIsStillHeld) {
    // As the application does it: the capture shortcut opens the overlay, whose keyboard
    // grab must win over the shortcut's own grab while the keys are still down.
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    ASSERT_TRUE(
        hotKeys.registerShortcuts(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    GdkMonitor* monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
    hotKeys.onCaptureHotKey = [&] {
        open(std::make_unique<ScreenCaptureOverlayWindow>(monitor, frozenScreen()));
    };
    const unsigned keys[] = {x.keycode("Control_L"), x.keycode("Alt_L"), x.keycode("s")};
    for (unsigned key : keys)
        x.key(key, true);
    ASSERT_TRUE(test::spinUntil([&] { return overlay != nullptr; }));
    x.chord({"Escape"});
    ASSERT_TRUE(waitFor(1));
    for (unsigned key : keys)
        x.key(key, false);
    EXPECT_EQ(outcomes, std::vector<std::optional<Rect>>{std::nullopt});
    hotKeys.unregisterAll();
    hotKeys.onCaptureHotKey = nullptr;
}

}  // namespace
}  // namespace vela
