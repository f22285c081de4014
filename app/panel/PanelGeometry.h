#pragma once
// Where the panel goes, in desktop points (origin lower-left of the primary screen,
// y upwards). Pure functions; thread-safe; never fail.

#include <optional>
#include <vector>

#include "core/capture/Geometry.h"

namespace vela {

struct ScreenInfo {
    Rect frame;         // the whole monitor
    Rect visibleFrame;  // minus panels and docks (the work area)
    bool operator==(const ScreenInfo&) const = default;
};

inline constexpr Size defaultPanelSize{430, 440};
inline constexpr Size settingsPanelSize{470, 640};
// Used wherever a visible frame is needed and no screen was found.
inline constexpr Rect fallbackVisibleFrame{0, 0, 1440, 900};

// The first screen meeting the selection; else the first holding the mouse; else the
// main screen; else the first screen; none for an empty list. Returns an index.
std::optional<std::size_t> screenForSelection(const std::vector<ScreenInfo>& screens,
                                              const std::optional<Rect>& selection,
                                              const std::optional<Point>& mouse,
                                              std::optional<std::size_t> mainScreen);

// The frame after resizing to `size`: the top edge stays, and the panel keeps 8 points
// inside `visible` (a panel too big goes to the left and bottom margins).
Rect resizedPanelFrame(const Rect& current, const Size& size, const Rect& visible);

// Horizontally centred, the centre at 56 % of the visible height, whole points.
Point centeredUpperOrigin(const Size& panel, const Rect& visible);

// True when the rectangles share some area.
bool intersects(const Rect& a, const Rect& b);
bool contains(const Rect& r, const Point& p);

}  // namespace vela
