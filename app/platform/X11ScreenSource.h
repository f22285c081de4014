#pragma once
// Screen pixels from the X server for the capture service.
//
// A capture freezes the screen first: `freeze()` grabs the whole root window (every
// monitor, in device pixels) before the selection overlay is shown, the overlay draws that
// frozen frame, and `capture()` later crops the selected rectangle from it. The overlay and
// anything above it are thus never in the picture, whatever window number is passed.
// The caller hides the panel and syncs its own X connection (gdk_display_sync) before
// `freeze()`, so the unmapped panel is gone from the frame.
//
// Coordinates: callers speak desktop points (origin at the lower-left corner of the primary
// monitor, y upwards); `toDevicePixels` is the one place that turns them into X11 root
// pixels (origin top-left, y downwards), using the layout recorded with the frame.
//
// Ownership and threads: the source opens its own short-lived X connection for each grab,
// so it never shares GDK's; `freeze()` without a layout runs on the main thread (it asks
// GDK for the monitor layout); `freeze(layout)`, `thaw()` and `capture()` on any thread, the
// portal's `freeze(layout)` preferably off the main thread. The frozen frame is immutable and
// shared: the overlay may keep drawing it while a worker crops it.
// Failures: a grab that cannot open the display or read the root window yields no frame,
// and `capture()` then answers none (the service reports that as permission denied).

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/capture/FrozenScreen.h"
#include "core/capture/ScreenSource.h"
#include "core/support/Geometry.h"

namespace vela {

// The smallest pixel rectangle covering `desktopRect` (whole pixels, rounded outwards).
PixelRect toDevicePixels(const Rect& desktopRect, const ScreenLayout& layout);

// The layout of the current X display: the primary monitor and scale GDK reports when GTK
// is initialised, otherwise the whole root window at scale 1. Main thread only.
std::optional<ScreenLayout> currentScreenLayout(const std::string& displayName = {});

class X11ScreenSource : public ScreenSource {
  public:
    struct Options {
        std::string displayName;             // empty: $DISPLAY
        std::optional<ScreenLayout> layout;  // fixed layout; none: ask at each grab
        // Where the whole-screen frame comes from instead of the root window (a Wayland
        // session, where the root window shows only XWayland's windows); may block.
        std::function<std::optional<PixelImage>()> screenshot = {};
    };

    X11ScreenSource();
    explicit X11ScreenSource(Options options);

    // Grabs the whole screen now and keeps it as the frame later captures crop from.
    // Returns the frame, or none when the grab failed (then no frame is kept).
    std::shared_ptr<const FrozenScreen> freeze();
    // The same with the layout given (asked on the main thread beforehand); any thread.
    std::shared_ptr<const FrozenScreen> freeze(const std::optional<ScreenLayout>& layout);
    // True when freezing goes through `Options::screenshot`, which may take a while.
    bool freezesThroughScreenshot() const { return bool(options_.screenshot); }
    // The frame of the last successful `freeze()`, if it has not been thawed.
    std::shared_ptr<const FrozenScreen> frozenScreen() const;
    // Drops the frame (the overlay's drawing may still hold a reference of its own).
    void thaw();

    // X11 needs no permission to read the screen.
    bool preflightAccess() override { return true; }
    bool requestAccess() override { return true; }
    // An X display always has a screen; a missing display shows up as a failed grab.
    bool hasScreen() override { return true; }
    // Crops the frozen frame; without one, grabs the screen afresh (which then includes
    // whatever is mapped, overlay or not). None when the grab fails; the part of the
    // rectangle inside the screen otherwise (an empty image when none of it is).
    std::optional<PixelImage> capture(const Rect& desktopRect,
                                      std::uint32_t excludingWindowNumber) override;

  private:
    std::shared_ptr<const FrozenScreen> grab(const std::optional<ScreenLayout>& layout) const;
    std::shared_ptr<const FrozenScreen> grabScreenshot(
        const std::optional<ScreenLayout>& layout) const;

    Options options_;
    mutable std::mutex mutex_;
    std::shared_ptr<const FrozenScreen> frozen_;
};

}  // namespace vela
