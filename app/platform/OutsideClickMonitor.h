#pragma once
// Sees left and right mouse-button presses anywhere on the X display, also those that
// go to other applications, through XInput2 raw events on the root window of a private
// X connection. Reports the pointer position in root coordinates (logical pixels, the
// same as GDK's) on the main loop.
// Main thread only. If XInput2 or the display is missing the monitor stays inactive
// (`active()` false) and never reports. Owns its X connection and main-loop watch.

#include <functional>
#include <string>

#include "core/support/Geometry.h"

struct _XDisplay;

namespace vela {

class OutsideClickMonitor {
  public:
    // `scale`: device pixels per logical pixel, asked at each press.
    OutsideClickMonitor(std::function<void(Point rootPosition)> onPress,
                        std::function<int()> scale);
    ~OutsideClickMonitor();
    OutsideClickMonitor(const OutsideClickMonitor&) = delete;
    OutsideClickMonitor& operator=(const OutsideClickMonitor&) = delete;

    bool active() const { return display_ != nullptr; }

  private:
    static int handleReadable(int fd, unsigned condition, void* self);
    void drain();

    std::function<void(Point)> onPress_;
    std::function<int()> scale_;
    ::_XDisplay* display_ = nullptr;
    int xiOpcode_ = 0;
    unsigned watch_ = 0;
};

}  // namespace vela
