#include "app/platform/PortalScreenshot.h"

#include <gio/gio.h>

#include <unistd.h>
#include <string>

#include "app/platform/GObjectPtr.h"
#include "app/platform/PortalRequest.h"

namespace vela {

std::optional<PixelImage> takePortalScreenshot(std::chrono::milliseconds timeout) {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus)
        return std::nullopt;
    const std::string token = newPortalToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(FALSE));
    const std::optional<PortalResponse> answer =
        callPortalRequest(bus.get(), "org.freedesktop.portal.Screenshot", "Screenshot",
                          g_variant_new("(sa{sv})", "", &options), token, timeout);
    const gchar* uri = nullptr;
    if (!answer || answer->code != 0 ||
        !g_variant_lookup(answer->results.get(), "uri", "&s", &uri) || !uri || !*uri)
        return std::nullopt;

    gchar* file = g_filename_from_uri(uri, nullptr, nullptr);
    if (!file)
        return std::nullopt;
    std::optional<PixelImage> image = readImageFile(file);
    ::unlink(file);  // a frame for the overlay, not a picture the user asked to keep
    g_free(file);
    return image;
}

}  // namespace vela
