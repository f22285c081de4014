// The global hot keys on a real X server: real XTest key events, and the "other application"
// that may hold a combination is the input's own X connection. Physical keys are pressed by
// hardware key code where the position matters.
#include <gtest/gtest.h>

#include "tests/support/gui/MainLoop.h"
#include "tests/support/gui/XInput.h"
// Xlib after gtest: its macros (None, Bool) clash with gtest names.
#include <X11/XKBlib.h>
#include <gtk/gtk.h>
#include <linux/input-event-codes.h>

#include <array>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/hotkeys/GlobalHotKeyManager.h"

namespace vela {
namespace {

using M = ShortcutModifier;
using Chord = std::vector<const char*>;
constexpr int kCapture = GlobalHotKeyManager::kCaptureHotKeyId;
constexpr int kText = GlobalHotKeyManager::kTextHotKeyId;
const Chord kCaptureChord{"Control_L", "Alt_L", "s"};  // the default pair
const Chord kTextChord{"Control_L", "Alt_L", "g"};
constexpr unsigned kCtrlAlt = ControlMask | Mod1Mask;

// The X key code of a physical key under the evdev keycode map.
unsigned physical(int evdevCode) {
    return static_cast<unsigned>(evdevCode + 8);
}

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
        ASSERT_TRUE(x.ok());
        manager().onCaptureHotKey = [this] { record(kCapture); };
        manager().onTextHotKey = [this] { record(kText); };
    }
    void TearDown() override {
        manager().unregisterAll();
        manager().onCaptureHotKey = manager().onTextHotKey = nullptr;
        XUngrabKey(x.display(), AnyKey, AnyModifier, DefaultRootWindow(x.display()));
        if (lockedModifiers() & Mod2Mask)  // leave both locks off for the next test
            x.chord({"Num_Lock"});
        if (lockedModifiers() & LockMask)
            x.chord({"Caps_Lock"});
    }

    static GlobalHotKeyManager& manager() { return GlobalHotKeyManager::shared(); }
    void record(int id) {
        EXPECT_EQ(std::this_thread::get_id(), mainThread);
        fired.push_back(id);
    }
    // Waits for the `count`-th callback in all. X delivers in order, so once it ran every key
    // pressed before the one that fired it has been seen.
    bool waitFor(std::size_t count) {
        return test::spinUntil([&] { return fired.size() >= count; });
    }
    // Ctrl+Alt and a key given by its hardware code.
    void physicalChord(unsigned keycode) {
        const unsigned ctrl = x.keycode("Control_L"), alt = x.keycode("Alt_L");
        for (auto [code, down] : {std::pair{ctrl, true},
                                  {alt, true},
                                  {keycode, true},
                                  {keycode, false},
                                  {alt, false},
                                  {ctrl, false}})
            x.key(code, down);
    }
    unsigned lockedModifiers() {
        XkbStateRec state{};
        XkbGetState(x.display(), XkbUseCoreKbd, &state);
        return state.locked_mods;
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
    std::vector<int> fired;
    std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(GlobalHotKeyManagerTest, EachPairFiresForExactlyItsCombinationsUnderEveryLock) {
    // Registered one after the other: a pair replaces the one before it.
    struct Case {
        const char* name;
        ShortcutConfig capture = ShortcutConfig::defaultCapture();
        ShortcutConfig text = ShortcutConfig::defaultText();
        std::vector<Chord> presses = {kCaptureChord, kTextChord};
        std::vector<int> fires = {kCapture, kText};
        unsigned locks = 0;  // lock modifiers on after the presses
        bool registers = true;
        bool missedKey = false;
        const char* heldKey = nullptr;  // held by the other application, with heldModifiers
        unsigned heldModifiers = 0;
    };
    const std::vector<Case> cases = {
        // Other modifier sets on the same keys, and the keys alone, stay with other programs.
        {.name = "default pair",
         .presses = {{"s"},
                     {"Control_L", "s"},
                     {"Control_L", "Alt_L", "Shift_L", "s"},
                     {"Alt_L", "g"},
                     {"Control_L", "g"},
                     kCaptureChord,
                     kTextChord}},
        {.name = "NumLock",
         .presses = {{"Num_Lock"}, kCaptureChord, kTextChord},
         .locks = Mod2Mask},
        {.name = "both locks",
         .presses = {{"Caps_Lock"}, kCaptureChord, kTextChord},
         .locks = Mod2Mask | LockMask},
        {.name = "CapsLock",
         .presses = {{"Num_Lock"}, kCaptureChord, kTextChord},
         .locks = LockMask},
        // A refused or unknown key fails the registration; the other shortcut still holds.
        // One lock variant held elsewhere is enough to refuse.
        {.name = "held exactly",
         .capture = ShortcutConfig("K", 40, {M::control, M::shift}),
         .presses = {{"Caps_Lock"}, kTextChord},
         .fires = {kText},
         .registers = false,
         .heldKey = "k",
         .heldModifiers = ControlMask | ShiftMask},
        {.name = "held with NumLock",
         .presses = {kCaptureChord},
         .fires = {kCapture},
         .registers = false,
         .heldKey = "g",
         .heldModifiers = kCtrlAlt | Mod2Mask},
        {.name = "no such key",
         .capture = ShortcutConfig("NOSUCHKEY", 1, {M::control}),
         .presses = {kTextChord},
         .fires = {kText},
         .registers = false,
         .missedKey = true},
        // As the settings page records them: F5 and the up arrow keep the previous shortcut's
        // key codes (here G's and S's), which must not decide the key.
        {.name = "F5 and up",
         .capture = ShortcutConfig("F5", 5, {M::control}),
         .text = ShortcutConfig("ARROWUP", 1, {M::option, M::shift}),
         .presses = {{"Control_L", "g"},
                     {"Alt_L", "Shift_L", "s"},
                     {"Control_L", "F5"},
                     {"Alt_L", "Shift_L", "Up"}}},
        // Command is Super; a letter stored in lower case.
        {.name = "minus and q",
         .capture = ShortcutConfig("MINUS", 99, {M::command}),
         .text = ShortcutConfig::stored("q", 0, {M::control}),
         .presses = {{"Control_L", "F5"},
                     {"Alt_L", "Shift_L", "Up"},
                     {"Super_L", "minus"},
                     {"Control_L", "q"}}},
        {.name = "space",
         .capture = ShortcutConfig("SPACE", 0, {M::control}),
         .presses = {{"Super_L", "minus"}, {"Control_L", "q"}, {"Control_L", "space"}, kTextChord}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fired.clear();
        if (c.heldKey) {
            manager().unregisterAll();
            ASSERT_TRUE(otherGrabs(x.keycode(c.heldKey), {c.heldModifiers}));
        }
        EXPECT_EQ(manager().registerShortcuts(c.capture, c.text), c.registers);
        EXPECT_EQ(manager().lastRegistrationMissedKey(), c.missedKey);
        for (const Chord& chord : c.presses)
            x.chord(chord);
        ASSERT_TRUE(waitFor(c.fires.size()));
        EXPECT_EQ(fired, c.fires);
        EXPECT_EQ(lockedModifiers(), c.locks);
        otherUngrabs();
    }

    // A callback replaced after registration is the one that runs; a missing one is skipped.
    std::vector<int> replaced;
    fired.clear();
    manager().onCaptureHotKey = [&] { replaced.push_back(kCapture); };
    manager().onTextHotKey = nullptr;
    x.chord(kTextChord);
    x.chord({"Control_L", "space"});
    ASSERT_TRUE(test::spinUntil([&] { return !replaced.empty(); }));
    EXPECT_TRUE(fired.empty());

    manager().unregisterAll();  // releases every lock variant
    EXPECT_TRUE(otherGrabs(x.keycode("g"), {kCtrlAlt, kCtrlAlt | Mod2Mask, kCtrlAlt | LockMask,
                                            kCtrlAlt | Mod2Mask | LockMask}));
}

TEST_F(GlobalHotKeyManagerTest, ShortcutsStayOnTheirPhysicalKeysUnderEveryLayout) {
    struct Restore {
        ~Restore() { (void)std::system("setxkbmap -layout us"); }  // the test server's own
    } restore;
    const ShortcutConfig q("Q", 12, {M::control, M::option});
    const ShortcutConfig y("Y", 16, {M::control, M::option});
    for (const char* layout : {"us", "fr", "de", "ru", "jp"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(std::system((std::string("setxkbmap -layout ") + layout).c_str()), 0);
        fired.clear();
        ASSERT_TRUE(manager().registerShortcuts(q, y));
        physicalChord(physical(KEY_Q));
        physicalChord(physical(KEY_Y));
        ASSERT_TRUE(waitFor(2));
        EXPECT_EQ(fired, (std::vector<int>{kCapture, kText}));
        // The keys that type q and y here (A and Z on AZERTY, Z on QWERTZ) stay free.
        EXPECT_FALSE(otherGrabs(physical(KEY_Q), {kCtrlAlt}));
        EXPECT_TRUE(otherGrabs(physical(KEY_A), {kCtrlAlt}));
        EXPECT_TRUE(otherGrabs(physical(KEY_Z), {kCtrlAlt}));
        otherUngrabs();

        // The default pair registers whatever the letters are called.
        ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                                ShortcutConfig::defaultText()));
        physicalChord(physical(KEY_S));
        ASSERT_TRUE(waitFor(3));
        EXPECT_EQ(fired.back(), kCapture);
    }
}

TEST_F(GlobalHotKeyManagerTest, HeldShortcutFiresOncePerPress) {
    Display* d = x.display();
    unsigned delay = 0, interval = 0;
    ASSERT_TRUE(XkbGetAutoRepeatRate(d, XkbUseCoreKbd, &delay, &interval));
    XAutoRepeatOn(d);
    XkbSetAutoRepeatRate(d, XkbUseCoreKbd, 40, 10);
    ASSERT_TRUE(manager().registerShortcuts(ShortcutConfig::defaultCapture(),
                                            ShortcutConfig::defaultText()));
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

    x.chord(kTextChord);
    physicalChord(s);
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(fired, (std::vector<int>{kCapture, kText, kCapture}));
}

}  // namespace
}  // namespace vela
