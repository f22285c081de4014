#pragma once
// The arithmetic of the selection overlay, apart from any window: the selection rectangle
// from the drag points, what is drawn and where, and the conversion of the result to
// desktop points. View coordinates are the overlay's own: origin at its top-left corner,
// y downwards, in points. Pure functions; safe on any thread; they never fail.

#include <string>

#include "core/support/Geometry.h"

namespace vela {

// Look of the overlay.
inline constexpr double kOverlayDimAlpha = 0.28;
inline constexpr double kInnerBorderWidth = 2.0;
inline constexpr double kInnerBorderInset = 1.0;  // grown by this on each side
inline constexpr double kOuterBorderWidth = 1.5;
inline constexpr double kOuterBorderInset = 3.0;
inline constexpr double kOuterBorderDashOn = 5.0;
inline constexpr double kOuterBorderDashOff = 4.0;
inline constexpr double kAccentRed = 1.0;
inline constexpr double kAccentGreen = 0.565;
inline constexpr double kAccentBlue = 0.91;
inline constexpr double kBadgeFontSize = 11.0;
inline constexpr double kBadgeCornerRadius = 4.0;
inline constexpr double kBadgeBorderWidth = 1.5;

// Origin at the smaller coordinates of the two points, size their distance on each axis.
Rect selectionRect(Point start, Point current);

// Only a selection wider and taller than one point gets its hole, borders and badge.
bool selectionIsDrawn(const Rect& selection);

// " Vela · W × H " with the size in whole points, fractions dropped.
std::string sizeBadgeText(const Rect& selection);

// The badge box for a text of `textSize`: from the selection's left edge, its bottom 6
// points above the selection, but pushed down so that its top stays 2 points (its bottom
// h + 8 points) below the top edge of the view; text size plus 10 by 6.
Rect badgeBoxRect(const Rect& selection, Size textSize);

// Top-left corner of the badge text inside its box.
Point badgeTextOrigin(const Rect& badgeBox);

// A rectangle in the overlay's view, on a monitor whose frame in the X screen (origin top
// left, y down) is `monitorFrame`, as desktop points: origin at the lower-left corner of
// `primaryFrame`, y upwards.
Rect viewRectToDesktop(const Rect& viewRect, const Rect& monitorFrame, const Rect& primaryFrame);

}  // namespace vela
