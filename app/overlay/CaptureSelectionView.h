#pragma once
// The content of the selection overlay: shows the frozen screen image dimmed, tracks the
// left-button drag and draws the selection as an undimmed hole with a double border and a
// size badge.
//
// Owns its drawing-area widget (one reference, released on destruction); shares the frozen
// frame. Main thread only. The callbacks are the only way it reports anything; it cannot
// fail.

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <optional>

#include "app/platform/GObjectPtr.h"
#include "core/capture/FrozenScreen.h"
#include "core/support/Geometry.h"

namespace vela {

// Draws one frame of the overlay into `cr` over a view of `bounds` points: the frozen
// image (its top-left corner at `imageOrigin` in view points, `imageScale` image pixels
// per point), black at 0.28 everywhere except inside `selection`, then the selection's
// borders and size badge. With no selection, or one of a point or less, only the dimmed
// image.
void paintCaptureOverlay(cairo_t* cr, Size bounds, cairo_surface_t* image, Point imageOrigin,
                         double imageScale, const std::optional<Rect>& selection);

class CaptureSelectionView {
  public:
    // The frame's image is drawn with its top-left pixel at `imageOrigin` (view points),
    // at the frame's scale; none draws black.
    CaptureSelectionView(std::shared_ptr<const FrozenScreen> frozen, Point imageOrigin);
    ~CaptureSelectionView();
    CaptureSelectionView(const CaptureSelectionView&) = delete;
    CaptureSelectionView& operator=(const CaptureSelectionView&) = delete;

    // Selection in view points, on a left-button release after a press.
    std::function<void(const Rect&)> onComplete;
    // Right-button press, release without a press, and Escape (through the window).
    std::function<void()> onCancel;

    GtkWidget* widget() const { return area_.get(); }

    // The selection being dragged, if any: from the press to the last drag position.
    std::optional<Rect> selection() const;

  private:
    // Event handling, in view points, as the widget's signals deliver it.
    void mouseDown(Point position);
    void mouseDragged(Point position);
    void mouseUp();
    void rightMouseDown();

    static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean onButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
    static void onRealize(GtkWidget* widget, gpointer self);

    struct SurfaceDeleter {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };

    std::shared_ptr<const FrozenScreen> frozen_;  // the pixels surface_ reads from
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface_;
    Point imageOrigin_;
    double imageScale_ = 1;
    GObjectPtr<GtkWidget> area_;
    std::optional<Point> start_;  // the left-button press of the current drag
    std::optional<Point> current_;
};

}  // namespace vela
