#pragma once
// Small desktop services of the panel: the clipboard, opening links, and the
// launch-at-login entry. Main thread only; failures are silent by design (the
// callers have nothing to show for them).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vela {

// Vela's name on the desktop: the session-bus name of the running instance, the tray
// item's id and the autostart entry's file name.
inline constexpr const char* applicationId = "app.vela.translator.jp";

// Replaces the clipboard's contents with plain text.
void setClipboardText(const std::string& text);
// The clipboard's plain text, waiting for its owner; none when it holds no text.
std::optional<std::string> clipboardText();

// True in a Wayland session (Vela's own windows still use X11 through XWayland).
bool isWaylandSession();

// True when the desktop shows tray items: a StatusNotifierItem host on the session bus, or
// an XEmbed system tray on the X screen.
bool trayHostAvailable();

// Opens an http(s) address with the desktop's default handler.
void openWithDefaultHandler(const std::string& url);

// $XDG_CONFIG_HOME/autostart/app.vela.translator.jp.desktop (default ~/.config/autostart).
std::filesystem::path launchAtLoginEntryPath();
// The desktop entry that starts `program` at login.
std::string launchAtLoginEntry(const std::filesystem::path& program);
// The running program's absolute path, if the system tells it.
std::optional<std::filesystem::path> runningProgramPath();
// Writes (atomically) or removes the entry; every error is ignored.
void syncLaunchAtLogin(bool enabled);

}  // namespace vela
