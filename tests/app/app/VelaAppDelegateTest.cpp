// The application delegate in the test process: the real panel and page, the real hot-key
// manager, overlay and X11 screen source, real X input through XTest. The custom channel
// runs with the demonstration key, which answers without any network.
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

// The item labels, separators as "-".
std::vector<std::string_view> menuLabels(GtkMenu* menu) {
    std::vector<std::string_view> labels;
    g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* c = children; c; c = c->next)
        labels.push_back(GTK_IS_SEPARATOR_MENU_ITEM(c->data)
                             ? "-"
                             : gtk_menu_item_get_label(GTK_MENU_ITEM(c->data)));
    return labels;
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
    void launch(std::vector<std::string> switches) {
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
    bool textHotKeyShowsTheHiddenPanel() {
        app->floatingPanel().hide();
        input.chord({"Alt_L", "j"});
        return test::spinUntil([&] { return gtk_window_is_active(app->floatingPanel().window()); });
    }
    test::TempDir home;
    test::XInput input;
    std::unique_ptr<VelaAppDelegate> app;
    std::unique_ptr<test::WebViewHarness> page;
    int quits = 0;
};

TEST_F(AppDelegateTest, LaunchShowsThePanelAndTheMenuAndItsKeysAct) {
    launch({"--debug"});
    EXPECT_EQ(menuLabels(app->statusMenu()),
              (std::vector<std::string_view>{captureMenuTitle(ShortcutConfig::defaultCapture()),
                                             textMenuTitle(ShortcutConfig::defaultText()), "-",
                                             AppTexts::settingsItem, AppTexts::debugSubmenu, "-",
                                             AppTexts::quitItem}));
    // The test's desktop has no tray: the panel says how to reach Vela without one.
    EXPECT_TRUE(shows(AppTexts::noTrayTitle));

    // Ctrl+, opens the settings in the focused panel.
    page->focus();
    input.chord({"Control_L", "comma"});
    ASSERT_TRUE(
        test::spinUntil([&] { return app->floatingPanel().frame().size == settingsPanelSize; }));
    // While the recorder listens, Ctrl+Q is recorded instead of quitting; afterwards it quits.
    page->eval("velaApp.startRecord('text')");
    input.chord({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return page->eval("velaApp.recordingTarget").is_null(); }));
    EXPECT_EQ(page->eval("velaApp.recordedText"),
              (nlohmann::json{{"key", "Q"}, {"mods", {"control"}}}));
    EXPECT_EQ(quits, 0);
    input.chord({"Control_L", "q"});
    EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }));
}

// The launch sync with a manifest offering an update, then the switches that preview notices.
TEST_F(AppDelegateTest, LaunchSyncAndNoticeSwitchesShowTheirNotices) {
    writeFileAtomically(home / "manifest.json",
                        R"({"latestVersion":"0.3.0","minRequiredVersion":"","updateURL":)"
                        R"("https://vela-app.github.io/","releaseNotes":"Faster OCR"})",
                        0644);
    launch({});
    EXPECT_EQ(menuLabels(app->statusMenu()).size(), 5u) << "no debug menu";
    EXPECT_TRUE(shows("0.3.0"));
    for (const auto& [argument, notice, blockedAfter] :
         std::vector<std::tuple<std::string, std::string_view, bool>>{
             {"--tour-step-4", AppTexts::previewUpdateNotes, true},
             {"--demo-popup", AppTexts::launchNoticeTitle, true},  // the block stays
             {"--tour-step-3", AppTexts::campaignNoticeTitle, false}}) {
        SCOPED_TRACE(argument);
        app->actOnCommandLine({"vela", argument});
        EXPECT_TRUE(shows(notice));
        EXPECT_EQ(app->store().config().forceUpdateBlocked, blockedAfter);
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
    // the new text key brings the panel back with the keyboard focus.
    app->floatingPanel().hide();
    input.chord({"Control_L", "Alt_L", "s"});
    ASSERT_TRUE(textHotKeyShowsTheHiddenPanel());
    EXPECT_FALSE(app->isCapturing());

    // Refused text keys: one another X client holds, one this keyboard lacks (a Yen key on a
    // US layout). Each leaves the stored pair, registered again.
    XGrabKey(input.display(), input.keycode("F9"), ControlMask, DefaultRootWindow(input.display()),
             False, GrabModeAsync, GrabModeAsync);
    XSync(input.display(), False);
    for (const auto& [fields, error] :
         {std::pair{R"("textKey": "f9", "textMods": ["control"])",
                    ShortcutValidationError::occupiedBySystem},
          std::pair{R"("textKey": "INTLYEN", "textMods": ["control", "option"])",
                    ShortcutValidationError::keyNotOnKeyboard}}) {
        SCOPED_TRACE(fields);
        save(fields);
        EXPECT_TRUE(shows(userMessage(error)));
        EXPECT_EQ(app->store().config(), saved);
        EXPECT_TRUE(textHotKeyShowsTheHiddenPanel());
    }
}

// The cancel restores only a panel that was shown; a notice decided while the overlay is up
// waits until it has closed. A request while a capture is starting is ignored.
TEST_F(AppDelegateTest, CaptureCancelsRestoreOnlyAShownPanelAndNoticesWaitForTheOverlay) {
    launch({});
    FloatingTranslationPanel& panel = app->floatingPanel();
    GdkDisplay* display = gdk_display_get_default();
    GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
    for (const auto& [shown, notice] : {std::pair{true, false}, {false, false}, {false, true}}) {
        SCOPED_TRACE(testing::Message() << "shown " << shown << ", notice " << notice);
        shown ? panel.showForTextInput() : panel.hide();
        app->startScreenCapture();
        app->startScreenCapture();
        ASSERT_TRUE(
            test::spinUntil([&] { return gdk_display_device_is_grabbed(display, keyboard); }));
        if (notice)
            app->handleTourStep4ForceUpdate();
        EXPECT_FALSE(panel.isVisible());
        input.chord({"Escape"});
        ASSERT_TRUE(test::spinUntil([&] { return !app->isCapturing(); }));
        EXPECT_EQ(app->overlayWindow(), nullptr);
        EXPECT_EQ(panel.isVisible(), shown || notice);
    }
    EXPECT_TRUE(shows(AppTexts::previewUpdateNotes));
}

}  // namespace
}  // namespace vela
