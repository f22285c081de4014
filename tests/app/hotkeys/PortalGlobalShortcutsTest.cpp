// The GlobalShortcuts portal of a real headless KDE Plasma session (the test runs inside
// scripts/kde-session.sh): the pair is bound with its triggers, kglobalaccel presses the
// shortcuts as the desktop does on a key press, and a new pair replaces the old one.
#include <gtest/gtest.h>

#include <gio/gio.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/hotkeys/PortalGlobalShortcuts.h"
#include "app/platform/GObjectPtr.h"
#include "app/platform/PortalRequest.h"
#include "tests/support/gui/MainLoop.h"

namespace vela {
namespace {

using M = ShortcutModifier;

GVariantPtr callKGlobalAccel(const std::string& path, const char* method, GVariant* parameters) {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    return GVariantPtr(g_dbus_connection_call_sync(
        bus.get(), "org.kde.kglobalaccel", path.c_str(),
        path == "/kglobalaccel" ? "org.kde.KGlobalAccel" : "org.kde.kglobalaccel.Component", method,
        parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr));
}

TEST(PortalGlobalShortcutsTest, TriggersInTheXdgShortcutsFormat) {
    // The bound pairs below check triggers through the keys the desktop makes of them.
    EXPECT_EQ(portalTrigger(ShortcutConfig("SPACE", 49, {M::shift, M::control, M::shift})),
              "CTRL+SHIFT+space");
    EXPECT_EQ(portalTrigger(ShortcutConfig("F36", 0, {M::control})), std::nullopt);
    EXPECT_EQ(portalTrigger(ShortcutConfig("ARROWUP", 0, {M::control})), std::nullopt);
}

TEST(PortalGlobalShortcutsTest, BindsEachNewPairAndFiresOnlyTheActivatedShortcut) {
    ASSERT_TRUE(PortalGlobalShortcuts::available());
    PortalGlobalShortcuts shortcuts;
    std::string fired;  // 'c' for capture, 't' for text
    shortcuts.onCapture = [&] { fired += 'c'; };
    shortcuts.onText = [&] { fired += 't'; };
    // Keys as Qt encodes them: Ctrl 0x04000000, Alt 0x08000000, Shift 0x02000000, Meta
    // 0x10000000; S 0x53, G 0x47, 5 0x35, F5 0x01000034.
    struct Case {
        ShortcutConfig capture, text;
        int captureKeys, textKeys;
    };
    const std::vector<Case> cases = {
        {ShortcutConfig("S", 1, {M::control, M::option}),
         ShortcutConfig("G", 5, {M::control, M::option}), 0x0C000053, 0x0C000047},
        {ShortcutConfig("F5", 96, {M::command, M::shift}),
         ShortcutConfig("5", 23, {M::control, M::shift}), 0x13000034, 0x06000035},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capture.key);
        ASSERT_TRUE(shortcuts.registerShortcuts(c.capture, c.text));
        for (const auto& [keys, letter] : {std::pair{c.captureKeys, "c"}, {c.textKeys, "t"}}) {
            // The shortcut the desktop gave these keys, in the portal session's component.
            GVariantPtr action(
                callKGlobalAccel("/kglobalaccel", "action", g_variant_new("(i)", keys)));
            const gchar** holder = nullptr;
            g_variant_get(action.get(), "(^a&s)", &holder);
            ASSERT_TRUE(holder[0] && holder[1]) << "nothing holds the keys";
            GVariantPtr component(
                callKGlobalAccel("/kglobalaccel", "getComponent", g_variant_new("(s)", holder[0])));
            const gchar* path = nullptr;
            g_variant_get(component.get(), "(&o)", &path);
            // Pressed as the desktop does when its keys are pressed.
            fired.clear();
            ASSERT_TRUE(callKGlobalAccel(path, "invokeShortcut",
                                         g_variant_new("(ss)", holder[1], "default")));
            g_free(holder);
            EXPECT_TRUE(test::spinUntil([&] { return !fired.empty(); }));
            EXPECT_EQ(fired, letter);
        }
    }
    // KWin's own "move the mouse to the focused window" holds Meta+F5.
    EXPECT_FALSE(shortcuts.registerShortcuts(ShortcutConfig("F5", 96, {M::command}),
                                             ShortcutConfig("G", 5, {M::control, M::option})));
}

}  // namespace
}  // namespace vela
