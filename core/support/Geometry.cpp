#include "core/support/Geometry.h"

namespace vela {

bool intersects(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() &&
           b.minY() < a.maxY() && a.width() > 0 && a.height() > 0 && b.width() > 0 &&
           b.height() > 0;
}

bool contains(const Rect& r, const Point& p) {
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

}  // namespace vela
