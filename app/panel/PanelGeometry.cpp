#include "app/panel/PanelGeometry.h"

#include <algorithm>
#include <cmath>

namespace vela {

std::optional<std::size_t> screenForSelection(const std::vector<ScreenInfo>& screens,
                                              const std::optional<Rect>& selection,
                                              const std::optional<Point>& mouse,
                                              std::optional<std::size_t> mainScreen) {
    if (selection) {
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (intersects(screens[i].frame, *selection))
                return i;
        }
    }
    if (mouse) {
        for (std::size_t i = 0; i < screens.size(); ++i) {
            if (contains(screens[i].frame, *mouse))
                return i;
        }
    }
    if (mainScreen && *mainScreen < screens.size())
        return mainScreen;
    if (!screens.empty())
        return 0;
    return std::nullopt;
}

Rect resizedPanelFrame(const Rect& f, const Size& s, const Rect& v) {
    const double m = screenEdgeMargin;
    double left = v.minX() + m, right = v.maxX() - s.width - m;
    double x = std::clamp(f.minX(), left, std::max(left, right));
    double candidateY = f.minY() - (s.height - f.height());
    double bottom = v.minY() + m, top = v.maxY() - s.height - m;
    double y = std::clamp(candidateY, bottom, std::max(bottom, top));
    return Rect(x, y, s.width, s.height);
}

Point centeredUpperOrigin(const Size& panel, const Rect& v) {
    // std::round rounds halves away from zero.
    return Point{std::round(v.midX() - panel.width * 0.5),
                 std::round(v.minY() + v.height() * 0.56 - panel.height * 0.5)};
}

}  // namespace vela
