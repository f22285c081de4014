#include "app/overlay/ScreenCaptureOverlayWindow.h"

#include <gdk/gdkx.h>

#include "app/overlay/CaptureSelectionGeometry.h"
#include "app/platform/DesktopScreens.h"
#include "core/capture/TextProcessor.h"

namespace vela {

namespace {

constexpr guint kGrabRetryMs = 50;

Rect frameOf(GdkMonitor* monitor) {
    GdkRectangle g{};
    gdk_monitor_get_geometry(monitor, &g);
    return Rect(g.x, g.y, g.width, g.height);
}

}  // namespace

OverlayScreen overlayScreenFor(GdkMonitor* monitor) {
    GdkDisplay* display = gdk_monitor_get_display(monitor);
    OverlayScreen screen;
    screen.monitorFrame = frameOf(monitor);
    GdkMonitor* primary = primaryMonitor(display);
    screen.primaryFrame = primary != nullptr ? frameOf(primary) : screen.monitorFrame;
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        if (gdk_display_get_monitor(display, i) == monitor)
            screen.monitorNumber = i;
    }
    return screen;
}

ScreenCaptureOverlayWindow::ScreenCaptureOverlayWindow(GdkMonitor* monitor,
                                                       std::shared_ptr<const FrozenScreen> frozen)
    : ScreenCaptureOverlayWindow(overlayScreenFor(monitor), std::move(frozen)) {}

ScreenCaptureOverlayWindow::ScreenCaptureOverlayWindow(const OverlayScreen& screen,
                                                       std::shared_ptr<const FrozenScreen> frozen)
    : screen_(screen) {
    const Rect& monitor = screen_.monitorFrame;
    // The frame covers the whole root window from its origin; the view starts at the
    // monitor's corner.
    const Point imageOrigin{-monitor.minX(), -monitor.minY()};
    overlayView_ = std::make_unique<CaptureSelectionView>(std::move(frozen), imageOrigin);
    overlayView_->onComplete = [this](const Rect& viewRect) { complete(viewRect); };
    overlayView_->onCancel = [this] { cancel(); };

    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(window_, "Vela");
    gtk_window_set_decorated(window_, FALSE);
    gtk_window_set_keep_above(window_, TRUE);
    gtk_window_set_skip_taskbar_hint(window_, TRUE);
    gtk_window_set_skip_pager_hint(window_, TRUE);
    gtk_window_set_resizable(window_, FALSE);
    gtk_widget_set_size_request(GTK_WIDGET(window_), static_cast<int>(monitor.width()),
                                static_cast<int>(monitor.height()));
    gtk_window_move(window_, static_cast<int>(monitor.minX()), static_cast<int>(monitor.minY()));
    gtk_widget_set_app_paintable(GTK_WIDGET(window_), TRUE);
    gtk_container_add(GTK_CONTAINER(window_), overlayView_->widget());
    gtk_widget_add_events(GTK_WIDGET(window_), GDK_KEY_PRESS_MASK | GDK_STRUCTURE_MASK);
    g_signal_connect(window_, "key-press-event",
                     G_CALLBACK(&ScreenCaptureOverlayWindow::onKeyPress), this);
    g_signal_connect(window_, "map-event", G_CALLBACK(&ScreenCaptureOverlayWindow::onMapEvent),
                     this);
    // A window manager's close request is a cancel like any other.
    g_signal_connect(window_, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         static_cast<ScreenCaptureOverlayWindow*>(self)->cancel();
                         return TRUE;
                     }),
                     this);
}

ScreenCaptureOverlayWindow::~ScreenCaptureOverlayWindow() {
    stopGrabRetry();
    if (grabbedSeat_ != nullptr)
        gdk_seat_ungrab(grabbedSeat_);
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
}

void ScreenCaptureOverlayWindow::makeKeyAndOrderFront() {
    gtk_widget_show_all(GTK_WIDGET(window_));
    // Full screen on the monitor where the window manager allows it; the window is sized
    // and placed on it in any case.
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    if (screen_.monitorNumber < gdk_display_get_n_monitors(display) &&
        frameOf(gdk_display_get_monitor(display, screen_.monitorNumber)) == screen_.monitorFrame) {
        gtk_window_fullscreen_on_monitor(window_, gtk_window_get_screen(window_),
                                         screen_.monitorNumber);
    }
    gtk_window_present(window_);
    gtk_widget_grab_focus(overlayView_->widget());
}

std::uint32_t ScreenCaptureOverlayWindow::windowNumber() const {
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    if (window == nullptr || !GDK_IS_X11_WINDOW(window))
        return 0;
    return static_cast<std::uint32_t>(gdk_x11_window_get_xid(window));
}

void ScreenCaptureOverlayWindow::grabKeyboard() {
    // Escape must reach the overlay whatever the window manager does with focus; the
    // pointer stays free so that other monitors remain usable.
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(window_));
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(window));
    if (gdk_seat_grab(seat, window, GDK_SEAT_CAPABILITY_KEYBOARD, FALSE, nullptr, nullptr, nullptr,
                      nullptr) == GDK_GRAB_SUCCESS) {
        grabbedSeat_ = seat;
    } else if (grabRetry_ == 0) {
        // Opened by the hot key, whose keys the hot-key grab holds until they are let go:
        // try again until then.
        grabRetry_ = g_timeout_add(kGrabRetryMs, &ScreenCaptureOverlayWindow::onGrabRetry, this);
    }
}

gboolean ScreenCaptureOverlayWindow::onGrabRetry(gpointer self) {
    auto* overlay = static_cast<ScreenCaptureOverlayWindow*>(self);
    overlay->grabRetry_ = 0;
    if (!overlay->finished_ && overlay->grabbedSeat_ == nullptr)
        overlay->grabKeyboard();
    return G_SOURCE_REMOVE;
}

void ScreenCaptureOverlayWindow::stopGrabRetry() {
    if (grabRetry_ != 0)
        g_source_remove(grabRetry_);
    grabRetry_ = 0;
}

void ScreenCaptureOverlayWindow::orderOut() {
    stopGrabRetry();
    if (grabbedSeat_ != nullptr) {
        gdk_seat_ungrab(grabbedSeat_);
        grabbedSeat_ = nullptr;
    }
    gtk_widget_hide(GTK_WIDGET(window_));
    gdk_display_flush(gtk_widget_get_display(GTK_WIDGET(window_)));
}

void ScreenCaptureOverlayWindow::complete(const Rect& viewRect) {
    if (finished_)
        return;
    finished_ = true;
    const std::uint32_t number = windowNumber();
    orderOut();
    // Callbacks run last, from a copy: they may destroy this window.
    if (TextProcessor::isValidCaptureRect(viewRect.width(), viewRect.height())) {
        if (const auto finish = onFinishSelection) {
            finish(viewRectToDesktop(viewRect, screen_.monitorFrame, screen_.primaryFrame), number);
        }
    } else if (const auto cancelled = onCancelSelection) {
        cancelled();
    }
}

void ScreenCaptureOverlayWindow::cancel() {
    if (finished_)
        return;
    finished_ = true;
    orderOut();
    if (const auto cancelled = onCancelSelection)
        cancelled();
}

gboolean ScreenCaptureOverlayWindow::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    // Escape cancels; every other key is swallowed.
    if (event->keyval == GDK_KEY_Escape) {
        auto* overlay = static_cast<ScreenCaptureOverlayWindow*>(self);
        if (const auto cancel = overlay->overlayView_->onCancel)
            cancel();
    }
    return TRUE;
}

gboolean ScreenCaptureOverlayWindow::onMapEvent(GtkWidget*, GdkEvent*, gpointer self) {
    auto* overlay = static_cast<ScreenCaptureOverlayWindow*>(self);
    if (!overlay->finished_ && overlay->grabbedSeat_ == nullptr)
        overlay->grabKeyboard();
    return FALSE;
}

}  // namespace vela
