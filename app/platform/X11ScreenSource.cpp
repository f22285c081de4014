#include "app/platform/X11ScreenSource.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "app/platform/DesktopScreens.h"

namespace vela {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct ImageDestroyer {
    void operator()(XImage* image) const { XDestroyImage(image); }
};
using XImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

DisplayPtr openDisplay(const std::string& name) {
    return DisplayPtr(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
}

// Spreads a channel mask's value over 0..255.
std::uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const unsigned long max = mask >> shift;
    return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
}

PixelImage toPixelImage(XImage* x) {
    PixelImage image;
    image.width = x->width;
    image.height = x->height;
    image.pixels.resize(static_cast<std::size_t>(x->width) * static_cast<std::size_t>(x->height));
    const bool nativeRgb =
        x->bits_per_pixel == 32 && x->red_mask == 0xFF0000 && x->green_mask == 0xFF00 &&
        x->blue_mask == 0xFF &&
        (x->byte_order == LSBFirst) == (std::endian::native == std::endian::little);
    for (int y = 0; y < x->height; ++y) {
        std::uint32_t* row = image.pixels.data() + static_cast<std::size_t>(y) * x->width;
        if (nativeRgb) {
            std::memcpy(row, x->data + static_cast<std::ptrdiff_t>(y) * x->bytes_per_line,
                        static_cast<std::size_t>(x->width) * 4);
            for (int i = 0; i < x->width; ++i)
                row[i] &= 0xFFFFFF;
        } else {
            for (int i = 0; i < x->width; ++i) {
                const unsigned long p = XGetPixel(x, i, y);
                row[i] = channel(p, x->red_mask) << 16 | channel(p, x->green_mask) << 8 |
                         channel(p, x->blue_mask);
            }
        }
    }
    return image;
}

}  // namespace

PixelRect toDevicePixels(const Rect& r, const ScreenLayout& layout) {
    // A hair of tolerance keeps exact pixel edges from growing by one through rounding.
    constexpr double kSlack = 1e-6;
    const double s = layout.scale;
    const double bottomOfPrimary = layout.primary.y + layout.primary.height;
    const double left = std::floor(layout.primary.x + r.minX() * s + kSlack);
    const double right = std::ceil(layout.primary.x + r.maxX() * s - kSlack);
    const double top = std::floor(bottomOfPrimary - r.maxY() * s + kSlack);
    const double bottom = std::ceil(bottomOfPrimary - r.minY() * s - kSlack);
    return {static_cast<int>(left), static_cast<int>(top),
            static_cast<int>(std::max(0.0, right - left)),
            static_cast<int>(std::max(0.0, bottom - top))};
}

std::optional<ScreenLayout> currentScreenLayout(const std::string& displayName) {
    GdkDisplay* gdk = gdk_display_get_default();
    if (gdk && GDK_IS_X11_DISPLAY(gdk) &&
        (displayName.empty() || displayName == gdk_display_get_name(gdk))) {
        if (GdkMonitor* monitor = primaryMonitor(gdk)) {
            GdkRectangle g;
            gdk_monitor_get_geometry(monitor, &g);
            const int scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
            // GDK reports logical pixels; the root window counts device pixels.
            return ScreenLayout{{g.x * scale, g.y * scale, g.width * scale, g.height * scale},
                                static_cast<double>(scale)};
        }
    }
    DisplayPtr display = openDisplay(displayName);
    if (!display)
        return std::nullopt;
    Screen* screen = DefaultScreenOfDisplay(display.get());
    return ScreenLayout{{0, 0, WidthOfScreen(screen), HeightOfScreen(screen)}, 1.0};
}

X11ScreenSource::X11ScreenSource() : X11ScreenSource(Options{}) {}
X11ScreenSource::X11ScreenSource(Options options) : options_(std::move(options)) {}

std::shared_ptr<const FrozenScreen> X11ScreenSource::grab(
    const std::optional<ScreenLayout>& layout) const {
    if (options_.screenshot)
        return grabScreenshot(layout);
    DisplayPtr display = openDisplay(options_.displayName);
    if (!display)
        return nullptr;
    const Window root = DefaultRootWindow(display.get());
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display.get(), root, &attributes))
        return nullptr;
    XSync(display.get(), False);  // everything drawn before the grab is in the frame
    XImagePtr image(XGetImage(display.get(), root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap));
    if (!image)
        return nullptr;
    auto frame = std::make_shared<FrozenScreen>();
    frame->image = toPixelImage(image.get());
    frame->layout = layout.value_or(ScreenLayout{{0, 0, attributes.width, attributes.height}, 1.0});
    return frame;
}

std::shared_ptr<const FrozenScreen> X11ScreenSource::grabScreenshot(
    const std::optional<ScreenLayout>& layout) const {
    std::optional<PixelImage> image = options_.screenshot();
    if (!image || image->empty())
        return nullptr;
    // The layout counts X pixels; the screenshot counts the compositor's, which differ by
    // the output scale when XWayland is not scaled with it.
    ScreenLayout l = layout.value_or(ScreenLayout{{0, 0, image->width, image->height}, 1.0});
    if (DisplayPtr display = openDisplay(options_.displayName)) {
        XWindowAttributes root;
        if (XGetWindowAttributes(display.get(), DefaultRootWindow(display.get()), &root) &&
            root.width > 0 && root.width != image->width) {
            const double f = static_cast<double>(image->width) / root.width;
            const PixelRect p = l.primary;
            l = ScreenLayout{
                {static_cast<int>(std::lround(p.x * f)), static_cast<int>(std::lround(p.y * f)),
                 static_cast<int>(std::lround(p.width * f)),
                 static_cast<int>(std::lround(p.height * f))},
                l.scale * f};
        }
    }
    auto frame = std::make_shared<FrozenScreen>();
    frame->image = std::move(*image);
    frame->layout = l;
    return frame;
}

std::shared_ptr<const FrozenScreen> X11ScreenSource::freeze() {
    return freeze(options_.layout ? options_.layout : currentScreenLayout(options_.displayName));
}

std::shared_ptr<const FrozenScreen> X11ScreenSource::freeze(
    const std::optional<ScreenLayout>& layout) {
    auto frame = grab(layout);
    std::lock_guard lock(mutex_);
    frozen_ = frame;
    return frame;
}

std::shared_ptr<const FrozenScreen> X11ScreenSource::frozenScreen() const {
    std::lock_guard lock(mutex_);
    return frozen_;
}

void X11ScreenSource::thaw() {
    std::lock_guard lock(mutex_);
    frozen_.reset();
}

std::optional<PixelImage> X11ScreenSource::capture(const Rect& desktopRect,
                                                   std::uint32_t /*excludingWindowNumber*/) {
    auto frame = frozenScreen();
    if (!frame)
        frame = grab(options_.layout);
    if (!frame)
        return std::nullopt;
    const PixelRect p = toDevicePixels(desktopRect, frame->layout);
    return frame->image.cropped(p.x, p.y, p.width, p.height);
}

}  // namespace vela
