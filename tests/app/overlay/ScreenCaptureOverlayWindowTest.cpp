// The selection overlay as a user meets it: a real window on the X server, opened by
// the capture hot key while it is still held, driven by real pointer and key input, its look
// read back from the screen's pixels.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xutil.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"
#include "app/overlay/ScreenCaptureOverlayWindow.h"

namespace vela {
namespace {

constexpr std::uint32_t kFrozen = 0x4080C0, kDimmed = 0x2E5C8A, kWhite = 0xFFFFFF;

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
    // Shows the overlay over the screen as frozen when the capture started: one colour with a
    // white block at (1000, 300)-(1200, 500). Its callback drops it, as the shell does.
    void open(const OverlayScreen& screen) {
        PixelImage image{1920, 1080, std::vector<std::uint32_t>(1920 * 1080, kFrozen)};
        for (int y = 300; y < 500; ++y)
            std::fill_n(image.pixels.begin() + y * 1920 + 1000, 200, kWhite);
        overlay = std::make_unique<ScreenCaptureOverlayWindow>(
            screen, std::make_shared<const FrozenScreen>(FrozenScreen{
                        std::move(image), ScreenLayout{PixelRect{0, 0, 1920, 1080}, 1.0}}));
        const auto outcome = [this](std::optional<Rect> rect) {
            EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(overlay->window())));
            outcomes.push_back(rect);
            overlay.reset();
        };
        overlay->onFinishSelection = [=](const Rect& rect, std::uint32_t) { outcome(rect); };
        overlay->onCancelSelection = [=] { outcome(std::nullopt); };
        overlay->makeKeyAndOrderFront();
        EXPECT_EQ(gdk_cursor_get_cursor_type(gdk_window_get_cursor(
                      gtk_widget_get_window(overlay->overlayView().widget()))),
                  GDK_CROSSHAIR);
        const int left = static_cast<int>(screen.monitorFrame.minX());
        ASSERT_TRUE(test::spinUntil([&] { return shows(left + 20, 20, kDimmed); })) << "not shown";
        EXPECT_FALSE(left > 0 && shows(left - 20, 20, kDimmed)) << "beyond its monitor";
    }

    test::XInput x;
    std::unique_ptr<ScreenCaptureOverlayWindow> overlay;
    std::vector<std::optional<Rect>> outcomes;  // a selection in desktop points, or a cancel
};

TEST_F(ScreenCaptureOverlayWindowTest, OpensOnTheHeldHotKeyAndEndsInOneSelectionOrCancel) {
    const OverlayScreen whole{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1080), 0};
    struct Case {
        OverlayScreen screen;
        std::function<void()> act;
        std::optional<Rect> outcome;
    };
    const unsigned keys[] = {x.keycode("Control_L"), x.keycode("Alt_L"), x.keycode("s")};
    std::vector<std::optional<Rect>> expected;
    const std::vector<Case> cases = {
        // On the right half of the screen as a second monitor beside a primary left half, a
        // drag from (1000, 350) to (1150, 530) is shown at each of its two steps as a hole
        // over the white block.
        {{Rect(960, 0, 960, 1080), Rect(0, 0, 960, 1080), 1},
         [&] {
             x.move(1000, 350);
             x.button(1, true);
             for (const auto& [px, py] : {std::pair{1100, 450}, {1150, 530}}) {
                 x.move(px, py);
                 EXPECT_TRUE(test::spinUntil([&] { return shows(px - 40, py - 40, kWhite); }));
             }
             x.button(1, false);
         },
         Rect(1000, 550, 150, 180)},
        {whole, [&] { x.drag(100, 100, 109, 300); }, std::nullopt},  // too narrow
        {whole,
         [&] {  // other keys are swallowed: the drag after them, up and left, still counts
             for (const char* key : {"a", "Return", "space"})
                 x.chord({key});
             x.drag(110, 110, 100, 100);
         },
         Rect(100, 970, 10, 10)},
        {whole, [&] { x.click(700, 700, 3); }, std::nullopt},
        {whole, [&] { x.chord({"Escape"}); }, std::nullopt},
        // Once the hot key is let go, the overlay's keyboard grab takes Escape while no
        // window has the focus.
        {whole,
         [&] {
             for (unsigned key : keys)
                 x.key(key, false);
             XSetInputFocus(x.display(), None, RevertToNone, CurrentTime);
             EXPECT_TRUE(test::spinUntil([&] {
                 x.chord({"Escape"});
                 return outcomes.size() > expected.size();
             }));
             XSetInputFocus(x.display(), PointerRoot, RevertToPointerRoot, CurrentTime);
         },
         std::nullopt},
    };
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    ASSERT_TRUE(
        hotKeys.registerShortcuts(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    for (const Case& c : cases) {
        SCOPED_TRACE(expected.size());
        hotKeys.onCaptureHotKey = [&] { open(c.screen); };
        for (unsigned key : keys)  // the capture hot key, held until the case ends
            x.key(key, true);
        ASSERT_TRUE(test::spinUntil([&] { return overlay != nullptr; }));
        c.act();
        expected.push_back(c.outcome);
        ASSERT_TRUE(test::spinUntil([&] { return outcomes.size() == expected.size(); }));
        for (unsigned key : keys)
            x.key(key, false);
        EXPECT_TRUE(test::spinUntil([&] { return !shows(980, 20, kDimmed); })) << "still shown";
    }
    EXPECT_EQ(outcomes, expected);
}

}  // namespace
}  // namespace vela
