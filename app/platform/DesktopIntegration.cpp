#include "app/platform/DesktopIntegration.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "core/support/FileIO.h"
#include "core/support/UserFolders.h"

namespace vela {

void setClipboardText(const std::string& text) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_clear(clipboard);
    gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
    gtk_clipboard_store(clipboard);
}

std::optional<std::string> clipboardText() {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    g_autofree char* text = gtk_clipboard_wait_for_text(clipboard);
    if (!text)
        return std::nullopt;
    return std::string(text);
}

void openWithDefaultHandler(const std::string& url) {
    g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr);
}

bool isWaylandSession() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (wayland && *wayland) || (type && std::string_view(type) == "wayland");
}

bool trayHostAvailable() {
    if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
            G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        g_object_unref(bus);
        if (reply) {
            gboolean owned = FALSE;
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
            if (owned)
                return true;
        }
    }
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display))
        return false;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
    return XGetSelectionOwner(x, XInternAtom(x, selection.c_str(), False)) != 0;
}

std::filesystem::path launchAtLoginEntryPath() {
    return configHomeFolder() / "autostart" / (std::string(applicationId) + ".desktop");
}

namespace {
// One argument of an Exec key: quoted when it holds reserved characters, with the
// characters special inside quotes backslash-escaped, then escaped again as a string
// value of the desktop-entry format; "%" is doubled for the field-code rule.
std::string execArgument(const std::string& arg) {
    bool needsQuotes =
        arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    std::string quoted;
    if (needsQuotes)
        quoted.push_back('"');
    for (char c : arg) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    if (needsQuotes)
        quoted.push_back('"');
    std::string out;
    for (char c : quoted) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '%')
            out += "%%";
        else if (c == '\n')
            out += "\\n";
        else
            out.push_back(c);
    }
    return out;
}
}  // namespace

std::string launchAtLoginEntry(const std::filesystem::path& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vela\n"
           "Exec=" +
           execArgument(program.string()) +
           "\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::filesystem::path> runningProgramPath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || path.empty())
        return std::nullopt;
    return path;
}

void syncLaunchAtLogin(bool enabled) {
    auto entry = launchAtLoginEntryPath();
    if (!enabled) {
        std::error_code ec;
        std::filesystem::remove(entry, ec);
        return;
    }
    auto program = runningProgramPath().value_or("/usr/bin/vela");
    createDirectories(entry.parent_path(), 0755);
    (void)writeFileAtomically(entry, launchAtLoginEntry(program), 0644);
}

}  // namespace vela
