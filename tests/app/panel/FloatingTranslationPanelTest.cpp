// The real panel under an X server: its real page, the real coordinator and HTTP
// transport talking to a loopback server, real X input. The page's messages are posted
// from inside the page exactly as its controls post them; results are read from the DOM.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/X11ScreenSource.h"
#include "core/support/UnicodeText.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/WebViewHarness.h"
#include "tests/support/gui/XInput.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;

// A builtin service on loopback: "訳:" + the text; texts starting "slow" get their body
// only once the test releases the server.
test::CannedResponse answer(const test::RecordedRequest& r) {
    const std::string translated = test::jsonString("訳:" + r.param("q"));
    test::CannedResponse response{
        200, r.path == "/get" ? R"({"responseData":{"translatedText":)" + translated + "}}"
                              : "[[[" + translated + ",\"\"]],null,\"en\"]"};
    if (r.param("q").starts_with("slow"))
        response.bodyDelay = 60s;
    return response;
}

// The live web processes of this process (WebKit's are its direct children).
std::vector<pid_t> webProcesses() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string line;
        std::getline(std::ifstream(entry.path() / "stat"), line);
        const auto close = line.rfind(") ");
        char state = 0;
        pid_t parent = 0;
        if (close != std::string::npos && line.find("(WebKitWebProces)") != std::string::npos &&
            std::sscanf(line.c_str() + close + 2, "%c %d", &state, &parent) == 2 &&
            parent == ::getpid() && state != 'Z') {
            found.push_back(std::stoi(line));
        }
    }
    return found;
}

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk()) << "the GUI tests need an X server (DISPLAY)";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);  // the autostart entry goes here
        openPanel(FloatingTranslationPanel::defaultIdleReleaseDelay);
    }
    void openPanel(std::chrono::milliseconds idleRelease, const std::string& text = "") {
        page.reset();
        panel = std::make_unique<FloatingTranslationPanel>(store, coordinator, idleRelease);
        panel->openURL = [this](const std::string& url) { opened.push_back(url); };
        panel->showForTextInput(text, !text.empty());
        attachPage();
    }
    void attachPage() {
        ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
        page->settle();
    }
    // The message travels before the evaluation's reply on the page's one channel, so the
    // panel has handled it when eval returns; drainEvents runs what it deferred to the loop.
    void post(const json& message) {
        page->eval("window.webkit.messageHandlers.vela.postMessage(" + message.dump() + "); null");
        test::drainEvents();
    }
    std::string text(const std::string& id) { return page->text(id); }
    json value(const std::string& id) {
        return page->eval("document.getElementById('" + id + "').value");
    }
    bool waitForText(const std::string& id, const std::string& expected) {
        return test::spinUntil([&] { return text(id) == expected; });
    }
    bool isOpen(const std::string& id) {
        return page->eval("document.getElementById('" + id + "').classList.contains('open')") ==
               true;
    }
    // The panel's window on the root window, as the X server has it (both calls ask it).
    Rect xGeometry() {
        GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(panel->window()));
        int x = 0, y = 0, width = 0, height = 0;
        gdk_window_get_origin(w, &x, &y);
        gdk_window_get_geometry(w, nullptr, nullptr, &width, &height);
        return Rect(x, y, width, height);
    }
    std::pair<std::string, std::string> languages() {
        return {store.config().sourceLanguage, store.config().targetLanguage};
    }
    static Rect screen() { return Rect(0, 0, 1920, 1080); }

    test::TempDir home;
    ConfigStore store{home / "VelaJP" / "config.json"};
    test::LoopbackHttpServer server{answer};
    TranslationCoordinator coordinator{
        store, std::make_unique<HTTPTranslationTransport>(server.baseURL(), server.baseURL())};
    std::unique_ptr<FloatingTranslationPanel> panel;
    std::unique_ptr<test::WebViewHarness> page;
    std::vector<std::string> opened;
    test::XInput input;
};

TEST_F(PanelTest, OnlyTheLatestTranslationReachesThePageIntact) {
    page->eval(
        "window.shown = []; const draw = velaApp.showTranslationSuccess;"
        "velaApp.showTranslationSuccess = (t, ...rest) => (shown.push(t), draw(t, ...rest)); null");
    post({{"action", "translate"}, {"text", "slow first"}, {"targetLang", "ko"}});
    ASSERT_TRUE(test::spinUntil([&] { return server.requestCount() >= 1; }));
    // Hostile text survives the way out and the way back.
    const std::string hostile = " it's a \\ back\r\nslash </script> \u2028 ${x} \"q\"\n";
    post({{"action", "translate"}, {"text", hostile}, {"sourceLang", "ja"}, {"targetLang", "en"}});
    const std::string shown = "訳:it's a \\ back\nslash </script> \u2028 ${x} \"q\"";
    ASSERT_TRUE(waitForText("targetBody", shown)) << text("targetBody");
    EXPECT_TRUE(std::ranges::any_of(
        server.requests(), [&](const auto& r) { return r.param("q") == trimmed(hostile); }));
    EXPECT_EQ(languages(), (std::pair<std::string, std::string>("ja", "en")));
    // The first answer comes now; the next translation starts after it, so by the time
    // that one is shown, a leaked first answer would have been shown too.
    server.release();
    post({{"action", "translate"}, {"text", "third"}});
    ASSERT_TRUE(waitForText("targetBody", "訳:third"));
    EXPECT_EQ(page->eval("shown"), json({shown, "訳:third"}));
}

TEST_F(PanelTest, SwapStoresTheSwappedPairAndTranslatesOnlyRealText) {
    post(
        {{"action", "swapLanguages"}, {"sourceLang", "en"}, {"targetLang", "ja"}, {"text", " \n"}});
    EXPECT_TRUE(test::spinUntil([&] { return value("srcLang") == "ja"; }));
    EXPECT_EQ(value("tgtLang"), "en");
    EXPECT_EQ(store.config().sourceLanguage, "ja");
    post({{"action", "swapLanguages"}, {"text", "こんにちは"}});  // from the stored pair
    ASSERT_TRUE(waitForText("targetBody", "訳:こんにちは"));
    EXPECT_EQ(languages(), (std::pair<std::string, std::string>("en", "ja")));
    EXPECT_EQ(server.requestCount(), 1u);  // the blank text before it asked for nothing
}

TEST_F(PanelTest, SettingsSaveShowsRefusalsAndStoresOnlyWhatPasses) {
    panel->showSettingsModal();
    ASSERT_TRUE(test::spinUntil([&] { return isOpen("settingsLayer"); }));
    EXPECT_EQ(panel->frame().size, settingsPanelSize);
    int asked = 0, changed = 0;
    bool accept = false;
    panel->onRegisterShortcuts = [&](const ShortcutConfig&, const ShortcutConfig&) {
        ++asked;
        return accept ? std::nullopt : std::optional(ShortcutValidationError::occupiedBySystem);
    };
    panel->onShortcutsChanged = [&] { ++changed; };
    const std::string fileBefore = test::readFile(store.fileURL());
    // The form's own rules refuse before the system is asked.
    const std::tuple<json, std::string, bool> refusals[] = {
        {{{"channelMode", "custom"}, {"apiKey", " "}},
         std::string(PanelTexts::customChannelNeedsKey),
         false},
        {{{"captureKey", "k"}, {"captureMods", {"control", "shift"}}, {"launchAtLogin", true}},
         std::string(userMessage(ShortcutValidationError::occupiedBySystem)),
         true},
    };
    for (auto [save, message, systemAsked] : refusals) {
        page->eval("document.getElementById('settingsMsg').textContent = ''");
        save["action"] = "saveSettings";
        post(save);
        EXPECT_TRUE(test::spinUntil([&] {
            return text("settingsMsg").find(message) != std::string::npos;
        })) << save.dump()
            << " -> " << text("settingsMsg");
        EXPECT_EQ(asked > 0, systemAsked);
    }
    EXPECT_EQ(test::readFile(store.fileURL()), fileBefore);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
    EXPECT_EQ(changed, 0);

    accept = true;
    post({{"action", "saveSettings"},
          {"channelMode", "custom"},
          {"baseURL", "https://llm/v1"},
          {"apiKey", "sk-4242"},
          {"launchAtLogin", true},
          {"captureKey", "k"},
          {"captureMods", {"control", "shift"}}});
    ASSERT_TRUE(test::spinUntil([&] { return !isOpen("settingsLayer"); }));
    const VelaConfig c = store.config();
    EXPECT_EQ(std::tie(c.channelMode, c.customBaseURL, c.customApiKey, c.launchAtLogin),
              std::make_tuple(TranslationChannelMode::custom, "https://llm/v1", "sk-4242", true));
    EXPECT_EQ(c.captureShortcut,
              ShortcutConfig("K", 40, {ShortcutModifier::control, ShortcutModifier::shift}));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(panel->frame().size, defaultPanelSize);
    EXPECT_NE(test::readFile(launchAtLoginEntryPath()).find(runningProgramPath()->string()),
              std::string::npos);
    EXPECT_TRUE(waitForText("compactHotkeys", "Ctrl+Shift+K / Ctrl+Alt+G"));
    post({{"action", "saveSettings"}, {"channelMode", "custom"}, {"launchAtLogin", false}});
    EXPECT_EQ(changed, 2);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
}

TEST_F(PanelTest, LinksOpenOnlyForTheWebAndClosingRespectsThePin) {
    post({{"action", "openExternalURL"}, {"url", "file:///etc/passwd"}});
    post({{"action", "openExternalURL"}, {"url", "HTTPS://example.org/x"}});
    EXPECT_EQ(opened, std::vector<std::string>{"HTTPS://example.org/x"});
    post({{"action", "closeWindow"}});
    EXPECT_TRUE(panel->isVisible());  // pinned by default
    post({{"action", "togglePin"}, {"isPinned", false}});
    post({{"action", "closeWindow"}});
    EXPECT_FALSE(panel->isVisible());
    panel->showForTextInput();
    post({{"action", "togglePin"}});
    EXPECT_TRUE(store.config().isPinned);
    post({{"action", "closeWindow"}, {"force", true}});
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PanelTest, OutsideClicksHideOnlyAnUnpinnedPanel) {
    // XInput returns once the server has sent the press to every listener; drainEvents then
    // hands it to the panel's click monitor and runs what that deferred.
    const auto clickAt = [&](int x, int y) {
        input.click(x, y);
        test::drainEvents();
    };
    const Rect g = xGeometry();
    clickAt(5, 5);
    EXPECT_TRUE(panel->isVisible());  // pinned
    post({{"action", "togglePin"}, {"isPinned", false}});
    clickAt(int(g.midX()), int(g.midY()));
    EXPECT_TRUE(panel->isVisible());  // on the panel itself
    clickAt(5, 5);
    EXPECT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
}

TEST_F(PanelTest, EscapeHidesWithoutLosingTheNextKey) {
    post({{"action", "togglePin"}, {"isPinned", false}});
    for (const std::string typed : {"hello", "again"}) {
        page->focus();
        input.chord({"Escape"});
        ASSERT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
        panel->showForTextInput();
        ASSERT_TRUE(test::spinUntil([&] {
            return page->eval("document.hasFocus() && document.activeElement.id") == "sourceInput";
        }));
        input.type(typed);  // the first key after reopening must arrive too
        EXPECT_TRUE(test::spinUntil([&] { return value("sourceInput") == typed; }))
            << value("sourceInput");
    }
}

TEST_F(PanelTest, PlacementIsBesideTheSelectionWithinTheScreen) {
    const auto centred = [&](const Rect& g) {
        return std::abs(g.midX() - screen().midX()) <= 1 && g.midY() < screen().midY();
    };
    EXPECT_TRUE(test::spinUntil([&] { return centred(xGeometry()); }));
    // Selections in desktop points (y up): mid-screen the panel goes beside, tops level;
    // near the right edge, below.
    for (const auto& [selection, beside] :
         {std::pair{Rect(600, 500, 100, 50), true}, {Rect(1800, 500, 100, 50), false}}) {
        SCOPED_TRACE(selection.minX());
        panel->showWithOCRResult(OCRCaptureResult::emptyText(selection));
        const Rect s(selection.minX(), screen().height() - selection.maxY(), selection.width(),
                     selection.height());  // on the root window
        const auto placed = [&, beside = beside](const Rect& g) {
            return g.size == defaultPanelSize && g.minX() >= 0 && g.maxX() <= screen().maxX() &&
                   g.maxY() <= screen().maxY() &&
                   (beside ? g.minX() > s.maxX() && g.minY() == s.minY() : g.minY() > s.maxY());
        };
        EXPECT_TRUE(test::spinUntil([&] { return placed(xGeometry()); }))
            << xGeometry().minX() << "," << xGeometry().minY();
    }
    EXPECT_TRUE(test::spinUntil(
        [&] { return panel->pageState().find("showEmptyOCR") != std::string::npos; }));
    // Dragged by the page, whose y grows downwards; an incomplete step moves nothing.
    const Rect before = xGeometry();
    post({{"action", "moveWindowBy"}, {"dx", -30}, {"dy", 40}});
    post({{"action", "moveWindowBy"}, {"dx", 5}});
    EXPECT_TRUE(test::spinUntil([&] {
        return xGeometry() == Rect(before.minX() - 30, before.minY() + 40, 430, 440);
    })) << xGeometry().minX()
        << "," << xGeometry().minY();
    panel->showWithOCRResult(OCRCaptureResult::permissionDenied());
    EXPECT_TRUE(test::spinUntil([&] { return centred(xGeometry()); }));
}

TEST_F(PanelTest, NoticesShowOnAHiddenPanelWithoutMovingAVisibleOne) {
    panel->hide();
    const RemoteControlDecision update{RemoteControlDecision::OptionalUpdateAvailable{
        "9.9.9", "新機能", "https://example.org/dl"}};
    panel->presentRemoteDecision(update);
    EXPECT_TRUE(panel->isVisible());
    ASSERT_TRUE(test::spinUntil([&] { return isOpen("remoteModalLayer"); }));
    EXPECT_EQ(text("remoteModalTitle"), remoteModalFor(update)->title);
    // The page's action button opens the link and dismisses the notice for good.
    page->eval("velaApp.confirmRemoteModalAction(); null");
    ASSERT_TRUE(test::spinUntil([&] { return store.config().dismissedPopupId == "update-9.9.9"; }));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/dl"});

    const Rect before = xGeometry();
    post({{"action", "triggerDemoRemotePopup"}});
    ASSERT_TRUE(test::spinUntil([&] { return isOpen("remoteModalLayer"); }));
    EXPECT_EQ(text("remoteModalTitle"), PanelTexts::demoNoticeTitle);
    EXPECT_EQ(xGeometry(), before);
    post({{"action", "dismissRemotePopup"}, {"id", ""}});
    EXPECT_EQ(store.config().dismissedPopupId, "update-9.9.9");
}

TEST_F(PanelTest, WithoutACompositorTheCardFillsTheWindow) {
    ASSERT_FALSE(gdk_screen_is_composited(gdk_screen_get_default()))
        << "plain Xvfb composites nothing";
    page->parkPointer();
    ASSERT_TRUE(test::spinUntil([&] {
        return page->eval("document.documentElement.classList.contains('opaque-window')") == true;
    }));
    page->settle();
    // An uncomposited window shows black where a transparent margin would be; the card's
    // background must reach into every corner instead (inside its 2-pixel border).
    const Rect g = xGeometry();
    auto shot = X11ScreenSource().freeze();
    ASSERT_TRUE(shot);
    const int x0 = int(g.minX()) + 3, y0 = int(g.minY()) + 3, x1 = int(g.maxX()) - 3,
              y1 = int(g.maxY()) - 3;
    const auto corner = shot->image.at(x0, y0);
    EXPECT_NE(corner, 0u);
    for (auto [x, y] : {std::pair{x1, y0}, {x0, y1}, {x1, y1}})
        EXPECT_EQ(shot->image.at(x, y), corner) << x - x0 << "," << y - y0;
}

TEST_F(PanelTest, ControlVPastesExactlyOnceAndTheFallbackInsertsByScript) {
    setClipboardText("クリップ");
    ASSERT_TRUE(test::spinUntil([] { return clipboardText() == "クリップ"; }));
    page->focus();
    page->eval(
        "const s = document.getElementById('sourceInput'); s.value = 'a'; s.focus();"
        "s.setSelectionRange(1, 1);");
    page->pressKey("v", {"Control_L"});
    page->pressKey("b");  // a later key: once it is in, any second paste would be too
    EXPECT_TRUE(test::spinUntil([&] { return value("sourceInput") == "aクリップb"; }))
        << value("sourceInput");
    post({{"action", "pasteClipboardToActiveInput"}});
    EXPECT_TRUE(test::spinUntil([&] { return value("sourceInput") == "aクリップbクリップ"; }));
}

TEST_F(PanelTest, AReleasedOrKilledPageComesBackAsItWas) {
    openPanel(100ms, "hello state");
    int released = 0;
    panel->onPageReleased = [&] { ++released; };
    ASSERT_TRUE(waitForText("targetBody", "訳:hello state"));
    page->eval("velaApp.togglePin(); null");
    ASSERT_TRUE(test::spinUntil([&] {
        return !store.config().isPinned &&
               panel->pageState().find("訳:hello state") != std::string::npos;
    }));
    ASSERT_EQ(webProcesses().size(), 1u);
    page.reset();
    panel->hide();
    ASSERT_TRUE(test::spinUntil([&] { return released == 1 && webProcesses().empty(); }, 20s));
    EXPECT_EQ(panel->webView(), nullptr);
    // Asked for while the page is away: runs after the configuration and the restore.
    panel->runJS("window.seen = [document.getElementById('sourceInput').value, velaApp.isPinned];");
    panel->showSettingsModal();
    attachPage();
    ASSERT_TRUE(test::spinUntil([&] { return page->eval("window.seen") != nullptr; }));
    EXPECT_EQ(page->eval("window.seen"), json({"hello state", false}));

    // A killed web process: the page is loaded again, with what it showed.
    ASSERT_TRUE(test::spinUntil(
        [&] { return panel->pageState().find("\"settingsOpen\":true") != std::string::npos; }));
    const std::vector<pid_t> before = webProcesses();
    ASSERT_EQ(before.size(), 1u);
    ::kill(before[0], SIGKILL);
    ASSERT_TRUE(test::spinUntil(
        [&] {
            const auto now = webProcesses();
            return now.size() == 1 && now != before && panel->isWebLoaded();
        },
        30s));
    EXPECT_TRUE(waitForText("targetBody", "訳:hello state"));
    EXPECT_EQ(value("sourceInput"), "hello state");
    EXPECT_TRUE(isOpen("settingsLayer"));
    EXPECT_EQ(released, 1);
}

TEST_F(PanelTest, PageRefusesNavigationAndOffersOnlyEditing) {
    // The labels of the context menu shown after a right-click at an element.
    const auto contextMenuAt = [&](const std::string& selector) {
        const test::Point at = page->centerOf(selector);
        input.click(int(xGeometry().minX()) + at.x, int(xGeometry().minY()) + at.y, 3);
        page->settle();  // the page has seen the click and asked for its menu
        std::vector<std::string> labels;
        test::spinUntil(
            [&] {
                for (GList* w = gtk_window_list_toplevels(); w; w = g_list_delete_link(w, w)) {
                    GtkWidget* menu = gtk_bin_get_child(GTK_BIN(w->data));
                    if (!menu || !GTK_IS_MENU(menu) || !gtk_widget_get_mapped(menu))
                        continue;
                    for (GList* i = gtk_container_get_children(GTK_CONTAINER(menu)); i;
                         i = g_list_delete_link(i, i)) {
                        if (!GTK_IS_SEPARATOR_MENU_ITEM(i->data))
                            labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(i->data)));
                    }
                    gtk_menu_popdown(GTK_MENU(menu));
                }
                return !labels.empty();
            },
            2s);
        return labels;
    };
    EXPECT_TRUE(contextMenuAt("#targetBody").empty()) << "no Back, Stop or Reload";
    page->eval("const s = document.getElementById('sourceInput'); s.value = 'keep'; s.select();");
    EXPECT_EQ(contextMenuAt("#sourceInput"),
              (std::vector<std::string>{
                  std::string(PanelTexts::menuCut), std::string(PanelTexts::menuCopy),
                  std::string(PanelTexts::menuPaste), std::string(PanelTexts::menuSelectAll)}));
    // Navigations are refused: the page and what it holds stay.
    int started = 0;
    g_signal_connect(panel->webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer n) {
                         *static_cast<int*>(n) += e == WEBKIT_LOAD_STARTED;
                     }),
                     &started);
    int decisions = 0;
    const guint decidePolicy = g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW);
    const gulong hook = g_signal_add_emission_hook(
        decidePolicy, 0,
        +[](GSignalInvocationHint*, guint, const GValue*, gpointer n) {
            return gboolean(++*static_cast<int*>(n) > 0);
        },
        &decisions, nullptr);
    for (const char* navigation : {"location.reload()", "location.href = 'https://example.org/'"}) {
        const int asked = decisions;
        page->eval(std::string(navigation) + "; null");
        EXPECT_TRUE(test::spinUntil([&] { return decisions > asked; })) << navigation;
        EXPECT_EQ(value("sourceInput"), "keep") << navigation;
    }
    g_signal_remove_emission_hook(decidePolicy, hook);
    EXPECT_EQ(started, 0);
    g_signal_handlers_disconnect_by_data(panel->webView(), &started);
}

}  // namespace
}  // namespace vela
