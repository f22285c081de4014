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
    gtk_widget_show_all(window_);
    spinUntil([&] { return gtk_widget_get_mapped(window_) != FALSE; }, std::chrono::seconds(5));
    spinFor(std::chrono::milliseconds(300));  // let it paint
}

TextWindow::~TextWindow() {
    gtk_widget_destroy(window_);
}

}  // namespace vela::test
