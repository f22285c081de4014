// What the user's clicks and keys make the page post to the native side: real
// X key and mouse events (XTest) delivered to the web view.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

using nlohmann::json;

class PanelPageInputTest : public PanelPageTest {
  protected:
    void SetUp() override {
        PanelPageTest::SetUp();
        if (HasFatalFailure())
            return;
        page->focus();
    }
    void clickOn(const std::string& selector) { page->click(page->centerOf(selector)); }
    // Clicks a select and picks the option with `value` with the keyboard.
    void pickOption(const std::string& selectId, const std::string& value) {
        page->eval("document.getElementById('" + selectId + "').focus();");
        const int from = js("document.getElementById('" + selectId + "').selectedIndex").get<int>();
        const int to = js("[...document.getElementById('" + selectId +
                          "').options].findIndex(o => o.value === '" + value + "')")
                           .get<int>();
        ASSERT_GE(to, 0);
        for (int i = from; i < to; ++i)
            page->pressKey("Down");
        for (int i = from; i > to; --i)
            page->pressKey("Up");
    }
};

TEST_F(PanelPageInputTest, EnterTranslatesAndShiftEnterBreaksTheLine) {
    clickOn("#sourceInput");
    page->pressKey("Return");
    ASSERT_EQ(page->messages().size(), 1u) << "an empty field still asks for a translation";
    EXPECT_EQ(page->messages()[0], json({{"action", "translate"},
                                         {"text", ""},
                                         {"sourceLang", "auto"},
                                         {"targetLang", "ja"},
                                         {"isManual", false}}));
    page->clearMessages();

    page->pressKey("h");
    page->pressKey("i");
    page->pressKey("Return", {"Shift_L"});
    page->pressKey("y", {"Shift_L"});
    EXPECT_TRUE(page->messages().empty());
    EXPECT_EQ(value("sourceInput"), "hi\nY");
    page->pressKey("Return");
    EXPECT_EQ(value("sourceInput"), "hi\nY") << "Enter is swallowed";
    ASSERT_EQ(page->messages().size(), 1u);
    EXPECT_EQ(page->messages()[0]["text"], "hi\nY");

    // The translate button and the selectors post too: the source selector a
    // plain request, the target selector a manual one.
    page->clearMessages();
    clickOn("#translateBtn");
    pickOption("srcLang", "en");
    pickOption("tgtLang", "en");
    const auto posts = page->messagesWithAction("translate");
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_EQ(posts[0]["isManual"], false);
    EXPECT_EQ(posts[1], json({{"action", "translate"},
                              {"text", "hi\nY"},
                              {"sourceLang", "en"},
                              {"targetLang", "ja"},
                              {"isManual", false}}));
    EXPECT_EQ(posts[2], json({{"action", "translate"},
                              {"text", "hi\nY"},
                              {"sourceLang", "en"},
                              {"targetLang", "en"},
                              {"isManual", true}}));
}

TEST_F(PanelPageInputTest, SwapPinCopyAndCloseButtonsPostTheirActions) {
    page->eval(
        "document.getElementById('sourceInput').value = 'Hello';"
        "document.getElementById('srcLang').value = 'en';");
    clickOn("#swapBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "swapLanguages"},
                                                    {"sourceLang", "en"},
                                                    {"targetLang", "ja"},
                                                    {"text", "Hello"}}}));
    EXPECT_EQ(value("srcLang"), "en") << "the native answer swaps the selectors";
    page->clearMessages();

    clickOn("#pinBtn");
    EXPECT_EQ(page->messages(),
              std::vector<json>({{{"action", "togglePin"}, {"isPinned", false}}}));
    EXPECT_EQ(text("pinBadge"), "外部クリックで閉じる");
    EXPECT_EQ(js("document.getElementById('pinBtn').getAttribute('aria-pressed')"), "false");
    clickOn("#pinBtn");
    EXPECT_EQ(page->messages().back(), json({{"action", "togglePin"}, {"isPinned", true}}));
    EXPECT_EQ(text("pinBadge"), "最前面に固定中");
    page->clearMessages();

    // Copying: nothing is posted while there is nothing to copy.
    page->eval("document.getElementById('sourceInput').value = '';");
    clickOn("#copySrcBtn");
    EXPECT_TRUE(page->messages().empty());
    page->eval("velaApp.copyTarget();");
    EXPECT_TRUE(page->messages().empty());
    page->eval("document.getElementById('sourceInput').value = '原文です';");
    clickOn("#copySrcBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "copy"}, {"text", "原文です"}}}));
    EXPECT_EQ(text("copySrcBtn"), "✓ コピー完了");
    EXPECT_TRUE(hasClass("copySrcBtn", "is-copied"));
    // The colour eases in over the transition.
    EXPECT_TRUE(spinUntil(
        [&] {
            return js("getComputedStyle(document.getElementById('copySrcBtn')).color") ==
                   "rgb(35, 160, 148)";
        },
        std::chrono::seconds(2)));
    page->clearMessages();
    call("showTranslationSuccess('訳文です', 'ja', 321)");
    clickOn("#copyTgtBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "copy"}, {"text", "訳文です"}}}));
    EXPECT_EQ(text("copyTgtBtn"), "✓ コピー完了");
    EXPECT_TRUE(
        spinUntil([&] { return text("copySrcBtn") == "原文をコピー"; }, std::chrono::seconds(5)));
    EXPECT_TRUE(
        spinUntil([&] { return text("copyTgtBtn") == "訳文をコピー"; }, std::chrono::seconds(5)));
    call("setLoading()");
    page->clearMessages();
    page->eval("velaApp.copyTarget();");
    EXPECT_TRUE(page->messages().empty()) << "a loading result is not copyable";

    clickOn("#closeBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "closeWindow"}, {"force", true}}}));
    page->clearMessages();
    page->pressKey("Escape");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "closeWindow"}, {"force", false}}}));

    // Ctrl+V in a field asks the native side to paste, and only the native side
    // pastes (the web view's own paste would insert the text a second time).
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    page->eval("document.getElementById('sourceInput').value = '';");
    page->clearMessages();
    clickOn("#sourceInput");
    page->pressKey("v", {"Control_L"});
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "pasteClipboardToActiveInput"}}}));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(value("sourceInput"), "");
    page->eval("document.getElementById('sourceInput').blur();");
    page->clearMessages();
    page->pressKey("v", {"Control_L"});
    EXPECT_TRUE(page->messages().empty());
}

TEST_F(PanelPageInputTest, SettingsLayerPostsTheFormAndRecordsShortcuts) {
    // The native side enlarges the panel when the settings open.
    page->resize(470, 640);
    clickOn("#settingsBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "openSettings"}, {"open", true}}}));
    EXPECT_TRUE(shown("settingsLayer"));
    page->clearMessages();

    // Saving without recorded shortcuts sends the form only.
    clickOn("#saveSettingsBtn");
    ASSERT_EQ(page->messages().size(), 1u);
    EXPECT_EQ(page->messages()[0], json({{"action", "saveSettings"},
                                         {"channelMode", "builtin"},
                                         {"baseURL", "https://api.deepseek.com/v1"},
                                         {"apiKey", ""},
                                         {"clearSavedKey", false},
                                         {"model", "deepseek-chat"},
                                         {"launchAtLogin", false}}));
    page->clearMessages();

    // Ctrl+Alt+S for the capture shortcut.
    clickOn("#capKbdBtn");
    EXPECT_EQ(state("recordingTarget"), "capture");
    EXPECT_EQ(text("capKbdBtn"), "新しいキーを押してください...");
    EXPECT_TRUE(hasClass("capKbdBtn", "is-recording"));
    page->pressKey("Control_L");
    EXPECT_EQ(state("recordingTarget"), "capture") << "a modifier alone keeps recording";
    page->pressKey("s", {"Control_L", "Alt_L"});
    EXPECT_EQ(text("capKbdBtn"), "Ctrl + Alt + S");
    EXPECT_EQ(state("recordedCapture"), json({{"key", "S"}, {"mods", {"control", "option"}}}));
    EXPECT_EQ(state("recordingTarget"), nullptr);
    EXPECT_FALSE(hasClass("capKbdBtn", "is-recording"));

    // F5 without modifiers for the text shortcut; the page leaves the check to the native side.
    clickOn("#txtKbdBtn");
    page->pressKey("F5");
    EXPECT_EQ(text("txtKbdBtn"), "F5");
    EXPECT_EQ(state("recordedText"), json({{"key", "F5"}, {"mods", json::array()}}));

    // Escape only cancels a recording: the settings stay open, nothing else is posted.
    page->clearMessages();
    clickOn("#txtKbdBtn");
    page->pressKey("Escape");
    EXPECT_EQ(text("txtKbdBtn"), "F5");
    EXPECT_EQ(state("recordingTarget"), nullptr);
    EXPECT_TRUE(shown("settingsLayer"));
    EXPECT_EQ(page->messages(),
              (std::vector<json>{{{"action", "shortcutRecording"}, {"recording", true}},
                                 {{"action", "shortcutRecording"}, {"recording", false}}}));

    // Key names come from the physical key.
    clickOn("#txtKbdBtn");
    page->pressKey("7", {"Shift_L"});
    EXPECT_EQ(text("txtKbdBtn"), "Shift + 7");
    clickOn("#txtKbdBtn");
    page->pressKey("space", {"Control_L", "Shift_L"});
    EXPECT_EQ(text("txtKbdBtn"), "Ctrl + Shift + SPACE");
    // Super is the command modifier.
    clickOn("#txtKbdBtn");
    page->pressKey("x", {"Super_L"});
    EXPECT_EQ(text("txtKbdBtn"), "Super + X");
    EXPECT_EQ(state("recordedText"), json({{"key", "X"}, {"mods", {"command"}}}));
    clickOn("#txtKbdBtn");
    page->pressKey("Up", {"Alt_L"});
    EXPECT_EQ(text("txtKbdBtn"), "Alt + ARROWUP");
    EXPECT_EQ(state("recordedText"), json({{"key", "ARROWUP"}, {"mods", {"option"}}}));

    // Engine options, the typed key and the launch checkbox go into the save.
    clickOn("#radioCustomLabel");
    EXPECT_EQ(state("channelMode"), "custom");
    clickOn("#radioBuiltinLabel");
    EXPECT_EQ(state("channelMode"), "builtin");
    clickOn("#apiKeyInput");
    page->pressKey("space");
    EXPECT_EQ(state("channelMode"), "builtin") << "a blank key does not pick the custom channel";
    page->pressKey("k");
    EXPECT_EQ(state("channelMode"), "custom");
    EXPECT_TRUE(hasClass("radioCustomLabel", "active"));
    clickOn("#launchLoginChk");
    page->clearMessages();
    clickOn("#saveSettingsBtn");
    ASSERT_EQ(page->messages().size(), 1u);
    EXPECT_EQ(page->messages()[0], json({{"action", "saveSettings"},
                                         {"channelMode", "custom"},
                                         {"baseURL", "https://api.deepseek.com/v1"},
                                         {"apiKey", " k"},
                                         {"clearSavedKey", false},
                                         {"model", "deepseek-chat"},
                                         {"launchAtLogin", true},
                                         {"captureKey", "S"},
                                         {"captureMods", {"control", "option"}},
                                         {"textKey", "ARROWUP"},
                                         {"textMods", {"option"}}}));

    clickOn("#testKeyBtn");
    EXPECT_EQ(text("settingsMsg"), "API接続をテスト中...");
    EXPECT_EQ(page->messages().back(), json({{"action", "testConnection"},
                                             {"baseURL", "https://api.deepseek.com/v1"},
                                             {"apiKey", " k"},
                                             {"model", "deepseek-chat"}}));

    // Leaving the layer forgets what was recorded; Escape closes the layer, not the panel.
    page->clearMessages();
    page->eval("document.activeElement.blur();");
    page->pressKey("Escape");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "openSettings"}, {"open", false}}}));
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_EQ(state("recordedCapture"), nullptr);
    EXPECT_EQ(state("recordedText"), nullptr);
    clickOn("#settingsBtn");
    clickOn("#settingsBackBtn");
    EXPECT_EQ(page->messages().back(), json({{"action", "openSettings"}, {"open", false}}));
    clickOn("#settingsBtn");
    page->clearMessages();
    clickOn("#demoPopupBtn");
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "triggerDemoRemotePopup"}}}));
}

TEST_F(PanelPageInputTest, DeletingTheSavedKeyPicksTheBuiltinChannel) {
    page->resize(470, 640);
    call(R"(applyConfig({"isPinned":true,"channelMode":"custom","hasSavedApiKey":true,)"
         R"("maskedApiKeyHint":"sk-a••••wxyz","customModel":"deepseek-chat"}))");
    clickOn("#settingsBtn");
    ASSERT_TRUE(shown("clearKeyBtn"));
    clickOn("#clearKeyBtn");
    EXPECT_EQ(state("clearSavedKeyFlag"), true);
    EXPECT_EQ(state("hasSavedApiKey"), false);
    EXPECT_EQ(state("channelMode"), "builtin");
    EXPECT_EQ(placeholder("apiKeyInput"), "キー削除済み（「設定を保存」で反映）");
    EXPECT_EQ(value("apiKeyInput"), "");
    EXPECT_FALSE(shown("clearKeyBtn"));
    page->clearMessages();
    clickOn("#saveSettingsBtn");
    const json save = page->waitForMessage("saveSettings");
    EXPECT_EQ(save["clearSavedKey"], true);
    EXPECT_EQ(save["channelMode"], "builtin");
    EXPECT_EQ(save["apiKey"], "");
    // A new configuration resets the flag.
    call(R"(applyConfig({"isPinned":true,"hasSavedApiKey":false,"maskedApiKeyHint":""}))");
    EXPECT_EQ(state("clearSavedKeyFlag"), false);
}

TEST_F(PanelPageInputTest, OnlyEmptySpaceStartsAWindowDrag) {
    // A press on a button is a click, not a drag.
    clickOn("#pinBtn");
    ASSERT_EQ(page->messagesWithAction("togglePin").size(), 1u);
    EXPECT_TRUE(page->messagesWithAction("startWindowDrag").empty());
    // Neither does a press in the text field, on a selector or in the result text.
    call("showTranslationSuccess('選べる訳文', 'ja', 1)");
    for (const char* selector : {"#sourceInput", "#targetBody", "#copyTgtBtn"}) {
        SCOPED_TRACE(selector);
        const Point p = page->centerOf(selector);
        page->mouseDown(p);
        page->mouseMove({p.x + 12, p.y + 3});
        page->mouseUp({p.x + 12, p.y + 3});
        EXPECT_TRUE(page->messagesWithAction("startWindowDrag").empty());
        EXPECT_TRUE(page->messagesWithAction("moveWindowBy").empty());
    }
    page->clearMessages();

    // The header starts one; moves report screen deltas, y downwards.
    const Point start = page->centerOf(".brand");
    page->mouseDown(start);
    page->settle();
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "startWindowDrag"}}}));
    EXPECT_EQ(js("document.body.classList.contains('is-window-dragging')"), true);
    page->mouseMove({start.x + 15, start.y + 7});
    page->mouseMove({start.x + 10, start.y + 27});
    page->mouseUp({start.x + 10, start.y + 27});
    const auto moves = page->messagesWithAction("moveWindowBy");
    ASSERT_FALSE(moves.empty());
    int dx = 0, dy = 0;
    for (const auto& m : moves) {
        EXPECT_FALSE(m["dx"] == 0 && m["dy"] == 0);
        dx += m["dx"].get<int>();
        dy += m["dy"].get<int>();
    }
    EXPECT_EQ(dx, 10);
    EXPECT_EQ(dy, 27);
    EXPECT_EQ(js("document.body.classList.contains('is-window-dragging')"), false);

    // Moving after the release posts nothing; empty card space starts a drag too.
    page->clearMessages();
    page->mouseMove({start.x + 40, start.y + 40});
    page->settle();
    EXPECT_TRUE(page->messages().empty());
    const json footerGap =
        js("(() => { const a = document.getElementById('tgtLang').getBoundingClientRect();"
           " const b = document.getElementById('compactHotkeys').getBoundingClientRect();"
           " return [Math.round((a.right + b.left) / 2), Math.round(a.top + a.height / 2)]; })()");
    page->mouseDown({footerGap[0].get<int>(), footerGap[1].get<int>()});
    page->mouseUp({footerGap[0].get<int>(), footerGap[1].get<int>()});
    EXPECT_EQ(page->messagesWithAction("startWindowDrag").size(), 1u);
}

TEST(PanelPageWithoutNativeSide, WorksQuietlyAndKeepsTheNativePaste) {
    ASSERT_TRUE(ensureGtk()) << "the page tests need an X server (DISPLAY)";
    WebViewHarness::Options options;
    options.messageHandler = false;
    WebViewHarness page(panelPageHtml(), options);
    page.focus();
    // Every posting function runs without errors when nobody listens.
    page.eval(
        "document.getElementById('sourceInput').value = 'text';"
        "velaApp.submitTranslate(); velaApp.onTargetLangChange(); velaApp.swapLanguages();"
        "velaApp.togglePin(); velaApp.copySource(); velaApp.requestOpenSettings(true);"
        "velaApp.testKey(); velaApp.saveSettings(); velaApp.triggerDemoPopup();"
        "velaApp.requestOpenSettings(false); velaApp.closeWindow(false);"
        "velaApp.showRemoteModal({type: 'broadcast', id: 'a', buttonURL: 'https://example.test/'});"
        "velaApp.confirmRemoteModalAction();");
    EXPECT_EQ(page.eval("velaApp.isPinned"), false);
    EXPECT_EQ(page.text("copySrcBtn"), "✓ コピー完了");
    // With no native side to paste, Ctrl+V keeps the web view's own paste.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    page.eval("document.getElementById('sourceInput').value = '';");
    page.click(page.centerOf("#sourceInput"));
    page.pressKey("v", {"Control_L"});
    EXPECT_TRUE(spinUntil(
        [&] { return page.eval("document.getElementById('sourceInput').value") == "クリップ"; },
        std::chrono::seconds(5)));
    EXPECT_TRUE(page.messages().empty());
}

}  // namespace
}  // namespace vela::test
