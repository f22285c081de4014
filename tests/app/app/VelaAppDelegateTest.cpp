// The application delegate in the test process: the real panel and page, the real hot-key
// manager, overlay, X11 screen source and Tesseract, real X input through XTest. The
// custom channel runs with the demonstration key, which answers without any network.
#include <gtest/gtest.h>

#include <libayatana-appindicator/app-indicator.h>

#include <chrono>
#include <fstream>

#include "app/app/AppTexts.h"
#include "app/app/VelaAppDelegate.h"
#include "core/support/FileIO.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/TextWindow.h"
#include "tests/support/gui/WebViewHarness.h"
// Xlib last: its macros (None, Bool, Success) clash with names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace vela {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kDemoPrefix = "【カスタムAI無制限】翻訳結果：";

std::vector<std::string> menuTitles(GtkMenu* menu) {
    std::vector<std::string> titles;
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) {
        if (GTK_IS_SEPARATOR_MENU_ITEM(c->data))
            titles.push_back("-");
        else
            titles.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(c->data)));
    }
    g_list_free(children);
    return titles;
}

GtkMenuItem* menuItemTitled(GtkMenu* menu, const std::string& title) {
    GtkMenuItem* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) {
        if (!GTK_IS_SEPARATOR_MENU_ITEM(c->data) &&
            gtk_menu_item_get_label(GTK_MENU_ITEM(c->data)) == title) {
            found = GTK_MENU_ITEM(c->data);
        }
    }
    g_list_free(children);
    return found;
}

// The key a tray host is told for an item, found the way the menu exporter finds it:
// through the accelerator its label watches. Empty for none.
std::string exportedAccelerator(GtkMenuItem* item) {
    GClosure* closure = nullptr;
    g_object_get(gtk_bin_get_child(GTK_BIN(item)), "accel-closure", &closure, nullptr);
    if (!closure)
        return "";
    GtkAccelKey* key = gtk_accel_group_find(
        gtk_accel_group_from_accel_closure(closure),
        [](GtkAccelKey*, GClosure* c, gpointer wanted) -> gboolean { return c == wanted; },
        closure);
    g_closure_unref(closure);
    if (!key)
        return "";
    g_autofree char* name = gtk_accelerator_name(key->accel_key, key->accel_mods);
    return name;
}

Display* xDisplay() {
    return GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
}

void xKey(const char* keysymName, bool press) {
    Display* dpy = xDisplay();
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XStringToKeysym(keysymName)), press, CurrentTime);
    XFlush(dpy);
}

void pressCombination(std::initializer_list<const char*> keys) {
    for (const char* k : keys)
        xKey(k, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        xKey(*it, false);
    test::spinFor(100ms);
}

void drag(int x0, int y0, int x1, int y1) {
    Display* dpy = xDisplay();
    XTestFakeMotionEvent(dpy, -1, x0, y0, CurrentTime);
    XFlush(dpy);
    test::spinFor(60ms);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XFlush(dpy);
    test::spinFor(60ms);
    for (int i = 1; i <= 8; ++i) {
        XTestFakeMotionEvent(dpy, -1, x0 + (x1 - x0) * i / 8, y0 + (y1 - y0) * i / 8, CurrentTime);
        XFlush(dpy);
        test::spinFor(20ms);
    }
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
}

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk()) << "the GUI tests need an X server (DISPLAY)";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        // The manifest the launch sync reads; the tests leave it missing unless they write it.
        ConfigStore(settingsFile()).update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
            c.remoteConfigURL = "file://" + (home / "manifest.json").string();
        });
    }
    void TearDown() override { stop(); }

    std::filesystem::path settingsFile() const { return home / "VelaJP" / "config.json"; }

    void launch(std::vector<std::string> switches) {
        switches.insert(switches.begin(), "vela");
        VelaAppDelegate::Options options;
        options.settingsFile = settingsFile();
        app = std::make_unique<VelaAppDelegate>(switches, options);
        app->onQuit = [this] { ++quits; };
        app->applicationDidFinishLaunching();
        ASSERT_TRUE(test::spinUntil([&] { return app->floatingPanel().isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(app->floatingPanel().webView(),
                                                      app->floatingPanel().window());
        test::spinFor(100ms);
    }
    void stop() {
        page.reset();
        app.reset();
        test::spinFor(50ms);
    }
    bool hasClass(const std::string& id, const std::string& cls) {
        return page->eval("document.getElementById('" + id + "').classList.contains('" + cls +
                          "')") == true;
    }
    std::string sourceText() { return page->eval("document.getElementById('sourceInput').value"); }
    bool waitForResult(const std::string& expected, std::chrono::milliseconds limit = 15s) {
        return test::spinUntil([&] { return page->text("targetBody") == expected; }, limit);
    }

    test::TempDir home;
    std::unique_ptr<VelaAppDelegate> app;
    std::unique_ptr<test::WebViewHarness> page;
    int quits = 0;
};

TEST_F(AppDelegateTest, PlainLaunchShowsThePanelMenuAndKeyEquivalents) {
    launch({});
    FloatingTranslationPanel& panel = app->floatingPanel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.frame().size, defaultPanelSize);
    EXPECT_EQ(page->eval("document.activeElement && document.activeElement.id"), "sourceInput");
    EXPECT_EQ(menuTitles(app->statusMenu()),
              (std::vector<std::string>{"スクショ翻訳 (Ctrl+Alt+S)", "テキスト翻訳 (Ctrl+Alt+G)",
                                        "-", "設定…", "Vela を終了"}));
    EXPECT_EQ(exportedAccelerator(menuItemTitled(app->statusMenu(), "設定…")), "<Primary>comma");
    EXPECT_EQ(exportedAccelerator(menuItemTitled(app->statusMenu(), "Vela を終了")), "<Primary>q");
    EXPECT_EQ(exportedAccelerator(app->captureMenuItem()), "");
    // The test's desktop has no tray: the panel says how to reach Vela without one.
    EXPECT_TRUE(test::spinUntil(
        [&] { return page->text("targetBody").starts_with(AppTexts::noTrayTitle); }));
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        ASSERT_NE(app->statusItem(), nullptr);
        EXPECT_STREQ(app_indicator_get_label(app->statusItem()), "⚡ Vela");
        EXPECT_EQ(app_indicator_get_menu(app->statusItem()), app->statusMenu());
    }

    // Ctrl+, opens the settings in the focused panel; Ctrl+Q quits.
    page->focus();
    pressCombination({"Control_L", "comma"});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("settingsLayer", "open"); }));
    EXPECT_EQ(panel.frame().size, settingsPanelSize);
    // Without the debug menu its keys do nothing.
    pressCombination({"Control_L", "4"});
    test::spinFor(200ms);
    EXPECT_FALSE(app->store().config().forceUpdateBlocked);
    EXPECT_EQ(quits, 0);

    // While the recorder listens it gets every key: Ctrl+Q, Ctrl+V and Ctrl+, are recorded,
    // not acted on, and Super is the command modifier.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "pasted", -1);
    const auto record = [&](std::initializer_list<const char*> keys) {
        page->eval("document.getElementById('baseURLInput').focus(); velaApp.startRecord('text')");
        pressCombination(keys);
        EXPECT_TRUE(
            test::spinUntil([&] { return page->eval("velaApp.recordingTarget").is_null(); }));
        return page->eval("velaApp.recordedText");
    };
    using nlohmann::json;
    EXPECT_EQ(record({"Control_L", "q"}), json({{"key", "Q"}, {"mods", {"control"}}}));
    EXPECT_EQ(record({"Control_L", "v"}), json({{"key", "V"}, {"mods", {"control"}}}));
    EXPECT_EQ(record({"Control_L", "comma"}), json({{"key", "COMMA"}, {"mods", {"control"}}}));
    EXPECT_EQ(record({"Super_L", "x"}), json({{"key", "X"}, {"mods", {"command"}}}));
    EXPECT_EQ(page->eval("document.getElementById('baseURLInput').value"),
              "https://api.deepseek.com/v1");
    EXPECT_TRUE(hasClass("settingsLayer", "open"));
    EXPECT_EQ(quits, 0);
    // Afterwards the keys act again.
    pressCombination({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));

    // The menu items act: the text item brings the hidden panel back for input.
    panel.hide();
    gtk_menu_item_activate(app->textMenuItem());
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.frame().size, defaultPanelSize);
}

TEST_F(AppDelegateTest, DebugSubmenuOnlyWithTourOrDebug) {
    const std::string tour = "🧪 オーナー体験ツアー (デバッグ)";
    launch({"--tour-step-3"});
    EXPECT_EQ(menuItemTitled(app->statusMenu(), tour), nullptr);
    stop();
    launch({"--debug"});
    GtkMenuItem* item = menuItemTitled(app->statusMenu(), tour);
    ASSERT_NE(item, nullptr);
    std::vector<std::string> titles = menuTitles(app->statusMenu());
    EXPECT_EQ(titles,
              (std::vector<std::string>{"スクショ翻訳 (Ctrl+Alt+S)", "テキスト翻訳 (Ctrl+Alt+G)",
                                        "-", "設定…", tour, "-", "Vela を終了"}));
    GtkMenu* sub = GTK_MENU(gtk_menu_item_get_submenu(item));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(menuTitles(sub),
              (std::vector<std::string>{"③ リモートお知らせポップアップ配信を実演",
                                        "④ リモート強制アップデート（キルスイッチ）を実演"}));
    EXPECT_EQ(exportedAccelerator(menuItemTitled(sub, "③ リモートお知らせポップアップ配信を実演")),
              "<Primary>3");
    EXPECT_EQ(exportedAccelerator(
                  menuItemTitled(sub, "④ リモート強制アップデート（キルスイッチ）を実演")),
              "<Primary>4");

    // ④ blocks translation, ③ shows a notice and lifts the block; from the menu and from
    // their keys in the panel.
    page->focus();
    pressCombination({"Control_L", "4"});
    EXPECT_TRUE(test::spinUntil([&] { return app->store().config().forceUpdateBlocked; }));
    pressCombination({"Control_L", "3"});
    EXPECT_TRUE(test::spinUntil([&] { return !app->store().config().forceUpdateBlocked; }));
    gtk_menu_item_activate(menuItemTitled(sub, "④ リモート強制アップデート（キルスイッチ）を実演"));
    EXPECT_TRUE(app->store().config().forceUpdateBlocked);
    gtk_menu_item_activate(menuItemTitled(sub, "③ リモートお知らせポップアップ配信を実演"));
    EXPECT_FALSE(app->store().config().forceUpdateBlocked);
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_EQ(page->text("remoteModalTitle"), "期間限定キャンペーンのお知らせ");
}

TEST_F(AppDelegateTest, SavedShortcutsRelabelTheMenuAndTakeOverTheHotKeys) {
    launch({});
    page->eval(
        "window.webkit.messageHandlers.vela.postMessage({action: 'saveSettings', channelMode: "
        "'custom', captureKey: 'k', captureMods: ['control', 'shift'], textKey: 'j', textMods: "
        "['option']}); null");
    ASSERT_TRUE(test::spinUntil([&] {
        return gtk_menu_item_get_label(app->captureMenuItem()) !=
               std::string("スクショ翻訳 (Ctrl+Alt+S)");
    }));
    VelaConfig c = app->store().config();
    EXPECT_EQ(c.captureShortcut.key, "K");
    EXPECT_EQ(gtk_menu_item_get_label(app->captureMenuItem()),
              "スクショ翻訳 (" + c.captureShortcut.compactDisplayText() + ")");
    EXPECT_EQ(gtk_menu_item_get_label(app->textMenuItem()),
              "テキスト翻訳 (" + c.textShortcut.compactDisplayText() + ")");

    // The new text shortcut is live: it brings the hidden panel back.
    app->floatingPanel().hide();
    pressCombination({"Alt_L", "j"});
    EXPECT_TRUE(test::spinUntil([&] { return app->floatingPanel().isVisible(); }));
    // The old one is not.
    app->floatingPanel().hide();
    pressCombination({"Control_L", "Alt_L", "g"});
    test::spinFor(300ms);
    EXPECT_FALSE(app->floatingPanel().isVisible());

    // A pair another X client holds is refused, and the stored pair stays registered.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    KeyCode f9 = XKeysymToKeycode(other, XK_F9);
    XGrabKey(other, f9, ControlMask, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    page->eval(
        "window.webkit.messageHandlers.vela.postMessage({action: 'saveSettings', channelMode: "
        "'custom', captureKey: 'f9', captureMods: ['control'], textKey: 'j', textMods: "
        "['option']}); null");
    test::spinFor(300ms);
    EXPECT_EQ(app->store().config().captureShortcut.key, "K");
    EXPECT_EQ(gtk_menu_item_get_label(app->captureMenuItem()),
              "スクショ翻訳 (" + c.captureShortcut.compactDisplayText() + ")");
    app->floatingPanel().hide();
    pressCombination({"Alt_L", "j"});
    EXPECT_TRUE(test::spinUntil([&] { return app->floatingPanel().isVisible(); }));
    XCloseDisplay(other);

    // A key this keyboard does not have (a Yen key on a US layout) is refused as such.
    page->eval(
        "window.webkit.messageHandlers.vela.postMessage({action: 'saveSettings', channelMode: "
        "'custom', captureKey: 'INTLYEN', captureMods: ['control', 'option']}); null");
    EXPECT_TRUE(test::spinUntil([&] {
        return page->text("settingsMsg") ==
               "✗ このキーはお使いのキーボードにないため、ショートカットに使えません";
    }));
    EXPECT_EQ(app->store().config().captureShortcut.key, "K");
}

TEST_F(AppDelegateTest, TranslateTextSwitchTranslatesAtOnce) {
    launch({"--translate-text", "good morning", "--settings"});
    EXPECT_EQ(sourceText(), "good morning");
    EXPECT_TRUE(waitForResult(std::string(kDemoPrefix) + "good morning"));
    EXPECT_FALSE(hasClass("settingsLayer", "open"));
}

TEST_F(AppDelegateTest, SettingsSwitchOpensTheSettingsLayer) {
    launch({"--settings", "--translate-text"});
    EXPECT_TRUE(test::spinUntil([&] { return hasClass("settingsLayer", "open"); }));
    EXPECT_EQ(app->floatingPanel().frame().size, settingsPanelSize);
}

TEST_F(AppDelegateTest, RequiredUpdatePreviewBlocksUntilLiftedAndSurvivesRestart) {
    launch({"--tour-step-4"});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_NE(page->text("remoteModalMsg").find("【緊急】重要なセキュリティアップデート"),
              std::string::npos);
    VelaConfig c = app->store().config();
    EXPECT_TRUE(c.forceUpdateBlocked);
    EXPECT_NE(c.forceUpdateMessage.find("v0.2.0"), std::string::npos);
    auto blocked = [&] {
        TranslationOutcome o =
            app->coordinator().translate("hello", std::nullopt, std::nullopt, false);
        return std::holds_alternative<TranslationOutcome::ForceUpdateRequired>(o.value);
    };
    EXPECT_TRUE(blocked());
    stop();

    // After a restart (whose sync fails: no manifest) translation is still refused.
    launch({});
    EXPECT_TRUE(app->store().config().forceUpdateBlocked);
    EXPECT_TRUE(blocked());
    stop();

    // The broadcast-notice preview lifts the block.
    launch({"--tour-step-3"});
    EXPECT_FALSE(app->store().config().forceUpdateBlocked);
    EXPECT_FALSE(blocked());
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
}

TEST_F(AppDelegateTest, LaunchSyncHandsTheManifestsDecisionToThePanel) {
    writeFileAtomically(home / "manifest.json",
                        R"({"latestVersion":"0.3.0","minRequiredVersion":"","updateURL":)"
                        R"("https://vela-app.github.io/","releaseNotes":"Faster OCR"})",
                        0644);
    launch({});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }, 10s));
    EXPECT_NE(page->text("remoteModalTitle").find("0.3.0"), std::string::npos);
}

TEST_F(AppDelegateTest, DemoPopupSwitchShowsTheLaunchNoticeWithoutLiftingTheBlock) {
    ConfigStore(settingsFile()).update([](VelaConfig& c) { c.forceUpdateBlocked = true; });
    launch({"--demo-popup"});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_EQ(page->text("remoteModalTitle"), "Vela 日本版リリースのお知らせ");
    EXPECT_TRUE(app->store().config().forceUpdateBlocked);
}

TEST_F(AppDelegateTest, CaptureFlowHidesRestoresAndShowsTheRecognisedText) {
    test::TextWindow known("Quiet harbor lights", 300, 620, 760, 120);
    launch({});
    FloatingTranslationPanel& panel = app->floatingPanel();
    ASSERT_TRUE(panel.isVisible());

    // Opening hides the panel; a second request while selecting is ignored; Escape cancels
    // and brings the panel back.
    Display* dpy = xDisplay();
    XTestFakeMotionEvent(dpy, -1, 900, 400, CurrentTime);
    XFlush(dpy);
    test::spinFor(50ms);
    app->startScreenCapture();
    ASSERT_TRUE(app->isCapturing());
    EXPECT_FALSE(panel.isVisible());
    app->startScreenCapture();  // ignored, before and after the overlay is open
    ASSERT_TRUE(test::spinUntil([&] { return app->overlayWindow() != nullptr; }));
    ScreenCaptureOverlayWindow* overlay = app->overlayWindow();
    app->startScreenCapture();
    EXPECT_EQ(app->overlayWindow(), overlay);
    ASSERT_TRUE(
        test::spinUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(overlay->window())); }));
    test::spinFor(200ms);
    pressCombination({"Escape"});
    ASSERT_TRUE(test::spinUntil([&] { return !app->isCapturing(); }));
    EXPECT_EQ(app->overlayWindow(), nullptr);
    EXPECT_TRUE(panel.isVisible());

    // The capture hot key opens it again; a drag over the text window ends in the panel
    // with the recognised text and its translation.
    pressCombination({"Control_L", "Alt_L", "s"});
    ASSERT_TRUE(test::spinUntil([&] { return app->overlayWindow() != nullptr; }));
    overlay = app->overlayWindow();
    ASSERT_TRUE(
        test::spinUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(overlay->window())); }));
    test::spinFor(200ms);
    drag(310, 630, 1050, 730);
    ASSERT_TRUE(test::spinUntil([&] { return !app->isCapturing(); }));
    ASSERT_TRUE(test::spinUntil([&] { return panel.isVisible() && !sourceText().empty(); }, 30s));
    EXPECT_EQ(sourceText(), "Quiet harbor lights");
    EXPECT_TRUE(waitForResult(std::string(kDemoPrefix) + "Quiet harbor lights"));
}

TEST_F(AppDelegateTest, CaptureSwitchOpensTheOverlayOnTheMonitorUnderThePointer) {
    launch({"--capture"});
    ASSERT_TRUE(app->isCapturing());
    ASSERT_NE(app->overlayWindow(), nullptr);
    EXPECT_FALSE(app->floatingPanel().isVisible());
    GdkRectangle g;
    gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &g);
    EXPECT_EQ(app->overlayWindow()->screen().monitorFrame, Rect(g.x, g.y, g.width, g.height));
    const auto waitForOverlay = [&] {
        ASSERT_TRUE(test::spinUntil([&] {
            return app->overlayWindow() &&
                   gtk_widget_get_mapped(GTK_WIDGET(app->overlayWindow()->window()));
        }));
        test::spinFor(200ms);
    };
    // A cancel does not bring back a panel that was not showing.
    waitForOverlay();
    pressCombination({"Escape"});
    ASSERT_TRUE(test::spinUntil([&] { return !app->isCapturing(); }));
    test::spinFor(200ms);
    EXPECT_FALSE(app->floatingPanel().isVisible());

    // A notice that arrives while the overlay is up waits until it has closed.
    writeFileAtomically(home / "manifest.json",
                        R"({"latestVersion":"0.3.0","minRequiredVersion":"0.3.0","updateURL":)"
                        R"("https://vela-app.github.io/","releaseNotes":"Update"})",
                        0644);
    app->startScreenCapture();
    waitForOverlay();
    app->triggerRemoteControlSync();
    ASSERT_TRUE(test::spinUntil([&] { return app->store().config().forceUpdateBlocked; }));
    test::spinFor(200ms);
    EXPECT_FALSE(app->floatingPanel().isVisible());
    EXPECT_FALSE(hasClass("remoteModalLayer", "open"));
    pressCombination({"Escape"});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_TRUE(app->floatingPanel().isVisible());
    EXPECT_EQ(page->text("remoteModalBadge"), "必須アップデート");
}

}  // namespace
}  // namespace vela
