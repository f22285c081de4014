#pragma once
// Plain geometry in desktop points: origin at the lower-left corner of the primary
// screen, y growing upwards. Shared by the capture service, the selection overlay, the
// monitors as the desktop reports them and the panel placement. Value types and pure
// functions; thread-safe; never fail.

namespace vela {

// How far a window placed by Vela stays inside the visible frame of its screen.
inline constexpr double screenEdgeMargin = 8;

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height} {}
    constexpr Rect(Point o, Size s) : origin(o), size(s) {}

    // Edges assume a non-negative size, as every rectangle built here has.
    constexpr double minX() const { return origin.x; }
    constexpr double minY() const { return origin.y; }
    constexpr double maxX() const { return origin.x + size.width; }
    constexpr double maxY() const { return origin.y + size.height; }
    constexpr double midX() const { return origin.x + size.width / 2; }
    constexpr double midY() const { return origin.y + size.height / 2; }
    constexpr double width() const { return size.width; }
    constexpr double height() const { return size.height; }

    // Equal when origin and size are equal.
    friend bool operator==(const Rect&, const Rect&) = default;
};

// True when the rectangles share some area.
bool intersects(const Rect& a, const Rect& b);
// True when `p` lies in `r`, its lower and left edges included.
bool contains(const Rect& r, const Point& p);

// One monitor.
struct ScreenInfo {
    Rect frame;         // the whole monitor
    Rect visibleFrame;  // minus panels and docks (the work area)
    bool operator==(const ScreenInfo&) const = default;
};

}  // namespace vela
