#pragma once
// In-process driver for a real WebKitGTK web view under an X server (Xvfb in the suite):
// loads a page, evaluates scripts and reads their results back, records what the page
// posts to the "vela" script-message handler and sends real input through XInput.
//
// Two ways to use it:
//  - WebViewHarness(html) builds its own window and web view with a recording "vela" handler;
//  - WebViewHarness(view, window) drives a web view someone else owns (both must outlive
//    the harness; its messages go to the owner and are not recorded here).
//
// Main thread only; gtk_init must have succeeded (ensureGtk() does it). Waits spin the
// default GLib main context with a generous guard so a hung page fails the test instead
// of blocking it. Script failures and pages that do not answer throw std::runtime_error.
// Not copyable.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/GObjectPtr.h"
#include "tests/support/gui/MainLoop.h"

namespace vela::test {

class XInput;

struct Point {
    int x = 0;
    int y = 0;
};

class WebViewHarness {
  public:
    // Builds a 430 x 440 window around a web view with `html` and waits until it has loaded.
    explicit WebViewHarness(std::string_view html);
    WebViewHarness(WebKitWebView* view, GtkWindow* window);
    ~WebViewHarness();

    // Evaluates `script` and returns its completion value as JSON (undefined becomes null).
    nlohmann::json eval(const std::string& script);
    // Waits two animation frames: pending events, layout and paint are done.
    void settle();
    std::string text(const std::string& elementId);
    // Owning mode: what the page posted since the last call, oldest first, without its
    // state reports. A marker the harness posts last proves that everything the page had
    // posted before has arrived, so an empty answer means that nothing was posted.
    std::vector<nlohmann::json> takeMessages();

    // Resizes the window and waits until the page sees the new viewport.
    void resize(int width, int height);
    // Switches GTK's dark-theme preference and waits until prefers-color-scheme follows.
    void setDarkTheme(bool dark);

    // Real input; coordinates are page (CSS) pixels. Each call returns once the page has
    // handled the events.
    // Gives the window the X input focus and the web view the GTK focus.
    void focus();
    // Presses `key` with `modifiers` held (X keysym names), then releases them all.
    void pressKey(const std::string& key, const std::vector<const char*>& modifiers = {});
    void click(Point page);
    // Primary button down at `from`, a few moves, up at `to`.
    void drag(Point from, Point to);
    // Moves the pointer far away from the window (no hover effects).
    void parkPointer();
    // Centre of the first element matching `selector`, in page pixels.
    Point centerOf(const std::string& selector);

  private:
    // Polls `probe` until it answers `want`, then settles.
    void waitForPage(const std::string& probe, const nlohmann::json& want);
    void handled();  // the X events sent so far have reached the page
    Point toScreen(Point page) const;

    GtkWidget* ownedWindow_ = nullptr;  // owning mode only; destroyed in the destructor
    GtkWindow* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    GObjectPtr<WebKitUserContentManager> contentManager_;  // owning mode only
    bool loaded_ = false;
    std::vector<nlohmann::json> messages_;
    std::unique_ptr<XInput> input_;
};

}  // namespace vela::test
