// The global hot keys on a real X server: real XTest key events, and the "other application"
// that may hold a combination is the input's own X connection.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/XKBlib.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"

namespace vela {
namespace {

using M = ShortcutModifier;
const ShortcutConfig kCapture = ShortcutConfig::defaultCapture();
const ShortcutConfig kText = ShortcutConfig::defaultText();

class GlobalHotKeyManagerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::ensureGtk());
        // Ahead of the manager's own filter, which takes the presses of its keys: counts every
        // press the server sends this process, the repeats of a held key included.
        gdk_window_add_filter(
            nullptr,
            [](GdkXEvent* event, GdkEvent*, gpointer) {
                presses += static_cast<XEvent*>(event)->type == KeyPress;
                return GDK_FILTER_CONTINUE;
            },
            nullptr);
    }
    void SetUp() override {
        hotKeys.onCaptureHotKey = [this] { fired += 'c'; };
        hotKeys.onTextHotKey = [this] { fired += 't'; };
    }
    void TearDown() override {
        hotKeys.unregisterAll();
        XkbLockModifiers(x.display(), XkbUseCoreKbd, LockMask | Mod2Mask, 0);
        (void)std::system("setxkbmap -layout us");  // the test server's own layout
    }

    // Presses chords written as "Control_L+Alt_L+s Num_Lock" ("#24": the key of hardware code
    // 24, where the physical position matters), then waits for the `count`-th callback in
    // all. X delivers in order, so once it ran every key pressed before it has been seen.
    bool press(const std::string& chords, std::size_t count) {
        std::istringstream in(chords);
        for (std::string chord; in >> chord;) {
            std::vector<unsigned> codes;
            std::istringstream keys(chord);
            for (std::string key; std::getline(keys, key, '+');)
                codes.push_back(key[0] == '#' ? std::stoul(key.substr(1)) : x.keycode(key.c_str()));
            x.chordCodes(codes);
        }
        return test::spinUntil([&] { return fired.size() >= count; });
    }
    static inline int presses = 0;
    GlobalHotKeyManager& hotKeys = GlobalHotKeyManager::shared();
    test::XInput x;
    std::string fired;  // the callbacks in order: 'c' capture, 't' text
};

TEST_F(GlobalHotKeyManagerTest, EachPairFiresForExactlyItsCombinationsUnderEveryLock) {
    // Registered one after the other: each pair replaces the one before it. Keys that must
    // not fire come first, so the expected callbacks prove they were seen and ignored.
    struct Case {
        ShortcutConfig capture, text;
        std::string presses, fires;  // fires: 'c' for the capture shortcut, 't' for the text one
        unsigned locks = 0;          // lock modifiers on while the keys are pressed
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
        {kCapture, kText, keys, "ct", Mod2Mask | LockMask},
        // Refused or unknown keys fail the registration; the other shortcut still holds. One
        // lock variant held elsewhere is enough to refuse; that it could be held shows the
        // pair before let go of every variant.
        {k, kText, "Control_L+Alt_L+g", "t", 0, false, false, "k", ControlMask | ShiftMask},
        {kCapture, kText, keys, "t", 0, false, false, "s",
         ControlMask | Mod1Mask | Mod2Mask | LockMask},
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
            hotKeys.unregisterAll();
            static bool refused;
            refused = false;
            XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) {
                refused = true;
                return 0;
            });
            XGrabKey(x.display(), static_cast<int>(x.keycode(c.heldKey)), c.heldModifiers,
                     DefaultRootWindow(x.display()), False, GrabModeAsync, GrabModeAsync);
            XSync(x.display(), False);
            XSetErrorHandler(previous);
            ASSERT_FALSE(refused);
        }
        EXPECT_EQ(hotKeys.registerShortcuts(c.capture, c.text), c.registers);
        EXPECT_EQ(hotKeys.lastRegistrationMissedKey(), c.missedKey);
        XkbLockModifiers(x.display(), XkbUseCoreKbd, LockMask | Mod2Mask, c.locks);
        ASSERT_TRUE(press(c.presses, c.fires.size()));
        EXPECT_EQ(fired, c.fires);
        XUngrabKey(x.display(), AnyKey, AnyModifier, DefaultRootWindow(x.display()));
        XSync(x.display(), False);
    }
}

TEST_F(GlobalHotKeyManagerTest, ShortcutsStayOnTheirPhysicalKeysUnderEveryLayout) {
    // Q and Y by hardware code, 24 and 29: French and German print other letters there,
    // Russian Cyrillic ones.
    for (const char* layout : {"us", "fr", "de", "ru", "jp"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(std::system((std::string("setxkbmap -layout ") + layout).c_str()), 0);
        ASSERT_TRUE(hotKeys.registerShortcuts(ShortcutConfig("Q", 12, {M::control, M::option}),
                                              ShortcutConfig("Y", 16, {M::control, M::option})));
        ASSERT_TRUE(press("Control_L+Alt_L+#24 Control_L+Alt_L+#29", fired.size() + 2));
    }
    EXPECT_EQ(fired, "ctctctctct");
}

TEST_F(GlobalHotKeyManagerTest, HeldShortcutFiresOncePerPress) {
    ASSERT_TRUE(hotKeys.registerShortcuts(kCapture, kText));
    Display* d = x.display();
    unsigned delay = 0, interval = 0;
    ASSERT_TRUE(XkbGetAutoRepeatRate(d, XkbUseCoreKbd, &delay, &interval));
    XkbSetAutoRepeatRate(d, XkbUseCoreKbd, 40, 10);
    XAutoRepeatOn(d);
    const unsigned held[] = {x.keycode("Control_L"), x.keycode("Alt_L"), x.keycode("s")};
    for (unsigned key : held)
        x.key(key, true);
    const int before = presses;
    const bool repeated = test::spinUntil([&] { return presses >= before + 5; });
    for (unsigned key : held)
        x.key(key, false);
    XkbSetAutoRepeatRate(d, XkbUseCoreKbd, delay, interval);
    ASSERT_TRUE(repeated) << "the held key did not repeat";
    ASSERT_TRUE(press("Control_L+Alt_L+g Control_L+Alt_L+s", 3));
    EXPECT_EQ(fired, "ctc");
}

}  // namespace
}  // namespace vela
