#include "app/platform/PortalRequest.h"

#include <unistd.h>

#include <atomic>

namespace vela {
namespace {

struct ContextDeleter {
    void operator()(GMainContext* c) const { g_main_context_unref(c); }
};
struct ErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};

// The portal answers on a request object whose path it derives from our bus name and the
// token; subscribing to it before the call means the answer cannot be missed.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
    std::string sender = g_dbus_connection_get_unique_name(bus);
    sender.erase(0, 1);  // the leading ':'
    for (char& c : sender)
        if (c == '.')
            c = '_';
    return std::string(kPortalObjectPath) + "/request/" + sender + "/" + token;
}

struct Awaited {
    bool arrived = false;
    PortalResponse response;
};

void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
    auto& awaited = *static_cast<Awaited*>(data);
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &awaited.response.code, &results);
    awaited.response.results.reset(results);
    awaited.arrived = true;
}

}  // namespace

std::string newPortalToken() {
    static std::atomic<unsigned> counter{0};
    return "vela_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

std::optional<PortalResponse> callPortalRequest(GDBusConnection* bus, const char* interface,
                                                const char* method, GVariant* parameters,
                                                const std::string& token,
                                                std::chrono::milliseconds timeout) {
    GVariantPtr arguments(g_variant_ref_sink(parameters));
    std::unique_ptr<GMainContext, ContextDeleter> context(g_main_context_new());
    g_main_context_push_thread_default(context.get());

    Awaited awaited;
    const guint subscription = g_dbus_connection_signal_subscribe(
        bus, kPortalBusName, "org.freedesktop.portal.Request", "Response",
        requestPath(bus, token).c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &onResponse, &awaited,
        nullptr);
    GError* rawError = nullptr;
    GVariantPtr reply(
        g_dbus_connection_call_sync(bus, kPortalBusName, kPortalObjectPath, interface, method,
                                    arguments.get(), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
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
        g_source_attach(timer, context.get());
        while (!awaited.arrived && !late)
            g_main_context_iteration(context.get(), TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
    }
    g_dbus_connection_signal_unsubscribe(bus, subscription);
    g_main_context_pop_thread_default(context.get());
    if (!awaited.arrived)
        return std::nullopt;
    return std::move(awaited.response);
}

}  // namespace vela
