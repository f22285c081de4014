#include "tests/support/gui/WebViewHarness.h"

#include <cairo.h>
#include <gdk/gdkx.h>
// Xlib last: its macros (None, Bool, Status) clash with names in other headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <vector>

namespace vela::test {

namespace {

Display* xDisplay() {
    return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

void flushX() {
    XSync(xDisplay(), False);
    // Let GDK read what the server sent back before the page is asked anything.
    spinFor(std::chrono::milliseconds(30));
}

struct GErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

struct Evaluation {
    bool done = false;
    bool failed = false;
    std::string error;
    std::string json;  // empty for undefined
};

void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    auto* ev = static_cast<Evaluation*>(data);
    GError* rawError = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &rawError);
    GErrorPtr error(rawError);
    if (!value) {
        ev->failed = true;
        ev->error = error ? error->message : "script failed";
    } else {
        if (!jsc_value_is_undefined(value)) {
            char* json = jsc_value_to_json(value, 0);
            ev->json = json ? json : "null";
            g_free(json);
        }
        g_object_unref(value);
    }
    ev->done = true;
}

struct Snapshot {
    bool done = false;
    cairo_surface_t* surface = nullptr;
    std::string error;
};

void onSnapshot(GObject* source, GAsyncResult* result, gpointer data) {
    auto* snap = static_cast<Snapshot*>(data);
    GError* rawError = nullptr;
    snap->surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &rawError);
    GErrorPtr error(rawError);
    if (!snap->surface)
        snap->error = error ? error->message : "snapshot failed";
    snap->done = true;
}

KeyCode keycodeFor(const std::string& name) {
    KeySym sym = XStringToKeysym(name.c_str());
    if (sym == NoSymbol)
        throw ScriptError("unknown key name: " + name);
    KeyCode code = XKeysymToKeycode(xDisplay(), sym);
    if (code == 0)
        throw ScriptError("key not on the keyboard map: " + name);
    return code;
}

}  // namespace

WebViewHarness::WebViewHarness(std::string_view html, Options options)
    : owning_(true), contentManager_(webkit_user_content_manager_new()) {
    if (!ensureGtk())
        throw ScriptError("no X server (DISPLAY) for the web view");
    ownedWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    window_ = GTK_WINDOW(ownedWindow_);
    gtk_window_set_title(window_, "Vela page test");
    gtk_window_set_decorated(window_, FALSE);
    gtk_window_set_default_size(window_, options.width, options.height);
    gtk_window_move(window_, options.x, options.y);
    gtk_widget_set_app_paintable(ownedWindow_, TRUE);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(ownedWindow_))) {
        gtk_widget_set_visual(ownedWindow_, rgba);
    }

    if (options.messageHandler) {
        g_signal_connect(contentManager_.get(), "script-message-received::vela",
                         G_CALLBACK(onScriptMessage), this);
        webkit_user_content_manager_register_script_message_handler(contentManager_.get(), "vela");
    }
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(contentManager_.get()));
    GdkRGBA transparent{0, 0, 0, 0};
    webkit_web_view_set_background_color(view_, &transparent);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "resource-load-started", G_CALLBACK(onResourceLoad), this);
    gtk_container_add(GTK_CONTAINER(ownedWindow_), GTK_WIDGET(view_));
    gtk_widget_show_all(ownedWindow_);

    const std::string document(html);
    webkit_web_view_load_html(view_, document.c_str(), nullptr);
    if (!spinUntil([&] { return loaded_; }, std::chrono::seconds(30))) {
        throw ScriptError("the page did not finish loading");
    }
    spinUntil([&] { return gtk_widget_get_mapped(ownedWindow_); }, std::chrono::seconds(5));
    resize(options.width, options.height);
}

WebViewHarness::WebViewHarness(WebKitWebView* view, GtkWindow* window)
    : window_(window), view_(view), loaded_(true) {
    g_signal_connect(view_, "resource-load-started", G_CALLBACK(onResourceLoad), this);
}

WebViewHarness::~WebViewHarness() {
    if (contentManager_)
        g_signal_handlers_disconnect_by_data(contentManager_.get(), this);
    g_signal_handlers_disconnect_by_data(view_, this);
    if (owning_) {
        gtk_widget_destroy(ownedWindow_);
        spinFor(std::chrono::milliseconds(20));
    }
}

void WebViewHarness::onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                     gpointer self) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    char* json = jsc_value_to_json(value, 0);
    static_cast<WebViewHarness*>(self)->recordMessage(json ? json : "null");
    g_free(json);
}

void WebViewHarness::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    if (event == WEBKIT_LOAD_FINISHED)
        static_cast<WebViewHarness*>(self)->loaded_ = true;
}

void WebViewHarness::onResourceLoad(WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*,
                                    gpointer self) {
    const char* uri = webkit_web_resource_get_uri(resource);
    static_cast<WebViewHarness*>(self)->resourceLoads_.emplace_back(uri ? uri : "");
}

void WebViewHarness::recordMessage(const std::string& json) {
    auto message = nlohmann::json::parse(json, nullptr, false);
    // The page's state reports are bookkeeping for the panel, not what a test looks at.
    if (message.is_object() && message.value("action", "") == "pageState")
        return;
    messages_.push_back(std::move(message));
}

nlohmann::json WebViewHarness::eval(const std::string& script) {
    Evaluation ev;
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, onEvaluated, &ev);
    if (!spinUntil([&] { return ev.done; }, std::chrono::seconds(10))) {
        // The callback still points at `ev`; the page is hung, nothing sensible is left.
        throw ScriptError("script did not finish: " + script);
    }
    if (ev.failed)
        throw ScriptError(ev.error + "\n  in: " + script);
    if (ev.json.empty())
        return nullptr;
    return nlohmann::json::parse(ev.json);
}

nlohmann::json WebViewHarness::evalAsync(const std::string& functionBody) {
    Evaluation ev;
    webkit_web_view_call_async_javascript_function(
        view_, functionBody.c_str(), static_cast<gssize>(functionBody.size()), nullptr, nullptr,
        nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* e = static_cast<Evaluation*>(data);
            GError* rawError = nullptr;
            JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
                WEBKIT_WEB_VIEW(source), result, &rawError);
            GErrorPtr error(rawError);
            if (!value) {
                e->failed = true;
                e->error = error ? error->message : "script failed";
            } else {
                if (!jsc_value_is_undefined(value)) {
                    char* json = jsc_value_to_json(value, 0);
                    e->json = json ? json : "null";
                    g_free(json);
                }
                g_object_unref(value);
            }
            e->done = true;
        },
        &ev);
    if (!spinUntil([&] { return ev.done; }, std::chrono::seconds(10))) {
        throw ScriptError("script did not finish: " + functionBody);
    }
    if (ev.failed)
        throw ScriptError(ev.error + "\n  in: " + functionBody);
    if (ev.json.empty())
        return nullptr;
    return nlohmann::json::parse(ev.json);
}

void WebViewHarness::settle() {
    evalAsync("await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));");
}

std::string WebViewHarness::text(const std::string& elementId) {
    nlohmann::json v =
        eval("document.getElementById(" + nlohmann::json(elementId).dump() + ").textContent");
    if (!v.is_string())
        throw ScriptError("no element #" + elementId);
    return v.get<std::string>();
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
    auto found = messagesWithAction(action);
    return found.empty() ? nlohmann::json(nullptr) : found.back();
}

void WebViewHarness::resize(int width, int height) {
    gtk_window_resize(window_, width, height);
    const std::string probe = "[window.innerWidth, window.innerHeight]";
    const nlohmann::json want = {width, height};
    spinUntil([&] { return eval(probe) == want; }, std::chrono::seconds(10));
    if (eval(probe) != want)
        throw ScriptError("the page did not take the new size");
}

void WebViewHarness::setDarkTheme(bool dark) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme",
                 dark ? TRUE : FALSE, nullptr);
    const std::string probe = "window.matchMedia('(prefers-color-scheme: dark)').matches";
    spinUntil([&] { return eval(probe) == dark; }, std::chrono::seconds(10));
    if (eval(probe) != dark)
        throw ScriptError("the page did not follow the colour scheme");
    settle();
}

void WebViewHarness::saveSnapshot(const std::filesystem::path& png, unsigned backdropRgb) {
    Snapshot snap;
    webkit_web_view_get_snapshot(view_, WEBKIT_SNAPSHOT_REGION_VISIBLE,
                                 WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND, nullptr,
                                 onSnapshot, &snap);
    if (!spinUntil([&] { return snap.done; }, std::chrono::seconds(10)) || !snap.surface) {
        throw ScriptError("snapshot failed: " + snap.error);
    }
    const int w = cairo_image_surface_get_width(snap.surface);
    const int h = cairo_image_surface_get_height(snap.surface);
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(out);
    cairo_set_source_rgb(cr, ((backdropRgb >> 16) & 0xFF) / 255.0,
                         ((backdropRgb >> 8) & 0xFF) / 255.0, (backdropRgb & 0xFF) / 255.0);
    cairo_paint(cr);
    cairo_set_source_surface(cr, snap.surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    std::filesystem::create_directories(png.parent_path());
    const cairo_status_t status = cairo_surface_write_to_png(out, png.c_str());
    cairo_surface_destroy(out);
    cairo_surface_destroy(snap.surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw ScriptError("cannot write " + png.string());
}

void WebViewHarness::focus() {
    gtk_window_present(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!gdkWindow)
        throw ScriptError("the window is not realised");
    // There is no window manager under Xvfb: give the focus directly.
    XSetInputFocus(xDisplay(), GDK_WINDOW_XID(gdkWindow), RevertToParent, CurrentTime);
    flushX();
    spinUntil([&] { return gtk_window_is_active(window_) == TRUE; }, std::chrono::seconds(5));
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    spinUntil([&] { return eval("document.hasFocus()") == true; }, std::chrono::seconds(5));
}

void WebViewHarness::pressKey(const std::string& key,
                              std::initializer_list<std::string> modifiers) {
    Display* dpy = xDisplay();
    std::vector<KeyCode> held;
    for (const auto& m : modifiers) {
        held.push_back(keycodeFor(m));
        XTestFakeKeyEvent(dpy, held.back(), True, CurrentTime);
    }
    const KeyCode code = keycodeFor(key);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        XTestFakeKeyEvent(dpy, *it, False, CurrentTime);
    }
    flushX();
    // Round trip through the page so its key handlers have run.
    settle();
}

Point WebViewHarness::toScreen(Point page) const {
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(view_)), &ox, &oy);
    return {ox + page.x, oy + page.y};
}

void WebViewHarness::mouseMove(Point page) {
    const Point p = toScreen(page);
    XTestFakeMotionEvent(xDisplay(), -1, p.x, p.y, CurrentTime);
    flushX();
}

void WebViewHarness::mouseDown(Point page) {
    mouseMove(page);
    XTestFakeButtonEvent(xDisplay(), 1, True, CurrentTime);
    flushX();
}

void WebViewHarness::mouseUp(Point page) {
    mouseMove(page);
    XTestFakeButtonEvent(xDisplay(), 1, False, CurrentTime);
    flushX();
    settle();
}

void WebViewHarness::click(Point page) {
    mouseDown(page);
    mouseUp(page);
}

void WebViewHarness::parkPointer() {
    XTestFakeMotionEvent(xDisplay(), -1, 5, 5, CurrentTime);
    flushX();
}

Point WebViewHarness::centerOf(const std::string& selector) {
    nlohmann::json r =
        eval("(() => { const e = document.querySelector(" + nlohmann::json(selector).dump() +
             "); if (!e) return null; const b = e.getBoundingClientRect();"
             " return [Math.round(b.left + b.width / 2), Math.round(b.top + b.height / 2)]; })()");
    if (!r.is_array())
        throw ScriptError("no element matches " + selector);
    return {r[0].get<int>(), r[1].get<int>()};
}

}  // namespace vela::test
