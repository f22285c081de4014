#pragma once
// The monitors as the panel sees them, and the one conversion between desktop points
// (origin at the lower-left corner of the primary monitor, y upwards) and GDK's root
// coordinates (logical pixels, origin top-left, y downwards). GDK's logical pixels are
// desktop points: on a HiDPI monitor one point covers `scale` device pixels.
// Main thread only (asks GDK); the conversion functions are pure.

#include <gdk/gdk.h>

#include <optional>
#include <vector>

#include "core/support/Geometry.h"

namespace vela {

struct DesktopLayout {
    std::vector<ScreenInfo> screens;  // primary first, then the others in GDK's order
    Rect primaryRoot;                 // the primary monitor in root coordinates (y down)
};

// The primary monitor, else the first; null when the display has none.
GdkMonitor* primaryMonitor(GdkDisplay* display);

// The current monitors and their work areas. Empty when GDK has no display.
DesktopLayout currentDesktopLayout();

// The pointer in desktop points, if GDK knows it.
std::optional<Point> currentMouseLocation(const DesktopLayout& layout);

// Root (y down) <-> desktop (y up), relative to the primary monitor.
Rect rootToDesktop(const Rect& rootRect, const Rect& primaryRoot);
Rect desktopToRoot(const Rect& desktopRect, const Rect& primaryRoot);
Point rootPointToDesktop(Point root, const Rect& primaryRoot);

}  // namespace vela
