#include "tests/support/gui/TextWindow.h"

#include "tests/support/gui/MainLoop.h"

namespace vela::test {

TextWindow::TextWindow(const std::string& text, int x, int y, int width, int height)
    : window_(gtk_window_new(GTK_WINDOW_POPUP)) {
    gtk_window_move(GTK_WINDOW(window_), x, y);
    gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
    GtkWidget* label = gtk_label_new(nullptr);
    const std::string markup = "<span font='DejaVu Sans 34' foreground='black'>" + text + "</span>";
    gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
    gtk_container_add(GTK_CONTAINER(window_), label);
    // White under the label, instead of the theme's background.
    gtk_widget_set_app_paintable(window_, TRUE);
    g_signal_connect(window_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, bool* drawn) {
                         cairo_set_source_rgb(cr, 1, 1, 1);
                         cairo_paint(cr);
                         *drawn = true;
                         return FALSE;
                     }),
                     &drawn_);
    gtk_widget_show_all(window_);
    // Drawn means mapped and painted; the frame's pixels reach the server with the sync.
    spinUntil([&] { return drawn_; }, std::chrono::seconds(5));
    drainEvents();
}

}  // namespace vela::test
