// The global hot keys on a real X server: key presses are real XTest events, and the
// "other application" holding a combination is a second X connection of this process.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using M = ShortcutModifier;

// Another X client: sends the XTest key events and may hold grabs of its own.
class OtherClient {
  public:
    OtherClient() : dpy_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (dpy_)
            XCloseDisplay(dpy_);
    }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    Display* dpy() const { return dpy_; }
    KeyCode code(KeySym sym) const { return XKeysymToKeycode(dpy_, sym); }

    void key(KeyCode keycode, bool down) { XTestFakeKeyEvent(dpy_, keycode, down, 0); }
    // Holds the modifiers, taps the key, lets go of the modifiers.
    void pressKeycode(const std::vector<KeySym>& modifiers, KeyCode keycode) {
        for (KeySym m : modifiers)
            key(code(m), true);
        key(keycode, true);
        key(keycode, false);
        for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
            key(code(*m), false);
        XSync(dpy_, False);
    }
    void press(const std::vector<KeySym>& modifiers, KeySym sym) {
        pressKeycode(modifiers, code(sym));
    }
    void tap(KeySym sym) { press({}, sym); }
    unsigned int lockedModifiers() {
        XkbStateRec state{};
        XkbGetState(dpy_, XkbUseCoreKbd, &state);
        return state.locked_mods;
    }

    // Grabs on the root window; answers whether the server granted every grab.
    bool grab(KeySym sym, const std::vector<unsigned int>& modifierSets) {
        return checked([&] {
            for (unsigned int m : modifierSets) {
                XGrabKey(dpy_, code(sym), m, DefaultRootWindow(dpy_), False, GrabModeAsync,
                         GrabModeAsync);
            }
        });
    }
    void ungrabAll() {
        XUngrabKey(dpy_, AnyKey, AnyModifier, DefaultRootWindow(dpy_));
        XSync(dpy_, False);
    }
    // The next key press this client received through its own grabs, if one is queued.
    bool receivedKeyPress(KeyCode keycode) {
        XSync(dpy_, False);
        while (XPending(dpy_) > 0) {
            XEvent event{};
            XNextEvent(dpy_, &event);
            if (event.type == KeyPress && event.xkey.keycode == keycode)
                return true;
        }
        return false;
    }

  private:
    static inline bool failed = false;
    static int onError(Display*, XErrorEvent*) {
        failed = true;
        return 0;
    }
    bool checked(const std::function<void()>& requests) {
        XSync(dpy_, False);
        failed = false;
        XErrorHandler previous = XSetErrorHandler(&onError);
        requests();
        XSync(dpy_, False);
        XSetErrorHandler(previous);
        return !failed;
    }

    Display* dpy_;
};

class GlobalHotKeyManagerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }

    void SetUp() override {
        ASSERT_NE(client.dpy(), nullptr);
        mainThread = std::this_thread::get_id();
        manager().onCaptureHotKey = [this] { record(GlobalHotKeyManager::kCaptureHotKeyId); };
        manager().onTextHotKey = [this] { record(GlobalHotKeyManager::kTextHotKeyId); };
    }
    void TearDown() override {
        manager().unregisterAll();
        manager().onCaptureHotKey = nullptr;
        manager().onTextHotKey = nullptr;
        client.ungrabAll();
        // Leave both locks off for the next test.
        const unsigned int locked = client.lockedModifiers();
        if (locked & LockMask)
            client.tap(XK_Caps_Lock);
        if (locked & Mod2Mask)
            client.tap(XK_Num_Lock);
    }

    static GlobalHotKeyManager& manager() { return GlobalHotKeyManager::shared(); }

    void record(int id) {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        fired.push_back(id);
    }
    // Waits for the `count`-th callback in all.
    bool waitForCallbacks(std::size_t count) {
        return test::spinUntil([&] { return fired.size() >= count; });
    }

    // The default text shortcut ⌥G, pressed after key events that must not fire anything:
    // X delivers events in order, so once its callback ran the earlier ones have been seen.
    void pressTextSentinel() { client.press({XK_Alt_L}, XK_g); }

    OtherClient client;
    std::vector<int> fired;
    std::thread::id mainThread;
};

TEST_F(GlobalHotKeyManagerTest, DefaultPairFiresBothIdsWithAndWithoutLocks) {
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));

    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(waitForCallbacks(1));
    client.press({XK_Alt_L}, XK_g);
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));

    // Other modifier sets on the same keys, and the keys alone, are not the shortcuts.
    client.tap(XK_s);
    client.press({XK_Control_L, XK_Shift_L}, XK_s);
    client.press({XK_Alt_L, XK_Control_L}, XK_g);
    client.press({XK_Control_L}, XK_g);
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(3));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 2}));

    client.tap(XK_Num_Lock);
    ASSERT_NE(client.lockedModifiers() & Mod2Mask, 0u) << "NumLock did not lock";
    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(waitForCallbacks(4));
    client.press({XK_Alt_L}, XK_g);
    ASSERT_TRUE(waitForCallbacks(5));

    client.tap(XK_Caps_Lock);
    ASSERT_NE(client.lockedModifiers() & LockMask, 0u) << "CapsLock did not lock";
    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(waitForCallbacks(6));

    client.tap(XK_Num_Lock);  // CapsLock alone
    ASSERT_EQ(client.lockedModifiers() & Mod2Mask, 0u);
    client.press({XK_Alt_L}, XK_g);
    ASSERT_TRUE(waitForCallbacks(7));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 2, 1, 2, 1, 2}));

    // A callback replaced after registration is the one that runs; a missing one is skipped.
    std::vector<int> replaced;
    manager().onCaptureHotKey = [&] { replaced.push_back(1); };
    manager().onTextHotKey = nullptr;
    client.press({XK_Alt_L}, XK_g);
    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(test::spinUntil([&] { return !replaced.empty(); }));
    EXPECT_EQ(fired.size(), 7u);
}

TEST_F(GlobalHotKeyManagerTest, CombinationHeldByAnotherClientIsRefused) {
    const std::vector<unsigned int> exactly{ControlMask | ShiftMask};
    ASSERT_TRUE(client.grab(XK_k, exactly));

    const ShortcutConfig taken("K", 40, {M::control, M::shift});
    EXPECT_FALSE(manager().registerShortcuts(taken, ShortcutConfig::defaultText()));
    // The text shortcut that could be grabbed stays registered.
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(1));
    EXPECT_EQ(fired, (std::vector<int>{2}));
    // The refused combination still reaches the other client, not us.
    client.press({XK_Control_L, XK_Shift_L}, XK_k);
    EXPECT_TRUE(client.receivedKeyPress(client.code(XK_k)));

    // Registering the previous pair again first drops the half-registered one.
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));
    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{2, 1}));

    // Held for the text shortcut with NumLock only: one lock variant is enough to refuse.
    client.ungrabAll();
    manager().unregisterAll();
    ASSERT_TRUE(client.grab(XK_g, {Mod1Mask | Mod2Mask}));
    EXPECT_FALSE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                             ShortcutConfig::defaultText()));
    client.press({XK_Control_L}, XK_s);
    ASSERT_TRUE(waitForCallbacks(3));
    EXPECT_EQ(fired.back(), 1);
}

TEST_F(GlobalHotKeyManagerTest, UnregisterAllReleasesTheGrabs) {
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));
    const std::vector<unsigned int> allLocks{ControlMask, ControlMask | Mod2Mask,
                                             ControlMask | LockMask,
                                             ControlMask | Mod2Mask | LockMask};
    // While we hold ⌃S in every lock variant, nobody else can take any of them.
    for (unsigned int m : allLocks)
        EXPECT_FALSE(client.grab(XK_s, {m})) << m;

    manager().unregisterAll();
    EXPECT_TRUE(client.grab(XK_s, allLocks));
    EXPECT_TRUE(client.grab(XK_g, {Mod1Mask, Mod1Mask | Mod2Mask}));
    client.press({XK_Control_L}, XK_s);
    EXPECT_TRUE(client.receivedKeyPress(client.code(XK_s)));
    client.ungrabAll();

    // Nothing of ours fires any more.
    client.press({XK_Control_L}, XK_s);
    client.press({XK_Alt_L}, XK_g);
    for (int i = 0; i < 50; ++i)
        g_main_context_iteration(nullptr, FALSE);
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig("Z", 6, {M::control}),
                                            ShortcutConfig::defaultText()));
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(1));
    EXPECT_EQ(fired, (std::vector<int>{2}));
}

TEST_F(GlobalHotKeyManagerTest, KeyNamesDecideTheGrabbedKey) {
    // The settings file's codes and masks: the table wins for letters, digits and SPACE.
    EXPECT_EQ(GlobalHotKeyManager::keyCode("q", 0), 12u);
    EXPECT_EQ(GlobalHotKeyManager::keyCode("F5", 5), 5u);
    EXPECT_EQ(GlobalHotKeyManager::carbonModifiers({M::shift, M::command}), 768u);

    // As the settings page records them: F5 and the up arrow keep the previous shortcut's
    // key codes (here G's and S's), which must not decide the key.
    const ShortcutConfig f5("F5", 5, {M::control});
    const ShortcutConfig up("ARROWUP", 1, {M::option, M::shift});
    ASSERT_TRUE(manager().registerShortcuts(f5, up));

    client.press({XK_Control_L}, XK_F5);
    ASSERT_TRUE(waitForCallbacks(1));
    client.press({XK_Control_L}, XK_g);
    client.press({XK_Alt_L, XK_Shift_L}, XK_s);
    client.press({XK_Alt_L, XK_Shift_L}, XK_Up);
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));

    // Command is Super; MINUS and SPACE by name; a letter stored in lower case.
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig("MINUS", 99, {M::command}),
                                            ShortcutConfig::stored("q", 0, {M::control})));
    client.press({XK_Super_L}, XK_minus);
    client.press({XK_Control_L}, XK_q);
    ASSERT_TRUE(waitForCallbacks(4));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 1, 2}));
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig("SPACE", 0, {M::control}),
                                            ShortcutConfig::defaultText()));
    client.press({XK_Control_L}, XK_space);
    ASSERT_TRUE(waitForCallbacks(5));
    EXPECT_EQ(fired.back(), 1);

    // A name with no key behind it cannot be registered; the other one still is.
    EXPECT_FALSE(manager().registerShortcuts(ShortcutConfig("NOSUCHKEY", 1, {M::control}),
                                             ShortcutConfig::defaultText()));
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(6));
    EXPECT_EQ(fired.back(), 2);
}

TEST_F(GlobalHotKeyManagerTest, KeyboardMappingChangesAreFollowed) {
    const KeyCode yKey = client.code(XK_y);
    const KeyCode zKey = client.code(XK_z);
    ASSERT_NE(yKey, 0);
    ASSERT_NE(zKey, 0);
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig("Y", 16, {M::control}),
                                            ShortcutConfig::defaultText()));
    client.pressKeycode({XK_Control_L}, yKey);
    ASSERT_TRUE(waitForCallbacks(1));

    // Swap the two keys, as a German layout does.
    int perKey = 0;
    KeySym* y = XGetKeyboardMapping(client.dpy(), yKey, 1, &perKey);
    KeySym* z = XGetKeyboardMapping(client.dpy(), zKey, 1, &perKey);
    XChangeKeyboardMapping(client.dpy(), yKey, perKey, z, 1);
    XChangeKeyboardMapping(client.dpy(), zKey, perKey, y, 1);
    XSync(client.dpy(), False);
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_display_get_default());
    const bool remapped = test::spinUntil([&] {
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        bool moved = false;
        if (gdk_keymap_get_entries_for_keyval(keymap, GDK_KEY_y, &keys, &count)) {
            moved = keys[0].keycode == zKey;
            g_free(keys);
        }
        return moved;
    });

    if (remapped) {
        // The key that used to type "y" no longer fires; the one that types it now does.
        client.pressKeycode({XK_Control_L}, yKey);
        pressTextSentinel();
        ASSERT_TRUE(waitForCallbacks(2));
        client.pressKeycode({XK_Control_L}, zKey);
        ASSERT_TRUE(waitForCallbacks(3));
        EXPECT_EQ(fired, (std::vector<int>{1, 2, 1}));
    }
    XChangeKeyboardMapping(client.dpy(), yKey, perKey, y, 1);
    XChangeKeyboardMapping(client.dpy(), zKey, perKey, z, 1);
    XSync(client.dpy(), False);
    XFree(y);
    XFree(z);
    ASSERT_TRUE(remapped) << "the keymap change never reached GTK";
    ASSERT_TRUE(test::spinUntil([&] {
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        bool back = false;
        if (gdk_keymap_get_entries_for_keyval(keymap, GDK_KEY_y, &keys, &count)) {
            back = keys[0].keycode == yKey;
            g_free(keys);
        }
        return back;
    }));
    client.pressKeycode({XK_Control_L}, zKey);
    client.pressKeycode({XK_Control_L}, yKey);
    ASSERT_TRUE(waitForCallbacks(4));
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(5));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 1, 1, 2}));
}

}  // namespace
}  // namespace vela
