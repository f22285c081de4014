#pragma once
// One call to an xdg-desktop-portal method that answers later, through the
// org.freedesktop.portal.Request object it names ("Response" signal).
//
// Threads: blocks the calling thread until the Response arrives or `timeout` passes; it waits
// on a main context of its own, so the application's main loop is not re-entered and no other
// source of the caller runs meanwhile.
// Failures: std::nullopt when the call itself fails (no portal, no such interface or method,
// bad arguments) or the answer is late. A portal that answers with a refusal or a
// cancellation is an answer: see PortalResponse::code.

#include <gio/gio.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace vela {

inline constexpr const char* kPortalBusName = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalObjectPath = "/org/freedesktop/portal/desktop";

struct GVariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantDeleter>;

struct PortalResponse {
    guint32 code = 2;     // 0 success, 1 cancelled by the user, 2 ended another way
    GVariantPtr results;  // a{sv}
};

// A token for the "handle_token" / "session_handle_token" options, unique in this process.
std::string newPortalToken();

// Calls `method` of `interface` on the portal object with `parameters` (floating references
// are sunk) whose options hold "handle_token" = `token`, and waits for its Response.
std::optional<PortalResponse> callPortalRequest(GDBusConnection* bus, const char* interface,
                                                const char* method, GVariant* parameters,
                                                const std::string& token,
                                                std::chrono::milliseconds timeout);

}  // namespace vela
