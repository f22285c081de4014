// The real panel under an X server: its real page, the real coordinator and HTTP
// transport talking to a loopback server, real X input. The page's messages are posted
// from inside the page exactly as its controls post them; results are read from the DOM.
#include <gtest/gtest.h>

#include <atomic>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/WebViewHarness.h"
#include "tests/support/gui/XInput.h"

namespace vela {
namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensureGtk()) << "the GUI tests need an X server (DISPLAY)";
        ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);  // the autostart entry goes here
        panel = std::make_unique<FloatingTranslationPanel>(store, coordinator);
        panel->openURL = [this](const std::string& url) { opened.push_back(url); };
        panel->showForTextInput();
        ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
    }
    // The message travels before the evaluation's reply on the page's one channel, so the
    // panel has handled it when eval returns; drainEvents runs what it deferred to the loop.
    void post(const std::string& message) {
        page->eval("window.webkit.messageHandlers.vela.postMessage(" + message + "); null");
        test::drainEvents();
    }
    json dom(const std::string& id, const std::string& member = "value") {
        return page->eval("document.getElementById('" + id + "')." + member);
    }
    bool waitFor(const std::string& id, const json& want, const std::string& of = "textContent") {
        return test::spinUntil([&] { return dom(id, of) == want; });
    }
    // The panel's window on the root window, as the X server has it (GDK asks it).
    Rect xGeometry() {
        GdkRectangle r{};
        gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(panel->window())), &r);
        return Rect(r.x, r.y, r.width, r.height);
    }

    void TearDown() override { release(); }
    void release() {
        released = true;
        released.notify_all();
    }
    // A builtin service on loopback: "訳:" + the text; texts starting "slow" get their
    // answer only once the test releases them.
    test::CannedResponse answer(const test::RecordedRequest& r) {
        if (r.param("q").starts_with("slow"))
            released.wait(false);
        return {200, "[[[" + test::jsonString("訳:" + r.param("q")) + "]]]"};
    }

    std::atomic<bool> released = false;
    test::TempDir home;
    ConfigStore store{home / "VelaJP" / "config.json"};
    test::LoopbackHttpServer server{[this](const auto& r) { return answer(r); }};
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
        "'showError', 'showEmptyInput']) { const draw = velaApp[f]; velaApp[f] = (...a) => "
        "(shown.push(a.length ? a[0] : f), draw(...a)); } null");
    post(R"({"action":"translate","text":"slow first","targetLang":"ko"})");
    ASSERT_TRUE(test::spinUntil([&] { return server.requestCount() >= 1; }));
    // Hostile text survives the way out and the way back.
    post(R"({"action":"translate","text":" it's a \\ back\r\nslash </script> \u2028 ${x} \"q\"\n",)"
         R"("sourceLang":"ja","targetLang":"en"})");
    const std::string shown = "訳:it's a \\ back\nslash </script> \u2028 ${x} \"q\"";
    ASSERT_TRUE(waitFor("targetBody", shown)) << dom("targetBody", "textContent");
    EXPECT_EQ(store.config().sourceLanguage + store.config().targetLanguage, "jaen");
    // The first answer comes now; the next translation starts after it, so by the time
    // that one is shown, a leaked first answer would have been shown too.
    release();
    post(R"({"action":"translate","text":"third"})");
    ASSERT_TRUE(waitFor("targetBody", "訳:third"));
    // A swap stores and shows the swapped pair; it translates real text only.
    post(R"({"action":"swapLanguages","sourceLang":"ko","targetLang":"ja","text":" \n"})");
    EXPECT_TRUE(waitFor("srcLang", "ja", "value"));
    post(R"({"action":"swapLanguages","text":"こんにちは"})");  // from the stored pair
    ASSERT_TRUE(waitFor("targetBody", "訳:こんにちは"));
    EXPECT_EQ(store.config().sourceLanguage + store.config().targetLanguage, "koja");
    EXPECT_EQ(page->eval("shown"), json({"setLoading", "setLoading", shown, "setLoading",
                                         "訳:third", "setLoading", "訳:こんにちは"}));
}

TEST_F(PanelTest, SettingsSaveShowsTheRefusalOrStoresEverything) {
    const std::string open = "classList.contains('open')",
                      fileBefore = test::readFile(store.fileURL());
    panel->showSettingsModal();
    ASSERT_TRUE(waitFor("settingsLayer", true, open));
    const std::string save = R"({"action":"saveSettings","channelMode":"custom",)"
                             R"("baseURL":"https://llm/v1","launchAtLogin":true)";
    post(save + "}");  // the custom channel without a key
    EXPECT_TRUE(waitFor("settingsMsg", "✗ " + std::string(PanelTexts::customChannelNeedsKey)));
    EXPECT_EQ(test::readFile(store.fileURL()), fileBefore);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
    post(save + R"(,"apiKey":"sk-4242"})");
    ASSERT_TRUE(waitFor("settingsLayer", false, open));
    const VelaConfig c = store.config();
    EXPECT_EQ(std::tie(c.channelMode, c.customBaseURL, c.customApiKey, c.launchAtLogin),
              std::make_tuple(TranslationChannelMode::custom, "https://llm/v1", "sk-4242", true));
    EXPECT_NE(test::readFile(launchAtLoginEntryPath()).find(runningProgramPath()->string()),
              std::string::npos);
    post(R"({"action":"saveSettings","channelMode":"custom","launchAtLogin":false})");
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
}

TEST_F(PanelTest, ControlVPastesOnceAndThePinDecidesWhatHides) {
    setClipboardText("クリップ");
    ASSERT_TRUE(test::spinUntil([] { return clipboardText() == "クリップ"; }));
    page->focus();
    page->eval("document.getElementById('sourceInput').value = 'a'; null");
    input.chord({"Control_L", "v"});
    input.type("x");  // arrives after the paste: a second paste would show before it
    ASSERT_TRUE(
        test::spinUntil([&] { return dom("sourceInput").get<std::string>().ends_with("x"); }));
    EXPECT_EQ(dom("sourceInput"), "aクリップx");
    post(R"({"action":"pasteClipboardToActiveInput"})");  // the page's own fallback
    EXPECT_TRUE(waitFor("sourceInput", "aクリップxクリップ", "value"));
    // XInput returns once the server has sent the press to every listener; drainEvents then
    // hands it to the panel's click monitor and runs what that deferred.
    const auto clickAt = [&](int x, int y) {
        input.click(x, y);
        test::drainEvents();
    };
    post(R"({"action":"closeWindow"})");
    clickAt(5, 5);
    EXPECT_TRUE(panel->isVisible());  // pinned by default
    post(R"({"action":"togglePin","isPinned":false})");
    clickAt(int(xGeometry().midX()), int(xGeometry().midY()));
    EXPECT_TRUE(panel->isVisible());  // a click on the panel itself
    clickAt(5, 5);
    EXPECT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
    panel->showForTextInput();
    post(R"({"action":"togglePin"})");
    post(R"({"action":"closeWindow","force":true})");
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PanelTest, PlacementIsBesideTheSelectionWithinTheScreenAndNoticesMoveOnlyAHiddenPanel) {
    const Rect screen{0, 0, 1920, 1080};
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
        }));
    }
    panel->showWithOCRResult(OCRCaptureResult::permissionDenied());
    EXPECT_TRUE(test::spinUntil(centred));
    // Dragged by the page, whose y grows downwards; an incomplete step moves nothing.
    const Rect g = xGeometry(), moved(g.minX() - 30, g.minY() + 40, g.width(), g.height());
    post(R"({"action":"moveWindowBy","dx":-30,"dy":40})");
    post(R"({"action":"moveWindowBy","dx":5})");
    EXPECT_TRUE(test::spinUntil([&] { return xGeometry() == moved; }));
    // A notice leaves a visible panel where it is; its action button opens the link and
    // dismisses the notice for good.
    const RemoteControlDecision update{RemoteControlDecision::OptionalUpdateAvailable{
        "9.9.9", "新機能", "https://example.org/dl"}};
    panel->presentRemoteDecision(update);
    ASSERT_TRUE(waitFor("remoteModalTitle", remoteModalFor(update)->title));
    EXPECT_EQ(xGeometry(), moved);
    page->eval("velaApp.confirmRemoteModalAction(); null");
    ASSERT_TRUE(test::spinUntil([&] { return store.config().dismissedPopupId == "update-9.9.9"; }));
    post(R"({"action":"openExternalURL","url":"file:///etc/passwd"})");
    post(R"({"action":"dismissRemotePopup","id":""})");
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/dl"});
    EXPECT_EQ(store.config().dismissedPopupId, "update-9.9.9");
    // A hidden panel comes back centred for a notice, wherever it was dragged before.
    panel->hide();
    panel->presentRemoteDecision({RemoteControlDecision::PopupBroadcast{{"b", "t", "m", "", ""}}});
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(test::spinUntil(centred));
}

}  // namespace
}  // namespace vela
