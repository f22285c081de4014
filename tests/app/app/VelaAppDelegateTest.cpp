// The application delegate in the test process: the real panel and page, the real hot-key
// manager, overlay, X11 screen source and Tesseract, real X input through XTest. The
// custom channel runs with the demonstration key, which answers without any network.
#include <gtest/gtest.h>

#include "app/app/AppCommandLine.h"
#include "app/app/AppTexts.h"
#include "app/app/VelaAppDelegate.h"
#include "core/support/FileIO.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/WebViewHarness.h"
#include "tests/support/gui/XInput.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Strings = std::vector<std::string>;

const std::string kDemoResult = "【カスタムAI無制限】翻訳結果：good morning";

// Each item as "label|key the tray host is told" (found as the menu exporter finds it:
// through the accelerator its label watches), separators as "-".
Strings menuEntries(GtkMenu* menu) {
    Strings entries;
    g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) {
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(c->data));  // none in a separator
        GClosure* accel = nullptr;
        if (label)
            g_object_get(label, "accel-closure", &accel, nullptr);
        auto same = [](GtkAccelKey*, GClosure* c, gpointer wanted) {
            return gboolean(c == wanted);
        };
        GtkAccelKey* key =
            accel ? gtk_accel_group_find(gtk_accel_group_from_accel_closure(accel), same, accel)
                  : nullptr;
        g_autofree char* name = gtk_accelerator_name(key ? key->accel_key : 0,
                                                     key ? key->accel_mods : GdkModifierType{});
        if (accel)
            g_closure_unref(accel);
        entries.push_back(label ? gtk_menu_item_get_label(GTK_MENU_ITEM(c->data)) +
                                      std::string("|") + name
                                : "-");
    }
    return entries;
}
std::string entry(std::string_view label, std::string_view key = "") {
    return std::string(label) + "|" + std::string(key);
}
GtkMenuItem* nthItem(GtkMenu* menu, guint n) {
    g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(menu));
    return GTK_MENU_ITEM(g_list_nth_data(children, n));
}

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk() && input.ok()) << "the GUI tests need an X server";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        ConfigStore(settingsFile()).update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
            c.remoteConfigURL = "file://" + (home / "manifest.json").string();  // none yet
        });
    }
    void TearDown() override { stop(); }

    std::filesystem::path settingsFile() const { return home / "VelaJP" / "config.json"; }
    void launch(Strings switches) {
        switches.insert(switches.begin(), "vela");
        VelaAppDelegate::Options options;
        options.settingsFile = settingsFile();
        app = std::make_unique<VelaAppDelegate>(switches, options);
        app->onQuit = [this] { ++quits; };
        app->applicationDidFinishLaunching();
        ASSERT_TRUE(test::spinUntil([&] { return app->floatingPanel().isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(app->floatingPanel().webView(),
                                                      app->floatingPanel().window());
    }
    void stop() {
        page.reset();
        app.reset();
        test::drainEvents();
    }
    bool isOpen(const std::string& layer) {
        return page->eval("document.getElementById('" + layer + "').classList.contains('open')") ==
               true;
    }
    // Waits until the notice or result area contains `text`.
    bool shows(const std::string& text) {
        return test::spinUntil([&] {
            return page->eval(
                           "['remoteModalTitle', 'remoteModalMsg', 'targetBody', 'settingsMsg']"
                           ".map(id => document.getElementById(id).textContent).join('\\n')")
                       .get<std::string>()
                       .find(text) != std::string::npos;
        });
    }
    bool blocked() { return app->store().config().forceUpdateBlocked; }
    bool textHotKeyShowsTheHiddenPanel() {
        app->floatingPanel().hide();
        input.chord({"Alt_L", "j"});
        return test::spinUntil([&] { return gtk_window_is_active(app->floatingPanel().window()); });
    }
    // Starts a capture (asked twice: the second is ignored), waits until the overlay holds
    // the keyboard, runs `meanwhile`, and cancels with Escape.
    void captureAndCancel(const std::function<void()>& meanwhile = [] {}) {
        app->startScreenCapture();
        app->startScreenCapture();
        ASSERT_TRUE(app->isCapturing());
        EXPECT_FALSE(app->floatingPanel().isVisible());
        GdkDisplay* display = gdk_display_get_default();
        GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
        ASSERT_TRUE(
            test::spinUntil([&] { return gdk_display_device_is_grabbed(display, keyboard); }));
        meanwhile();
        input.chord({"Escape"});
        ASSERT_TRUE(test::spinUntil([&] { return !app->isCapturing(); }));
        EXPECT_EQ(app->overlayWindow(), nullptr);
    }

    test::TempDir home;
    test::XInput input;
    std::unique_ptr<VelaAppDelegate> app;
    std::unique_ptr<test::WebViewHarness> page;
    int quits = 0;
};

TEST_F(AppDelegateTest, PlainLaunchShowsThePanelTheTrayMenuAndThePanelsKeys) {
    launch({});
    FloatingTranslationPanel& panel = app->floatingPanel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.frame().size, defaultPanelSize);
    EXPECT_EQ(page->eval("document.activeElement.id"), "sourceInput");
    EXPECT_EQ(menuEntries(app->statusMenu()),
              (Strings{entry("スクショ翻訳 (Ctrl+Alt+S)"), entry("テキスト翻訳 (Ctrl+Alt+G)"), "-",
                       entry(AppTexts::settingsItem, "<Primary>comma"),
                       entry(AppTexts::quitItem, "<Primary>q")}));
    // The test's desktop has no tray: the panel says how to reach Vela without one.
    EXPECT_TRUE(shows(std::string(AppTexts::noTrayTitle)));

    // Ctrl+, opens the settings in the focused panel.
    page->focus();
    input.chord({"Control_L", "comma"});
    ASSERT_TRUE(test::spinUntil([&] { return isOpen("settingsLayer"); }));
    EXPECT_EQ(panel.frame().size, settingsPanelSize);
    // While the recorder listens it gets every key instead of the window's accelerators and
    // editing commands. Each recording ends after the keys before it were handled.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "pasted", -1);
    const std::string field = "document.getElementById('baseURLInput')";
    const json typed = page->eval(field + ".value");
    const std::vector<std::pair<std::initializer_list<const char*>, json>> recordings{
        {{"Control_L", "q"}, {{"key", "Q"}, {"mods", {"control"}}}},
        {{"Control_L", "v"}, {{"key", "V"}, {"mods", {"control"}}}},
    };
    for (const auto& [keys, recorded] : recordings) {
        page->eval(field + ".focus(); velaApp.startRecord('text')");
        input.chord(keys);
        EXPECT_TRUE(
            test::spinUntil([&] { return page->eval("velaApp.recordingTarget").is_null(); }));
        EXPECT_EQ(page->eval("velaApp.recordedText"), recorded);
    }
    EXPECT_EQ(page->eval(field + ".value"), typed);
    EXPECT_EQ(quits, 0);
    // Afterwards the keys act again; Ctrl+4, handled before the Ctrl+Q, does nothing.
    input.chord({"Control_L", "4"});
    input.chord({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));
    EXPECT_FALSE(blocked());

    // The text item brings the hidden panel back for input.
    panel.hide();
    gtk_menu_item_activate(app->textMenuItem());
    EXPECT_TRUE(panel.isVisible());
}

TEST_F(AppDelegateTest, DebugMenuPreviewsFromItsItemsAndKeys) {
    launch({"--debug"});
    EXPECT_EQ(menuEntries(app->statusMenu()).at(4), entry(AppTexts::debugSubmenu));
    GtkMenu* sub = GTK_MENU(gtk_menu_item_get_submenu(nthItem(app->statusMenu(), 4)));
    EXPECT_EQ(menuEntries(sub), (Strings{entry(AppTexts::demoPopupItem, "<Primary>3"),
                                         entry(AppTexts::forceUpdateItem, "<Primary>4")}));
    // ④'s key blocks translation; ③ shows a notice and lifts the block.
    page->focus();
    input.chord({"Control_L", "4"});
    EXPECT_TRUE(test::spinUntil([&] { return blocked(); }));
    gtk_menu_item_activate(nthItem(sub, 0));
    EXPECT_FALSE(blocked());
    EXPECT_TRUE(shows(std::string(AppTexts::campaignNoticeTitle)));
}

// The switches that preview notices, and the launch sync with a manifest offering an update.
TEST_F(AppDelegateTest, NoticeSwitchesAndTheLaunchSyncShowTheirNotices) {
    const std::vector<std::tuple<Strings, std::string_view, bool>> cases{
        {{"--tour-step-4"}, AppTexts::previewUpdateNotes, true},
        {{"--demo-popup"}, AppTexts::launchNoticeTitle, true},  // the block stays
        {{"--tour-step-3"}, AppTexts::campaignNoticeTitle, false},
        {{}, "0.3.0", false},
    };
    for (const auto& [switches, notice, blockedAfter] : cases) {
        SCOPED_TRACE(notice);
        if (switches.empty())
            writeFileAtomically(home / "manifest.json",
                                R"({"latestVersion":"0.3.0","minRequiredVersion":"","updateURL":)"
                                R"("https://vela-app.github.io/","releaseNotes":"Faster OCR"})",
                                0644);
        launch(switches);
        EXPECT_TRUE(shows(std::string(notice)));
        EXPECT_TRUE(isOpen("remoteModalLayer"));
        EXPECT_EQ(blocked(), blockedAfter);
        stop();
    }
}

TEST_F(AppDelegateTest, SavedShortcutsRelabelTheMenuAndTakeOverTheHotKeys) {
    launch({});
    const auto save = [&](const std::string& fields) {
        page->eval(
            "document.getElementById('settingsMsg').textContent = '';"
            "window.webkit.messageHandlers.vela.postMessage({action: 'saveSettings', "
            "channelMode: 'custom', " +
            fields + "}); null");
    };
    save("captureKey: 'k', captureMods: ['control', 'shift'], textKey: 'j', textMods: ['option']");
    ASSERT_TRUE(test::spinUntil([&] { return app->store().config().captureShortcut.key == "K"; }));
    const VelaConfig saved = app->store().config();
    EXPECT_EQ(gtk_menu_item_get_label(app->captureMenuItem()),
              captureMenuTitle(saved.captureShortcut));
    EXPECT_EQ(gtk_menu_item_get_label(app->textMenuItem()), textMenuTitle(saved.textShortcut));

    // The old capture key is let go (it would open the overlay, which takes the keyboard);
    // the new text key brings the panel back, focused for typing.
    app->floatingPanel().hide();
    input.chord({"Control_L", "Alt_L", "s"});
    ASSERT_TRUE(textHotKeyShowsTheHiddenPanel());
    EXPECT_FALSE(app->isCapturing());
    input.type("good morning");
    input.chord({"Return"});
    EXPECT_TRUE(shows(kDemoResult)) << page->eval("document.getElementById('sourceInput').value");

    // Refused text keys: one another X client holds, one this keyboard lacks (a Yen key on a
    // US layout). The stored pair stays, registered again.
    XGrabKey(input.display(), input.keycode("F9"), ControlMask, DefaultRootWindow(input.display()),
             False, GrabModeAsync, GrabModeAsync);
    XSync(input.display(), False);
    for (const auto& [fields, error] : std::vector<std::pair<std::string, ShortcutValidationError>>{
             {"textKey: 'f9', textMods: ['control']", ShortcutValidationError::occupiedBySystem},
             {"textKey: 'INTLYEN', textMods: ['control', 'option']",
              ShortcutValidationError::keyNotOnKeyboard}}) {
        SCOPED_TRACE(fields);
        save(fields);
        EXPECT_TRUE(shows("✗ " + std::string(userMessage(error))));
        EXPECT_EQ(app->store().config(), saved);
        EXPECT_TRUE(textHotKeyShowsTheHiddenPanel());
    }
}

TEST_F(AppDelegateTest, CaptureCancelsRestoreOnlyAShownPanelAndNoticesWaitForTheOverlay) {
    launch({});
    FloatingTranslationPanel& panel = app->floatingPanel();
    // A request while the overlay is open is ignored too; the cancel brings the panel back.
    captureAndCancel([&] {
        ScreenCaptureOverlayWindow* overlay = app->overlayWindow();
        app->startScreenCapture();
        EXPECT_EQ(app->overlayWindow(), overlay);
    });
    EXPECT_TRUE(panel.isVisible());
    panel.hide();
    captureAndCancel();
    EXPECT_FALSE(panel.isVisible());
    // A notice decided while the overlay is up waits until it has closed.
    captureAndCancel([&] {
        app->handleTourStep4ForceUpdate();
        EXPECT_TRUE(blocked());
        EXPECT_FALSE(panel.isVisible());
    });
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(test::spinUntil([&] { return isOpen("remoteModalLayer"); }));
}

}  // namespace
}  // namespace vela
