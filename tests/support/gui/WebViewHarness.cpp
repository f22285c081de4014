#include "tests/support/gui/WebViewHarness.h"

#include <gdk/gdkx.h>

#include "tests/support/gui/XInput.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace vela::test {

namespace {

constexpr std::chrono::seconds kGuard{10};

struct Evaluation {
    bool done = false;
    std::string error;
    std::string json;  // empty for undefined
};

// Finishes a plain evaluation, or with `async` a call of an async function body.
template <bool async>
void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    auto* ev = static_cast<Evaluation*>(data);
    GError* error = nullptr;
    JSCValue* value =
        async ? webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                      result, &error)
              : webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!value) {
        ev->error = error ? error->message : "script failed";
        g_clear_error(&error);
    } else {
        if (!jsc_value_is_undefined(value)) {
            std::unique_ptr<char, decltype(&g_free)> json(jsc_value_to_json(value, 0), g_free);
            ev->json = json ? json.get() : "null";
        }
        g_object_unref(value);
    }
    ev->done = true;
}

}  // namespace

WebViewHarness::WebViewHarness(std::string_view html, Options options)
    : contentManager_(webkit_user_content_manager_new()), input_(std::make_unique<XInput>()) {
    if (!ensureGtk() || !input_->ok())
        throw ScriptError("no X server (DISPLAY) for the web view");
    ownedWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    window_ = GTK_WINDOW(ownedWindow_);
    gtk_window_set_decorated(window_, FALSE);
    gtk_window_set_default_size(window_, options.width, options.height);
    gtk_window_move(window_, 120, 120);  // clear of the parked pointer
    gtk_widget_set_app_paintable(ownedWindow_, TRUE);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(ownedWindow_)))
        gtk_widget_set_visual(ownedWindow_, rgba);
    if (options.messageHandler) {
        g_signal_connect(
            contentManager_.get(), "script-message-received::vela",
            G_CALLBACK((+[](WebKitUserContentManager*, WebKitJavascriptResult* result,
                            WebViewHarness* self) {
                JSCValue* value = webkit_javascript_result_get_js_value(result);
                std::unique_ptr<char, decltype(&g_free)> json(jsc_value_to_json(value, 0), g_free);
                auto message = nlohmann::json::parse(json ? json.get() : "null", nullptr, false);
                if (message.is_object() && message.value("action", "") == "pageState")
                    return;
                self->messages_.push_back(std::move(message));
            })),
            this);
        webkit_user_content_manager_register_script_message_handler(contentManager_.get(), "vela");
    }
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(contentManager_.get()));
    GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(view_, &transparent);
    g_signal_connect(view_, "load-changed",
                     G_CALLBACK((+[](WebKitWebView*, WebKitLoadEvent event, WebViewHarness* self) {
                         self->loaded_ = self->loaded_ || event == WEBKIT_LOAD_FINISHED;
                     })),
                     this);
    g_signal_connect(view_, "resource-load-started",
                     G_CALLBACK((+[](WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                                     WebViewHarness* self) {
                         const char* uri = webkit_web_resource_get_uri(resource);
                         self->resourceLoads_.emplace_back(uri ? uri : "");
                     })),
                     this);
    gtk_container_add(GTK_CONTAINER(ownedWindow_), GTK_WIDGET(view_));
    gtk_widget_show_all(ownedWindow_);
    webkit_web_view_load_html(view_, std::string(html).c_str(), nullptr);
    if (!spinUntil([&] { return loaded_ && gtk_widget_get_mapped(ownedWindow_); },
                   std::chrono::seconds(30)))
        throw ScriptError("the page did not finish loading");
    resize(options.width, options.height);
}

WebViewHarness::WebViewHarness(WebKitWebView* view, GtkWindow* window)
    : window_(window), view_(view), loaded_(true), input_(std::make_unique<XInput>()) {}

WebViewHarness::~WebViewHarness() {
    if (contentManager_)
        g_signal_handlers_disconnect_by_data(contentManager_.get(), this);
    if (ownedWindow_) {
        g_signal_handlers_disconnect_by_data(view_, this);
        gtk_widget_destroy(ownedWindow_);
        drainEvents();
    }
}

nlohmann::json WebViewHarness::run(const std::string& script, bool async) {
    Evaluation ev;
    if (async)
        webkit_web_view_call_async_javascript_function(view_, script.c_str(), -1, nullptr, nullptr,
                                                       nullptr, nullptr, onEvaluated<true>, &ev);
    else
        webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                            onEvaluated<false>, &ev);
    // The callback points at `ev`: a page that never answers leaves nothing sensible to do.
    if (!spinUntil([&] { return ev.done; }, kGuard))
        throw ScriptError("script did not finish: " + script);
    if (!ev.error.empty())
        throw ScriptError(ev.error + "\n  in: " + script);
    return ev.json.empty() ? nlohmann::json() : nlohmann::json::parse(ev.json);
}

nlohmann::json WebViewHarness::eval(const std::string& script) {
    return run(script, false);
}

void WebViewHarness::settle() {
    run("await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));", true);
}

std::string WebViewHarness::text(const std::string& elementId) {
    const auto v =
        eval("document.getElementById(" + nlohmann::json(elementId).dump() + ").textContent");
    return v.is_string() ? v.get<std::string>() : throw ScriptError("no element #" + elementId);
}

std::vector<nlohmann::json> WebViewHarness::messagesWithAction(std::string_view action) const {
    std::vector<nlohmann::json> found;
    for (const auto& m : messages_) {
        if (m.is_object() && m.value("action", "") == action)
            found.push_back(m);
    }
    return found;
}

nlohmann::json WebViewHarness::waitForMessage(std::string_view action,
                                              std::chrono::milliseconds limit) {
    spinUntil([&] { return !messagesWithAction(action).empty(); }, limit);
    const auto found = messagesWithAction(action);
    return found.empty() ? nlohmann::json() : found.back();
}

void WebViewHarness::resize(int width, int height) {
    gtk_window_resize(window_, width, height);
    const nlohmann::json want = {width, height};
    if (!spinUntil([&] { return eval("[innerWidth, innerHeight]") == want; }, kGuard))
        throw ScriptError("the page did not take the new size");
}

void WebViewHarness::setDarkTheme(bool dark) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
    if (!spinUntil(
            [&] { return eval("matchMedia('(prefers-color-scheme: dark)').matches") == dark; },
            kGuard))
        throw ScriptError("the page did not follow the colour scheme");
    settle();
}

void WebViewHarness::handled() {
    drainEvents();  // GDK has read and dispatched what the server sent so far
    settle();       // and the page has run its handlers
}

void WebViewHarness::focus() {
    gtk_window_present(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!gdkWindow)
        throw ScriptError("the window is not realised");
    // There is no window manager under Xvfb: give the focus directly.
    XSetInputFocus(input_->display(), GDK_WINDOW_XID(gdkWindow), RevertToParent, CurrentTime);
    XSync(input_->display(), False);
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    if (!spinUntil(
            [&] { return gtk_window_is_active(window_) && eval("document.hasFocus()") == true; },
            kGuard))
        throw ScriptError("the page did not get the focus");
}

void WebViewHarness::pressKey(const std::string& key, const std::vector<const char*>& modifiers) {
    std::vector<unsigned> codes;
    for (const char* name : modifiers)
        codes.push_back(input_->keycode(name));
    codes.push_back(input_->keycode(key.c_str()));
    if (std::find(codes.begin(), codes.end(), 0u) != codes.end())
        throw ScriptError("key not on the keyboard map: " + key);
    for (unsigned code : codes)
        input_->key(code, true);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        input_->key(*it, false);
    handled();
}

Point WebViewHarness::toScreen(Point page) const {
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(view_)), &x, &y);
    return {x + page.x, y + page.y};
}

void WebViewHarness::click(Point page) {
    const Point p = toScreen(page);
    input_->click(p.x, p.y);
    handled();
}

void WebViewHarness::drag(Point from, Point to) {
    const Point a = toScreen(from), b = toScreen(to);
    input_->drag(a.x, a.y, b.x, b.y, drainEvents);
    handled();
}

void WebViewHarness::parkPointer() {
    input_->move(5, 5);
    handled();
}

Point WebViewHarness::centerOf(const std::string& selector) {
    const auto r =
        eval("(() => { const e = document.querySelector(" + nlohmann::json(selector).dump() +
             "); if (!e) return null; const b = e.getBoundingClientRect();"
             " return [Math.round(b.left + b.width / 2), "
             "Math.round(b.top + b.height / 2)]; })()");
    if (!r.is_array())
        throw ScriptError("no element matches " + selector);
    return {r[0].get<int>(), r[1].get<int>()};
}

}  // namespace vela::test
