#include "app/overlay/CaptureSelectionView.h"

#include <pango/pangocairo.h>

#include "app/overlay/CaptureSelectionGeometry.h"

namespace vela {

namespace {

void setAccent(cairo_t* cr) {
    cairo_set_source_rgba(cr, kAccentRed, kAccentGreen, kAccentBlue, 1.0);
}

void roundedRectangle(cairo_t* cr, const Rect& r, double radius) {
    const double degrees = G_PI / 180.0;
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - radius, r.minY() + radius, radius, -90 * degrees, 0);
    cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, 90 * degrees);
    cairo_arc(cr, r.minX() + radius, r.maxY() - radius, radius, 90 * degrees, 180 * degrees);
    cairo_arc(cr, r.minX() + radius, r.minY() + radius, radius, 180 * degrees, 270 * degrees);
    cairo_close_path(cr);
}

void strokeGrownRectangle(cairo_t* cr, const Rect& s, double grow) {
    cairo_rectangle(cr, s.minX() - grow, s.minY() - grow, s.width() + 2 * grow,
                    s.height() + 2 * grow);
    cairo_stroke(cr);
}

void drawSizeBadge(cairo_t* cr, const Rect& selection) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Monospace Bold");
    pango_font_description_set_absolute_size(font, kBadgeFontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    const std::string text = sizeBadgeText(selection);
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout, nullptr, &logical);

    const Rect box = badgeBoxRect(
        selection, Size{static_cast<double>(logical.width), static_cast<double>(logical.height)});
    roundedRectangle(cr, box, kBadgeCornerRadius);
    setAccent(cr);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, kBadgeBorderWidth);
    cairo_stroke(cr);

    const Point origin = badgeTextOrigin(box);
    cairo_move_to(cr, origin.x - logical.x, origin.y - logical.y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

}  // namespace

void paintCaptureOverlay(cairo_t* cr, Size bounds, cairo_surface_t* image, Point imageOrigin,
                         double imageScale, const std::optional<Rect>& selection) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (image != nullptr) {
        cairo_save(cr);
        cairo_translate(cr, imageOrigin.x, imageOrigin.y);
        cairo_scale(cr, 1.0 / imageScale, 1.0 / imageScale);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

    // Dim everything but the hole: the frozen image shows through it as it was.
    const bool drawn = selection && selectionIsDrawn(*selection);
    cairo_rectangle(cr, 0, 0, bounds.width, bounds.height);
    if (drawn) {
        cairo_rectangle(cr, selection->minX(), selection->minY(), selection->width(),
                        selection->height());
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    }
    cairo_set_source_rgba(cr, 0, 0, 0, kOverlayDimAlpha);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);

    if (drawn) {
        const Rect& s = *selection;
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_set_line_width(cr, kInnerBorderWidth);
        strokeGrownRectangle(cr, s, kInnerBorderInset);

        const double dashes[] = {kOuterBorderDashOn, kOuterBorderDashOff};
        cairo_set_dash(cr, dashes, 2, 0);
        cairo_set_line_width(cr, kOuterBorderWidth);
        setAccent(cr);
        strokeGrownRectangle(cr, s, kOuterBorderInset);
        cairo_set_dash(cr, nullptr, 0, 0);

        drawSizeBadge(cr, s);
    }
    cairo_restore(cr);
}

CaptureSelectionView::CaptureSelectionView(std::shared_ptr<const FrozenScreen> frozen,
                                           Point imageOrigin)
    : frozen_(std::move(frozen)), imageOrigin_(imageOrigin) {
    if (frozen_ && !frozen_->image.empty()) {
        const PixelImage& image = frozen_->image;
        imageScale_ = frozen_->layout.scale > 0 ? frozen_->layout.scale : 1;
        // Rows of 0x00RRGGBB words without padding are cairo's RGB24 layout. The surface is
        // only ever a source, so cairo never writes through the pointer.
        surface_.reset(cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.pixels.data())),
            CAIRO_FORMAT_RGB24, image.width, image.height, image.width * 4));
    }
    area_ = GObjectPtr<GtkWidget>(GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new())));
    gtk_widget_add_events(area_.get(), GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_BUTTON1_MOTION_MASK | GDK_POINTER_MOTION_MASK);
    gtk_widget_set_can_focus(area_.get(), TRUE);
    g_signal_connect(area_.get(), "draw", G_CALLBACK(&CaptureSelectionView::onDraw), this);
    g_signal_connect(area_.get(), "button-press-event",
                     G_CALLBACK(&CaptureSelectionView::onButtonPress), this);
    g_signal_connect(area_.get(), "button-release-event",
                     G_CALLBACK(&CaptureSelectionView::onButtonRelease), this);
    g_signal_connect(area_.get(), "motion-notify-event",
                     G_CALLBACK(&CaptureSelectionView::onMotion), this);
    g_signal_connect(area_.get(), "realize", G_CALLBACK(&CaptureSelectionView::onRealize), this);
}

CaptureSelectionView::~CaptureSelectionView() {
    // The widget may outlive us inside its window for a moment; it must not call back.
    g_signal_handlers_disconnect_by_data(area_.get(), this);
}

void CaptureSelectionView::mouseDown(Point position) {
    start_ = position;
    current_ = position;
    gtk_widget_queue_draw(area_.get());
}

void CaptureSelectionView::mouseDragged(Point position) {
    current_ = position;
    gtk_widget_queue_draw(area_.get());
}

void CaptureSelectionView::mouseUp() {
    // Callbacks run last, from a copy: they may destroy the overlay and this view.
    if (!start_ || !current_) {
        if (const auto cancel = onCancel)
            cancel();
        return;
    }
    // The last drag position counts, not where the button came up.
    const Rect rect = selectionRect(*start_, *current_);
    start_.reset();
    current_.reset();
    if (const auto complete = onComplete)
        complete(rect);
}

void CaptureSelectionView::rightMouseDown() {
    start_.reset();
    current_.reset();
    if (const auto cancel = onCancel)
        cancel();
}

std::optional<Rect> CaptureSelectionView::selection() const {
    if (!start_ || !current_)
        return std::nullopt;
    return selectionRect(*start_, *current_);
}

gboolean CaptureSelectionView::onDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* view = static_cast<CaptureSelectionView*>(self);
    const Size bounds{static_cast<double>(gtk_widget_get_allocated_width(widget)),
                      static_cast<double>(gtk_widget_get_allocated_height(widget))};
    paintCaptureOverlay(cr, bounds, view->surface_.get(), view->imageOrigin_, view->imageScale_,
                        view->selection());
    return TRUE;
}

gboolean CaptureSelectionView::onButtonPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* view = static_cast<CaptureSelectionView*>(self);
    if (event->type != GDK_BUTTON_PRESS)
        return TRUE;  // double and triple clicks
    if (event->button == GDK_BUTTON_PRIMARY) {
        view->mouseDown({event->x, event->y});
    } else if (event->button == GDK_BUTTON_SECONDARY) {
        view->rightMouseDown();
    }
    return TRUE;
}

gboolean CaptureSelectionView::onButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event->button == GDK_BUTTON_PRIMARY)
        static_cast<CaptureSelectionView*>(self)->mouseUp();
    return TRUE;
}

gboolean CaptureSelectionView::onMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    auto* view = static_cast<CaptureSelectionView*>(self);
    if ((event->state & GDK_BUTTON1_MASK) != 0 && view->start_) {
        view->mouseDragged({event->x, event->y});
    }
    return TRUE;
}

void CaptureSelectionView::onRealize(GtkWidget* widget, gpointer) {
    GObjectPtr<GdkCursor> crosshair(
        gdk_cursor_new_for_display(gtk_widget_get_display(widget), GDK_CROSSHAIR));
    gdk_window_set_cursor(gtk_widget_get_window(widget), crosshair.get());
}

}  // namespace vela
