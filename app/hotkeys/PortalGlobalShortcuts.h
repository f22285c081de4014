#pragma once
// The two system-wide shortcuts in a Wayland session whose desktop offers the GlobalShortcuts
// portal (org.freedesktop.portal.GlobalShortcuts, e.g. KDE Plasma): one portal session holds
// the shortcuts "capture" and "text" with their preferred triggers; the desktop's Activated
// signal reaches the callbacks.
//
// A long-lived owner, main thread only. It owns its portal session (closed on re-registration,
// by unregisterAll and on destruction) and its signal subscription.
// Blocking: available() and registerShortcuts wait for the portal on the calling thread, each
// portal call for at most the time-out given to the constructor (registerShortcuts makes two);
// they wait on a context of their own, so no other main-loop source runs meanwhile.
// Failures: registerShortcuts answers false when there is no session bus or portal, a call
// fails or is late, the desktop refuses, or it does not report both shortcuts as bound.

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "app/platform/GObjectPtr.h"
#include "core/shortcuts/ShortcutConfig.h"

namespace vela {

// The shortcut in the XDG shortcuts format the portal takes as a preferred trigger:
// modifiers CTRL, ALT, SHIFT, LOGO (control, option, shift, command; once each, in that
// order) and the key's keysym name on a US layout, joined by "+": "CTRL+ALT+s", "LOGO+F5".
// Letters, digits, F1-F35 and SPACE only (upper-case key names, as ShortcutConfig keeps
// them); std::nullopt for any other key, which then gets no preferred trigger and so no keys.
std::optional<std::string> portalTrigger(const ShortcutConfig& shortcut);

class PortalGlobalShortcuts {
  public:
    // The identifiers the shortcuts have at the portal.
    static constexpr const char* kCaptureId = "capture";
    static constexpr const char* kTextId = "text";

    explicit PortalGlobalShortcuts(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~PortalGlobalShortcuts();
    PortalGlobalShortcuts(const PortalGlobalShortcuts&) = delete;
    PortalGlobalShortcuts& operator=(const PortalGlobalShortcuts&) = delete;

    // Whether the session bus's portal exposes the GlobalShortcuts interface. Blocks for at
    // most `timeout` (the portal may be started on demand); false without a session bus.
    static bool available(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Run on the main loop (default main context) when the desktop reports the shortcut
    // pressed; read at that moment, so replacing one takes effect for the next press.
    std::function<void()> onCapture;
    std::function<void()> onText;

    // Closes the current session, then binds both shortcuts in a new one. True only when the
    // portal reports both as bound; after a failure no session is held.
    bool registerShortcuts(const ShortcutConfig& capture, const ShortcutConfig& text);
    // Closes the current session, if any: the desktop forgets the binding until the next
    // registration.
    void unregisterAll();

  private:
    static void onActivated(GDBusConnection* bus, const char* sender, const char* path,
                            const char* interface, const char* signal, GVariant* parameters,
                            gpointer self);

    std::chrono::milliseconds timeout_;
    GObjectPtr<GDBusConnection> bus_;
    std::string session_;        // object path of the open session; empty if none
    unsigned subscription_ = 0;  // the Activated subscription; 0 if none
};

}  // namespace vela
