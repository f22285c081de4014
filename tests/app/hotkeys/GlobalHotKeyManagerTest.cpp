// The global hot keys on a real X server: real XTest key events, and the "other application"
// that may hold a combination is the input's own X connection.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/XKBlib.h>
#include <gtk/gtk.h>

#include <array>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"

namespace vela {
namespace {

using M = ShortcutModifier;
constexpr unsigned kCtrlAlt = ControlMask | Mod1Mask;
const ShortcutConfig kCapture = ShortcutConfig::defaultCapture();
const ShortcutConfig kText = ShortcutConfig::defaultText();

class GlobalHotKeyManagerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::ensureGtk());
        // Installed before the manager exists, so it sees every key press ahead of it.
        gdk_window_add_filter(
            nullptr,
            [](GdkXEvent* xevent, GdkEvent*, gpointer) {
                const auto* event = static_cast<XEvent*>(xevent);
                if (event->type == KeyPress && event->xkey.window == event->xkey.root)
                    ++rootPresses[event->xkey.keycode];
                return GDK_FILTER_CONTINUE;
            },
            nullptr);
    }
    void SetUp() override {
        manager().onCaptureHotKey = [this] { fired += 'c'; };
        manager().onTextHotKey = [this] { fired += 't'; };
    }
    void TearDown() override {
        manager().unregisterAll();
        manager().onCaptureHotKey = manager().onTextHotKey = nullptr;
        otherUngrabs();
        XkbLockModifiers(x.display(), XkbUseCoreKbd, LockMask | Mod2Mask, 0);
        (void)std::system("setxkbmap -layout us");  // the test server's own layout
    }

    static GlobalHotKeyManager& manager() { return GlobalHotKeyManager::shared(); }
    // Waits for the `count`-th callback in all. X delivers in order, so once it ran every key
    // pressed before the one that fired it has been seen.
    bool waitFor(std::size_t count) {
        return test::spinUntil([&] { return fired.size() >= count; });
    }
    // Presses chords written as "Control_L+Alt_L+s Num_Lock"; "#24" is the key of hardware
    // code 24 (evdev code + 8), where the physical position matters.
    void press(const std::string& chords) {
        std::istringstream in(chords);
        for (std::string chord; in >> chord;) {
            std::vector<unsigned> codes;
            std::istringstream keys(chord);
            for (std::string key; std::getline(keys, key, '+');)
                codes.push_back(key[0] == '#' ? std::stoul(key.substr(1)) : x.keycode(key.c_str()));
            x.chord(codes);
        }
    }
    // Grabs `keycode` with each modifier set for the other application; whether the server
    // granted every grab.
    bool otherGrabs(unsigned keycode, const std::vector<unsigned>& modifierSets) {
        Display* d = x.display();
        XSync(d, False);
        refused = false;
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
            refused = true;
            return 0;
        });
        for (unsigned m : modifierSets)
            XGrabKey(d, static_cast<int>(keycode), m, DefaultRootWindow(d), False, GrabModeAsync,
                     GrabModeAsync);
        XSync(d, False);
        XSetErrorHandler(previous);
        return !refused;
    }
    void otherUngrabs() {
        XUngrabKey(x.display(), AnyKey, AnyModifier, DefaultRootWindow(x.display()));
        XSync(x.display(), False);
    }

    static inline bool refused = false;
    static inline std::array<int, 256> rootPresses{};
    test::XInput x;
    std::string fired;  // the callbacks in order: 'c' capture, 't' text
};

TEST_F(GlobalHotKeyManagerTest, EachPairFiresForExactlyItsCombinationsUnderEveryLock) {
    // Registered one after the other: each pair replaces the one before it. Keys that must
    // not fire come first, so the expected callbacks prove they were seen and ignored.
    struct Case {
        ShortcutConfig capture, text;
        std::string presses;
        std::string fires;   // 'c' for the capture shortcut, 't' for the text one
        unsigned locks = 0;  // lock modifiers on while the keys are pressed
        bool registers = true, missedKey = false;
        const char* heldKey = nullptr;  // held by the other application, with heldModifiers
        unsigned heldModifiers = 0;
    };
    const ShortcutConfig k("K", 40, {M::control, M::shift}), none("NOSUCHKEY", 1, {M::control}),
        space("SPACE", 0, {M::control}), minus("MINUS", 99, {M::command}),
        q = ShortcutConfig::stored("q", 0, {M::control});
    // As the settings page records them: F5 and the up arrow keep the previous shortcut's key
    // codes (here G's and S's), which must not decide the key.
    const ShortcutConfig f5("F5", 5, {M::control}), up("ARROWUP", 1, {M::option, M::shift});
    const std::string keys = "Control_L+Alt_L+s Control_L+Alt_L+g";
    const std::vector<Case> cases = {
        // Other modifier sets on the same keys, and the keys alone, stay with other programs.
        {kCapture, kText, "s Control_L+s Control_L+Alt_L+Shift_L+s Alt_L+g Control_L+g " + keys,
         "ct"},
        {kCapture, kText, keys, "ct", Mod2Mask},
        {kCapture, kText, keys, "ct", LockMask},
        {kCapture, kText, keys, "ct", Mod2Mask | LockMask},
        // Refused or unknown keys fail the registration; the other shortcut still holds. One
        // lock variant held elsewhere is enough to refuse.
        {k, kText, "Control_L+Alt_L+g", "t", 0, false, false, "k", ControlMask | ShiftMask},
        {kCapture, kText, "Control_L+Alt_L+s", "c", 0, false, false, "g", kCtrlAlt | Mod2Mask},
        {none, kText, "Control_L+Alt_L+g", "t", 0, false, true},
        // Command is Super; a letter stored in lower case; keys by name.
        {f5, up, "Control_L+g Alt_L+Shift_L+s Control_L+F5 Alt_L+Shift_L+Up", "ct"},
        {minus, q, "Control_L+F5 Alt_L+Shift_L+Up Super_L+minus Control_L+q", "ct"},
        {space, kText, "Super_L+minus Control_L+q Control_L+space Control_L+Alt_L+g", "ct"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.presses);
        fired.clear();
        if (c.heldKey) {
            manager().unregisterAll();
            ASSERT_TRUE(otherGrabs(x.keycode(c.heldKey), {c.heldModifiers}));
        }
        EXPECT_EQ(manager().registerShortcuts(c.capture, c.text), c.registers);
        EXPECT_EQ(manager().lastRegistrationMissedKey(), c.missedKey);
        XkbLockModifiers(x.display(), XkbUseCoreKbd, LockMask | Mod2Mask, c.locks);
        press(c.presses);
        ASSERT_TRUE(waitFor(c.fires.size()));
        EXPECT_EQ(fired, c.fires);
        otherUngrabs();
    }

    // A callback replaced after registration is the one that runs; a missing one is skipped.
    manager().onCaptureHotKey = [&] { fired += 'C'; };
    manager().onTextHotKey = nullptr;
    press("Control_L+Alt_L+g Control_L+space");
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(fired, "ctC");

    manager().unregisterAll();  // releases every lock variant
    EXPECT_TRUE(otherGrabs(x.keycode("g"), {kCtrlAlt, kCtrlAlt | Mod2Mask, kCtrlAlt | LockMask,
                                            kCtrlAlt | Mod2Mask | LockMask}));
}

TEST_F(GlobalHotKeyManagerTest, ShortcutsStayOnTheirPhysicalKeysUnderEveryLayout) {
    for (const char* layout : {"us", "fr", "de", "ru", "jp"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(std::system((std::string("setxkbmap -layout ") + layout).c_str()), 0);
        fired.clear();
        // Q, Y and S by hardware code: 24, 29 and 39.
        ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig("Q", 12, {M::control, M::option}),
                                                ShortcutConfig("Y", 16, {M::control, M::option})));
        press("Control_L+Alt_L+#24 Control_L+Alt_L+#29");
        ASSERT_TRUE(waitFor(2));
        EXPECT_EQ(fired, "ct");
        // The default pair registers whatever the letters are called.
        ASSERT_TRUE(manager().registerShortcuts(kCapture, kText));
        press("Control_L+Alt_L+#39");
        ASSERT_TRUE(waitFor(3));
        EXPECT_EQ(fired, "ctc");
    }
}

TEST_F(GlobalHotKeyManagerTest, HeldShortcutFiresOncePerPress) {
    Display* d = x.display();
    unsigned delay = 0, interval = 0;
    ASSERT_TRUE(XkbGetAutoRepeatRate(d, XkbUseCoreKbd, &delay, &interval));
    XAutoRepeatOn(d);
    XkbSetAutoRepeatRate(d, XkbUseCoreKbd, 40, 10);
    ASSERT_TRUE(manager().registerShortcuts(kCapture, kText));
    const unsigned s = x.keycode("s"), ctrl = x.keycode("Control_L"), alt = x.keycode("Alt_L");
    const int pressesBefore = rootPresses[s];
    for (unsigned code : {ctrl, alt, s})
        x.key(code, true);
    // The server repeats the held key; every repeat reaches this process.
    const bool repeated = test::spinUntil([&] { return rootPresses[s] >= pressesBefore + 5; });
    for (unsigned code : {s, alt, ctrl})
        x.key(code, false);
    XkbSetAutoRepeatRate(d, XkbUseCoreKbd, delay, interval);
    ASSERT_TRUE(repeated) << "the held key did not repeat";

    press("Control_L+Alt_L+g Control_L+Alt_L+s");
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(fired, "ctc");
}

}  // namespace
}  // namespace vela
