// What the user's real keys and clicks (XTest) make the page post to the native side.
#include "core/settings/VelaConfig.h"
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

json translate(const std::string& text, const std::string& src = "auto",
               const std::string& tgt = "ja", bool manual = false) {
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
    EXPECT_EQ(posts(), std::vector<json>{translate("")}) << "an empty field asks too";
    // The Enter that confirms an input method's conversion; the next ordinary Enter must
    // be the first request that arrives.
    struct Conversion {
        const char* isComposing;
        const char* keyCode;
    };
    for (const Conversion c : {Conversion{"true", "13"}, Conversion{"false", "229"}}) {
        SCOPED_TRACE(c.keyCode);
        js(std::string("{ sourceInput.value = '変換'; const e = new KeyboardEvent('keydown', {key: "
                       "'Enter', bubbles: true, cancelable: true, isComposing: ") +
           c.isComposing + "}); Object.defineProperty(e, 'keyCode', {value: " + c.keyCode +
           "}); sourceInput.dispatchEvent(e); sourceInput.value = 'after'; }");
        page->pressKey("Return");
        EXPECT_EQ(posts(), std::vector<json>{translate("after")});
    }
    js("sourceInput.value = ''");
    page->pressKey("h");
    page->pressKey("Return", {"Shift_L"});
    page->pressKey("y", {"Shift_L"});
    EXPECT_TRUE(posts().empty()) << "Shift+Enter breaks the line";
    page->pressKey("Return");
    EXPECT_EQ(el("sourceInput", "value"), "h\nY") << "Enter is swallowed";
    EXPECT_EQ(posts(), std::vector<json>{translate("h\nY")});

    // The source selector asks plainly, the target selector manually.
    for (const char* select : {"srcLang", "tgtLang"}) {
        js(std::string(select) + ".focus()");
        page->pressKey("Down");
    }
    EXPECT_EQ(posts(),
              (std::vector<json>{translate("h\nY", "en"), translate("h\nY", "en", "en", true)}));
}

TEST_F(PanelPageInputTest, ButtonsAndKeysPostTheirActions) {
    const json badge = page->text("pinBadge");
    js("sourceInput.value = 'Hello'; srcLang.value = 'en'");
    struct Step {
        std::string input;  // a selector to click, else a key
        std::vector<json> posts;
    };
    const Step steps[] = {
        {"#translateBtn", {translate("Hello", "en")}},
        {"#swapBtn",
         {{{"action", "swapLanguages"},
           {"sourceLang", "en"},
           {"targetLang", "ja"},
           {"text", "Hello"}}}},
        {"#pinBtn", {{{"action", "togglePin"}, {"isPinned", false}}}},
        {"#pinBtn", {{{"action", "togglePin"}, {"isPinned", true}}}},
        {"#copySrcBtn", {{{"action", "copy"}, {"text", "Hello"}}}},
        {"#closeBtn", {{{"action", "closeWindow"}, {"force", true}}}},
        {"#settingsBtn", {{{"action", "openSettings"}, {"open", true}}}},
        {"#demoPopupBtn", {{{"action", "triggerDemoRemotePopup"}}}},
        {"#settingsBackBtn", {{{"action", "openSettings"}, {"open", false}}}},
        {"#settingsBtn", {{{"action", "openSettings"}, {"open", true}}}},
        {"Escape", {{{"action", "openSettings"}, {"open", false}}}},
        {"Escape", {{{"action", "closeWindow"}, {"force", false}}}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.input);
        if (s.input[0] == '#')
            clickOn(s.input);
        else
            page->pressKey(s.input);
        EXPECT_EQ(posts(), s.posts);
        if (s.input == "#pinBtn") {
            EXPECT_EQ(page->text("pinBadge") == badge, s.posts[0]["isPinned"] == true);
        }
    }
    EXPECT_EQ(el("srcLang", "value"), "en") << "only the native answer swaps the selectors";

    // Copying shows its feedback for a moment; there is nothing to copy from an empty
    // field, a result being loaded, or no result.
    const json label = page->text("copyTgtBtn");
    call("showTranslationSuccess", "'訳文です', 'ja', 321");
    clickOn("#copyTgtBtn");
    EXPECT_EQ(posts(), std::vector<json>({{{"action", "copy"}, {"text", "訳文です"}}}));
    EXPECT_NE(page->text("copyTgtBtn"), label);
    EXPECT_TRUE(spinUntil([&] { return page->text("copyTgtBtn") == label; }));
    call("setLoading");
    js("sourceInput.value = ''");
    js("velaApp.copyTarget()");  // its button is hidden
    clickOn("#copySrcBtn");
    EXPECT_TRUE(posts().empty());

    // Ctrl+V in a field asks the native side, which alone pastes; elsewhere it asks nothing.
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    clickOn("#sourceInput");
    page->pressKey("v", {"Control_L"});
    page->pressKey("x");
    EXPECT_EQ(el("sourceInput", "value"), "x") << "the key after Ctrl+V lands in an unpasted field";
    EXPECT_EQ(posts(), std::vector<json>({{{"action", "pasteClipboardToActiveInput"}}}));
    js("sourceInput.blur()");
    page->pressKey("v", {"Control_L"});
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageInputTest, SettingsRecordShortcutsAndSaveTheForm) {
    page->resize(470, 640);  // the native side enlarges the panel for the settings
    const VelaConfig defaults;
    json save = {{"action", "saveSettings"},
                 {"channelMode", "builtin"},
                 {"baseURL", defaults.customBaseURL},
                 {"apiKey", ""},
                 {"clearSavedKey", false},
                 {"model", defaults.customModel},
                 {"launchAtLogin", false}};
    clickOn("#settingsBtn");
    clickOn("#saveSettingsBtn");
    EXPECT_EQ(posts().back(), save);

    struct Case {
        const char* button;
        const char* key;
        std::vector<const char*> held;
        std::string name;
        std::vector<std::string> mods;
    };
    const Case cases[] = {
        {"#txtKbdBtn", "F5", {}, "F5", {}},
        {"#txtKbdBtn", "7", {"Shift_L"}, "7", {"shift"}},
        {"#txtKbdBtn", "space", {"Control_L", "Shift_L"}, "SPACE", {"control", "shift"}},
        {"#txtKbdBtn", "x", {"Super_L"}, "X", {"command"}},
        {"#txtKbdBtn", "Up", {"Alt_L"}, "ARROWUP", {"option"}},
        {"#capKbdBtn", "s", {"Control_L", "Alt_L"}, "S", {"control", "option"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clickOn(c.button);
        page->pressKey("Control_L");  // a modifier alone keeps recording
        page->pressKey(c.key, c.held);
        std::vector<ShortcutModifier> mods;
        for (const auto& m : c.mods)
            mods.push_back(*shortcutModifierFromRaw(m));
        EXPECT_EQ(page->text(c.button + 1), ShortcutConfig(c.name, 0, mods).displayText());
        EXPECT_EQ(js(std::string("velaApp.recorded") + (c.button[1] == 'c' ? "Capture" : "Text")),
                  json({{"key", c.name}, {"mods", c.mods}}));
        EXPECT_EQ(posts(),
                  (std::vector<json>{{{"action", "shortcutRecording"}, {"recording", true}},
                                     {{"action", "shortcutRecording"}, {"recording", false}}}));
    }
    // Escape only cancels a recording.
    clickOn("#txtKbdBtn");
    page->pressKey("Escape");
    EXPECT_EQ(page->text("txtKbdBtn"),
              ShortcutConfig("ARROWUP", 0, {ShortcutModifier::option}).displayText());
    EXPECT_TRUE(shown("settingsLayer"));
    EXPECT_EQ(posts().size(), 2u);

    // A blank key does not pick the custom channel; a typed one does.
    clickOn("#apiKeyInput");
    page->pressKey("space");
    EXPECT_EQ(js("velaApp.channelMode"), "builtin");
    page->pressKey("k");
    EXPECT_EQ(js("velaApp.channelMode"), "custom");
    clickOn("#launchLoginChk");
    clickOn("#saveSettingsBtn");
    save.update({{"channelMode", "custom"},
                 {"apiKey", " k"},
                 {"launchAtLogin", true},
                 {"captureKey", "S"},
                 {"captureMods", {"control", "option"}},
                 {"textKey", "ARROWUP"},
                 {"textMods", {"option"}}});
    EXPECT_EQ(posts(), std::vector<json>{save});
    clickOn("#testKeyBtn");
    EXPECT_EQ(posts(), std::vector<json>({{{"action", "testConnection"},
                                           {"baseURL", defaults.customBaseURL},
                                           {"apiKey", " k"},
                                           {"model", defaults.customModel}}}));

    // Leaving the settings forgets what was recorded.
    page->pressKey("Escape");
    EXPECT_EQ(js("[velaApp.recordedCapture, velaApp.recordedText]"), json({nullptr, nullptr}));

    // Deleting the saved key picks the builtin channel and says so with the next save.
    call("applyConfig", jsonArgument(configurationPayload(
                            [] {
                                VelaConfig c;
                                c.channelMode = TranslationChannelMode::custom;
                                c.customApiKey = "sk-1";
                                return c;
                            }(),
                            "sk-…1")));
    clickOn("#settingsBtn");
    clickOn("#clearKeyBtn");
    EXPECT_FALSE(shown("clearKeyBtn"));
    posts();
    clickOn("#saveSettingsBtn");
    const json cleared = posts().at(0);
    EXPECT_EQ(json({cleared["clearSavedKey"], cleared["channelMode"], cleared["apiKey"]}),
              json({true, "builtin", ""}));
}

TEST_F(PanelPageInputTest, OnlyEmptySpaceStartsAWindowDrag) {
    call("showTranslationSuccess", "'選べる訳文', 'ja', 1");
    for (const char* selector : {"#pinBtn", "#sourceInput", "#targetBody", "#copyTgtBtn"}) {
        SCOPED_TRACE(selector);
        const Point p = page->centerOf(selector);
        page->drag(p, {p.x + 12, p.y + 3});
        for (const json& m : posts())
            EXPECT_NE(m["action"], "startWindowDrag");
    }
    // The header and empty card space start one; moves add up to the pointer's way.
    const Point header = page->centerOf(".brand");
    const json gap =
        js("(a => [Math.round(a.right + 6), Math.round(a.top + a.height / 2)])"
           "(tgtLang.getBoundingClientRect())");
    for (const Point from : {header, Point{gap[0].get<int>(), gap[1].get<int>()}}) {
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
        EXPECT_EQ(json({dx, dy}), json({10, 27}));
        EXPECT_EQ(js("document.body.classList.contains('is-window-dragging')"), false);
    }
}

TEST(PanelPageWithoutNativeSide, WorksQuietlyAndKeepsTheWebViewsPaste) {
    ASSERT_TRUE(ensureGtk()) << "the page tests need an X server (DISPLAY)";
    WebViewHarness page(panelPageHtml(), {.messageHandler = false});
    page.focus();
    page.eval(
        "sourceInput.value = ''; velaApp.submitTranslate(); velaApp.onTargetLangChange();"
        "velaApp.swapLanguages(); velaApp.togglePin(); velaApp.requestOpenSettings(true);"
        "velaApp.testKey(); velaApp.saveSettings(); velaApp.triggerDemoPopup();"
        "velaApp.requestOpenSettings(false); velaApp.closeWindow(false);"
        "velaApp.showRemoteModal({type: 'broadcast', id: 'a', buttonURL: 'https://e.test/'});"
        "velaApp.confirmRemoteModalAction();");
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "クリップ", -1);
    page.click(page.centerOf("#sourceInput"));
    page.pressKey("v", {"Control_L"});
    EXPECT_TRUE(spinUntil([&] { return page.eval("sourceInput.value") == "クリップ"; }));
}

}  // namespace
}  // namespace vela::test
