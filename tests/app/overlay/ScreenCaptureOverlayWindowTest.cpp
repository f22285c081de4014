// The selection overlay as a user meets it: a real window on the X server, driven by XTest
// pointer drags and key presses, its look read back from the screen's pixels.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"
#include "app/overlay/ScreenCaptureOverlayWindow.h"

namespace vela {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kFrozenColour = 0x4080C0;
constexpr std::uint32_t kFrozenWhite = 0xFFFFFF;

// A user at the keyboard and mouse, and a camera on the screen: a second X connection.
class User {
  public:
    User() : dpy_(XOpenDisplay(nullptr)) {}
    ~User() {
        if (dpy_)
            XCloseDisplay(dpy_);
    }
    User(const User&) = delete;
    User& operator=(const User&) = delete;
    Display* dpy() const { return dpy_; }

    void moveTo(int x, int y) {
        XTestFakeMotionEvent(dpy_, -1, x, y, 0);
        XSync(dpy_, False);
    }
    void button(unsigned int number, bool down) {
        XTestFakeButtonEvent(dpy_, number, down, 0);
        XSync(dpy_, False);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(dpy_, XKeysymToKeycode(dpy_, sym), down, 0);
        XSync(dpy_, False);
    }
    void tap(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(dpy_, sym);
        XTestFakeKeyEvent(dpy_, code, True, 0);
        XTestFakeKeyEvent(dpy_, code, False, 0);
        XSync(dpy_, False);
    }
    std::uint32_t pixel(int x, int y) {
        XImage* image = XGetImage(dpy_, DefaultRootWindow(dpy_), x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr)
            return 0xDEADBEEF;
        const auto value = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return value;
    }

  private:
    Display* dpy_;
};

std::uint32_t dimmed(std::uint32_t rgb) {
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const auto c = static_cast<std::uint32_t>(std::lround(((rgb >> shift) & 0xFF) * 0.72));
        out |= c << shift;
    }
    return out;
}

bool near(std::uint32_t a, std::uint32_t b, int tolerance = 3) {
    for (int shift : {16, 8, 0}) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance)
            return false;
    }
    return true;
}

std::string hex(std::uint32_t rgb) {
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", rgb);
    return text;
}

// The screen as frozen when the capture started: one colour with a white block at
// (1000, 300)-(1200, 500) in X screen pixels.
std::shared_ptr<const FrozenScreen> frozenScreen() {
    PixelImage image{1920, 1080, std::vector<std::uint32_t>(1920 * 1080, kFrozenColour)};
    for (int y = 300; y < 500; ++y) {
        for (int x = 1000; x < 1200; ++x)
            image.pixels[y * 1920 + x] = kFrozenWhite;
    }
    return std::make_shared<const FrozenScreen>(
        FrozenScreen{std::move(image), ScreenLayout{PixelRect{0, 0, 1920, 1080}, 1.0}});
}

class ScreenCaptureOverlayWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }

    void SetUp() override {
        ASSERT_NE(user.dpy(), nullptr);
        GdkDisplay* display = gdk_display_get_default();
        ASSERT_GE(gdk_display_get_n_monitors(display), 1);
        monitor = gdk_display_get_primary_monitor(display);
        if (monitor == nullptr)
            monitor = gdk_display_get_monitor(display, 0);
        GdkRectangle g{};
        gdk_monitor_get_geometry(monitor, &g);
        ASSERT_EQ(g.width, 1920);
        ASSERT_EQ(g.height, 1080);
    }
    void TearDown() override {
        overlay.reset();
        test::spinUntil([] { return !g_main_context_iteration(nullptr, FALSE); });
    }

    // Opens the overlay as the shell does; by default the shell drops it in the callback.
    void open(std::unique_ptr<ScreenCaptureOverlayWindow> window) {
        overlay = std::move(window);
        overlay->onFinishSelection = [this](const Rect& rect, std::uint32_t number) {
            EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(overlay->window())));
            finished.push_back(rect);
            numbers.push_back(number);
            if (dropOnCallback)
                overlay.reset();
        };
        overlay->onCancelSelection = [this] {
            EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(overlay->window())));
            ++cancels;
            if (dropOnCallback)
                overlay.reset();
        };
        overlay->makeKeyAndOrderFront();
        // Shown and painted: the frozen image appears dimmed on the screen.
        const Rect& frame = overlay->screen().monitorFrame;
        const int x = static_cast<int>(frame.minX()) + 20;
        ASSERT_TRUE(test::spinUntil([&] { return near(user.pixel(x, 20), dimmed(kFrozenColour)); }))
            << hex(user.pixel(x, 20));
    }
    void openOnMonitor() {
        open(std::make_unique<ScreenCaptureOverlayWindow>(monitor, frozenScreen()));
    }

    // Left-button drag in X screen pixels, through a middle point; the button stays down.
    void dragTo(int x0, int y0, int x1, int y1) {
        user.moveTo(x0, y0);
        user.button(1, true);
        user.moveTo((x0 + x1) / 2, (y0 + y1) / 2);
        user.moveTo(x1, y1);
        const Rect& frame = overlay->screen().monitorFrame;
        const Point expected{x1 - frame.minX(), y1 - frame.minY()};
        ASSERT_TRUE(
            test::spinUntil([&] { return overlay->overlayView().currentPoint == expected; }));
    }
    void releaseAndWait(std::size_t callbacks) {
        user.button(1, false);
        ASSERT_TRUE(waitForCallbacks(callbacks));
    }
    bool waitForCallbacks(std::size_t count) {
        return test::spinUntil([&] { return finished.size() + cancels >= count; });
    }

    User user;
    GdkMonitor* monitor = nullptr;
    std::unique_ptr<ScreenCaptureOverlayWindow> overlay;
    std::vector<Rect> finished;
    std::vector<std::uint32_t> numbers;
    int cancels = 0;
    bool dropOnCallback = true;
};

TEST_F(ScreenCaptureOverlayWindowTest, DragShowsTheSelectionAndReportsDesktopPoints) {
    openOnMonitor();
    const std::uint32_t xid = overlay->windowNumber();
    EXPECT_NE(xid, 0u);
    // The frozen image fills the monitor, dimmed; the crosshair is the view's cursor.
    EXPECT_TRUE(near(user.pixel(1100, 400), dimmed(kFrozenWhite))) << hex(user.pixel(1100, 400));
    EXPECT_TRUE(near(user.pixel(1900, 1070), dimmed(kFrozenColour)));
    GdkCursor* cursor =
        gdk_window_get_cursor(gtk_widget_get_window(overlay->overlayView().widget()));
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_CROSSHAIR);

    dragTo(900, 350, 1150, 600);
    ASSERT_TRUE(test::spinUntil([&] { return near(user.pixel(950, 450), kFrozenColour); }))
        << "the hole shows the frozen image undimmed: " << hex(user.pixel(950, 450));
    EXPECT_TRUE(near(user.pixel(1100, 400), kFrozenWhite)) << hex(user.pixel(1100, 400));
    EXPECT_TRUE(near(user.pixel(1100, 550), kFrozenColour)) << "hole below the white block";
    EXPECT_TRUE(near(user.pixel(1175, 450), dimmed(kFrozenWhite))) << "right of the hole";
    EXPECT_TRUE(near(user.pixel(800, 700), dimmed(kFrozenColour))) << "left of the hole";
    EXPECT_TRUE(near(user.pixel(898, 450), 0x000000))
        << "inner border " << hex(user.pixel(898, 450));
    EXPECT_TRUE(near(user.pixel(1000, 601), 0x000000)) << "inner border below";
    // The badge: pink, from the selection's left edge, its bottom 6 points above it.
    EXPECT_TRUE(near(user.pixel(903, 340), 0xFF90E8)) << "badge " << hex(user.pixel(903, 340));
    EXPECT_TRUE(near(user.pixel(903, 347), dimmed(kFrozenColour))) << "gap under the badge";
    // The dashed pink outer border, 3 points out on the left edge.
    int pink = 0;
    for (int y = 350; y < 600; ++y) {
        const std::uint32_t p = user.pixel(897, y);
        if (((p >> 16) & 0xFF) > 150 && ((p >> 8) & 0xFF) > 80)
            ++pink;
    }
    EXPECT_GT(pink, 80) << "dashed outer border";
    EXPECT_LT(pink, 220) << "dashed outer border has gaps";
    if (std::system("command -v import >/dev/null 2>&1") == 0) {
        const std::string shot = std::string(VELA_BINARY_DIR) + "/overlay-mid-drag.png";
        EXPECT_EQ(std::system(("import -window root " + shot).c_str()), 0);
    }

    releaseAndWait(1);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(finished[0], Rect(900, 1080 - 600, 250, 250));
    EXPECT_EQ(numbers[0], xid);
    EXPECT_EQ(overlay, nullptr);
    // The screen is the live one again.
    EXPECT_TRUE(test::spinUntil([&] { return !near(user.pixel(20, 20), dimmed(kFrozenColour)); }));

    // Up and to the left gives the same rectangle.
    openOnMonitor();
    dragTo(1150, 600, 900, 350);
    releaseAndWait(2);
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_EQ(finished[1], Rect(900, 480, 250, 250));
}

TEST_F(ScreenCaptureOverlayWindowTest, SmallSelectionsClicksKeysAndRightClicksCancelOnce) {
    // A click.
    openOnMonitor();
    user.moveTo(500, 500);
    user.button(1, true);
    user.button(1, false);
    ASSERT_TRUE(waitForCallbacks(1));
    EXPECT_EQ(cancels, 1);

    // 9 x 200 is too narrow; 10 x 10 is enough.
    openOnMonitor();
    dragTo(100, 100, 109, 300);
    releaseAndWait(2);
    EXPECT_EQ(cancels, 2);
    openOnMonitor();
    dragTo(100, 100, 110, 110);
    releaseAndWait(3);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0], Rect(100, 970, 10, 10));

    // Other keys are swallowed; Escape cancels, once, even when pressed again.
    dropOnCallback = false;
    openOnMonitor();
    user.tap(XK_a);
    user.tap(XK_Return);
    user.tap(XK_space);
    user.tap(XK_Escape);
    ASSERT_TRUE(waitForCallbacks(4));
    EXPECT_EQ(cancels, 3);
    EXPECT_EQ(finished.size(), 1u);
    user.tap(XK_Escape);
    user.moveTo(300, 300);
    user.button(3, true);
    user.button(3, false);
    for (int i = 0; i < 100; ++i)
        g_main_context_iteration(nullptr, FALSE);

    // A right-click in the middle of a drag cancels; the release that follows adds nothing.
    openOnMonitor();
    dragTo(200, 200, 400, 400);
    user.button(3, true);
    user.button(3, false);
    ASSERT_TRUE(waitForCallbacks(5));
    user.button(1, false);
    EXPECT_EQ(cancels, 4);

    // A plain right-click, and Escape after it.
    openOnMonitor();
    user.moveTo(700, 700);
    user.button(3, true);
    user.button(3, false);
    ASSERT_TRUE(waitForCallbacks(6));
    user.tap(XK_Escape);
    // The next overlay's Escape is the sentinel: all earlier events have been handled.
    openOnMonitor();
    user.tap(XK_Escape);
    ASSERT_TRUE(waitForCallbacks(7));
    EXPECT_EQ(cancels, 6);
    EXPECT_EQ(finished.size(), 1u);
}

TEST_F(ScreenCaptureOverlayWindowTest, SecondMonitorReportsWithItsOffsetAndCoversOnlyItself) {
    // The right half of the X screen as a second monitor beside a primary left half.
    const OverlayScreen right{Rect(960, 0, 960, 1080), Rect(0, 0, 960, 1080), 1};
    open(std::make_unique<ScreenCaptureOverlayWindow>(right, frozenScreen()));
    EXPECT_TRUE(near(user.pixel(1100, 400), dimmed(kFrozenWhite))) << "image aligned";
    EXPECT_TRUE(near(user.pixel(970, 250), dimmed(kFrozenColour)));
    EXPECT_FALSE(near(user.pixel(940, 250), dimmed(kFrozenColour))) << "left half not covered";
    EXPECT_FALSE(near(user.pixel(100, 900), dimmed(kFrozenColour))) << "left half not covered";

    dragTo(1060, 300, 1260, 400);
    releaseAndWait(1);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0], Rect(1060, 680, 200, 100));
}

TEST_F(ScreenCaptureOverlayWindowTest, OpensFromTheCaptureHotKeyWhileItIsStillHeld) {
    // As the application does it: the capture shortcut opens the overlay, whose keyboard
    // grab must win over the shortcut's own grab while the keys are still down.
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    ASSERT_TRUE(
        hotKeys.registerShortcuts(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    hotKeys.onCaptureHotKey = [this] {
        open(std::make_unique<ScreenCaptureOverlayWindow>(monitor, frozenScreen()));
    };
    user.key(XK_Control_L, true);
    user.key(XK_Alt_L, true);
    user.key(XK_s, true);
    ASSERT_TRUE(test::spinUntil([&] { return overlay != nullptr; }));
    user.key(XK_Escape, true);
    user.key(XK_Escape, false);
    ASSERT_TRUE(waitForCallbacks(1));
    user.key(XK_s, false);
    user.key(XK_Alt_L, false);
    user.key(XK_Control_L, false);
    EXPECT_EQ(cancels, 1);

    // Once more, finishing with a drag this time.
    user.key(XK_Control_L, true);
    user.key(XK_Alt_L, true);
    user.key(XK_s, true);
    user.key(XK_s, false);
    user.key(XK_Alt_L, false);
    user.key(XK_Control_L, false);
    ASSERT_TRUE(test::spinUntil([&] { return overlay != nullptr; }));
    dragTo(300, 300, 500, 420);
    releaseAndWait(2);
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0], Rect(300, 660, 200, 120));
    hotKeys.unregisterAll();
    hotKeys.onCaptureHotKey = nullptr;
}

}  // namespace
}  // namespace vela
