#include "app/hotkeys/GlobalHotKeyManager.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include "app/platform/DesktopIntegration.h"
#include "core/shortcuts/HotKeyKeyTable.h"

namespace vela {

namespace {

// Physical modifiers: control = Ctrl, option = Alt, shift = Shift, command = Super.
unsigned int physicalModifiers(const std::vector<ShortcutModifier>& modifiers) {
    unsigned int mask = 0;
    for (ShortcutModifier modifier : modifiers) {
        switch (modifier) {
            case ShortcutModifier::control:
                mask |= ControlMask;
                break;
            case ShortcutModifier::option:
                mask |= Mod1Mask;
                break;
            case ShortcutModifier::shift:
                mask |= ShiftMask;
                break;
            case ShortcutModifier::command:
                mask |= Mod4Mask;
                break;
        }
    }
    return mask;
}

// Set while our own grab requests are synced; X error handlers are process-wide and
// GTK's own handler is put back right after.
bool grabRefused = false;

int recordGrabError(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess || error->error_code == BadValue)
        grabRefused = true;
    return 0;
}

// Key codes are evdev codes + 8 when the server's keycode map is evdev's, as with every
// current X server on Linux (Xorg with libinput or evdev, Xwayland, Xvfb).
bool serverUsesEvdevKeycodes(Display* display) {
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (keyboard == nullptr)
        return false;
    bool evdev = false;
    if (XkbGetNames(display, XkbKeycodesNameMask, keyboard) == Success && keyboard->names &&
        keyboard->names->keycodes != 0) {
        if (char* name = XGetAtomName(display, keyboard->names->keycodes)) {
            evdev = std::string_view(name).find("evdev") != std::string_view::npos;
            XFree(name);
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    return evdev;
}

constexpr int kEvdevToX11 = 8;

}  // namespace

GlobalHotKeyManager& GlobalHotKeyManager::shared() {
    static GlobalHotKeyManager instance;
    return instance;
}

GlobalHotKeyManager::GlobalHotKeyManager() : waylandSession_(isWaylandSession()) {
    if (waylandSession_ && PortalGlobalShortcuts::available()) {
        portal_ = std::make_unique<PortalGlobalShortcuts>();
        // The portal already calls back on the main loop.
        portal_->onCapture = [this] {
            if (onCaptureHotKey)
                onCaptureHotKey();
        };
        portal_->onText = [this] {
            if (onTextHotKey)
                onTextHotKey();
        };
        return;  // XWayland grabs would fire a second time
    }
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display))
        return;
    display_ = gdk_x11_display_get_xdisplay(display);
    root_ = DefaultRootWindow(display_);
    evdevKeycodes_ = serverUsesEvdevKeycodes(display_);
    // Held keys then repeat as presses alone, without releases in between, so a repeat can
    // be told from a new press.
    XkbSetDetectableAutoRepeat(display_, True, nullptr);
    numLockMask_ = findNumLockMask();
    gdk_window_add_filter(nullptr, &GlobalHotKeyManager::filterEvent, this);
    g_signal_connect(gdk_keymap_get_for_display(display), "keys-changed",
                     G_CALLBACK(&GlobalHotKeyManager::keysChanged), this);
}

bool GlobalHotKeyManager::registerShortcuts(const ShortcutConfig& capture,
                                            const ShortcutConfig& text) {
    if (portal_) {
        missedKey_ = false;
        return portal_->registerShortcuts(capture, text);
    }
    const bool grabbed = registerX11(capture, text);
    if (waylandSession_) {
        missedKey_ = false;
        return true;  // informational: the desktop's own settings bind the keys
    }
    return grabbed;
}

bool GlobalHotKeyManager::registerX11(const ShortcutConfig& capture, const ShortcutConfig& text) {
    unregisterAll();
    missedKey_ = false;
    if (display_ == nullptr)
        return false;
    numLockMask_ = findNumLockMask();
    capture_ = grab(kCaptureHotKeyId, capture);
    text_ = grab(kTextHotKeyId, text);
    return capture_.has_value() && text_.has_value();
}

void GlobalHotKeyManager::unregisterAll() {
    if (portal_)
        portal_->unregisterAll();
    for (std::optional<Registration>* registration : {&capture_, &text_}) {
        if (*registration && (*registration)->keycode != 0) {
            ungrabKey((*registration)->keycode, (*registration)->modifiers);
        }
        registration->reset();
    }
    if (display_ != nullptr) {
        // A round trip, so that the keys are free for other clients once we return.
        XSync(display_, False);
    }
}

std::optional<GlobalHotKeyManager::Registration> GlobalHotKeyManager::grab(
    int id, const ShortcutConfig& shortcut) {
    // The key name decides which key is grabbed, never the stored key code: for names
    // outside the letter/digit table that code is whatever the previous shortcut had.
    const int keycode = keycodeForName(shortcut.key);
    if (keycode == 0) {
        missedKey_ = true;
        return std::nullopt;
    }
    Registration registration{id, physicalModifiers(shortcut.modifiers), keycode};
    if (!grabKey(registration.keycode, registration.modifiers))
        return std::nullopt;
    return registration;
}

int GlobalHotKeyManager::keycodeForName(std::string_view keyName) const {
    const std::optional<PhysicalKey> key = physicalKey(keyName);
    if (!key || !evdevKeycodes_)
        return 0;
    const int keycode = key->evdevCode + kEvdevToX11;
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display_, &minKeycode, &maxKeycode);
    if (keycode < minKeycode || keycode > maxKeycode)
        return 0;
    // A key the layout gives no symbol at all is not on this keyboard (a Yen key on a US
    // keyboard); any symbol will do, Cyrillic or Greek letters included.
    int perKey = 0;
    KeySym* symbols = XGetKeyboardMapping(display_, static_cast<KeyCode>(keycode), 1, &perKey);
    bool present = false;
    for (int i = 0; symbols != nullptr && i < perKey && !present; ++i)
        present = symbols[i] != NoSymbol;
    if (symbols != nullptr)
        XFree(symbols);
    return present ? keycode : 0;
}

bool GlobalHotKeyManager::grabKey(int keycode, unsigned int modifiers) {
    // Flush what GTK has queued so that only our own requests meet our handler.
    XSync(display_, False);
    grabRefused = false;
    XErrorHandler previous = XSetErrorHandler(&recordGrabError);
    for (unsigned int locks : lockCombinations()) {
        XGrabKey(display_, keycode, modifiers | locks, root_, True, GrabModeAsync, GrabModeAsync);
    }
    XSync(display_, False);
    XSetErrorHandler(previous);
    if (grabRefused) {
        // Some lock variants may have been granted; a half-grabbed shortcut is none.
        ungrabKey(keycode, modifiers);
        return false;
    }
    return true;
}

void GlobalHotKeyManager::ungrabKey(int keycode, unsigned int modifiers) {
    for (unsigned int locks : lockCombinations()) {
        XUngrabKey(display_, keycode, modifiers | locks, root_);
    }
}

std::vector<unsigned int> GlobalHotKeyManager::lockCombinations() const {
    if (numLockMask_ == 0 || numLockMask_ == LockMask)
        return {0, LockMask};
    return {0, LockMask, numLockMask_, LockMask | numLockMask_};
}

unsigned int GlobalHotKeyManager::findNumLockMask() const {
    const int numLockKeycode = XKeysymToKeycode(display_, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (map == nullptr)
        return Mod2Mask;
    unsigned int mask = 0;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + i];
            if (code != 0 && code == numLockKeycode) {
                mask = 1u << modifier;
                break;
            }
        }
    }
    XFreeModifiermap(map);
    return mask != 0 ? mask : Mod2Mask;
}

void GlobalHotKeyManager::regrabAfterKeymapChange() {
    // The grabbed keys are physical positions and stay; only the lock modifier that
    // NumLock sets may have moved.
    if (display_ == nullptr)
        return;
    const unsigned int newNumLockMask = findNumLockMask();
    if (newNumLockMask == numLockMask_)
        return;
    for (std::optional<Registration>* r : {&capture_, &text_}) {
        if (*r && (*r)->keycode != 0)
            ungrabKey((*r)->keycode, (*r)->modifiers);
    }
    numLockMask_ = newNumLockMask;
    for (std::optional<Registration>* r : {&capture_, &text_}) {
        if (*r && (*r)->keycode != 0 && !grabKey((*r)->keycode, (*r)->modifiers))
            (*r)->keycode = 0;
    }
    XFlush(display_);
}

bool GlobalHotKeyManager::handleKeyPress(int keycode, unsigned int state) {
    const unsigned int relevant =
        (ShiftMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask) &
        ~numLockMask_;
    const unsigned int pressed = state & relevant;
    bool ours = false;
    for (std::optional<Registration>* r : {&capture_, &text_}) {
        if (!*r || (*r)->keycode != keycode)
            continue;
        ours = true;
        if ((*r)->modifiers == pressed && !(*r)->held) {
            (*r)->held = true;
            // Deferred to a later turn of the main loop; the callback is read then.
            g_idle_add_full(G_PRIORITY_DEFAULT, &GlobalHotKeyManager::dispatchPress,
                            GINT_TO_POINTER((*r)->id), nullptr);
            break;
        }
    }
    return ours;
}

void GlobalHotKeyManager::handleKeyRelease(int keycode) {
    for (std::optional<Registration>* r : {&capture_, &text_}) {
        if (*r && (*r)->keycode == keycode)
            (*r)->held = false;
    }
}

GdkFilterReturn GlobalHotKeyManager::filterEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    auto* self = static_cast<GlobalHotKeyManager*>(data);
    auto* event = static_cast<XEvent*>(xevent);
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        self->regrabAfterKeymapChange();
        return GDK_FILTER_CONTINUE;
    }
    // The release may go to one of our own windows when it has taken the focus meanwhile
    // (the overlay, the panel), so it counts wherever it is reported.
    if (event->type == KeyRelease) {
        self->handleKeyRelease(static_cast<int>(event->xkey.keycode));
        return GDK_FILTER_CONTINUE;
    }
    if (event->type != KeyPress || event->xkey.window != self->root_)
        return GDK_FILTER_CONTINUE;
    const bool ours =
        self->handleKeyPress(static_cast<int>(event->xkey.keycode), event->xkey.state);
    return ours ? GDK_FILTER_REMOVE : GDK_FILTER_CONTINUE;
}

void GlobalHotKeyManager::keysChanged(GdkKeymap*, gpointer data) {
    static_cast<GlobalHotKeyManager*>(data)->regrabAfterKeymapChange();
}

gboolean GlobalHotKeyManager::dispatchPress(gpointer id) {
    GlobalHotKeyManager& manager = shared();
    switch (GPOINTER_TO_INT(id)) {
        case kCaptureHotKeyId:
            if (manager.onCaptureHotKey) {
                const std::function<void()> callback = manager.onCaptureHotKey;
                callback();
            }
            break;
        case kTextHotKeyId:
            if (manager.onTextHotKey) {
                const std::function<void()> callback = manager.onTextHotKey;
                callback();
            }
            break;
        default:
            break;
    }
    return G_SOURCE_REMOVE;
}

}  // namespace vela
