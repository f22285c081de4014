// What the user's real keys and clicks (XTest) make the page post to the native side.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

json translate(const std::string& text, const char* src = "auto", const char* tgt = "ja",
               bool manual = false) {
    return json::array({{{"action", "translate"},
                         {"text", text},
                         {"sourceLang", src},
                         {"targetLang", tgt},
                         {"isManual", manual}}});
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

TEST_F(PanelPageInputTest, KeysAndButtonsPostTheirRequests) {
    // The keydown of the Enter that confirms an input method's conversion.
    js("window.confirmConversion = init => { sourceInput.value = '変換';"
       "const e = new KeyboardEvent('keydown', {key: 'Enter', ...init});"
       "Object.defineProperty(e, 'keyCode', {value: init.keyCode});"
       "sourceInput.dispatchEvent(e); sourceInput.value = 'after'; }; null");
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    const json paste = R"([{"action": "pasteClipboardToActiveInput"}])"_json;
    const std::string badge = page->text("pinBadge"), copyLabel = page->text("copyTgtBtn");
    struct Step {
        const char* script;  // run first
        const char* input;   // a selector to click, else a key
        json posts;
        std::vector<const char*> held = {};
    };
    const Step steps[] = {
        {"sourceInput.focus()", "Return", translate("")},  // an empty field asks too
        // The conversion's Enter posts nothing: the next Enter's request is the first to come.
        {"confirmConversion({isComposing: true, keyCode: 13})", "Return", translate("after")},
        {"confirmConversion({keyCode: 229})", "Return", translate("after")},
        {"sourceInput.value = 'h'", "Return", json::array(), {"Shift_L"}},  // breaks the line
        {"", "Return", translate("h\n")},
        // Ctrl+V in a field asks the native side, which alone pastes: Enter finds no paste.
        {"", "v", paste, {"Control_L"}},
        {"", "Return", translate("h\n")},
        {"sourceInput.blur()", "v", json::array(), {"Control_L"}},
        {"srcLang.focus()", "Down", translate("h\n", "en")},
        {"tgtLang.focus()", "Down", translate("h\n", "en", "en", true)},
        {"sourceInput.value = 'Hi'; tgtLang.value = 'ja'", "#translateBtn", translate("Hi", "en")},
        {"velaApp.showError('x')", "#targetBody button", translate("Hi", "en")},  // retry
        {"", "#swapBtn", R"([{"action": "swapLanguages", "sourceLang": "en", "targetLang": "ja",
                             "text": "Hi"}])"_json},
        {"", "#pinBtn", R"([{"action": "togglePin", "isPinned": false}])"_json},
        {"", "#pinBtn", R"([{"action": "togglePin", "isPinned": true}])"_json},
        {"", "#copySrcBtn", R"([{"action": "copy", "text": "Hi"}])"_json},
        {"", "#closeBtn", R"([{"action": "closeWindow", "force": true}])"_json},
        {"", "#settingsBtn", R"([{"action": "openSettings", "open": true}])"_json},
        {"", "#demoPopupBtn", R"([{"action": "triggerDemoRemotePopup"}])"_json},
        {"", "#settingsBackBtn", R"([{"action": "openSettings", "open": false}])"_json},
        {"", "#settingsBtn", R"([{"action": "openSettings", "open": true}])"_json},
        {"", "Escape", R"([{"action": "openSettings", "open": false}])"_json},
        {"", "Escape", R"([{"action": "closeWindow", "force": false}])"_json},
        {"velaApp.showTranslationSuccess('訳文', 'ja', 1)", "#copyTgtBtn",
         R"([{"action": "copy", "text": "訳文"}])"_json},
        // A result being loaded or an empty field copies nothing.
        {"velaApp.setLoading(); velaApp.copyTarget(); sourceInput.value = ''", "#copySrcBtn",
         json::array()},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.script) + " " + step.input);
        js(step.script);
        step.input[0] == '#' ? clickOn(step.input) : page->pressKey(step.input, step.held);
        EXPECT_EQ(posts(), step.posts);
        EXPECT_EQ(page->text("pinBadge") == badge, js("velaApp.isPinned") == true);
    }
    EXPECT_EQ(js("srcLang.value"), "en") << "only the native answer swaps the selectors";
    // Copy feedback lasts a moment.
    js("velaApp.showTranslationSuccess('訳文', 'ja', 1); copyTgtBtn.click()");
    EXPECT_NE(page->text("copyTgtBtn"), copyLabel);
    EXPECT_TRUE(spinUntil([&] { return page->text("copyTgtBtn") == copyLabel; }));
}

TEST_F(PanelPageInputTest, SettingsRecordShortcutsAndSaveTheForm) {
    page->resize(470, 640);  // the native side enlarges the panel for the settings
    json save = R"({"action": "saveSettings", "channelMode": "builtin", "apiKey": "",
        "clearSavedKey": false, "launchAtLogin": false})"_json;
    save["baseURL"] = VelaConfig{}.customBaseURL;  // the page starts with the native defaults
    save["model"] = VelaConfig{}.customModel;
    clickOn("#settingsBtn");
    clickOn("#saveSettingsBtn");
    EXPECT_EQ(posts().back(), save);

    const json recording = R"([{"action": "shortcutRecording", "recording": true},
                               {"action": "shortcutRecording", "recording": false}])"_json;
    struct Case {
        const char* button;  // "cap" or "txt"
        std::vector<const char*> held;
        const char* key;
        json recorded;
    };
    const Case cases[] = {
        {"txt", {}, "F5", R"({"key": "F5", "mods": []})"_json},
        {"txt", {"Shift_L"}, "7", R"({"key": "7", "mods": ["shift"]})"_json},
        {"txt",
         {"Control_L", "Shift_L"},
         "space",
         R"({"key": "SPACE", "mods": ["control", "shift"]})"_json},
        {"txt", {"Super_L"}, "x", R"({"key": "X", "mods": ["command"]})"_json},
        {"txt", {"Alt_L"}, "Up", R"({"key": "ARROWUP", "mods": ["option"]})"_json},
        {"cap", {"Control_L", "Alt_L"}, "s", R"({"key": "S", "mods": ["control", "option"]})"_json},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recorded.dump());
        const std::string button = c.button + std::string("KbdBtn");
        clickOn("#" + button);
        page->pressKey("Control_L");  // a modifier alone keeps recording
        page->pressKey(c.key, c.held);
        std::vector<ShortcutModifier> mods;
        for (const auto& m : c.recorded["mods"])
            mods.push_back(*shortcutModifierFromRaw(m.get<std::string>()));
        // Shown as the native side shows a stored shortcut.
        EXPECT_EQ(page->text(button),
                  ShortcutConfig(c.recorded["key"].get<std::string>(), 0, mods).displayText());
        EXPECT_EQ(js(std::string("velaApp.recorded") + (c.button[0] == 'c' ? "Capture" : "Text")),
                  c.recorded);
        EXPECT_EQ(posts(), recording);
    }
    const std::string recorder = "[txtKbdBtn.textContent, velaApp.recordedText]";
    const json before = js(recorder);
    clickOn("#txtKbdBtn");
    page->pressKey("Escape");
    EXPECT_EQ(js(recorder), before) << "Escape cancels a recording";
    EXPECT_EQ(posts(), recording) << "and only that";

    // A blank key does not pick the custom channel; a typed one does.
    clickOn("#apiKeyInput");
    page->pressKey("space");
    EXPECT_EQ(js("velaApp.channelMode"), "builtin");
    page->pressKey("k");
    clickOn("#launchLoginChk");
    clickOn("#saveSettingsBtn");
    save.update(R"({"channelMode": "custom", "apiKey": " k", "launchAtLogin": true,
        "captureKey": "S", "captureMods": ["control", "option"], "textKey": "ARROWUP",
        "textMods": ["option"]})"_json);
    EXPECT_EQ(posts(), json::array({save}));
    clickOn("#testKeyBtn");
    const json test = {{"action", "testConnection"},
                       {"baseURL", save["baseURL"]},
                       {"apiKey", " k"},
                       {"model", save["model"]}};
    EXPECT_EQ(posts(), json::array({test}));
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
    for (const Point from : {page->centerOf(".brand"), Point{gap[0], gap[1]}}) {
        page->drag(from, {from.x + 10, from.y + 27});
        const json m = posts();
        EXPECT_EQ(m.at(0), R"({"action": "startWindowDrag"})"_json);
        int dx = 0, dy = 0;
        for (std::size_t i = 1; i < m.size(); ++i) {
            EXPECT_EQ(m[i]["action"], "moveWindowBy");
            dx += m[i].value("dx", 0);
            dy += m[i].value("dy", 0);
        }
        EXPECT_EQ(json({dx, dy, js("document.body.classList.length")}), json({10, 27, 0}));
    }
}

}  // namespace
}  // namespace vela::test
