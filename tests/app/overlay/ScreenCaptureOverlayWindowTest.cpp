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
#include "app/overlay/ScreenCaptureOverlayWindow.h"

namespace vela {
namespace {

constexpr std::uint32_t kFrozen = 0x4080C0, kDimmed = 0x2E5C8A;  // 72 % under the overlay
constexpr std::uint32_t kWhite = 0xFFFFFF, kDimmedWhite = 0xB8B8B8;

// The screen as frozen when the capture started: one colour with a white block at
// (1000, 300)-(1200, 500).
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

    // Whether the screen shows `rgb` at (px, py), within 3 per channel.
    bool shows(int px, int py, std::uint32_t rgb) {
        XImage* image = XGetImage(x.display(), DefaultRootWindow(x.display()), px, py, 1, 1,
                                  AllPlanes, ZPixmap);
        const auto actual = static_cast<std::uint32_t>(XGetPixel(image, 0, 0));
        XDestroyImage(image);
        for (int shift : {16, 8, 0}) {
            if (std::abs(int((actual >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)) > 3)
                return false;
        }
        return true;
    }
    // Shows the overlay; its callback drops it, as the shell does.
    void open(std::unique_ptr<ScreenCaptureOverlayWindow> window) {
        overlay = std::move(window);
        const auto outcome = [this](std::optional<Rect> rect) {
            EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(overlay->window())));
            outcomes.push_back(rect);
            overlay.reset();
        };
        overlay->onFinishSelection = [=, this](const Rect& rect, std::uint32_t number) {
            EXPECT_EQ(number, overlay->windowNumber());
            outcome(rect);
        };
        overlay->onCancelSelection = [=] { outcome(std::nullopt); };
        overlay->makeKeyAndOrderFront();
        left = static_cast<int>(overlay->screen().monitorFrame.minX()) + 20;
        ASSERT_TRUE(test::spinUntil([&] { return shows(left, 20, kDimmed); })) << "not shown";
    }
    bool waitFor(std::size_t count) {
        return test::spinUntil([&] { return outcomes.size() >= count; });
    }

    test::XInput x;
    std::unique_ptr<ScreenCaptureOverlayWindow> overlay;
    std::vector<std::optional<Rect>> outcomes;  // a selection in desktop points, or a cancel
    int left = 0;                               // a point near the overlay's top-left corner
};

TEST_F(ScreenCaptureOverlayWindowTest, DragShowsTheFrozenScreenAndReportsDesktopPoints) {
    // Drags to (1150, 600): (1100, 400) is inside the selection, (1175, 320) outside it, both
    // on the white block.
    struct Case {
        OverlayScreen screen;
        int x0, uncoveredX;
        Rect selection;
    };
    const std::vector<Case> cases = {
        {overlayScreenFor(gdk_display_get_monitor(gdk_display_get_default(), 0)), 900, 0,
         Rect(900, 480, 250, 250)},
        // The right half of the screen as a second monitor beside a primary left half.
        {{Rect(960, 0, 960, 1080), Rect(0, 0, 960, 1080), 1}, 1000, 940, Rect(1000, 480, 150, 250)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x0);
        outcomes.clear();
        open(std::make_unique<ScreenCaptureOverlayWindow>(c.screen, frozenScreen()));
        GdkCursor* cursor =
            gdk_window_get_cursor(gtk_widget_get_window(overlay->overlayView().widget()));
        EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_CROSSHAIR);
        EXPECT_FALSE(c.uncoveredX && shows(c.uncoveredX, 250, kDimmed)) << "beyond its monitor";
        x.move(c.x0, 350);
        x.button(1, true);
        x.move(1150, 600);
        EXPECT_TRUE(test::spinUntil([&] { return shows(1100, 400, kWhite); })) << "the hole";
        EXPECT_TRUE(shows(1175, 320, kDimmedWhite));
        x.button(1, false);
        ASSERT_TRUE(waitFor(1));
        EXPECT_EQ(outcomes[0], c.selection);
        EXPECT_EQ(overlay, nullptr);
        EXPECT_TRUE(test::spinUntil([&] { return !shows(left, 20, kDimmed); })) << "still shown";
    }
}

TEST_F(ScreenCaptureOverlayWindowTest, SmallSelectionsClicksAndRightClicksCancelOtherKeysDoNot) {
    const OverlayScreen screen{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1080), 0};
    const std::vector<std::pair<std::function<void()>, std::optional<Rect>>> cases = {
        {[&] { x.click(500, 500); }, std::nullopt},
        {[&] { x.drag(100, 100, 109, 300); }, std::nullopt},  // too narrow
        {[&] {  // other keys are swallowed: the drag after them still counts
             for (const char* key : {"a", "Return", "space"})
                 x.chord({key});
             x.drag(100, 100, 110, 110);
         },
         Rect(100, 970, 10, 10)},
        {[&] { x.click(700, 700, 3); }, std::nullopt},
        {[&] {  // a right-click amid a drag; the release that follows does not finish it
             x.move(200, 200);
             x.button(1, true);
             x.click(400, 400, 3);
             x.button(1, false);
         },
         std::nullopt},
    };
    std::vector<std::optional<Rect>> expected;
    for (const auto& [act, outcome] : cases) {
        open(std::make_unique<ScreenCaptureOverlayWindow>(screen, frozenScreen()));
        act();
        ASSERT_TRUE(waitFor(expected.size() + 1));
        expected.push_back(outcome);
    }
    EXPECT_EQ(outcomes, expected);
}

TEST_F(ScreenCaptureOverlayWindowTest, OpensFromTheCaptureHotKeyWhileItIsStillHeld) {
    // As the application does it: the capture shortcut opens the overlay, whose keyboard
    // grab must win over the shortcut's own grab while the keys are still down.
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    ASSERT_TRUE(
        hotKeys.registerShortcuts(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    hotKeys.onCaptureHotKey = [&] {
        open(std::make_unique<ScreenCaptureOverlayWindow>(
            gdk_display_get_monitor(gdk_display_get_default(), 0), frozenScreen()));
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
