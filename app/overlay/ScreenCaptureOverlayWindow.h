#pragma once
// The full-screen window in which the user drags the rectangle to translate: borderless,
// kept above, covering one monitor only, showing the screen as it was frozen when the
// capture started. Reports the selection in desktop points (origin at the lower-left
// corner of the primary monitor, y upwards), or a cancel.
//
// Owns its GTK window (destroyed with this object) and the CaptureSelectionView. Main
// thread only. Exactly one of the two callbacks runs, once, after the window is hidden;
// the callback may destroy this object. A selection under 10 x 10 points, a click, a
// right-click and Escape are cancels; there are no other failures.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "app/overlay/CaptureSelectionView.h"
#include "core/capture/FrozenScreen.h"
#include "core/support/Geometry.h"

namespace vela {

// Where the overlay goes: its monitor and the primary monitor in X screen points (origin
// top left, y down) and the monitor's index on its display.
struct OverlayScreen {
    Rect monitorFrame;
    Rect primaryFrame;
    int monitorNumber = 0;
};

// The layout of `monitor` (borrowed) on its display; the primary monitor is the first one
// when the display names none.
OverlayScreen overlayScreenFor(GdkMonitor* monitor);

class ScreenCaptureOverlayWindow {
  public:
    // Covers `monitor` (borrowed; it must belong to the default display) with its part of
    // `frozen`, the whole screen as grabbed when the capture started (shared: the capture
    // may crop it meanwhile). Without a frame the overlay dims black.
    ScreenCaptureOverlayWindow(GdkMonitor* monitor, std::shared_ptr<const FrozenScreen> frozen);
    ScreenCaptureOverlayWindow(const OverlayScreen& screen,
                               std::shared_ptr<const FrozenScreen> frozen);
    ~ScreenCaptureOverlayWindow();
    ScreenCaptureOverlayWindow(const ScreenCaptureOverlayWindow&) = delete;
    ScreenCaptureOverlayWindow& operator=(const ScreenCaptureOverlayWindow&) = delete;

    // The selection in desktop points and the overlay's window number (its X window id).
    std::function<void(const Rect&, std::uint32_t)> onFinishSelection;
    std::function<void()> onCancelSelection;

    // Shows the window on its monitor above everything, gives it the keyboard and the
    // crosshair cursor.
    void makeKeyAndOrderFront();

    CaptureSelectionView& overlayView() { return *overlayView_; }
    GtkWindow* window() const { return window_; }
    // The X window id; 0 before the window is shown for the first time.
    std::uint32_t windowNumber() const;
    const OverlayScreen& screen() const { return screen_; }

  private:
    void complete(const Rect& viewRect);
    void cancel();
    void orderOut();
    void grabKeyboard();
    void stopGrabRetry();

    static gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean onMapEvent(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean onGrabRetry(gpointer self);

    OverlayScreen screen_;
    std::unique_ptr<CaptureSelectionView> overlayView_;
    GtkWindow* window_ = nullptr;  // owned: destroyed in the destructor
    GdkSeat* grabbedSeat_ = nullptr;
    guint grabRetry_ = 0;  // timer source while another client still holds the keyboard
    bool finished_ = false;
};

}  // namespace vela
