#include "app/platform/DesktopScreens.h"

namespace vela {

namespace {
Rect fromGdk(const GdkRectangle& r) {
    return Rect(r.x, r.y, r.width, r.height);
}
}  // namespace

GdkMonitor* primaryMonitor(GdkDisplay* display) {
    if (GdkMonitor* primary = gdk_display_get_primary_monitor(display))
        return primary;
    return gdk_display_get_n_monitors(display) > 0 ? gdk_display_get_monitor(display, 0) : nullptr;
}

Rect rootToDesktop(const Rect& r, const Rect& p) {
    return Rect(r.minX() - p.minX(), p.maxY() - r.maxY(), r.width(), r.height());
}

Rect desktopToRoot(const Rect& d, const Rect& p) {
    return Rect(d.minX() + p.minX(), p.maxY() - d.maxY(), d.width(), d.height());
}

Point rootPointToDesktop(Point root, const Rect& p) {
    return Point{root.x - p.minX(), p.maxY() - root.y};
}

DesktopLayout currentDesktopLayout() {
    DesktopLayout layout;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return layout;
    int count = gdk_display_get_n_monitors(display);
    if (count <= 0)
        return layout;
    GdkMonitor* primary = primaryMonitor(display);
    GdkRectangle pg;
    gdk_monitor_get_geometry(primary, &pg);
    layout.primaryRoot = fromGdk(pg);
    const auto add = [&](GdkMonitor* m) {
        GdkRectangle geometry, work;
        gdk_monitor_get_geometry(m, &geometry);
        gdk_monitor_get_workarea(m, &work);
        layout.screens.push_back({rootToDesktop(fromGdk(geometry), layout.primaryRoot),
                                  rootToDesktop(fromGdk(work), layout.primaryRoot)});
    };
    add(primary);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        if (m != primary)
            add(m);
    }
    return layout;
}

std::optional<Point> currentMouseLocation(const DesktopLayout& layout) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return std::nullopt;
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer)
        return std::nullopt;
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    // A point names the pixel below and right of it; y up means the pixel's top edge.
    return rootPointToDesktop(Point{double(x), double(y)}, layout.primaryRoot);
}

}  // namespace vela
