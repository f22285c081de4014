// The global hot keys on a real X server: key presses are real XTest events, and the
// "other application" holding a combination is a second X connection of this process.
// Keys are pressed by hardware key code where the physical position matters.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtk/gtk.h>
#include <linux/input-event-codes.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"
#include "core/shortcuts/HotKeyKeyTable.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using M = ShortcutModifier;

// The X key code of a physical key under the evdev keycode map.
KeyCode physical(int evdevCode) {
    return static_cast<KeyCode>(evdevCode + 8);
}

// Output of a command, or empty when it fails.
std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            out += buffer;
        if (::pclose(pipe) != 0)
            out.clear();
    }
    return out;
}

// Switches the server's keyboard layout with setxkbmap; puts the one found back when done.
class KeyboardLayout {
  public:
    KeyboardLayout() {
        const std::string query = commandOutput("setxkbmap -query");
        for (const char* field : {"layout:", "variant:"}) {
            const auto at = query.find(field);
            if (at == std::string::npos)
                continue;
            const auto start = query.find_first_not_of(' ', at + std::string(field).size());
            const std::string value = query.substr(start, query.find('\n', start) - start);
            original_ +=
                std::string(" -") + std::string(field, std::string(field).size() - 1) + " " + value;
        }
    }
    ~KeyboardLayout() {
        if (!original_.empty())
            (void)std::system(("setxkbmap" + original_).c_str());
    }
    KeyboardLayout(const KeyboardLayout&) = delete;
    KeyboardLayout& operator=(const KeyboardLayout&) = delete;

    bool found() const { return !original_.empty(); }
    static bool use(const std::string& layout) {
        return std::system(("setxkbmap -layout " + layout).c_str()) == 0;
    }

  private:
    std::string original_;
};

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
        return grabKeycode(code(sym), modifierSets);
    }
    bool grabKeycode(KeyCode keycode, const std::vector<unsigned int>& modifierSets) {
        return checked([&] {
            for (unsigned int m : modifierSets) {
                XGrabKey(dpy_, keycode, m, DefaultRootWindow(dpy_), False, GrabModeAsync,
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
    static void SetUpTestSuite() {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        // Installed before the manager exists, so it sees every key press ahead of it.
        gdk_window_add_filter(nullptr, &countRootPresses, nullptr);
    }
    static GdkFilterReturn countRootPresses(GdkXEvent* xevent, GdkEvent*, gpointer) {
        const auto* event = static_cast<XEvent*>(xevent);
        if (event->type == KeyPress && event->xkey.window == event->xkey.root)
            ++rootPresses[event->xkey.keycode];
        return GDK_FILTER_CONTINUE;
    }
    static inline std::array<int, 256> rootPresses{};

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

    // The default text shortcut, pressed after key events that must not fire anything:
    // X delivers events in order, so once its callback ran the earlier ones have been seen.
    void pressTextSentinel() { client.press(ctrlAlt, XK_g); }

    const std::vector<KeySym> ctrlAlt{XK_Control_L, XK_Alt_L};

    OtherClient client;
    std::vector<int> fired;
    std::thread::id mainThread;
};

TEST_F(GlobalHotKeyManagerTest, DefaultPairFiresBothIdsWithAndWithoutLocks) {
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));

    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(waitForCallbacks(1));
    client.press(ctrlAlt, XK_g);
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));

    // Other modifier sets on the same keys, and the keys alone, are not the shortcuts:
    // Ctrl+S and Alt+G stay with the other programs.
    client.tap(XK_s);
    client.press({XK_Control_L}, XK_s);
    client.press({XK_Control_L, XK_Alt_L, XK_Shift_L}, XK_s);
    client.press({XK_Alt_L}, XK_g);
    client.press({XK_Control_L}, XK_g);
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(3));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 2}));

    client.tap(XK_Num_Lock);
    ASSERT_NE(client.lockedModifiers() & Mod2Mask, 0u) << "NumLock did not lock";
    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(waitForCallbacks(4));
    client.press(ctrlAlt, XK_g);
    ASSERT_TRUE(waitForCallbacks(5));

    client.tap(XK_Caps_Lock);
    ASSERT_NE(client.lockedModifiers() & LockMask, 0u) << "CapsLock did not lock";
    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(waitForCallbacks(6));

    client.tap(XK_Num_Lock);  // CapsLock alone
    ASSERT_EQ(client.lockedModifiers() & Mod2Mask, 0u);
    client.press(ctrlAlt, XK_g);
    ASSERT_TRUE(waitForCallbacks(7));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 2, 1, 2, 1, 2}));

    // A callback replaced after registration is the one that runs; a missing one is skipped.
    std::vector<int> replaced;
    manager().onCaptureHotKey = [&] { replaced.push_back(1); };
    manager().onTextHotKey = nullptr;
    client.press(ctrlAlt, XK_g);
    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(test::spinUntil([&] { return !replaced.empty(); }));
    EXPECT_EQ(fired.size(), 7u);
}

TEST_F(GlobalHotKeyManagerTest, CombinationHeldByAnotherClientIsRefused) {
    const std::vector<unsigned int> exactly{ControlMask | ShiftMask};
    ASSERT_TRUE(client.grab(XK_k, exactly));

    const ShortcutConfig taken("K", 40, {M::control, M::shift});
    EXPECT_FALSE(manager().registerShortcuts(taken, ShortcutConfig::defaultText()));
    EXPECT_FALSE(manager().lastRegistrationMissedKey());
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
    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{2, 1}));

    // Held for the text shortcut with NumLock only: one lock variant is enough to refuse.
    client.ungrabAll();
    manager().unregisterAll();
    ASSERT_TRUE(client.grab(XK_g, {ControlMask | Mod1Mask | Mod2Mask}));
    EXPECT_FALSE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                             ShortcutConfig::defaultText()));
    client.press(ctrlAlt, XK_s);
    ASSERT_TRUE(waitForCallbacks(3));
    EXPECT_EQ(fired.back(), 1);
}

TEST_F(GlobalHotKeyManagerTest, UnregisterAllReleasesTheGrabs) {
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));
    const unsigned int ca = ControlMask | Mod1Mask;
    const std::vector<unsigned int> allLocks{ca, ca | Mod2Mask, ca | LockMask,
                                             ca | Mod2Mask | LockMask};
    // While we hold Ctrl+Alt+S in every lock variant, nobody else can take any of them.
    for (unsigned int m : allLocks)
        EXPECT_FALSE(client.grab(XK_s, {m})) << m;

    manager().unregisterAll();
    EXPECT_TRUE(client.grab(XK_s, allLocks));
    EXPECT_TRUE(client.grab(XK_g, {ca, ca | Mod2Mask}));
    client.press(ctrlAlt, XK_s);
    EXPECT_TRUE(client.receivedKeyPress(client.code(XK_s)));
    client.ungrabAll();

    // Nothing of ours fires any more.
    client.press(ctrlAlt, XK_s);
    client.press(ctrlAlt, XK_g);
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
    EXPECT_EQ(virtualKeyCode("q", 0), 12u);
    EXPECT_EQ(virtualKeyCode("F5", 5), 5u);
    EXPECT_EQ(carbonModifierMask({M::shift, M::command}), 768u);

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

    // A name with no key behind it cannot be registered, and says so; the other one still is.
    EXPECT_FALSE(manager().registerShortcuts(ShortcutConfig("NOSUCHKEY", 1, {M::control}),
                                             ShortcutConfig::defaultText()));
    EXPECT_TRUE(manager().lastRegistrationMissedKey());
    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(6));
    EXPECT_EQ(fired.back(), 2);
}

TEST_F(GlobalHotKeyManagerTest, PhysicalKeysFireUnderEveryLayout) {
    KeyboardLayout original;
    ASSERT_TRUE(original.found()) << "setxkbmap -query failed";
    const ShortcutConfig q("Q", 12, {M::control, M::option});
    const ShortcutConfig y("Y", 16, {M::control, M::option});
    const unsigned int ca = ControlMask | Mod1Mask;
    for (const char* layout : {"us", "fr", "de", "ru", "jp"}) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(KeyboardLayout::use(layout));
        fired.clear();
        ASSERT_TRUE(manager().registerShortcuts(q, y));
        client.pressKeycode(ctrlAlt, physical(KEY_Q));
        ASSERT_TRUE(waitForCallbacks(1));
        client.pressKeycode(ctrlAlt, physical(KEY_Y));
        ASSERT_TRUE(waitForCallbacks(2));
        EXPECT_EQ(fired, (std::vector<int>{1, 2}));
        // The keys that type q and y here (A and Z on AZERTY, Z on QWERTZ) stay free.
        EXPECT_FALSE(client.grabKeycode(physical(KEY_Q), {ca}));
        EXPECT_TRUE(client.grabKeycode(physical(KEY_A), {ca}));
        EXPECT_TRUE(client.grabKeycode(physical(KEY_Z), {ca}));
        client.ungrabAll();

        // The default pair registers whatever the letters are called.
        ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                                ShortcutConfig::defaultText()));
        client.pressKeycode(ctrlAlt, physical(KEY_S));
        ASSERT_TRUE(waitForCallbacks(3));
        EXPECT_EQ(fired.back(), 1);
    }
}

TEST_F(GlobalHotKeyManagerTest, HeldShortcutFiresOncePerPress) {
    unsigned int delay = 0;
    unsigned int interval = 0;
    ASSERT_TRUE(XkbGetAutoRepeatRate(client.dpy(), XkbUseCoreKbd, &delay, &interval));
    XAutoRepeatOn(client.dpy());
    XkbSetAutoRepeatRate(client.dpy(), XkbUseCoreKbd, 40, 10);
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));

    const KeyCode s = physical(KEY_S);
    const int pressesBefore = rootPresses[s];
    for (KeySym m : ctrlAlt)
        client.key(client.code(m), true);
    client.key(s, true);
    XSync(client.dpy(), False);
    // The server repeats the held key; every repeat reaches this process.
    const bool repeated = test::spinUntil([&] { return rootPresses[s] >= pressesBefore + 5; });
    client.key(s, false);
    for (KeySym m : ctrlAlt)
        client.key(client.code(m), false);
    XSync(client.dpy(), False);
    XkbSetAutoRepeatRate(client.dpy(), XkbUseCoreKbd, delay, interval);
    ASSERT_TRUE(repeated) << "the held key did not repeat";

    pressTextSentinel();
    ASSERT_TRUE(waitForCallbacks(2));
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));
    client.pressKeycode(ctrlAlt, s);
    ASSERT_TRUE(waitForCallbacks(3));
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 1}));
}

}  // namespace
}  // namespace vela
