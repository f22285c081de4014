#pragma once
// The two system-wide shortcuts. On X11: passive key grabs on the root window of GTK's
// own X connection, with presses delivered to the callbacks on the main loop. In a Wayland
// session: the desktop's GlobalShortcuts portal where it offers one; otherwise the shortcuts
// are only informational (the user binds `vela --capture` / `vela --text` in the desktop's
// keyboard settings), registration cannot fail, and XWayland grabs are kept as a bonus
// (they fire while one of XWayland's windows has the focus).
//
// One shared instance, created on first use after gtk_init; main thread only. It owns its
// grabs (released by unregisterAll and on re-registration) and the GDK event filter and
// keymap signal it installs, which stay until the process ends.
// A shortcut's key name is a physical key position: it is grabbed by the hardware key
// code of that position (Linux evdev code + 8), whatever the current layout prints on it,
// so the grabs stay put when the layout changes. A held shortcut fires once per press.
// Failures: registerShortcuts answers false when a key name has no key on this keyboard
// (then lastRegistrationMissedKey() is true), when the X server refuses a grab (another
// client holds the combination) or when the display is not an X11 display.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <gdk/gdk.h>

#include "app/hotkeys/PortalGlobalShortcuts.h"
#include "core/shortcuts/ShortcutConfig.h"

struct _XDisplay;

namespace vela {

class GlobalHotKeyManager {
  public:
    // Identifiers of the two shortcuts, as delivered to the callbacks' dispatcher.
    static constexpr int kCaptureHotKeyId = 1;
    static constexpr int kTextHotKeyId = 2;

    static GlobalHotKeyManager& shared();

    // Read when a press is dispatched on the main loop, so replacing one takes effect for
    // the next press.
    std::function<void()> onCaptureHotKey;
    std::function<void()> onTextHotKey;

    // Releases both current grabs first, then grabs the capture and the text shortcut
    // (the text one even when the capture one failed). True only when both grabs hold;
    // a shortcut that did grab stays grabbed after a partial failure.
    bool registerShortcuts(const ShortcutConfig& capture, const ShortcutConfig& text);
    // Whether the last registerShortcuts failed because a key is not on this keyboard: its
    // name is unknown, the layout gives its key no symbol, or the server does not number
    // keys by evdev codes (then no physical key can be found).
    bool lastRegistrationMissedKey() const { return missedKey_; }
    // Releases both grabs, if any.
    void unregisterAll();
    // True in a Wayland session without the GlobalShortcuts portal: registering cannot
    // make the keys work everywhere, the desktop's own settings have to.
    bool shortcutsNeedDesktopSettings() const { return waylandSession_ && !portal_; }

    GlobalHotKeyManager(const GlobalHotKeyManager&) = delete;
    GlobalHotKeyManager& operator=(const GlobalHotKeyManager&) = delete;

  private:
    struct Registration {
        int id = 0;
        unsigned int modifiers = 0;  // physical X modifier mask, without the locks
        int keycode = 0;             // the grabbed hardware key
        bool held = false;           // pressed and not yet released: repeats do not fire
    };

    GlobalHotKeyManager();

    bool registerX11(const ShortcutConfig& capture, const ShortcutConfig& text);
    std::optional<Registration> grab(int id, const ShortcutConfig& shortcut);
    bool grabKey(int keycode, unsigned int modifiers);
    void ungrabKey(int keycode, unsigned int modifiers);
    void regrabAfterKeymapChange();
    std::vector<unsigned int> lockCombinations() const;
    unsigned int findNumLockMask() const;
    // The hardware key code of a key name, or 0 when this keyboard has no such key.
    int keycodeForName(std::string_view keyName) const;
    // Queues the matching shortcut's callback for a first press; true when the key is one
    // we grabbed.
    bool handleKeyPress(int keycode, unsigned int state);
    void handleKeyRelease(int keycode);

    static GdkFilterReturn filterEvent(GdkXEvent* xevent, GdkEvent* event, gpointer data);
    static void keysChanged(GdkKeymap* keymap, gpointer data);
    static gboolean dispatchPress(gpointer id);

    _XDisplay* display_ = nullptr;  // GTK's own connection, borrowed; null off X11
    unsigned long root_ = 0;
    bool evdevKeycodes_ = false;    // the server numbers keys as evdev code + 8
    unsigned int numLockMask_ = 0;  // the lock mask the current grabs were made with
    bool missedKey_ = false;
    std::optional<Registration> capture_;
    std::optional<Registration> text_;
    bool waylandSession_ = false;
    std::unique_ptr<PortalGlobalShortcuts> portal_;  // a Wayland desktop that offers it
};

}  // namespace vela
