#pragma once
// Where the capture service gets its pixels from. The application provides the
// implementation for the windowing system at hand (X11 in app/platform); tests provide
// images of their own.
//
// Rectangles are in desktop points (origin at the lower-left corner of the primary screen,
// y upwards); the implementation converts them to its own device pixels in one place.
// Implementations must be safe to call from the worker thread that runs recognition.

#include <cstdint>
#include <optional>

#include "core/capture/PixelImage.h"
#include "core/support/Geometry.h"

namespace vela {

class ScreenSource {
  public:
    virtual ~ScreenSource() = default;

    // True when the process may read screen pixels; never asks the user.
    virtual bool preflightAccess() = 0;
    // Asks for access where the system has such a request; true only when granted.
    virtual bool requestAccess() = 0;
    // False when there is no screen at all.
    virtual bool hasScreen() = 0;
    // The pixels of `desktopRect` at the display's full pixel density, without the window
    // `excludingWindowNumber` (the selection overlay) and anything above it; none when
    // the capture fails.
    virtual std::optional<PixelImage> capture(const Rect& desktopRect,
                                              std::uint32_t excludingWindowNumber) = 0;
};

}  // namespace vela
