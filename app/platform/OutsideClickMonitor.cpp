#include "app/platform/OutsideClickMonitor.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <glib-unix.h>

#include <algorithm>

namespace vela {

OutsideClickMonitor::OutsideClickMonitor(std::function<void(Point)> onPress,
                                         std::function<int()> scale)
    : onPress_(std::move(onPress)), scale_(std::move(scale)) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return;
    int event = 0, error = 0, major = 2, minor = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &xiOpcode_, &event, &error) ||
        XIQueryVersion(dpy, &major, &minor) != Success) {
        XCloseDisplay(dpy);
        return;
    }
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawButtonPress);
    XIEventMask eventMask{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(dpy, DefaultRootWindow(dpy), &eventMask, 1);
    XFlush(dpy);
    display_ = dpy;
    watch_ = g_unix_fd_add(
        ConnectionNumber(dpy), G_IO_IN,
        reinterpret_cast<GUnixFDSourceFunc>(&OutsideClickMonitor::handleReadable), this);
}

OutsideClickMonitor::~OutsideClickMonitor() {
    if (watch_)
        g_source_remove(watch_);
    if (display_)
        XCloseDisplay(display_);
}

int OutsideClickMonitor::handleReadable(int, unsigned, void* self) {
    static_cast<OutsideClickMonitor*>(self)->drain();
    return G_SOURCE_CONTINUE;
}

void OutsideClickMonitor::drain() {
    while (XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        XGenericEventCookie* cookie = &ev.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_ ||
            !XGetEventData(display_, cookie)) {
            continue;
        }
        bool press = false;
        if (cookie->evtype == XI_RawButtonPress) {
            auto* raw = static_cast<XIRawEvent*>(cookie->data);
            press = raw->detail == 1 || raw->detail == 3;  // left and right buttons only
        }
        XFreeEventData(display_, cookie);
        if (!press)
            continue;
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int buttons = 0;
        if (!XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY,
                           &winX, &winY, &buttons)) {
            continue;
        }
        double scale = scale_ ? std::max(1, scale_()) : 1;
        onPress_(Point{rootX / scale, rootY / scale});
    }
}

}  // namespace vela
