// The GlobalShortcuts portal of a real headless KDE Plasma session (the test runs inside
// scripts/kde-session.sh): the pair is bound with its triggers, kglobalaccel presses the
// shortcuts as the desktop does on a key press, and a new pair replaces the old one.
#include <gtest/gtest.h>

#include <gio/gio.h>

#include <optional>
#include <string>
#include <vector>

#include "app/hotkeys/PortalGlobalShortcuts.h"
#include "app/platform/GObjectPtr.h"
#include "app/platform/PortalRequest.h"
#include "tests/support/gui/MainLoop.h"

namespace vela {
namespace {

using M = ShortcutModifier;

GVariantPtr callKGlobalAccel(const std::string& path, const char* interface, const char* method,
                             GVariant* parameters) {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    return GVariantPtr(g_dbus_connection_call_sync(bus.get(), "org.kde.kglobalaccel", path.c_str(),
                                                   interface, method, parameters, nullptr,
                                                   G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr));
}

// The active kglobalaccel component holding the shortcut `id`, as an object path; empty if
// none. Each portal session is a component of its own; a closed one stays, inactive.
std::string componentOf(const char* id) {
    GVariantPtr components(
        callKGlobalAccel("/kglobalaccel", "org.kde.KGlobalAccel", "allComponents", nullptr));
    if (!components)
        return {};
    GVariantIter* paths = nullptr;
    g_variant_get(components.get(), "(ao)", &paths);
    std::string found;
    const gchar* path = nullptr;
    while (found.empty() && g_variant_iter_next(paths, "&o", &path)) {
        GVariantPtr active(
            callKGlobalAccel(path, "org.kde.kglobalaccel.Component", "isActive", nullptr));
        gboolean isActive = FALSE;
        if (active)
            g_variant_get(active.get(), "(b)", &isActive);
        if (!isActive)
            continue;
        GVariantPtr names(callKGlobalAccel(path, "org.kde.kglobalaccel.Component", "shortcutNames",
                                           g_variant_new("(s)", "default")));
        GVariantPtr list(names ? g_variant_get_child_value(names.get(), 0) : nullptr);
        gsize count = 0;
        const gchar** strings = list ? g_variant_get_strv(list.get(), &count) : nullptr;
        for (gsize i = 0; i < count; ++i)
            if (std::string(strings[i]) == id)
                found = path;
        g_free(strings);
    }
    g_variant_iter_free(paths);
    return found;
}

// Presses the shortcut as the desktop does when its keys are pressed.
void invoke(const char* id) {
    ASSERT_TRUE(callKGlobalAccel(componentOf(id), "org.kde.kglobalaccel.Component",
                                 "invokeShortcut", g_variant_new("(ss)", id, "default")));
}

// The key combinations (Qt's encoding) kglobalaccel gave the active shortcut `id`.
std::vector<int> activeKeys(const char* id) {
    std::vector<int> keys;
    GVariantPtr infos(callKGlobalAccel(componentOf(id), "org.kde.kglobalaccel.Component",
                                       "allShortcutInfos", nullptr));
    if (!infos)
        return keys;
    GVariantIter* iter = nullptr;
    g_variant_get(infos.get(), "(a(ssssssaiai))", &iter);
    const gchar* name = nullptr;
    GVariantIter* codes = nullptr;
    while (g_variant_iter_next(iter, "(&ssssssaiai)", &name, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &codes, nullptr)) {
        gint32 code = 0;
        while (g_variant_iter_next(codes, "i", &code))
            if (std::string(name) == id)
                keys.push_back(code);
        g_variant_iter_free(codes);
    }
    g_variant_iter_free(iter);
    return keys;
}

TEST(PortalGlobalShortcutsTest, TriggersInTheXdgShortcutsFormat) {
    struct Case {
        ShortcutConfig shortcut;
        std::optional<std::string> trigger;
    };
    const std::vector<Case> cases = {
        {ShortcutConfig("S", 1, {M::control, M::option}), "CTRL+ALT+s"},
        {ShortcutConfig("5", 23, {M::command, M::shift, M::command}), "SHIFT+LOGO+5"},
        {ShortcutConfig("F5", 96, {M::option}), "ALT+F5"},
        {ShortcutConfig("SPACE", 49, {M::shift, M::control}), "CTRL+SHIFT+space"},
        {ShortcutConfig("F36", 0, {M::control}), std::nullopt},
        {ShortcutConfig("ARROWUP", 0, {M::control}), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shortcut.key);
        EXPECT_EQ(portalTrigger(c.shortcut), c.trigger);
    }
}

TEST(PortalGlobalShortcutsTest, BindsEachNewPairAndFiresOnlyTheActivatedShortcut) {
    ASSERT_TRUE(PortalGlobalShortcuts::available());
    PortalGlobalShortcuts shortcuts;
    int captures = 0;
    int texts = 0;
    shortcuts.onCapture = [&] { ++captures; };
    shortcuts.onText = [&] { ++texts; };

    // Keys as Qt encodes them: Ctrl 0x04000000, Alt 0x08000000, Shift 0x02000000, Meta
    // 0x10000000; S 0x53, G 0x47, 5 0x35, F5 0x01000034.
    struct Case {
        ShortcutConfig capture;
        ShortcutConfig text;
        int captureKeys;
        int textKeys;
    };
    const std::vector<Case> cases = {
        {ShortcutConfig("S", 1, {M::control, M::option}),
         ShortcutConfig("G", 5, {M::control, M::option}), 0x0C000053, 0x0C000047},
        {ShortcutConfig("F5", 96, {M::command, M::shift}),
         ShortcutConfig("5", 23, {M::control, M::shift}), 0x13000034, 0x06000035},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(portalTrigger(c.capture).value_or("?"));
        captures = texts = 0;
        ASSERT_TRUE(shortcuts.registerShortcuts(c.capture, c.text));
        EXPECT_EQ(activeKeys(PortalGlobalShortcuts::kCaptureId), std::vector<int>{c.captureKeys});
        EXPECT_EQ(activeKeys(PortalGlobalShortcuts::kTextId), std::vector<int>{c.textKeys});
        invoke(PortalGlobalShortcuts::kCaptureId);
        EXPECT_TRUE(test::spinUntil([&] { return captures == 1; }));
        EXPECT_EQ(texts, 0);
        invoke(PortalGlobalShortcuts::kTextId);
        EXPECT_TRUE(test::spinUntil([&] { return texts == 1; }));
        EXPECT_EQ(captures, 1);
    }
}

TEST(PortalGlobalShortcutsTest, KeysAnotherComponentHoldsAreAFailedRegistration) {
    // KWin's own "move the mouse to the focused window" holds Meta+F5.
    PortalGlobalShortcuts shortcuts;
    EXPECT_FALSE(shortcuts.registerShortcuts(ShortcutConfig("F5", 96, {M::command}),
                                             ShortcutConfig("G", 5, {M::control, M::option})));
}

}  // namespace
}  // namespace vela
