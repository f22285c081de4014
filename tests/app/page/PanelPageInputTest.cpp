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

TEST_F(PanelPageTest, KeysAndButtonsPostTheirRequests) {
    // The keydown of the Enter that confirms an input method's conversion.
    js("window.confirmConversion = init => { sourceInput.value = '変換';"
       "const e = new KeyboardEvent('keydown', {key: 'Enter', ...init});"
       "Object.defineProperty(e, 'keyCode', {value: init.keyCode});"
       "sourceInput.dispatchEvent(e); sourceInput.value = 'after'; }; null");
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    const json paste = R"([{"action": "pasteClipboardToActiveInput"}])"_json;
    const std::string badge = page->text("pinBadge");
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
        {"", "#copySrcBtn", R"([{"action": "copy", "text": "Hi"}])"_json},
        {"", "#closeBtn", R"([{"action": "closeWindow", "force": true}])"_json},
        {"", "#settingsBtn", R"([{"action": "openSettings", "open": true}])"_json},
        {"", "#settingsBackBtn", R"([{"action": "openSettings", "open": false}])"_json},
        {"velaApp.openSettings(true)", "Escape",
         R"([{"action": "openSettings", "open": false}])"_json},
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
}

TEST_F(PanelPageTest, SettingsRecordShortcutsAndSaveTheForm) {
    page->resize(470, 640);  // the native side enlarges the panel for the settings
    call("applyConfig", R"({"customBaseURL": "https://x.test/v1", "customModel": "m"})");
    json save = R"({"action": "saveSettings", "channelMode": "builtin", "apiKey": "",
        "clearSavedKey": false, "launchAtLogin": false, "baseURL": "https://x.test/v1",
        "model": "m"})"_json;
    call("openSettings", "true");

    using enum ShortcutModifier;
    const json recording = R"([{"action": "shortcutRecording", "recording": true},
                               {"action": "shortcutRecording", "recording": false}])"_json;
    struct Case {
        const char* button;
        std::vector<const char*> held;
        const char* key;
        ShortcutConfig recorded;  // shown as the native side shows it
    };
    const Case cases[] = {
        {"#txtKbdBtn", {"Shift_L"}, "7", {"7", 0, {shift}}},
        {"#txtKbdBtn", {"Control_L", "Shift_L"}, "space", {"SPACE", 0, {control, shift}}},
        {"#txtKbdBtn", {"Super_L"}, "x", {"X", 0, {command}}},
        {"#txtKbdBtn", {"Alt_L"}, "Up", {"ARROWUP", 0, {option}}},
        {"#capKbdBtn", {"Control_L", "Alt_L"}, "s", {"S", 0, {control, option}}},
        {"#txtKbdBtn", {}, "Escape", {"ARROWUP", 0, {option}}},  // cancels the recording only
    };
    for (const Case& c : cases) {
        clickOn(c.button);
        page->pressKey("Control_L");  // a modifier alone keeps recording
        page->pressKey(c.key, c.held);
        EXPECT_EQ(page->text(c.button + 1), c.recorded.displayText());
        EXPECT_EQ(posts(), recording) << c.key;
    }

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
    EXPECT_EQ(posts(), R"([{"action": "testConnection", "baseURL": "https://x.test/v1",
                           "apiKey": " k", "model": "m"}])"_json);
    page->pressKey("Escape");
    EXPECT_EQ(js("[velaApp.recordedCapture, velaApp.recordedText]"), json({nullptr, nullptr}))
        << "leaving the settings forgets what was recorded";
    clickOn("#settingsBtn");

    // Deleting the saved key picks the builtin channel and says so with the next save.
    call("applyConfig",
         R"({"channelMode": "custom", "hasSavedApiKey": true, "maskedApiKeyHint": "sk-…1"})");
    clickOn("#clearKeyBtn");
    clickOn("#saveSettingsBtn");
    EXPECT_EQ(posts().back(), R"({"action": "saveSettings", "channelMode": "builtin", "apiKey": "",
        "clearSavedKey": true, "launchAtLogin": false, "baseURL": "https://x.test/v1",
        "model": "m"})"_json);
}

TEST_F(PanelPageTest, OnlyEmptySpaceStartsAWindowDrag) {
    call("showTranslationSuccess", "'選べる訳文', 'ja', 1");
    // Controls and text the user may select never move the window; the header and the rest
    // of the card do, by the pointer's way.
    const std::pair<const char*, bool> starts[] = {
        {"#pinBtn", false},     {"#sourceInput", false}, {"#targetBody", false},
        {"#copyTgtBtn", false}, {".brand", true},        {"#compactHotkeys", true}};
    for (const auto& [selector, moves] : starts) {
        const Point from = page->centerOf(selector);
        page->drag(from, {from.x + 10, from.y + 27});
        int drags = 0, dx = 0, dy = 0;
        for (const json& m : posts()) {
            drags += m["action"] == "startWindowDrag";
            dx += m.value("dx", 0);
            dy += m.value("dy", 0);
        }
        EXPECT_EQ(json({drags, dx, dy}), moves ? json({1, 10, 27}) : json({0, 0, 0})) << selector;
    }
    EXPECT_EQ(js("document.body.classList.length"), 0) << "a drag leaves no mark";
}

}  // namespace
}  // namespace vela::test
