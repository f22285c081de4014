#include "tests/support/gui/WebViewHarness.h"

#include <gdk/gdkx.h>

#include <utility>

#include "tests/support/gui/XInput.h"

namespace vela::test {

namespace {

constexpr std::chrono::seconds kGuard{10};

nlohmann::json toJson(JSCValue* value) {
    const std::unique_ptr<char, decltype(&g_free)> text(jsc_value_to_json(value, 0), g_free);
    return nlohmann::json::parse(text ? text.get() : "null", nullptr, false);
}

}  // namespace

WebViewHarness::WebViewHarness(std::string_view html)
    : contentManager_(webkit_user_content_manager_new()), input_(std::make_unique<XInput>()) {
    if (!ensureGtk() || !input_->ok())
        throw std::runtime_error("no X server (DISPLAY) for the web view");
    ownedWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    window_ = GTK_WINDOW(ownedWindow_);
    gtk_window_move(window_, 120, 120);  // clear of the parked pointer
    g_signal_connect(contentManager_.get(), "script-message-received::vela",
                     G_CALLBACK((+[](WebKitUserContentManager*, WebKitJavascriptResult* r,
                                     WebViewHarness* self) {
                         auto m = toJson(webkit_javascript_result_get_js_value(r));
                         // The page's state reports are the panel's bookkeeping.
                         if (!m.is_object() || m.value("action", "") != "pageState")
                             self->messages_.push_back(std::move(m));
                     })),
                     this);
    webkit_user_content_manager_register_script_message_handler(contentManager_.get(), "vela");
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(contentManager_.get()));
    g_signal_connect(view_, "load-changed",
                     G_CALLBACK((+[](WebKitWebView*, WebKitLoadEvent event, bool* loaded) {
                         *loaded = *loaded || event == WEBKIT_LOAD_FINISHED;
                     })),
                     &loaded_);
    gtk_container_add(GTK_CONTAINER(ownedWindow_), GTK_WIDGET(view_));
    gtk_widget_show_all(ownedWindow_);
    webkit_web_view_load_html(view_, std::string(html).c_str(), nullptr);
    if (!spinUntil([&] { return loaded_ && gtk_widget_get_mapped(ownedWindow_); },
                   std::chrono::seconds(30)))
        throw std::runtime_error("the page did not finish loading");
    resize(430, 440);
}

WebViewHarness::WebViewHarness(WebKitWebView* view, GtkWindow* window)
    : window_(window), view_(view), input_(std::make_unique<XInput>()) {}

WebViewHarness::~WebViewHarness() {
    if (!ownedWindow_)
        return;
    g_signal_handlers_disconnect_by_data(contentManager_.get(), this);
    g_signal_handlers_disconnect_by_data(view_, &loaded_);
    gtk_widget_destroy(ownedWindow_);
    drainEvents();
}

nlohmann::json WebViewHarness::eval(const std::string& script) {
    struct Evaluation {
        bool done = false;
        std::string error;
        nlohmann::json value;
    } ev;
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            auto* ev = static_cast<Evaluation*>(data);
            GError* error = nullptr;
            const GObjectPtr<JSCValue> value(
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error));
            ev->error = value ? "" : error ? error->message : "script failed";
            g_clear_error(&error);
            if (value && !jsc_value_is_undefined(value.get()))
                ev->value = toJson(value.get());
            ev->done = true;
        },
        &ev);
    // The callback points at `ev`: a page that never answers leaves nothing sensible to do.
    if (!spinUntil([&] { return ev.done; }, kGuard))
        throw std::runtime_error("script did not finish: " + script);
    if (!ev.error.empty())
        throw std::runtime_error(ev.error + "\n  in: " + script);
    return ev.value;
}

void WebViewHarness::settle() {
    eval(
        "window.velaTestFrames = 0; requestAnimationFrame(() => requestAnimationFrame(() => "
        "window.velaTestFrames = 2)); null");
    if (!spinUntil([&] { return eval("window.velaTestFrames") == 2; }, kGuard))
        throw std::runtime_error("the page stopped drawing");
}

std::string WebViewHarness::text(const std::string& elementId) {
    return eval("document.getElementById(" + nlohmann::json(elementId).dump() + ").textContent");
}

std::vector<nlohmann::json> WebViewHarness::takeMessages() {
    eval("window.webkit.messageHandlers.vela.postMessage('end'); null");
    if (!spinUntil([&] { return !messages_.empty() && messages_.back() == "end"; }, kGuard))
        throw std::runtime_error("the page's messages stopped arriving");
    messages_.pop_back();
    return std::exchange(messages_, {});
}

void WebViewHarness::waitForPage(const std::string& probe, const nlohmann::json& want) {
    if (!spinUntil([&] { return eval(probe) == want; }, kGuard))
        throw std::runtime_error("the page never answered " + want.dump() + " to " + probe);
    settle();
}

void WebViewHarness::resize(int width, int height) {
    gtk_window_resize(window_, width, height);
    waitForPage("[innerWidth, innerHeight]", {width, height});
}

void WebViewHarness::setDarkTheme(bool dark) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", dark, nullptr);
    waitForPage("matchMedia('(prefers-color-scheme: dark)').matches", dark);
}

void WebViewHarness::handled() {
    drainEvents();  // GDK has read and dispatched what the server sent so far
    settle();       // and the page has run its handlers
}

void WebViewHarness::focus() {
    gtk_window_present(window_);
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));  // realised by now
    // There is no window manager under Xvfb: give the focus directly.
    XSetInputFocus(input_->display(), GDK_WINDOW_XID(gdkWindow), RevertToParent, CurrentTime);
    XSync(input_->display(), False);
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    waitForPage("document.hasFocus()", true);
}

void WebViewHarness::pressKey(const std::string& key, const std::vector<const char*>& modifiers) {
    for (const char* name : modifiers)
        input_->key(input_->keycode(name), true);
    input_->chord({key.c_str()});
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        input_->key(input_->keycode(*it), false);
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
    // No element: the script fails and eval throws.
    const auto r = eval(
        "(b => [Math.round(b.x + b.width / 2), Math.round(b.y + b.height / 2)])("
        "document.querySelector(" +
        nlohmann::json(selector).dump() + ").getBoundingClientRect())");
    return {r[0].get<int>(), r[1].get<int>()};
}

}  // namespace vela::test
