// Real windows with real text on the X server, grabbed through the X11 screen source and
// recognised by Tesseract.
#include "app/platform/X11ScreenSource.h"

#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) clash with its names.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>

#include "core/capture/VisionOCRService.h"

namespace vela {
namespace {

void spin(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(5000);
    }
}

// An undecorated window at an exact root position showing one line of black text on white.
class TextWindow {
  public:
    TextWindow(const char* text, int x, int y, const char* background = "white") {
        window_ = gtk_window_new(GTK_WINDOW_POPUP);  // placed exactly, no manager needed
        GtkWidget* label = gtk_label_new(nullptr);
        const std::string markup =
            std::string("<span font_desc=\"DejaVu Sans 26px\" foreground=\"black\">") + text +
            "</span>";
        gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
        g_object_set(label, "margin", 30, nullptr);
        GtkCssProvider* css = gtk_css_provider_new();
        const std::string rule = std::string("window { background: ") + background + "; }";
        gtk_css_provider_load_from_data(css, rule.c_str(), -1, nullptr);
        gtk_style_context_add_provider(gtk_widget_get_style_context(window_),
                                       GTK_STYLE_PROVIDER(css),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        gtk_container_add(GTK_CONTAINER(window_), label);
        gtk_window_move(GTK_WINDOW(window_), x, y);
        g_signal_connect_after(window_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer d) {
                                   *static_cast<bool*>(d) = true;
                                   return FALSE;
                               }),
                               &drawn_);
        gtk_widget_show_all(window_);
        for (int i = 0; i < 400 && !drawn_; ++i)
            spin(std::chrono::milliseconds(5));
        spin(std::chrono::milliseconds(100));
        gdk_display_sync(gdk_display_get_default());
        gtk_window_get_size(GTK_WINDOW(window_), &width_, &height_);
        x_ = x;
        y_ = y;
    }
    ~TextWindow() {
        gtk_widget_destroy(window_);
        spin(std::chrono::milliseconds(50));
    }
    TextWindow(const TextWindow&) = delete;
    TextWindow& operator=(const TextWindow&) = delete;

    bool drawn() const { return drawn_; }
    int x() const { return x_; }
    int y() const { return y_; }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    GtkWidget* window_ = nullptr;
    bool drawn_ = false;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
};

class X11ScreenSourceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs an X server ($DISPLAY)";
        Display* x = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        rootHeight_ = DisplayHeight(x, DefaultScreen(x));
        rootWidth_ = DisplayWidth(x, DefaultScreen(x));
    }
    int rootWidth_ = 0;
    int rootHeight_ = 0;
};

TEST_F(X11ScreenSourceTest, FrozenFrameOfARealWindowIsRecognisedEndToEnd) {
    auto shown = std::make_unique<TextWindow>("Frozen frames keep their text", 300, 200);
    ASSERT_TRUE(shown->drawn());
    X11ScreenSource source;
    auto frame = source.freeze();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image.width, rootWidth_);
    EXPECT_EQ(frame->image.height, rootHeight_);
    EXPECT_EQ(frame->layout.primary, (PixelRect{0, 0, rootWidth_, rootHeight_}));
    EXPECT_EQ(source.frozenScreen(), frame);

    // Desktop points: y counts up from the bottom of the primary screen.
    const int w = shown->width(), h = shown->height();
    const Rect window(300, rootHeight_ - 200 - h, w, h);
    EXPECT_EQ(toDevicePixels(window, frame->layout), (PixelRect{300, 200, w, h}));
    EXPECT_EQ(frame->image.at(305, 205), 0xFFFFFFu);  // the window's white margin

    // What appears after the freeze (here: a black window over the text, like the overlay)
    // and what disappears (the text window itself) does not change the frame.
    TextWindow cover("", 250, 150, "black");
    shown.reset();
    VisionOCRService service(source);
    EXPECT_EQ(service.captureAndRecognize(window, 0),
              OCRCaptureResult::recognized("Frozen frames keep their text", window));
    // A white part of the frozen window holds no text.
    const Rect margin(302, rootHeight_ - 200 - 24, 200, 22);
    EXPECT_EQ(service.captureAndRecognize(margin, 0), OCRCaptureResult::emptyText(margin));

    // Without a frozen frame the capture grabs live: the black cover has no text.
    source.thaw();
    EXPECT_EQ(source.frozenScreen(), nullptr);
    const Rect covered(260, rootHeight_ - 160 - 40, 200, 40);
    auto live = source.capture(covered, 0);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->width, 200);
    EXPECT_EQ(live->at(100, 20), 0x000000u);
}

TEST_F(X11ScreenSourceTest, OffsetPrimaryMonitorAndScaleMapOntoTheRightPixels) {
    TextWindow first("Second monitor text", 200, 800);
    TextWindow second("Scaled points map", 1300, 300);
    ASSERT_TRUE(first.drawn() && second.drawn());

    // The primary monitor sits at (1000, 100) in the root window, 800 x 600 pixels; the
    // first window lies left of and below it, at negative desktop coordinates.
    X11ScreenSource offset({{}, ScreenLayout{{1000, 100, 800, 600}, 1.0}});
    ASSERT_TRUE(offset.freeze());
    const Rect left(200 - 1000, 700 - 800 - first.height(), first.width(), first.height());
    EXPECT_EQ(toDevicePixels(left, ScreenLayout{{1000, 100, 800, 600}, 1.0}),
              (PixelRect{200, 800, first.width(), first.height()}));
    VisionOCRService offsetService(offset);
    EXPECT_EQ(offsetService.captureAndRecognize(left, 0),
              OCRCaptureResult::recognized("Second monitor text", left));

    // Two device pixels per point: the same window in half as many points.
    const ScreenLayout hidpi{{0, 0, rootWidth_, rootHeight_}, 2.0};
    X11ScreenSource scaled({{}, hidpi});
    ASSERT_TRUE(scaled.freeze());
    const Rect half(1300 / 2.0, (rootHeight_ - 300 - second.height()) / 2.0, second.width() / 2.0,
                    second.height() / 2.0);
    EXPECT_EQ(toDevicePixels(half, hidpi), (PixelRect{1300, 300, second.width(), second.height()}));
    auto pixels = scaled.capture(half, 0);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width, second.width());  // full device resolution, not points
    VisionOCRService scaledService(scaled);
    EXPECT_EQ(scaledService.captureAndRecognize(half, 0),
              OCRCaptureResult::recognized("Scaled points map", half));

    // Fractions round outwards; a rectangle off every screen crops to nothing.
    EXPECT_EQ(toDevicePixels(Rect(0.25, 0.25, 10, 10), ScreenLayout{{0, 0, 100, 100}, 1.0}),
              (PixelRect{0, 89, 11, 11}));
    const Rect outside(-5000, -5000, 100, 100);
    auto none = offset.capture(outside, 0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(offsetService.captureAndRecognize(outside, 0), OCRCaptureResult::emptyText(outside));
}

TEST_F(X11ScreenSourceTest, NoDisplayMeansPermissionDenied) {
    X11ScreenSource missing({":97", std::nullopt});
    EXPECT_TRUE(missing.preflightAccess());
    EXPECT_EQ(missing.freeze(), nullptr);
    EXPECT_EQ(missing.frozenScreen(), nullptr);
    EXPECT_EQ(missing.capture(Rect(0, 0, 50, 50), 0), std::nullopt);
    VisionOCRService service(missing);
    EXPECT_EQ(service.captureAndRecognize(Rect(0, 0, 50, 50), 0),
              OCRCaptureResult::permissionDenied());
}

}  // namespace
}  // namespace vela
