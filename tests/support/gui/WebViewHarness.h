#pragma once
// In-process driver for a real WebKitGTK web view under an X server (Xvfb in the
// suite): loads a page, evaluates scripts and reads their results back, records
// what the page posts to the "vela" script-message handler, sends real X input
// (XTest key and mouse events) and saves snapshots of the rendered page.
//
// Two ways to use it:
//  - WebViewHarness(html, options) builds its own window and web view, registers
//    a recording "vela" handler and waits until the page has loaded;
//  - WebViewHarness(view, window) drives a web view someone else owns (for
//    example the panel's); feed the messages that owner receives to
//    recordMessage() so the waiting helpers see them.
//
// Main thread only; gtk_init must have succeeded (ensureGtk() does it). Waits
// spin the default GLib main context with a generous limit so a hung page fails
// the test instead of blocking it. Script failures throw ScriptError.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/GObjectPtr.h"
#include "tests/support/gui/MainLoop.h"

namespace vela::test {

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Point {
    int x = 0;
    int y = 0;
};

class WebViewHarness {
  public:
    struct Options {
        int width = 430;
        int height = 440;
        // Screen position of the window's top-left corner.
        int x = 120;
        int y = 120;
        // Without it the page finds no "vela" handler, as in an ordinary browser.
        bool messageHandler = true;
    };

    // Builds a window with a web view, loads `html` (no base address) and waits
    // for the load to finish. Throws ScriptError when the page does not load.
    WebViewHarness(std::string_view html, Options options);
    explicit WebViewHarness(std::string_view html) : WebViewHarness(html, Options{}) {}
    // Drives a web view owned by someone else; both must outlive the harness.
    WebViewHarness(WebKitWebView* view, GtkWindow* window);
    ~WebViewHarness();
    WebViewHarness(const WebViewHarness&) = delete;
    WebViewHarness& operator=(const WebViewHarness&) = delete;

    WebKitWebView* view() const { return view_; }
    GtkWindow* window() const { return window_; }

    // Evaluates `script` in the page and returns its completion value as JSON
    // (undefined becomes null). Throws ScriptError on an exception in the page.
    nlohmann::json eval(const std::string& script);
    // Runs `functionBody` as the body of an async function (it may await) and
    // returns what it returns, as JSON.
    nlohmann::json evalAsync(const std::string& functionBody);
    // Waits two animation frames: pending events, layout and paint are done.
    void settle();
    // eval("document.getElementById(id).textContent") and friends.
    std::string text(const std::string& elementId);

    // Messages posted to "vela", oldest first.
    const std::vector<nlohmann::json>& messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }
    std::vector<nlohmann::json> messagesWithAction(std::string_view action) const;
    // Waits until a message with `action` has been recorded; answers the latest one,
    // or null when none came.
    nlohmann::json waitForMessage(std::string_view action,
                                  std::chrono::milliseconds limit = std::chrono::seconds(5));
    // For the borrowed-view mode: records one message given as JSON text.
    void recordMessage(const std::string& json);

    // Every address the web view started to load since construction, the page's
    // own document included.
    const std::vector<std::string>& resourceLoads() const { return resourceLoads_; }

    // Resizes the window and waits until the page sees the new viewport.
    void resize(int width, int height);
    // Switches GTK's dark-theme preference and waits until the page's
    // prefers-color-scheme follows.
    void setDarkTheme(bool dark);

    // Writes the rendered page, painted over an opaque backdrop colour (0xRRGGBB)
    // so transparent margins show, as PNG. Throws ScriptError when WebKit fails.
    void saveSnapshot(const std::filesystem::path& png, unsigned backdropRgb = 0x6B7A8F);

    // Real input through XTest. Coordinates are page (CSS) pixels.
    // Gives the window the X input focus and the web view the GTK focus.
    void focus();
    // Presses `key` with `modifiers` held (X keysym names: "s", "F5", "Return",
    // "Escape", "Control_L", "Alt_L", "Shift_L"), then releases all of them.
    void pressKey(const std::string& key, std::initializer_list<std::string> modifiers = {});
    void mouseMove(Point page);
    void mouseDown(Point page);
    void mouseUp(Point page);
    void click(Point page);
    // Moves the pointer far away from the window (no hover effects in snapshots).
    void parkPointer();
    // Centre of the first element matching `selector`, in page pixels.
    Point centerOf(const std::string& selector);

  private:
    static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static void onResourceLoad(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                               gpointer self);
    Point toScreen(Point page) const;

    bool owning_ = false;
    GtkWidget* ownedWindow_ = nullptr;  // owning mode only; destroyed in the destructor
    GtkWindow* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    GObjectPtr<WebKitUserContentManager> contentManager_;  // owning mode only
    bool loaded_ = false;
    std::vector<nlohmann::json> messages_;
    std::vector<std::string> resourceLoads_;
};

}  // namespace vela::test
