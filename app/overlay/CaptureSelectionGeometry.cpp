#include "app/overlay/CaptureSelectionGeometry.h"

#include "app/platform/DesktopScreens.h"

#include <algorithm>
#include <cmath>

namespace vela {

Rect selectionRect(Point start, Point current) {
    return Rect(std::min(start.x, current.x), std::min(start.y, current.y),
                std::abs(current.x - start.x), std::abs(current.y - start.y));
}

bool selectionIsDrawn(const Rect& selection) {
    return selection.width() > 1 && selection.height() > 1;
}

std::string sizeBadgeText(const Rect& selection) {
    const auto whole = [](double v) { return std::to_string(static_cast<long long>(v)); };
    return " Vela · " + whole(selection.width()) + " × " + whole(selection.height()) + " ";
}

Rect badgeBoxRect(const Rect& selection, Size textSize) {
    const double height = textSize.height + 6;
    const double bottom = std::max(selection.minY() - 6, textSize.height + 8);
    return Rect(selection.minX(), bottom - height, textSize.width + 10, height);
}

Point badgeTextOrigin(const Rect& badgeBox) {
    return {badgeBox.minX() + 5, badgeBox.minY() + 3};
}

Rect viewRectToDesktop(const Rect& viewRect, const Rect& monitorFrame, const Rect& primaryFrame) {
    const Rect root(monitorFrame.minX() + viewRect.minX(), monitorFrame.minY() + viewRect.minY(),
                    viewRect.width(), viewRect.height());
    return rootToDesktop(root, primaryFrame);
}

}  // namespace vela
