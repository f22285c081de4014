// The real panel under an X server: its real page, the real coordinator and HTTP
// transport talking to a loopback server, real X input. The page's messages are posted
// from inside the page exactly as its buttons do; results are read back from the DOM.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/panel/FloatingTranslationPanel.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/X11ScreenSource.h"
#include "core/capture/TextProcessor.h"
#include "core/support/UnicodeText.h"
#include "core/translation/HTTPTranslationTransport.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/WebViewHarness.h"
// Xlib last: its macros (None, Bool, Success) clash with names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace vela {
namespace {

using namespace std::chrono_literals;
using M = ShortcutModifier;

// A builtin service on loopback: "訳:" + the text, slowly for texts starting "slow",
// failing for "fail".
test::CannedResponse answer(const test::RecordedRequest& r) {
    const std::string q = r.param("q");
    if (q == "fail")
        return {500, "down"};
    std::string translated = test::jsonString("訳:" + q);
    test::CannedResponse response;
    if (r.path == "/get") {
        response = {200, R"({"responseData":{"translatedText":)" + translated +
                             R"(},"responseStatus":200})"};
    } else {
        response = {200, "[[[" + translated + "," + test::jsonString(q) + "]],null,\"en\"]"};
    }
    if (q.starts_with("slow"))
        response.delay = 1500ms;
    return response;
}

// The live web processes this process started (WebKit's are its direct children).
std::vector<pid_t> webProcesses() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && state != 'Z' &&
            line.substr(open + 1, close - open - 1) == "WebKitWebProces") {
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
        store = std::make_unique<ConfigStore>(home / "VelaJP" / "config.json");
        server = std::make_unique<test::LoopbackHttpServer>(answer);
        coordinator = std::make_unique<TranslationCoordinator>(
            *store,
            std::make_unique<HTTPTranslationTransport>(server->baseURL(), server->baseURL()));
        panel = std::make_unique<FloatingTranslationPanel>(*store, *coordinator);
        panel->openURL = [this](const std::string& url) { opened.push_back(url); };
        panel->showForTextInput();
        ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
        page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
        page->settle();
    }
    void TearDown() override {
        page.reset();
        panel.reset();
        coordinator.reset();
        server.reset();
    }

    // Posts a message from the page, as its controls do.
    void post(const nlohmann::json& message) {
        page->eval("window.webkit.messageHandlers.vela.postMessage(" + message.dump() + "); null");
        // The message and the evaluation's reply travel on one channel: once the reply is
        // here, a short spin lets the panel handle the message (a hidden page paints no
        // frames, so waiting for paint would hang).
        test::spinFor(60ms);
    }
    std::string text(const std::string& id) { return page->text(id); }
    bool hasClass(const std::string& id, const std::string& cls) {
        return page->eval("document.getElementById('" + id + "').classList.contains('" + cls +
                          "')") == true;
    }
    bool waitForText(const std::string& id, const std::string& expected,
                     std::chrono::milliseconds limit = 10s) {
        return test::spinUntil([&] { return text(id) == expected; }, limit);
    }
    // The panel's X11 window: top-left corner on the root window, and size.
    Rect xGeometry() {
        GdkWindow* w = gtk_widget_get_window(GTK_WIDGET(panel->window()));
        Display* dpy = GDK_WINDOW_XDISPLAY(w);
        XSync(dpy, False);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(dpy, GDK_WINDOW_XID(w), DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
        XWindowAttributes attrs{};
        XGetWindowAttributes(dpy, GDK_WINDOW_XID(w), &attrs);
        return Rect(x, y, attrs.width, attrs.height);
    }
    bool waitForGeometry(const Rect& expected) {
        return test::spinUntil([&] { return xGeometry() == expected; }, 5s);
    }
    void screenshot(const std::string& name) {
        auto dir = std::filesystem::path(VELA_BINARY_DIR) / "screenshots";
        std::filesystem::create_directories(dir);
        page->settle();
        std::string cmd =
            "import -window root " + (dir / (name + ".png")).string() + " 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    test::TempDir home;
    std::unique_ptr<ConfigStore> store;
    std::unique_ptr<test::LoopbackHttpServer> server;
    std::unique_ptr<TranslationCoordinator> coordinator;
    std::unique_ptr<FloatingTranslationPanel> panel;
    std::unique_ptr<test::WebViewHarness> page;
    std::vector<std::string> opened;
};

TEST_F(PanelTest, TranslateRendersEveryOutcome) {
    // Hostile text survives escaping on the way in and out.
    const std::string hostile = "it's a \\ back\r\nslash </script> \u2028 ${x} \"q\"";
    post({{"action", "translate"}, {"text", hostile}, {"sourceLang", "en"}, {"targetLang", "ja"}});
    std::string expected = "訳:it's a \\ back\nslash </script> \u2028 ${x} \"q\"";
    ASSERT_TRUE(waitForText("targetBody", expected)) << text("targetBody");
    EXPECT_TRUE(std::regex_match(text("latencyLabel"), std::regex(R"(\d+\.\d\ds)")))
        << text("latencyLabel");
    EXPECT_EQ(server->requestCount(), 1u);
    EXPECT_EQ(server->requests()[0].param("q"), trimmed(hostile));
    screenshot("panel-translated");

    post({{"action", "translate"}, {"text", " \n\u3000"}});
    ASSERT_TRUE(waitForText("targetBody", "翻訳するテキストを入力してください"));
    EXPECT_EQ(text("latencyLabel"), "-");

    post({{"action", "translate"}, {"text", "fail"}});
    ASSERT_TRUE(waitForText("latencyLabel", "エラー"));
    EXPECT_NE(text("targetBody").find("再試行"), std::string::npos);
    EXPECT_GT(text("targetBody").size(), std::string("再試行").size());

    store->update([](VelaConfig& c) {
        c.forceUpdateBlocked = true;
        c.forceUpdateMessage = "このバージョンは使えません";
        c.forceUpdateURL = "https://example.org/update";
    });
    std::size_t before = server->requestCount();
    post({{"action", "translate"}, {"text", "hello"}});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }, 10s));
    EXPECT_EQ(text("remoteModalTitle"), "必須アップデートのお知らせ");
    EXPECT_EQ(text("remoteModalMsg"), "このバージョンは使えません");
    EXPECT_EQ(server->requestCount(), before);  // blocked before any request
    screenshot("panel-force-update");
}

TEST_F(PanelTest, OnlyTheLatestTranslationReachesThePage) {
    post({{"action", "translate"},
          {"text", "slow first"},
          {"sourceLang", "en"},
          {"targetLang", "ko"}});
    post({{"action", "translate"}, {"text", "second"}, {"sourceLang", "ja"}, {"targetLang", "en"}});
    ASSERT_TRUE(waitForText("targetBody", "訳:second"));
    test::spinFor(2s);  // long enough for the slow answer to have come back
    EXPECT_EQ(text("targetBody"), "訳:second");
    EXPECT_EQ(store->config().sourceLanguage, "ja");
    EXPECT_EQ(store->config().targetLanguage, "en");
}

TEST_F(PanelTest, SwapStoresLanguagesAndRetranslatesOnlyRealText) {
    post({{"action", "swapLanguages"},
          {"sourceLang", "en"},
          {"targetLang", "ja"},
          {"text", "  \n"}});
    EXPECT_TRUE(test::spinUntil(
        [&] { return page->eval("document.getElementById('srcLang').value") == "ja"; }));
    EXPECT_EQ(page->eval("document.getElementById('tgtLang').value"), "en");
    EXPECT_EQ(store->config().sourceLanguage, "ja");
    EXPECT_EQ(store->config().targetLanguage, "en");
    test::spinFor(300ms);
    EXPECT_EQ(server->requestCount(), 0u);

    post({{"action", "swapLanguages"}, {"text", "こんにちは"}});  // from the stored pair
    ASSERT_TRUE(waitForText("targetBody", "訳:こんにちは"));
    EXPECT_EQ(store->config().sourceLanguage, "en");
    EXPECT_EQ(store->config().targetLanguage, "ja");
    EXPECT_EQ(server->requestCount(), 1u);
}

TEST_F(PanelTest, SaveSettingsRefusesInOrderAndStoresOnSuccess) {
    panel->showSettingsModal();
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("settingsLayer", "open"); }));
    EXPECT_EQ(panel->frame().size, settingsPanelSize);
    std::vector<std::pair<ShortcutConfig, ShortcutConfig>> verified;
    bool accept = false;
    panel->onRegisterShortcuts = [&](const ShortcutConfig& c, const ShortcutConfig& t) {
        verified.emplace_back(c, t);
        return accept ? std::nullopt : std::optional(ShortcutValidationError::occupiedBySystem);
    };
    int changed = 0;
    panel->onShortcutsChanged = [&] { ++changed; };
    std::string fileBefore = test::readFile(store->fileURL());

    const auto refused = [&](nlohmann::json save, const std::string& message) {
        page->eval("document.getElementById('settingsMsg').textContent = ''");
        save["action"] = "saveSettings";
        post(save);
        EXPECT_TRUE(waitForText("settingsMsg", "✗ " + message))
            << save.dump() << " -> " << text("settingsMsg");
    };
    refused({{"channelMode", "custom"}, {"apiKey", "   "}},
            "カスタムAIを有効にするには APIキーを入力するか、標準エンジンを選択してください");
    refused({{"captureKey", "k"}, {"captureMods", nlohmann::json::array()}},
            "ショートカットには修飾キー（Ctrl / Alt / Super）を1つ以上含めてください");
    refused({{"captureKey", "g"}, {"captureMods", {"control", "option"}}},
            "スクショ翻訳とテキスト翻訳に同じショートカットは設定できません");
    refused({{"captureKey", "q"}, {"captureMods", {"command"}}},
            "このショートカットは既にシステムまたは他のアプリで使用されています");
    EXPECT_TRUE(verified.empty());
    refused({{"captureKey", "k"}, {"captureMods", {"control", "shift"}}, {"launchAtLogin", true}},
            "このショートカットは既にシステムまたは他のアプリで使用されています");
    ASSERT_EQ(verified.size(), 2u);
    EXPECT_EQ(verified[1],
              std::make_pair(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    EXPECT_EQ(test::readFile(store->fileURL()), fileBefore);
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
    EXPECT_EQ(changed, 0);

    accept = true;
    post({{"action", "saveSettings"},
          {"channelMode", "custom"},
          {"baseURL", " https://llm.example/v1 "},
          {"apiKey", " sk-test-4242 "},
          {"model", " "},
          {"launchAtLogin", true},
          {"captureKey", "k"},
          {"captureMods", {"shift", "bogus", "control"}}});
    ASSERT_TRUE(test::spinUntil([&] { return !hasClass("settingsLayer", "open"); }));
    VelaConfig c = store->config();
    EXPECT_EQ(c.channelMode, TranslationChannelMode::custom);
    EXPECT_EQ(c.customBaseURL, "https://llm.example/v1");
    EXPECT_EQ(c.customApiKey, "sk-test-4242");
    EXPECT_EQ(c.customModel, "deepseek-chat");
    EXPECT_TRUE(c.launchAtLogin);
    EXPECT_EQ(c.captureShortcut, ShortcutConfig("K", 40, {M::shift, M::control}));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(panel->frame().size, defaultPanelSize);
    std::string entry = test::readFile(launchAtLoginEntryPath());
    EXPECT_NE(entry.find("Exec=" + runningProgramPath()->string()), std::string::npos) << entry;
    // The page now shows the saved state.
    EXPECT_TRUE(waitForText("compactHotkeys", "Ctrl+Shift+K / Ctrl+Alt+G"));
    // The refusals of that visit do not greet the next one.
    panel->showSettingsModal();
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("settingsLayer", "open"); }));
    EXPECT_FALSE(text("settingsMsg").starts_with("✗")) << text("settingsMsg");
    EXPECT_FALSE(hasClass("settingsMsg", "is-err"));

    post({{"action", "saveSettings"}, {"channelMode", "custom"}, {"launchAtLogin", false}});
    ASSERT_TRUE(test::spinUntil([&] { return changed == 2; }));
    EXPECT_FALSE(std::filesystem::exists(launchAtLoginEntryPath()));
    EXPECT_EQ(store->config().customApiKey, "sk-test-4242");  // a blank key keeps the saved one
}

TEST_F(PanelTest, LinksOpenOnlyForTheWebAndClosingRespectsThePin) {
    for (const char* url :
         {"file:///etc/passwd", "javascript:alert(1)", "not a url", "HTTPS://example.org/x"}) {
        post({{"action", "openExternalURL"}, {"url", url}});
    }
    EXPECT_EQ(opened, std::vector<std::string>{"HTTPS://example.org/x"});

    post({{"action", "closeWindow"}, {"force", false}});
    EXPECT_TRUE(panel->isVisible());  // pinned by default
    post({{"action", "togglePin"}, {"isPinned", false}});
    EXPECT_FALSE(store->config().isPinned);
    post({{"action", "closeWindow"}});
    EXPECT_FALSE(panel->isVisible());
    panel->showForTextInput();
    post({{"action", "togglePin"}});
    EXPECT_TRUE(store->config().isPinned);
    post({{"action", "closeWindow"}, {"force", true}});
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PanelTest, EscapeHidesWithoutLosingTheNextKey) {
    post({{"action", "togglePin"}, {"isPinned", false}});
    Display* dpy = GDK_WINDOW_XDISPLAY(gtk_widget_get_window(GTK_WIDGET(panel->window())));
    const auto type = [&](const char* keysym) {
        const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(keysym));
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        XFlush(dpy);
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        page->focus();
        type("Escape");
        ASSERT_TRUE(test::spinUntil([&] { return !panel->isVisible(); }));
        panel->showForTextInput();
        ASSERT_TRUE(test::spinUntil([&] {
            return page->eval("document.hasFocus() && document.activeElement.id") == "sourceInput";
        }));
        // Key by key, each waited for: the first one after reopening must arrive.
        const auto typed = [&] {
            return page->eval("document.getElementById('sourceInput').value");
        };
        std::string expected;
        for (const char* key : {"h", "e", "l", "l", "o"}) {
            type(key);
            expected += key;
            ASSERT_TRUE(test::spinUntil([&] { return typed() == expected; }, 5s)) << typed();
        }
    }
}

TEST_F(PanelTest, WithoutACompositorTheCardFillsTheWindow) {
    ASSERT_FALSE(gdk_screen_is_composited(gtk_widget_get_screen(GTK_WIDGET(panel->window()))))
        << "plain Xvfb runs no compositing manager";
    page->parkPointer();
    ASSERT_TRUE(test::spinUntil([&] {
        return page->eval("document.documentElement.classList.contains('opaque-window')") == true;
    }));
    page->settle();
    screenshot("panel-without-compositor");
    // Where the transparent margin was, an uncomposited window shows black; the card's own
    // background must reach into every corner instead (inside its 2-pixel border).
    const Rect g = xGeometry();
    auto screen = X11ScreenSource().freeze();
    ASSERT_TRUE(screen);
    const int x0 = int(g.minX()), y0 = int(g.minY()), x1 = int(g.maxX()) - 1,
              y1 = int(g.maxY()) - 1;
    for (auto [x, y] :
         {std::pair{x1 - 2, y0 + 3}, {x0 + 3, y1 - 2}, {x1 - 2, y1 - 2}, {x0 + 3, y0 + 3}}) {
        EXPECT_EQ(screen->image.at(x, y), 0xFFFFFFu) << "at " << x - x0 << ", " << y - y0;
    }
}

TEST_F(PanelTest, NoticesShowOnAHiddenPanelWithoutMovingAVisibleOne) {
    panel->presentRemoteDecision({RemoteControlDecision::UpToDate{}});
    EXPECT_FALSE(hasClass("remoteModalLayer", "open"));
    panel->hide();
    panel->presentRemoteDecision({RemoteControlDecision::OptionalUpdateAvailable{
        "9.9.9", "新機能", "https://example.org/dl"}});
    EXPECT_TRUE(panel->isVisible());
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_EQ(text("remoteModalTitle"), "新バージョン v9.9.9 が公開されました");
    EXPECT_EQ(text("remoteModalBadge"), "アップデート通知");
    screenshot("panel-optional-update");

    // The page's action button opens the link; closing stores the dismissed id.
    page->eval("window.velaApp.confirmRemoteModalAction(); null");
    test::spinFor(100ms);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/dl"});
    EXPECT_EQ(store->config().dismissedPopupId, "update-9.9.9");

    Rect before = xGeometry();
    post({{"action", "triggerDemoRemotePopup"}});
    ASSERT_TRUE(test::spinUntil([&] { return hasClass("remoteModalLayer", "open"); }));
    EXPECT_EQ(text("remoteModalBadge"), "お知らせ");
    EXPECT_EQ(xGeometry(), before);
    post({{"action", "dismissRemotePopup"}, {"id", ""}});
    EXPECT_EQ(store->config().dismissedPopupId, "update-9.9.9");
}

TEST_F(PanelTest, PlacementFollowsTheScreenAndStaysVisible) {
    GdkRectangle work;
    gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default())
                                 ?: gdk_display_get_monitor(gdk_display_get_default(), 0),
                             &work);
    const double W = work.width, H = work.height;  // no panels under Xvfb: the whole screen
    // Centred, the centre at 56 % of the height from the bottom.
    double x = std::round(W / 2 - 215), y = std::round(H * 0.56 - 220);
    EXPECT_TRUE(waitForGeometry(Rect(x, H - y - 440, 430, 440)))
        << xGeometry().minX() << "," << xGeometry().minY();

    // Settings grow downwards from the same top edge.
    panel->showSettingsModal();
    EXPECT_TRUE(waitForGeometry(Rect(x, H - y - 440, 470, 640)));
    EXPECT_TRUE(test::spinUntil([&] { return hasClass("settingsLayer", "open"); }));
    EXPECT_TRUE(test::spinUntil([&] {
        return page->eval("window.innerWidth") == 470 && page->eval("window.innerHeight") == 640;
    }));
    screenshot("panel-settings");
    panel->resizePanel(defaultPanelSize);

    // Beside a selection near the right edge: where clampWindowOrigin puts it.
    Rect selection(W - 120, 500, 100, 50);
    panel->showWithOCRResult(OCRCaptureResult::emptyText(selection));
    Point o = TextProcessor::clampWindowOrigin(selection, defaultPanelSize, Rect(0, 0, W, H), 12);
    EXPECT_TRUE(waitForGeometry(Rect(o.x, H - o.y - 440, 430, 440)));
    EXPECT_LE(o.x + 430, W - 8);
    EXPECT_TRUE(test::spinUntil([&] {
        return text("targetBody").find("テキストが検出されませんでした") != std::string::npos;
    }));

    // Dragged by the page: page y grows downwards.
    post({{"action", "moveWindowBy"}, {"dx", -30}, {"dy", 40}});
    EXPECT_TRUE(waitForGeometry(Rect(o.x - 30, H - o.y - 440 + 40, 430, 440)));
    post({{"action", "moveWindowBy"}, {"dx", 5}});  // incomplete: no move
    EXPECT_TRUE(waitForGeometry(Rect(o.x - 30, H - o.y - 440 + 40, 430, 440)));

    // Bigger than the work area: on the left and bottom margins.
    panel->resizePanel(Size{W + 100, H + 100});
    EXPECT_TRUE(waitForGeometry(Rect(8, H - 8 - (H + 100), W + 100, H + 100)));

    panel->showWithOCRResult(OCRCaptureResult::permissionDenied());
    EXPECT_TRUE(waitForGeometry(Rect(x, H - y - 440, 430, 440)));
}

TEST_F(PanelTest, OutsideClicksHideOnlyAnUnpinnedPanel) {
    Display* dpy = GDK_WINDOW_XDISPLAY(gtk_widget_get_window(GTK_WIDGET(panel->window())));
    const auto clickAt = [&](int x, int y) {
        XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
        XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
        XFlush(dpy);
        test::spinFor(400ms);
    };
    Rect g = xGeometry();
    clickAt(5, 5);
    EXPECT_TRUE(panel->isVisible());  // pinned
    post({{"action", "togglePin"}, {"isPinned", false}});
    clickAt(int(g.midX()), int(g.midY()));
    EXPECT_TRUE(panel->isVisible());  // a click on the panel itself
    clickAt(5, 5);
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(PanelTest, ControlVPastesExactlyOnce) {
    setClipboardText("クリップ");
    ASSERT_TRUE(test::spinUntil([] { return clipboardText() == "クリップ"; }));
    page->focus();
    page->eval(
        "const s = document.getElementById('sourceInput'); s.value = 'a'; s.focus(); "
        "s.setSelectionRange(1, 1);");
    page->pressKey("v", {"Control_L"});
    ASSERT_TRUE(test::spinUntil([&] {
        return page->eval("document.getElementById('sourceInput').value") == "aクリップ";
    })) << page->eval("document.getElementById('sourceInput').value");
    test::spinFor(500ms);
    EXPECT_EQ(page->eval("document.getElementById('sourceInput').value"), "aクリップ");

    // The page's own fallback message inserts by script as well.
    post({{"action", "pasteClipboardToActiveInput"}});
    EXPECT_TRUE(test::spinUntil([&] {
        return page->eval("document.getElementById('sourceInput').value") == "aクリップクリップ";
    }));
}

TEST_F(PanelTest, IdleReleaseEndsThePageProcessAndTheNextShowRestoresItsState) {
    page.reset();
    panel = std::make_unique<FloatingTranslationPanel>(*store, *coordinator, 100ms);
    int released = 0;
    panel->onPageReleased = [&] { ++released; };
    panel->showForTextInput("hello state", true);
    ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
    page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
    ASSERT_TRUE(waitForText("targetBody", "訳:hello state"));
    page->eval("window.velaApp.togglePin(); null");
    ASSERT_TRUE(test::spinUntil([&] { return !store->config().isPinned; }));
    ASSERT_TRUE(test::spinUntil(
        [&] { return panel->pageState().find("訳:hello state") != std::string::npos; }));
    const std::vector<pid_t> before = webProcesses();
    ASSERT_EQ(before.size(), 1u);

    page.reset();
    panel->hide();
    ASSERT_TRUE(test::spinUntil([&] { return released == 1 && webProcesses().empty(); }, 20s));
    EXPECT_EQ(panel->webView(), nullptr);
    // Asked for while the page is away: runs after the configuration and the restore.
    panel->runJS(
        "window.seen = [document.getElementById('sourceInput').value, window.velaApp.isPinned];");

    panel->showForTextInput();
    ASSERT_TRUE(test::spinUntil([&] { return panel->isWebLoaded(); }, 30s));
    page = std::make_unique<test::WebViewHarness>(panel->webView(), panel->window());
    EXPECT_EQ(webProcesses().size(), 1u);
    ASSERT_TRUE(test::spinUntil([&] { return page->eval("window.seen") != nullptr; }));
    EXPECT_EQ(page->eval("window.seen"), nlohmann::json({"hello state", false}));
    EXPECT_EQ(text("targetBody"), "訳:hello state");
    EXPECT_EQ(text("pinBadge"), "外部クリックで閉じる");
    EXPECT_EQ(released, 1);
}

TEST_F(PanelTest, PageRefusesNavigationOffersOnlyEditingAndOutlivesItsProcess) {
    Display* dpy = GDK_WINDOW_XDISPLAY(gtk_widget_get_window(GTK_WIDGET(panel->window())));
    // The labels of the context menu on screen after a right-click at an element.
    const auto contextMenuAt = [&](const std::string& selector) {
        Rect g = xGeometry();
        test::Point at = page->centerOf(selector);
        XTestFakeMotionEvent(dpy, -1, int(g.minX()) + at.x, int(g.minY()) + at.y, CurrentTime);
        XTestFakeButtonEvent(dpy, 3, True, CurrentTime);
        XTestFakeButtonEvent(dpy, 3, False, CurrentTime);
        XFlush(dpy);
        page->settle();  // the page has seen the click and asked for its menu
        std::vector<std::string> labels;
        test::spinUntil(
            [&] {
                GList* windows = gtk_window_list_toplevels();
                for (GList* w = windows; w; w = w->next) {
                    GtkWidget* child = gtk_bin_get_child(GTK_BIN(w->data));
                    if (!child || !GTK_IS_MENU(child) || !gtk_widget_get_mapped(child))
                        continue;
                    GList* items = gtk_container_get_children(GTK_CONTAINER(child));
                    for (GList* i = items; i; i = i->next) {
                        if (GTK_IS_MENU_ITEM(i->data) && !GTK_IS_SEPARATOR_MENU_ITEM(i->data))
                            labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(i->data)));
                    }
                    g_list_free(items);
                    gtk_menu_popdown(GTK_MENU(child));
                }
                g_list_free(windows);
                return !labels.empty();
            },
            2s);
        return labels;
    };
    EXPECT_TRUE(contextMenuAt("#targetBody").empty()) << "no Back, Stop or Reload";
    page->eval("const s = document.getElementById('sourceInput'); s.value = 'keep'; s.select();");
    EXPECT_EQ(contextMenuAt("#sourceInput"),
              (std::vector<std::string>{"切り取り", "コピー", "貼り付け", "すべて選択"}));

    // Navigations are refused: the page and what it holds stay.
    int started = 0;
    g_signal_connect(panel->webView(), "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent e, gpointer n) {
                         *static_cast<int*>(n) += e == WEBKIT_LOAD_STARTED;
                     }),
                     &started);
    int decisions = 0;
    guint decidePolicy = g_signal_lookup("decide-policy", WEBKIT_TYPE_WEB_VIEW);
    gulong hook = g_signal_add_emission_hook(
        decidePolicy, 0,
        +[](GSignalInvocationHint*, guint, const GValue*, gpointer n) {
            ++*static_cast<int*>(n);
            return gboolean(TRUE);
        },
        &decisions, nullptr);
    for (const char* navigation : {"location.reload()", "location.href = 'https://example.org/'"}) {
        const int asked = decisions;
        page->eval(std::string(navigation) + "; null");
        EXPECT_TRUE(test::spinUntil([&] { return decisions > asked; })) << navigation;
        EXPECT_EQ(page->eval("document.getElementById('sourceInput').value"), "keep");
    }
    g_signal_remove_emission_hook(decidePolicy, hook);
    EXPECT_EQ(started, 0);
    g_signal_handlers_disconnect_by_data(panel->webView(), &started);

    // A killed web process: the page is loaded again and comes back as it was.
    page->eval(
        "const t = document.getElementById('sourceInput'); t.value = 'survive';"
        "t.dispatchEvent(new Event('input')); window.velaApp.submitTranslate();"
        "window.velaApp.togglePin();");
    ASSERT_TRUE(waitForText("targetBody", "訳:survive"));
    panel->showSettingsModal();
    ASSERT_TRUE(test::spinUntil([&] {
        return panel->pageState().find("\"settingsOpen\":true") != std::string::npos &&
               panel->pageState().find("訳:survive") != std::string::npos;
    }));
    const std::vector<pid_t> before = webProcesses();
    ASSERT_EQ(before.size(), 1u);
    ::kill(before[0], SIGKILL);
    ASSERT_TRUE(test::spinUntil(
        [&] {
            auto now = webProcesses();
            return now.size() == 1 && now != before && panel->isWebLoaded();
        },
        30s));
    ASSERT_TRUE(waitForText("targetBody", "訳:survive"));
    EXPECT_EQ(page->eval("document.getElementById('sourceInput').value"), "survive");
    EXPECT_TRUE(hasClass("settingsLayer", "open"));
    EXPECT_EQ(text("pinBadge"), "外部クリックで閉じる");
}

}  // namespace
}  // namespace vela
