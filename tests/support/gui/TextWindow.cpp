#include "tests/support/gui/TextWindow.h"

#include "tests/support/gui/MainLoop.h"

namespace vela::test {

TextWindow::TextWindow(const std::string& text, int x, int y, int width, int height) {
    window_ = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_move(GTK_WINDOW(window_), x, y);
    gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "window { background: white; }", -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(window_), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    GtkWidget* label = gtk_label_new(nullptr);
    std::string markup = "<span font='DejaVu Sans 34' foreground='black'>" + text + "</span>";
    gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
    gtk_container_add(GTK_CONTAINER(window_), label);
    bool drawn = false;
    const gulong handler =
        g_signal_connect_after(window_, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, bool* flag) {
                                   *flag = true;
                                   return FALSE;
                               }),
                               &drawn);
    gtk_widget_show_all(window_);
    // Drawn means mapped and painted; the frame's pixels reach the server with the sync.
    spinUntil([&] { return drawn; }, std::chrono::seconds(5));
    g_signal_handler_disconnect(window_, handler);
    drainEvents();
}

TextWindow::~TextWindow() {
    gtk_widget_destroy(window_);
}

}  // namespace vela::test
