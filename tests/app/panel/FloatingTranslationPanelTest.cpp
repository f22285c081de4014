// The real panel under an X server: its real page, the real coordinator and HTTP
// transport talking to a loopback server, real X input. The page's messages are posted
// from inside the page exactly as its controls post them; results are read from the DOM.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
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
using Languages = std::pair<std::string, std::string>;

// A builtin service on loopback: "訳:" + the text; texts starting "slow" get their
// answer only once the test releases the server.
test::CannedResponse answer(const test::RecordedRequest& r) {
    test::CannedResponse response{200, "[[[" + test::jsonString("訳:" + r.param("q")) + "]]]"};
    if (r.param("q").starts_with("slow"))
        response.bodyDelay = 60s;
    return response;
}

// The live web processes this process started (WebKit's are its direct children).
std::vector<pid_t> webProcesses() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        int pid = 0, parent = 0;
        char name[16] = {}, state = 0;  // stat: "pid (name) state parent ..."
        std::string stat;
        std::getline(std::ifstream(entry.path() / "stat"), stat);
        if (std::sscanf(stat.c_str(), "%d (%15[^)]) %c %d", &pid, name, &state, &parent) == 4 &&
            parent == ::getpid() && state != 'Z' && name == std::string("WebKitWebProces"))
            found.push_back(pid);
    }
    return found;
}

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk()) << "the GUI tests need an X server (DISPLAY)";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);  // the autostart entry goes here
        panel = std::make_unique<FloatingTranslationPanel>(store, coordinator, idleRelease);
        panel->openURL = [this](const std::string& url) { opened.push_back(url); };
        panel->showForTextInput();
        attach();
    }
    void attach() {
        ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
    }
    // The message travels before the evaluation's reply on the page's one channel, so the
    // panel has handled it when eval returns; drainEvents runs what it deferred to the loop.
    void post(const std::string& message) {
        page->eval("window.webkit.messageHandlers.vela.postMessage(" + message + "); null");
        test::drainEvents();
    }
    json dom(const std::string& id, const std::string& member) {
        return page->eval("document.getElementById('" + id + "')." + member);
    }
    bool waitFor(const std::string& id, const std::string& member, const json& expected) {
        return test::spinUntil([&] { return dom(id, member) == expected; });
    }
    // The panel's window on the root window, as the X server has it (both calls ask it).
    Rect xGeometry() {
        GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(panel->window()));
        int x = 0, y = 0, width = 0, height = 0;
        gdk_window_get_origin(w, &x, &y);
        gdk_window_get_geometry(w, nullptr, nullptr, &width, &height);
        return Rect(x, y, width, height);
    }
    Languages languages() { return {store.config().sourceLanguage, store.config().targetLanguage}; }

    std::chrono::milliseconds idleRelease = FloatingTranslationPanel::defaultIdleReleaseDelay;
    const Rect screen{0, 0, 1920, 1080};
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

TEST_F(PanelTest, OnlyTheLatestTranslationReachesThePageIntactAndSwapsTranslateOnlyText) {
    // Every result call the page gets: the first argument, if any, else the call's name.
    page->eval(
        "window.shown = []; for (const f of ['setLoading', 'showTranslationSuccess', "
        "'showError', 'showEmptyInput']) { const draw = velaApp[f];"
        "velaApp[f] = (...a) => (shown.push(a.length ? a[0] : f), draw(...a)); } null");
    post(R"({"action":"translate","text":"slow first","targetLang":"ko"})");
    ASSERT_TRUE(test::spinUntil([&] { return server.requestCount() >= 1; }));
    // Hostile text survives the way out and the way back.
    const std::string hostile = " it's a \\ back\r\nslash </script> \u2028 ${x} \"q\"\n";
    post(
        json{{"action", "translate"}, {"text", hostile}, {"sourceLang", "ja"}, {"targetLang", "en"}}
            .dump());
    const std::string shown = "訳:it's a \\ back\nslash </script> \u2028 ${x} \"q\"";
    ASSERT_TRUE(waitFor("targetBody", "textContent", shown)) << dom("targetBody", "textContent");
    EXPECT_EQ(server.requests().back().param("q"), trimmed(hostile));
    EXPECT_EQ(languages(), Languages("ja", "en"));
    // The first answer comes now; the next translation starts after it, so by the time
    // that one is shown, a leaked first answer would have been shown too.
    server.release();
    post(R"({"action":"translate","text":"third"})");
    ASSERT_TRUE(waitFor("targetBody", "textContent", "訳:third"));
    // A swap stores and shows the swapped pair; it translates real text only.
    post(R"({"action":"swapLanguages","sourceLang":"ko","targetLang":"ja","text":" \n"})");
    EXPECT_TRUE(waitFor("srcLang", "value", "ja"));
    EXPECT_EQ(languages(), Languages("ja", "ko"));
    post(R"({"action":"swapLanguages","text":"こんにちは"})");  // from the stored pair
    ASSERT_TRUE(waitFor("targetBody", "textContent", "訳:こんにちは"));
    EXPECT_EQ(languages(), Languages("ko", "ja"));
    EXPECT_EQ(page->eval("shown"), json({"setLoading", "setLoading", shown, "setLoading",
                                         "訳:third", "setLoading", "訳:こんにちは"}));
}

TEST_F(PanelTest, SettingsSaveShowsTheRefusalOrStoresEverything) {
    panel->showSettingsModal();
    ASSERT_TRUE(waitFor("settingsLayer", "classList.contains('open')", true));
    int changed = 0;
    panel->onShortcutsChanged = [&] { ++changed; };
    const std::string fileBefore = test::readFile(store.fileURL());
    const std::string save =
        R"({"action":"saveSettings","channelMode":"custom","baseURL":"https://llm/v1",)"
        R"("launchAtLogin":true,"captureKey":"k","captureMods":["control","shift"])";
    post(save + "}");  // the custom channel without a key
    const json refusal(PanelTexts::customChannelNeedsKey);
    EXPECT_TRUE(waitFor("settingsMsg", "textContent.includes(" + refusal.dump() + ")", true));
    EXPECT_EQ(test::readFile(store.fileURL()), fileBefore);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
    EXPECT_EQ(changed, 0);

    post(save + R"(,"apiKey":"sk-4242"})");
    ASSERT_TRUE(waitFor("settingsLayer", "classList.contains('open')", false));
    const VelaConfig c = store.config();
    EXPECT_EQ(std::tie(c.channelMode, c.customBaseURL, c.customApiKey, c.launchAtLogin),
              std::make_tuple(TranslationChannelMode::custom, "https://llm/v1", "sk-4242", true));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(panel->frame().size, defaultPanelSize);
    EXPECT_NE(test::readFile(launchAtLoginEntryPath()).find(runningProgramPath()->string()),
              std::string::npos);
    post(R"({"action":"saveSettings","channelMode":"custom","launchAtLogin":false})");
    EXPECT_EQ(changed, 2);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
}

TEST_F(PanelTest, ThePinDecidesWhetherClosingAndOutsideClicksHide) {
    // XInput returns once the server has sent the press to every listener; drainEvents then
    // hands it to the panel's click monitor and runs what that deferred.
    const auto clickAt = [&](double x, double y) {
        input.click(int(x), int(y));
        test::drainEvents();
    };
    post(R"({"action":"closeWindow"})");
    clickAt(5, 5);
    EXPECT_TRUE(panel->isVisible());  // pinned by default
    post(R"({"action":"togglePin","isPinned":false})");
    clickAt(xGeometry().midX(), xGeometry().midY());
    EXPECT_TRUE(panel->isVisible());  // a click on the panel itself
    clickAt(5, 5);
    EXPECT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
    panel->showForTextInput();
    post(R"({"action":"closeWindow"})");
    EXPECT_FALSE(panel->isVisible());
    panel->showForTextInput();
    post(R"({"action":"togglePin"})");
    post(R"({"action":"closeWindow","force":true})");
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PanelTest, PlacementIsBesideTheSelectionWithinTheScreen) {
    const auto centred = [&] {
        const Rect g = xGeometry();
        return std::abs(g.midX() - screen.midX()) <= 1 && g.midY() < screen.midY();
    };
    EXPECT_TRUE(test::spinUntil(centred));
    // Selections in desktop points (y up): mid-screen the panel goes beside with the tops
    // level; near the right edge, below.
    for (const auto& [selection, beside] :
         {std::pair{Rect(600, 500, 100, 50), true}, {Rect(1800, 500, 100, 50), false}}) {
        SCOPED_TRACE(selection.minX());
        panel->showWithOCRResult(OCRCaptureResult::emptyText(selection));
        const Rect s(selection.minX(), screen.maxY() - selection.maxY(), 100, 50);  // root
        EXPECT_TRUE(test::spinUntil([&, beside = beside] {
            const Rect g = xGeometry();
            return g.size == defaultPanelSize && g.minX() >= 0 && g.maxX() <= screen.maxX() &&
                   g.maxY() <= screen.maxY() &&
                   (beside ? g.minX() > s.maxX() && g.minY() == s.minY() : g.minY() > s.maxY());
        })) << xGeometry().minX()
            << "," << xGeometry().minY();
    }
    EXPECT_TRUE(test::spinUntil(
        [&] { return panel->pageState().find("showEmptyOCR") != std::string::npos; }));
    // Dragged by the page, whose y grows downwards; an incomplete step moves nothing.
    const Rect before = xGeometry();
    post(R"({"action":"moveWindowBy","dx":-30,"dy":40})");
    post(R"({"action":"moveWindowBy","dx":5})");
    EXPECT_TRUE(test::spinUntil(
        [&] { return xGeometry() == Rect(before.minX() - 30, before.minY() + 40, 430, 440); }));
    panel->showWithOCRResult(OCRCaptureResult::permissionDenied());
    EXPECT_TRUE(test::spinUntil(centred));
}

TEST_F(PanelTest, NoticesShowOnAHiddenPanelAndOnlyWebLinksOpen) {
    panel->hide();
    const RemoteControlDecision update{RemoteControlDecision::OptionalUpdateAvailable{
        "9.9.9", "新機能", "https://example.org/dl"}};
    panel->presentRemoteDecision(update);
    EXPECT_TRUE(panel->isVisible());
    ASSERT_TRUE(waitFor("remoteModalTitle", "textContent", remoteModalFor(update)->title));
    // The page's action button opens the link and dismisses the notice for good.
    page->eval("velaApp.confirmRemoteModalAction(); null");
    ASSERT_TRUE(test::spinUntil([&] { return store.config().dismissedPopupId == "update-9.9.9"; }));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/dl"});
    post(R"({"action":"openExternalURL","url":"file:///etc/passwd"})");
    post(R"({"action":"dismissRemotePopup","id":""})");
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(store.config().dismissedPopupId, "update-9.9.9");
    // A visible panel stays where it is.
    const Rect before = xGeometry();
    post(R"({"action":"triggerDemoRemotePopup"})");
    ASSERT_TRUE(waitFor("remoteModalTitle", "textContent", PanelTexts::demoNoticeTitle));
    EXPECT_EQ(xGeometry(), before);
}

// Released after a short time hidden, so the test can watch the page go and come back.
struct PageLifecycleTest : PanelTest {
    PageLifecycleTest() { idleRelease = 300ms; }
};

TEST_F(PageLifecycleTest, RefusesNavigationAndComesBackAsItWasAfterACrashOrAnIdleRelease) {
    int released = 0, loads = 0;
    panel->onPageReleased = [&] { ++released; };
    page->eval(
        "const s = document.getElementById('sourceInput'); s.value = 'survive';"
        "s.dispatchEvent(new Event('input')); velaApp.submitTranslate(); velaApp.togglePin(); "
        "null");
    ASSERT_TRUE(waitFor("targetBody", "textContent", "訳:survive"));
    g_signal_connect(panel->webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer n) {
                         *static_cast<int*>(n) += e == WEBKIT_LOAD_STARTED;
                     }),
                     &loads);
    // WebKit asks about each navigation; the only load that follows is the crash's reload.
    int asked = 0;
    const guint decide = g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW);
    const gulong hook = g_signal_add_emission_hook(
        decide, 0,
        +[](GSignalInvocationHint*, guint, const GValue*, gpointer n) {
            return gboolean(++*static_cast<int*>(n));
        },
        &asked, nullptr);
    for (const std::string& navigation :
         {std::string("location.reload()"), "location.href = '" + server.baseURL() + "'"}) {
        const int before = asked;
        page->eval(navigation + "; null");
        EXPECT_TRUE(test::spinUntil([&] { return asked > before; })) << navigation;
    }
    g_signal_remove_emission_hook(decide, hook);
    panel->showSettingsModal();
    ASSERT_TRUE(test::spinUntil(
        [&] { return panel->pageState().find("\"settingsOpen\":true") != std::string::npos; }));
    const std::vector<pid_t> before = webProcesses();
    ASSERT_EQ(before.size(), 1u);
    ::kill(before[0], SIGKILL);
    // A new process loads the page again; nothing else has loaded since the navigations.
    ASSERT_TRUE(test::spinUntil([&] { return loads == 1 && panel->isWebLoaded(); }, 30s));
    EXPECT_EQ(webProcesses().size(), 1u);
    EXPECT_NE(webProcesses(), before);
    ASSERT_TRUE(waitFor("targetBody", "textContent", "訳:survive"));
    EXPECT_EQ(
        std::tuple(dom("sourceInput", "value"), dom("settingsLayer", "classList.contains('open')")),
        std::tuple("survive", true));
    // Hidden past the delay the page and its process go; a script asked for meanwhile runs
    // after the next show has brought the page back.
    page.reset();
    panel->hide();
    ASSERT_TRUE(test::spinUntil([&] { return released == 1 && webProcesses().empty(); }, 20s));
    EXPECT_EQ(panel->webView(), nullptr);
    panel->runJS("window.seen = [document.getElementById('sourceInput').value, velaApp.isPinned];");
    panel->showForTextInput();
    attach();
    ASSERT_TRUE(test::spinUntil([&] { return page->eval("window.seen") != nullptr; }));
    EXPECT_EQ(page->eval("window.seen"), json({"survive", false}));
    EXPECT_EQ(dom("targetBody", "textContent"), "訳:survive");
}

TEST_F(PanelTest, KeysReachTheReopenedPageAndControlVPastesOnce) {
    // Plain Xvfb runs no compositing manager: the card fills the window.
    EXPECT_TRUE(test::spinUntil([&] {
        return page->eval("document.documentElement.classList.contains('opaque-window')") == true;
    }));
    post(R"({"action":"togglePin","isPinned":false})");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        page->focus();
        input.chord({"Escape"});
        ASSERT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
        panel->showForTextInput();
        ASSERT_TRUE(test::spinUntil([&] {
            return page->eval("document.hasFocus() && document.activeElement.id") == "sourceInput";
        }));
        // The first key after reopening arrives too, over the text the panel selected.
        const std::string word = round ? "ok" : "hi";
        input.type(word);
        ASSERT_TRUE(waitFor("sourceInput", "value", word)) << dom("sourceInput", "value");
    }
    setClipboardText("クリップ");
    ASSERT_TRUE(test::spinUntil([] { return clipboardText() == "クリップ"; }));
    page->eval("document.getElementById('sourceInput').value = 'a'; null");
    input.chord({"Control_L", "v"});
    // The key typed after the paste arrives after it: a second paste would show before it.
    input.type("x");
    ASSERT_TRUE(test::spinUntil(
        [&] { return dom("sourceInput", "value").get<std::string>().ends_with("x"); }));
    EXPECT_EQ(dom("sourceInput", "value"), "aクリップx");
    post(R"({"action":"pasteClipboardToActiveInput"})");  // the page's own fallback
    EXPECT_TRUE(waitFor("sourceInput", "value", "aクリップxクリップ"));
}

}  // namespace
}  // namespace vela
