#pragma once
// The whole desktop through the screenshot portal (org.freedesktop.portal.Screenshot,
// non-interactive): in a Wayland session X11 clients see only XWayland's windows, so this
// is how Vela freezes the screen there.
//
// Threads: blocks the calling thread until the portal answers or `timeout` passes; it waits
// on a main context of its own, so the application's main loop is not re-entered.
// Failures: none when there is no session bus or portal, the request is refused or
// cancelled (the desktop's screenshot permission), the answer is late, or the image file
// cannot be read. The portal's image file is removed once read.

#include <chrono>
#include <optional>

#include "core/capture/PixelImage.h"

namespace vela {

std::optional<PixelImage> takePortalScreenshot(
    std::chrono::milliseconds timeout = std::chrono::seconds(20));

}  // namespace vela
