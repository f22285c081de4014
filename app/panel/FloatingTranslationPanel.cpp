#include "app/panel/FloatingTranslationPanel.h"

#include "app/page/PanelPage.h"

namespace vela {

FloatingTranslationPanel::FloatingTranslationPanel(ConfigStore& store)
    : store_(store), contentManager_(webkit_user_content_manager_new()) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* win = GTK_WINDOW(window_);
    gtk_window_set_title(win, "Vela");
    gtk_window_set_decorated(win, FALSE);
    gtk_window_set_keep_above(win, TRUE);
    gtk_window_stick(win);
    gtk_window_set_skip_taskbar_hint(win, TRUE);
    gtk_window_set_skip_pager_hint(win, TRUE);
    gtk_window_set_default_size(win, defaultPanelWidth, defaultPanelHeight);
    gtk_widget_set_app_paintable(window_, TRUE);
    // With an RGBA visual the page's transparent margin shows the desktop.
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(window_))) {
        gtk_widget_set_visual(window_, rgba);
    }
    // Hiding, not destroying, is how the panel closes.
    g_signal_connect(window_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);

    g_signal_connect(contentManager_.get(), "script-message-received::vela",
                     G_CALLBACK(handleScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler(contentManager_.get(), "vela");

    webView_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(contentManager_.get()));
    GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(webView_, &transparent);
    g_signal_connect(webView_, "load-changed", G_CALLBACK(handleLoadChanged), this);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(webView_));

    std::string html(panelPageHtml());
    webkit_web_view_load_html(webView_, html.c_str(), "vela://panel/");
}

FloatingTranslationPanel::~FloatingTranslationPanel() {
    g_signal_handlers_disconnect_by_data(contentManager_.get(), this);
    g_signal_handlers_disconnect_by_data(webView_, this);
    gtk_widget_destroy(window_);
}

void FloatingTranslationPanel::showForTextInput() {
    gtk_widget_show_all(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

void FloatingTranslationPanel::handleScriptMessage(WebKitUserContentManager*,
                                                   WebKitJavascriptResult* result, gpointer self) {
    auto* panel = static_cast<FloatingTranslationPanel*>(self);
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    char* json = jsc_value_to_json(value, 0);
    std::string text = json ? json : "null";
    g_free(json);
    if (panel->onPageMessage) panel->onPageMessage(text);
}

void FloatingTranslationPanel::handleLoadChanged(WebKitWebView*, WebKitLoadEvent event,
                                                 gpointer self) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    auto* panel = static_cast<FloatingTranslationPanel*>(self);
    panel->pageLoaded_ = true;
    if (panel->onPageLoaded) panel->onPageLoaded();
}

}  // namespace vela
