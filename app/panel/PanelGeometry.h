#pragma once
// Where the panel goes, in desktop points (origin lower-left of the primary screen,
// y upwards). Pure functions; thread-safe; never fail.

#include <optional>
#include <vector>

#include "core/support/Geometry.h"

namespace vela {

inline constexpr Size defaultPanelSize{430, 440};
// The panel's frame before it is first placed.
inline constexpr Rect initialPanelFrame{Point{480, 320}, defaultPanelSize};
inline constexpr Size settingsPanelSize{470, 640};
// Used wherever a visible frame is needed and no screen was found.
inline constexpr Rect fallbackVisibleFrame{0, 0, 1440, 900};
// The space between a selection and the panel placed beside it.
inline constexpr double panelSelectionGap = 12;

// The first screen meeting the selection; else the first holding the mouse; else the
// main screen; else the first screen; none for an empty list. Returns an index.
std::optional<std::size_t> screenForSelection(const std::vector<ScreenInfo>& screens,
                                              const std::optional<Rect>& selection,
                                              const std::optional<Point>& mouse,
                                              std::optional<std::size_t> mainScreen);

// The frame after resizing to `size`: the top edge stays, and the panel keeps
// screenEdgeMargin inside `visible` (a panel too big goes to the left and bottom margins).
Rect resizedPanelFrame(const Rect& current, const Size& size, const Rect& visible);

// Horizontally centred, the centre at 56 % of the visible height, whole points.
Point centeredUpperOrigin(const Size& panel, const Rect& visible);

}  // namespace vela
