#pragma once
// One grab of the whole screen, as the capture overlay draws it and the capture crops it:
// the pixels and how desktop points map onto them. Value types; immutable once shared,
// so any thread may read them.

#include "core/capture/PixelImage.h"

namespace vela {

// A rectangle of X11 root-window pixels, origin top-left.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Where the primary monitor lies in the root window, and how many device pixels make one
// desktop point.
struct ScreenLayout {
    PixelRect primary;  // root pixels
    double scale = 1;   // device pixels per point (GDK's window scale)
};

// One grab of the whole screen.
struct FrozenScreen {
    PixelImage image;     // the root window, device pixels, top row first
    ScreenLayout layout;  // how desktop points map onto `image`
};

}  // namespace vela
