#include "app/platform/PortalScreenshot.h"

#include <gio/gio.h>

#include <unistd.h>
#include <atomic>
#include <memory>
#include <string>

#include "app/platform/GObjectPtr.h"

namespace vela {
namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

struct ContextDeleter {
    void operator()(GMainContext* c) const { g_main_context_unref(c); }
};
struct VariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
struct ErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantDeleter>;

// The portal answers on a request object whose path it derives from our bus name and a
// token of ours; subscribing to it before the call means the answer cannot be missed.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
    std::string sender = g_dbus_connection_get_unique_name(bus);
    sender.erase(0, 1);  // the leading ':'
    for (char& c : sender)
        if (c == '.')
            c = '_';
    return std::string(kPortalPath) + "/request/" + sender + "/" + token;
}

struct Answer {
    bool arrived = false;
    guint32 response = 2;  // 0 success, 1 cancelled, 2 other failure
    std::string uri;
};

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
    auto& answer = *static_cast<Answer*>(data);
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &answer.response, &results);
    const gchar* uri = nullptr;
    if (g_variant_lookup(results, "uri", "&s", &uri) && uri)
        answer.uri = uri;
    g_variant_unref(results);
    answer.arrived = true;
}

// Runs the thread's own context until the answer arrives or the time is up.
Answer awaitScreenshot(GDBusConnection* bus, GMainContext* context,
                       std::chrono::milliseconds timeout) {
    static std::atomic<unsigned> counter{0};
    const std::string token =
        "vela_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    Answer answer;
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, kPortal, "org.freedesktop.portal.Request", "Response", requestPath(bus, token).c_str(),
        nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &onResponse, &answer, nullptr);

    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(FALSE));
    GError* rawError = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        bus, kPortal, kPortalPath, "org.freedesktop.portal.Screenshot", "Screenshot",
        g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
        static_cast<int>(timeout.count()), nullptr, &rawError));
    std::unique_ptr<GError, ErrorDeleter> error(rawError);

    if (reply) {
        bool late = false;
        GSource* timer = g_timeout_source_new(static_cast<guint>(timeout.count()));
        g_source_set_callback(
            timer,
            [](gpointer flag) {
                *static_cast<bool*>(flag) = true;
                return G_SOURCE_REMOVE;
            },
            &late, nullptr);
        g_source_attach(timer, context);
        while (!answer.arrived && !late)
            g_main_context_iteration(context, TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
    }
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    return answer;
}

}  // namespace

std::optional<PixelImage> takePortalScreenshot(std::chrono::milliseconds timeout) {
    std::unique_ptr<GMainContext, ContextDeleter> context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    Answer answer;
    if (bus)
        answer = awaitScreenshot(bus.get(), context.get(), timeout);
    g_main_context_pop_thread_default(context.get());
    if (!answer.arrived || answer.response != 0 || answer.uri.empty())
        return std::nullopt;

    gchar* file = g_filename_from_uri(answer.uri.c_str(), nullptr, nullptr);
    if (!file)
        return std::nullopt;
    std::optional<PixelImage> image = readImageFile(file);
    ::unlink(file);  // a frame for the overlay, not a picture the user asked to keep
    g_free(file);
    return image;
}

}  // namespace vela
