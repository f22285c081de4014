// The application delegate in the test process: the real panel and page, the real hot-key
// manager, overlay and X11 screen source, real X input through XTest. The custom channel
// runs with the demonstration key, which answers without any network.
#include <gtest/gtest.h>

#include "app/app/AppCommandLine.h"
#include "app/app/AppTexts.h"
#include "app/app/VelaAppDelegate.h"
#include "core/support/FileIO.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationMessages.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/WebViewHarness.h"
#include "tests/support/gui/XInput.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Each item as "label|key the tray host is told" (the accelerator its label watches, found
// as the menu exporter finds it), separators as "-".
Strings menuEntries(GtkMenu* menu) {
    Strings entries;
    g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next) {
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(c->data));  // none in a separator
        GClosure* accel = nullptr;
        if (label)
            g_object_get(label, "accel-closure", &accel, nullptr);
        auto same = [](GtkAccelKey*, GClosure* c, gpointer wanted) -> gboolean {
            return c == wanted;
        };
        GtkAccelKey* key =
            accel ? gtk_accel_group_find(gtk_accel_group_from_accel_closure(accel), same, accel)
                  : nullptr;
        g_autofree char* name =
            key ? gtk_accelerator_name(key->accel_key, key->accel_mods) : g_strdup("");
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

class AppDelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk() && input.ok()) << "the GUI tests need an X server";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
        ConfigStore(home / "VelaJP" / "config.json").update([&](VelaConfig& c) {
            c.channelMode = TranslationChannelMode::custom;
            c.customApiKey = std::string(HTTPTranslationTransport::demonstrationKey);
            c.remoteConfigURL = "file://" + (home / "manifest.json").string();  // none yet
        });
    }
    void TearDown() override { page.reset(), app.reset(), test::drainEvents(); }
    void launch(Strings switches) {
        switches.insert(switches.begin(), "vela");
        app = std::make_unique<VelaAppDelegate>(switches);
        app->onQuit = [this] { ++quits; };
        app->applicationDidFinishLaunching();
        ASSERT_TRUE(test::spinUntil([&] { return app->floatingPanel().isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(app->floatingPanel().webView(),
                                                      app->floatingPanel().window());
    }
    // Waits until the notice, result or settings message area contains `text`.
    bool shows(std::string_view text) {
        return test::spinUntil([&] {
            return page->eval(
                           "['remoteModalTitle', 'remoteModalMsg', 'targetBody', 'settingsMsg']"
                           ".map(id => document.getElementById(id).textContent).join()")
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

TEST_F(AppDelegateTest, LaunchShowsThePanelTheMenusAndTheirKeys) {
    launch({"--debug"});
    FloatingTranslationPanel& panel = app->floatingPanel();
    EXPECT_TRUE(panel.isVisible());
    const VelaConfig config = app->store().config();
    EXPECT_EQ(
        menuEntries(app->statusMenu()),
        (Strings{entry(captureMenuTitle(config.captureShortcut)),
                 entry(textMenuTitle(config.textShortcut)), "-",
                 entry(AppTexts::settingsItem, "<Primary>comma"), entry(AppTexts::debugSubmenu),
                 "-", entry(AppTexts::quitItem, "<Primary>q")}));
    GList* items = gtk_container_get_children(GTK_CONTAINER(app->statusMenu()));
    GtkWidget* debug = gtk_menu_item_get_submenu(GTK_MENU_ITEM(g_list_nth_data(items, 4)));
    g_list_free(items);
    EXPECT_EQ(menuEntries(GTK_MENU(debug)),
              (Strings{entry(AppTexts::demoPopupItem, "<Primary>3"),
                       entry(AppTexts::forceUpdateItem, "<Primary>4")}));
    // The test's desktop has no tray: the panel says how to reach Vela without one.
    EXPECT_TRUE(shows(AppTexts::noTrayTitle));

    // Ctrl+, opens the settings in the focused panel.
    page->focus();
    input.chord({"Control_L", "comma"});
    ASSERT_TRUE(test::spinUntil([&] { return panel.frame().size == settingsPanelSize; }));
    // While the recorder listens, Ctrl+Q is recorded instead of quitting; afterwards it quits.
    page->eval("velaApp.startRecord('text')");
    input.chord({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return page->eval("velaApp.recordingTarget").is_null(); }));
    EXPECT_EQ(page->eval("velaApp.recordedText"),
              (nlohmann::json{{"key", "Q"}, {"mods", {"control"}}}));
    EXPECT_EQ(quits, 0);
    input.chord({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));

    // The text item brings the hidden panel back for input.
    panel.hide();
    gtk_menu_item_activate(app->textMenuItem());
    EXPECT_TRUE(panel.isVisible());
}

// The launch sync with a manifest offering an update, then the switches that preview notices.
TEST_F(AppDelegateTest, LaunchSyncAndNoticeSwitchesShowTheirNotices) {
    writeFileAtomically(home / "manifest.json",
                        R"({"latestVersion":"0.3.0","minRequiredVersion":"","updateURL":)"
                        R"("https://vela-app.github.io/","releaseNotes":"Faster OCR"})",
                        0644);
    launch({});
    EXPECT_EQ(menuEntries(app->statusMenu()).size(), 5u) << "no debug menu";
    EXPECT_TRUE(shows("0.3.0"));
    for (const auto& [argument, notice, blockedAfter] :
         std::vector<std::tuple<std::string, std::string_view, bool>>{
             {"--tour-step-4", AppTexts::previewUpdateNotes, true},
             {"--demo-popup", AppTexts::launchNoticeTitle, true},  // the block stays
             {"--tour-step-3", AppTexts::campaignNoticeTitle, false}}) {
        SCOPED_TRACE(argument);
        app->actOnCommandLine({"vela", argument});
        EXPECT_TRUE(shows(notice));
        EXPECT_EQ(blocked(), blockedAfter);
    }
}

TEST_F(AppDelegateTest, SavedShortcutsRelabelTheMenuAndTakeOverTheHotKeys) {
    launch({});
    const auto save = [&](const std::string& fields) {
        app->floatingPanel().handlePageMessage(
            R"({"action": "saveSettings", "channelMode": "custom", )" + fields + "}");
    };
    save(R"("captureKey": "k", "captureMods": ["control", "shift"], "textKey": "j", )"
         R"("textMods": ["option"])");
    const VelaConfig saved = app->store().config();
    EXPECT_EQ(saved.captureShortcut.key, "K");
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
    EXPECT_TRUE(shows(std::string(messages::demoPrefixOther) + "good morning"));

    // Refused text keys: one another X client holds, one this keyboard lacks (a Yen key on a
    // US layout). The stored pair stays, registered again.
    XGrabKey(input.display(), input.keycode("F9"), ControlMask, DefaultRootWindow(input.display()),
             False, GrabModeAsync, GrabModeAsync);
    XSync(input.display(), False);
    for (const auto& [fields, error] : std::vector<std::pair<std::string, ShortcutValidationError>>{
             {R"("textKey": "f9", "textMods": ["control"])",
              ShortcutValidationError::occupiedBySystem},
             {R"("textKey": "INTLYEN", "textMods": ["control", "option"])",
              ShortcutValidationError::keyNotOnKeyboard}}) {
        SCOPED_TRACE(fields);
        save(fields);
        EXPECT_TRUE(shows(userMessage(error)));
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
        EXPECT_FALSE(panel.isVisible());
    });
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(shows(AppTexts::previewUpdateNotes));
}

}  // namespace
}  // namespace vela
