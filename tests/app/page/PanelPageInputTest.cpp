// What the user's real keys and clicks (XTest) make the page post to the native side.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

json translate(const std::string& text, const char* src = "auto", const char* tgt = "ja",
               bool manual = false) {
    return {{"action", "translate"},
            {"text", text},
            {"sourceLang", src},
            {"targetLang", tgt},
            {"isManual", manual}};
}

class PanelPageInputTest : public PanelPageTest {
  protected:
    void SetUp() override {
        PanelPageTest::SetUp();
        if (!HasFatalFailure())
            page->focus();
    }
    void clickOn(const std::string& selector) { page->click(page->centerOf(selector)); }
};

TEST_F(PanelPageInputTest, EnterTranslatesUnlessItConfirmsAConversion) {
    clickOn("#sourceInput");
    page->pressKey("Return");
    EXPECT_EQ(posts(), std::vector{translate("")}) << "an empty field asks too";
    // The Enter that confirms an input method's conversion posts nothing: the next
    // ordinary Enter is the first request to arrive.
    for (const char* conversion : {"isComposing: true, keyCode: 13", "keyCode: 229"}) {
        SCOPED_TRACE(conversion);
        js(std::string("{ sourceInput.value = '変換'; const init = {key: 'Enter', ") + conversion +
           "}; const e = new KeyboardEvent('keydown', init); Object.defineProperty(e, 'keyCode', "
           "{value: init.keyCode}); sourceInput.dispatchEvent(e); sourceInput.value = 'after'; }");
        page->pressKey("Return");
        EXPECT_EQ(posts(), std::vector{translate("after")});
    }
    js("sourceInput.value = ''");
    page->pressKey("h");
    page->pressKey("Return", {"Shift_L"});
    page->pressKey("y", {"Shift_L"});
    EXPECT_TRUE(posts().empty()) << "Shift+Enter breaks the line";
    page->pressKey("Return");
    EXPECT_EQ(js("sourceInput.value"), "h\nY") << "Enter is swallowed";
    // The source selector asks plainly, the target selector manually.
    for (const char* select : {"srcLang", "tgtLang"}) {
        js(std::string(select) + ".focus()");
        page->pressKey("Down");
    }
    EXPECT_EQ(posts(), (std::vector{translate("h\nY"), translate("h\nY", "en"),
                                    translate("h\nY", "en", "en", true)}));
}

TEST_F(PanelPageInputTest, ButtonsAndKeysPostTheirActions) {
    const json badge = page->text("pinBadge");
    js("sourceInput.value = 'Hi'; srcLang.value = 'en'");
    const std::pair<std::string, const char*> steps[] = {
        // a selector to click, else a key
        {"#translateBtn", R"([{"action": "translate", "text": "Hi", "sourceLang": "en",
                              "targetLang": "ja", "isManual": false}])"},
        {"#swapBtn", R"([{"action": "swapLanguages", "sourceLang": "en", "targetLang": "ja",
                          "text": "Hi"}])"},
        {"#pinBtn", R"([{"action": "togglePin", "isPinned": false}])"},
        {"#pinBtn", R"([{"action": "togglePin", "isPinned": true}])"},
        {"#copySrcBtn", R"([{"action": "copy", "text": "Hi"}])"},
        {"#closeBtn", R"([{"action": "closeWindow", "force": true}])"},
        {"#settingsBtn", R"([{"action": "openSettings", "open": true}])"},
        {"#demoPopupBtn", R"([{"action": "triggerDemoRemotePopup"}])"},
        {"#settingsBackBtn", R"([{"action": "openSettings", "open": false}])"},
        {"#settingsBtn", R"([{"action": "openSettings", "open": true}])"},
        {"Escape", R"([{"action": "openSettings", "open": false}])"},
        {"Escape", R"([{"action": "closeWindow", "force": false}])"},
    };
    for (const auto& [input, expected] : steps) {
        SCOPED_TRACE(input);
        input[0] == '#' ? clickOn(input) : page->pressKey(input);
        EXPECT_EQ(json(posts()), json::parse(expected));
        EXPECT_EQ(page->text("pinBadge") == badge, js("velaApp.isPinned") == true);
    }
    EXPECT_EQ(js("srcLang.value"), "en") << "only the native answer swaps the selectors";

    // Copy feedback lasts a moment; an empty field or a result being loaded copies nothing.
    const json label = page->text("copyTgtBtn");
    call("showTranslationSuccess", "'訳文', 'ja', 321");
    clickOn("#copyTgtBtn");
    EXPECT_EQ(json(posts()), json::parse(R"([{"action": "copy", "text": "訳文"}])"));
    EXPECT_NE(page->text("copyTgtBtn"), label);
    EXPECT_TRUE(spinUntil([&] { return page->text("copyTgtBtn") == label; }));
    js("velaApp.setLoading(); velaApp.copyTarget(); sourceInput.value = ''");
    clickOn("#copySrcBtn");
    EXPECT_TRUE(posts().empty());

    // Ctrl+V in a field asks the native side, which alone pastes; elsewhere it asks nothing.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    clickOn("#sourceInput");
    page->pressKey("v", {"Control_L"});
    page->pressKey("x");
    EXPECT_EQ(js("sourceInput.value"), "x") << "the key after Ctrl+V lands in an unpasted field";
    js("sourceInput.blur()");
    page->pressKey("v", {"Control_L"});
    EXPECT_EQ(json(posts()), json::parse(R"([{"action": "pasteClipboardToActiveInput"}])"));
}

TEST_F(PanelPageInputTest, SettingsRecordShortcutsAndSaveTheForm) {
    page->resize(470, 640);  // the native side enlarges the panel for the settings
    json save = json::parse(R"({"action": "saveSettings", "channelMode": "builtin", "apiKey": "",
        "clearSavedKey": false, "launchAtLogin": false})");
    save["baseURL"] = VelaConfig{}.customBaseURL;  // the page starts with the native defaults
    save["model"] = VelaConfig{}.customModel;
    clickOn("#settingsBtn");
    clickOn("#saveSettingsBtn");
    EXPECT_EQ(posts().back(), save);

    struct Case {
        const char* button;
        std::vector<const char*> held;
        const char* key;
        const char* recorded;
    };
    const Case cases[] = {
        {"txtKbdBtn", {}, "F5", R"({"key": "F5", "mods": []})"},
        {"txtKbdBtn", {"Shift_L"}, "7", R"({"key": "7", "mods": ["shift"]})"},
        {"txtKbdBtn",
         {"Control_L", "Shift_L"},
         "space",
         R"({"key": "SPACE", "mods": ["control", "shift"]})"},
        {"txtKbdBtn", {"Super_L"}, "x", R"({"key": "X", "mods": ["command"]})"},
        {"txtKbdBtn", {"Alt_L"}, "Up", R"({"key": "ARROWUP", "mods": ["option"]})"},
        {"capKbdBtn",
         {"Control_L", "Alt_L"},
         "s",
         R"({"key": "S", "mods": ["control", "option"]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded);
        const json recorded = json::parse(c.recorded);
        clickOn(std::string("#") + c.button);
        page->pressKey("Control_L");  // a modifier alone keeps recording
        page->pressKey(c.key, c.held);
        std::vector<ShortcutModifier> mods;
        for (const auto& m : recorded["mods"])
            mods.push_back(*shortcutModifierFromRaw(m.get<std::string>()));
        // Shown as the native side shows a stored shortcut.
        EXPECT_EQ(page->text(c.button),
                  ShortcutConfig(recorded["key"].get<std::string>(), 0, mods).displayText());
        EXPECT_EQ(js(std::string("velaApp.recorded") + (c.button[0] == 'c' ? "Capture" : "Text")),
                  recorded);
        EXPECT_EQ(posts().size(), 2u) << "recording starts and ends";
    }
    const std::string recorder = "[txtKbdBtn.textContent, velaApp.recordedText]";
    const json before = js(recorder);
    clickOn("#txtKbdBtn");
    page->pressKey("Escape");
    EXPECT_EQ(js(recorder), before) << "Escape cancels a recording";
    EXPECT_TRUE(shown("settingsLayer")) << "and only that";
    EXPECT_EQ(posts().size(), 2u);

    // A blank key does not pick the custom channel; a typed one does.
    clickOn("#apiKeyInput");
    page->pressKey("space");
    EXPECT_EQ(js("velaApp.channelMode"), "builtin");
    page->pressKey("k");
    clickOn("#launchLoginChk");
    clickOn("#saveSettingsBtn");
    save.update(json::parse(R"({"channelMode": "custom", "apiKey": " k", "launchAtLogin": true,
        "captureKey": "S", "captureMods": ["control", "option"], "textKey": "ARROWUP",
        "textMods": ["option"]})"));
    EXPECT_EQ(posts(), std::vector{save});
    clickOn("#testKeyBtn");
    const json test = posts().at(0);
    EXPECT_EQ(json({test["action"], test["baseURL"], test["apiKey"], test["model"]}),
              json({"testConnection", save["baseURL"], " k", save["model"]}));
    page->pressKey("Escape");
    EXPECT_EQ(js("[velaApp.recordedCapture, velaApp.recordedText]"), json({nullptr, nullptr}))
        << "leaving the settings forgets what was recorded";

    // Deleting the saved key picks the builtin channel and says so with the next save.
    call("applyConfig",
         R"({"channelMode": "custom", "hasSavedApiKey": true, "maskedApiKeyHint": "sk-…1"})");
    clickOn("#settingsBtn");
    clickOn("#clearKeyBtn");
    clickOn("#saveSettingsBtn");
    const json cleared = posts().back();
    EXPECT_EQ(json({cleared["clearSavedKey"], cleared["channelMode"], cleared["apiKey"]}),
              json({true, "builtin", ""}));
}

TEST_F(PanelPageInputTest, OnlyEmptySpaceStartsAWindowDrag) {
    call("showTranslationSuccess", "'選べる訳文', 'ja', 1");
    for (const char* selector : {"#pinBtn", "#sourceInput", "#targetBody", "#copyTgtBtn"}) {
        const Point p = page->centerOf(selector);
        page->drag(p, {p.x + 12, p.y + 3});
        for (const json& m : posts())
            EXPECT_NE(m["action"], "startWindowDrag") << selector;
    }
    // The header and empty card space start one; the moves add up to the pointer's way.
    const json gap =
        js("(a => [Math.round(a.right + 6), Math.round(a.top + a.height / 2)])"
           "(tgtLang.getBoundingClientRect())");
    for (const Point from :
         {page->centerOf(".brand"), Point{gap[0].get<int>(), gap[1].get<int>()}}) {
        page->drag(from, {from.x + 10, from.y + 27});
        const auto m = posts();
        ASSERT_FALSE(m.empty());
        EXPECT_EQ(m[0], json({{"action", "startWindowDrag"}}));
        int dx = 0, dy = 0;
        for (std::size_t i = 1; i < m.size(); ++i) {
            EXPECT_EQ(m[i]["action"], "moveWindowBy");
            dx += m[i].value("dx", 0);
            dy += m[i].value("dy", 0);
        }
        EXPECT_EQ(json({dx, dy, js("document.body.classList.length")}), json({10, 27, 0}));
    }
}

TEST(PanelPageWithoutNativeSide, WorksQuietlyAndKeepsTheWebViewsPaste) {
    ASSERT_TRUE(ensureGtk()) << "the page tests need an X server (DISPLAY)";
    WebViewHarness page(panelPageHtml(), {.messageHandler = false});
    page.focus();
    page.eval(
        "velaApp.submitTranslate(); velaApp.swapLanguages(); velaApp.togglePin();"
        "velaApp.requestOpenSettings(true); velaApp.testKey(); velaApp.saveSettings();"
        "velaApp.showRemoteModal({buttonURL: 'https://e.test/'});"
        "velaApp.confirmRemoteModalAction(); velaApp.requestOpenSettings(false)");
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    page.click(page.centerOf("#sourceInput"));
    page.pressKey("v", {"Control_L"});
    EXPECT_TRUE(spinUntil([&] { return page.eval("sourceInput.value") == "クリップ"; }));
}

}  // namespace
}  // namespace vela::test
