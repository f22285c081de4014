#pragma once
// The floating panel: an undecorated, keep-above GTK window hosting the page in a
// WebKitGTK web view, with the script-message handler "vela".
// Main thread only. Created once and never destroyed while the program runs.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "app/platform/GObjectPtr.h"
#include "core/settings/ConfigStore.h"

namespace vela {

class FloatingTranslationPanel {
public:
    static constexpr int defaultPanelWidth = 430;
    static constexpr int defaultPanelHeight = 440;

    explicit FloatingTranslationPanel(ConfigStore& store);
    ~FloatingTranslationPanel();
    FloatingTranslationPanel(const FloatingTranslationPanel&) = delete;
    FloatingTranslationPanel& operator=(const FloatingTranslationPanel&) = delete;

    void showForTextInput();

    GtkWindow* window() const { return GTK_WINDOW(window_); }
    WebKitWebView* webView() const { return webView_; }
    bool isPageLoaded() const { return pageLoaded_; }

    // Called on the main thread for every message the page posts to "vela",
    // with the message as JSON text.
    std::function<void(const std::string& json)> onPageMessage;
    // Called once the page has finished loading.
    std::function<void()> onPageLoaded;

private:
    static void handleScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                    gpointer self);
    static void handleLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);

    ConfigStore& store_;
    GtkWidget* window_ = nullptr;  // owned by GTK's toplevel list; destroyed in the destructor
    WebKitWebView* webView_ = nullptr;  // owned by window_
    GObjectPtr<WebKitUserContentManager> contentManager_;
    bool pageLoaded_ = false;
};

}  // namespace vela
