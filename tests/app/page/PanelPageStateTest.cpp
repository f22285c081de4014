// What the native side's scripts make the page show.
#include "core/settings/VelaConfig.h"
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

// What a user sees of the controls a configuration sets.
const char* kControls = R"JS(({
  pinned: velaApp.isPinned, badge: pinBadge.textContent, pressed: pinBtn.getAttribute('aria-pressed'),
  src: srcLang.value, tgt: tgtLang.value, hotkeys: compactHotkeys.textContent,
  capture: capKbdBtn.textContent, text: txtKbdBtn.textContent, hint: sourceInput.placeholder,
  welcome: targetBody.textContent, channel: velaApp.channelMode, custom: radioCustom.checked,
  customLit: radioCustomLabel.classList.contains('active'), base: baseURLInput.value,
  key: apiKeyInput.value, keyHint: apiKeyInput.placeholder, clearKey: !clearKeyBtn.hidden,
  model: modelInput.value, login: launchLoginChk.checked}))JS";

VelaConfig customised() {
    VelaConfig c;
    c.isPinned = false;
    c.sourceLanguage = "en";
    c.targetLanguage = "zh";
    c.captureShortcut =
        ShortcutConfig("t", 17, {ShortcutModifier::control, ShortcutModifier::shift});
    c.textShortcut = ShortcutConfig("j", 38, {ShortcutModifier::command});
    c.channelMode = TranslationChannelMode::custom;
    c.customBaseURL = "https://llm.example.test/v1";
    c.customApiKey = "sk-abcd1234wxyz";
    c.customModel = "model-x";
    c.launchAtLogin = true;
    return c;
}

TEST_F(PanelPageTest, ConfigurationsFillTheControlsAndTheDefaultsAreTheStartingState) {
    const json initial = js(kControls);
    call("applyConfig", jsonArgument(configurationPayload(VelaConfig{}, "")));
    EXPECT_EQ(js(kControls), initial) << "the page starts as the default settings show it";

    const VelaConfig c = customised();
    js("velaApp.recordedCapture = velaApp.recordedText = {key: 'X', mods: []}");
    call("applyConfig", jsonArgument(configurationPayload(c, "sk-a••••wxyz")));
    const json now = js(kControls);
    const std::string oldCapture = ShortcutConfig::defaultCapture().compactDisplayText();
    const std::string newCapture = c.captureShortcut.compactDisplayText();
    EXPECT_EQ(json({now["pinned"], now["pressed"], now["src"], now["tgt"], now["capture"],
                    now["text"], now["channel"], now["custom"], now["customLit"], now["base"],
                    now["key"], now["clearKey"], now["model"], now["login"]}),
              json({false, "false", "en", "zh", c.captureShortcut.displayText(),
                    c.textShortcut.displayText(), "custom", true, true, c.customBaseURL, "", true,
                    c.customModel, true}));
    EXPECT_NE(now["badge"], initial["badge"]);
    EXPECT_EQ(now["hotkeys"], newCapture + " / " + c.textShortcut.compactDisplayText());
    for (const char* hint : {"hint", "welcome"}) {
        SCOPED_TRACE(hint);
        const std::string s = now[hint];
        EXPECT_TRUE(s.find(newCapture) != std::string::npos && s.find(oldCapture) == s.npos) << s;
    }
    EXPECT_EQ(now["keyHint"].get<std::string>().rfind("sk-a••••wxyz", 0), 0u);
    EXPECT_EQ(js("[velaApp.recordedCapture, velaApp.recordedText]"), json({nullptr, nullptr}));

    // The key field offers to keep a saved key only when there is one and a hint for it.
    struct KeyCase {
        bool saved;
        std::string hint;
        bool keeps;
    };
    for (const KeyCase& k : {KeyCase{true, "sk-a••••wxyz", true}, KeyCase{true, "", false},
                             KeyCase{false, "sk-a••••wxyz", false}}) {
        SCOPED_TRACE(k.hint + (k.saved ? " saved" : " none"));
        VelaConfig kc = c;
        kc.customApiKey = k.saved ? "sk-abcd1234wxyz" : "";
        js("apiKeyInput.value = 'typed'; velaApp.clearSavedKey()");
        call("applyConfig", jsonArgument(configurationPayload(kc, k.hint)));
        const json s = js(kControls);
        EXPECT_EQ(s["key"], "");
        EXPECT_EQ(s["clearKey"], k.keeps);
        EXPECT_EQ(s["keyHint"] == initial["keyHint"], !k.keeps);
        EXPECT_EQ(js("[velaApp.hasSavedApiKey, velaApp.clearSavedKeyFlag]"),
                  json({k.saved, false}));
    }

    // Members that are absent leave their controls alone; any channel but "custom" is builtin.
    call("applyConfig", R"({"isPinned": true})");
    const json partial = js(kControls);
    EXPECT_EQ(json({partial["badge"], partial["src"], partial["model"], partial["channel"]}),
              json({initial["badge"], "en", c.customModel, "custom"}));
    call("applyConfig", R"({"isPinned": true, "channelMode": "Custom"})");
    EXPECT_EQ(js("[velaApp.channelMode, radioBuiltin.checked]"), json({"builtin", true}));
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageTest, EachResultStateShowsItsBodyAndOnlySuccessIsCopyable) {
    const std::string capture = ShortcutConfig::defaultCapture().compactDisplayText();
    struct Case {
        std::string name, script;
        std::string body;  // selector inside the result body that must exist
        bool copyable, closesSettings;
        std::string status;
    };
    const Case cases[] = {
        {"loading", velaAppCall("setLoading"), ".muted", false, false, ""},
        {"success", outcomeScript({TranslationOutcome::Success{"訳文です", "ja", false, 1234}}), "",
         true, false, "1.23s"},
        {"empty input", outcomeScript({TranslationOutcome::EmptyInput{"空です"}}), ".muted", false,
         false, "-"},
        {"failure", outcomeScript({TranslationOutcome::Failure{"失敗"}}), ".notice-box.err button",
         false, false, ""},
        {"empty capture", velaAppCall("showEmptyOCR"), ".notice-box:not(.err) .notice-sub", false,
         true, "0.05s"},
        {"permission", velaAppCall("showPermissionError"), ".notice-box.err", false, true, ""},
        {"cleared", velaAppCall("clearSource"), ".muted", false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        call("showTranslationSuccess", "'前の訳', 'ja', 10");
        js("sourceInput.value = 'src'; velaApp.openSettings(true)");
        page->eval(c.script);
        EXPECT_EQ(el("settingsLayer", "classList.contains('open')"), !c.closesSettings);
        EXPECT_EQ(shown("targetToolbar"), c.copyable);
        EXPECT_EQ(js("velaApp.lastTranslatedText") != "", c.copyable);
        if (!c.body.empty()) {
            EXPECT_EQ(js("targetBody.querySelectorAll('" + c.body + "').length"), 1);
        }
        if (!c.status.empty()) {
            EXPECT_EQ(page->text("latencyLabel"), c.status);
        }
    }
    EXPECT_EQ(el("sourceInput", "value"), "") << "a capture without text empties the field";
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput") << "clearing focuses the field";
    EXPECT_TRUE(posts().empty());

    call("showEmptyOCR");
    EXPECT_NE(page->text("targetBody").find(capture), std::string::npos);
    call("showError", "'失敗'");
    js("sourceInput.value = 'retry me'; targetBody.querySelector('button').click()");
    EXPECT_EQ(posts(), std::vector<json>({{{"action", "translate"},
                                           {"text", "retry me"},
                                           {"sourceLang", "auto"},
                                           {"targetLang", "ja"},
                                           {"isManual", false}}}));
}

TEST_F(PanelPageTest, SuccessNamesTheTargetLanguageAndTheTime) {
    struct Case {
        std::string code;
        long long ms;
        std::string status;
    };
    for (const Case& c : {Case{"ja", 1234, "1.23s"}, Case{"en", 50, "0.05s"},
                          Case{"ko", 12345, "12.35s"}, Case{"fr", 999, "1.00s"}}) {
        SCOPED_TRACE(c.code);
        page->eval(outcomeScript({TranslationOutcome::Success{"Bonjour", c.code, false, c.ms}}));
        // Known codes are selected and named as in the selector; others show the code.
        const json known =
            js("([...tgtLang.options].find(o => o.value === '" + c.code + "') || {}).text");
        EXPECT_EQ(el("tgtLang", "value"), known.is_null() ? "ko" : c.code);
        EXPECT_NE(page->text("targetLangLabel")
                      .find("（" + (known.is_null() ? c.code : known.get<std::string>()) + "）"),
                  std::string::npos);
        EXPECT_EQ(page->text("latencyLabel"), c.status);
    }
}

TEST_F(PanelPageTest, UntrustedTextIsShownAsTextNeverAsMarkup) {
    const std::string hostile =
        "<b>太字</b> <img src=x onerror=\"window.pwned=1\"> </script><script>window.pwned=2"
        "</script>\r\nIt's \\ 2行目\n3行目";
    std::string plain = hostile;
    std::erase(plain, '\r');
    const std::string q = jsQuoted(hostile);
    page->eval(outcomeScript({TranslationOutcome::Success{hostile, "ja", false, 42}}));
    EXPECT_EQ(page->text("targetBody"), plain);
    EXPECT_EQ(js("velaApp.lastTranslatedText"), plain);
    // Line breaks stay visible: three lines are at least three line heights high.
    EXPECT_GE(js("targetBody.scrollHeight / parseFloat(getComputedStyle(targetBody).lineHeight)")
                  .get<double>(),
              3.0);
    page->eval(outcomeScript({TranslationOutcome::Failure{hostile}}));
    EXPECT_EQ(js("targetBody.querySelector('.notice-main').textContent"), plain);
    page->eval(outcomeScript({TranslationOutcome::EmptyInput{hostile}}));
    EXPECT_EQ(page->text("targetBody"), plain);
    call("showSettingsError", q);
    EXPECT_EQ(page->text("settingsMsg"), "✗ " + plain);
    call("setSourceAndTranslate", q);
    EXPECT_EQ(el("sourceInput", "value"), plain);
    call("showRemoteModal", jsonArgument(remoteModalPayload(
                                {"broadcast", "x", hostile, hostile, hostile, "https://e.test/"})));
    for (const char* id : {"remoteModalTitle", "remoteModalMsg", "remoteModalActionBtn"})
        EXPECT_EQ(page->text(id), hostile) << id;
    EXPECT_EQ(js("document.querySelectorAll('#mainShell b, #mainShell img, #mainShell script')"
                 ".length"),
              0);
    page->settle();
    EXPECT_EQ(js("typeof window.pwned"), "undefined");
}

TEST_F(PanelPageTest, RemoteNoticesAreMarkedByTypeAndForcedOnesCannotBeClosed) {
    const json defaults = js("[remoteModalTitle.textContent, remoteModalActionBtn.textContent]");
    const auto colour = [&](const std::string& id) {
        return js("getComputedStyle(document.getElementById('" + id + "')).backgroundColor");
    };
    call("showSettingsError", "'x'");
    const json red = js("getComputedStyle(settingsMsg).color");
    const json pink = colour("pinBadge");
    struct Case {
        RemoteModal notice;
        bool closable;
        std::vector<json> posts;  // after the action button
    };
    const Case cases[] = {
        {{"optionalUpdate", "update-0.2.0", "T", "M", "B", "https://e.test/dl"},
         true,
         {{{"action", "openExternalURL"}, {"url", "https://e.test/dl"}},
          {{"action", "dismissRemotePopup"}, {"id", "update-0.2.0"}}}},
        {{"broadcast", "", "", "", "", ""}, true, {}},
        {{"forceUpdate", "force-1", "T", "M", "B", "https://e.test/latest"},
         false,
         {{{"action", "openExternalURL"}, {"url", "https://e.test/latest"}}}},
    };
    std::vector<json> badges;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice.type);
        call("showRemoteModal", jsonArgument(remoteModalPayload(c.notice)));
        EXPECT_TRUE(shown("remoteModalLayer"));
        EXPECT_EQ(shown("remoteModalCloseBtn"), c.closable);
        badges.push_back({page->text("remoteModalBadge"), colour("remoteModalBadge")});
        call("dismissRemoteModal");
        EXPECT_EQ(shown("remoteModalLayer"), !c.closable);
        call("showRemoteModal", jsonArgument(remoteModalPayload(c.notice)));
        posts();
        js("remoteModalActionBtn.click()");
        EXPECT_EQ(posts(), c.posts);
        EXPECT_EQ(shown("remoteModalLayer"), !c.closable);
    }
    EXPECT_EQ(badges[1][1], pink) << "a broadcast wears the accent";
    EXPECT_EQ(badges[2][1], red) << "a forced update wears the error colour";
    EXPECT_TRUE(badges[0] != badges[1] && badges[0] != badges[2] && badges[1][0] != badges[2][0]);

    call("showRemoteModal", jsonArgument(remoteModalPayload({"broadcast", "", "", "", "", ""})));
    EXPECT_EQ(js("[remoteModalTitle.textContent, remoteModalActionBtn.textContent]"), defaults);
    call("showRemoteModal", R"({"type": "broadcast", "id": "jp-1"})");
    js("remoteModalCloseBtn.click()");
    EXPECT_EQ(posts(), std::vector<json>({{{"action", "dismissRemotePopup"}, {"id", "jp-1"}}}));

    // A forced notice lies above the settings; only the panel's close button stays usable.
    call("showRemoteModal", jsonArgument(remoteModalPayload(cases[2].notice)));
    call("openSettings", "true");
    const auto topmost = [&](const std::string& selector) {
        const Point p = page->centerOf(selector);
        return js("document.elementFromPoint(" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                  ").closest('[id]').id");
    };
    EXPECT_EQ(topmost("#remoteModalTitle"), "remoteModalTitle");
    EXPECT_EQ(topmost("#pinBtn"), "remoteModalLayer");
    EXPECT_EQ(topmost("#closeBtn"), "closeBtn");
}

TEST_F(PanelPageTest, SettingsMessagesAndSmallCallsPostNothing) {
    call("showTestConnectionResult", "true, '接続成功'");
    EXPECT_EQ(page->text("settingsMsg"), "✓ 接続成功");
    const json ok = js("getComputedStyle(settingsMsg).color");
    call("showTestConnectionResult", "false, '認証エラー'");
    EXPECT_EQ(page->text("settingsMsg"), "✗ 認証エラー");
    const json bad = js("getComputedStyle(settingsMsg).color");
    call("showSettingsError", "'重複'");
    EXPECT_EQ(js("getComputedStyle(settingsMsg).color"), bad);
    EXPECT_NE(ok, bad);

    call("applySwappedLanguages", "'ja', 'en'");
    EXPECT_EQ(js("[srcLang.value, tgtLang.value]"), json({"ja", "en"}));
    js("sourceInput.value = 'select me'; srcLang.focus()");
    call("openSettings", "true");
    call("focusSourceInput");
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_EQ(
        js("[document.activeElement.id, sourceInput.selectionStart, sourceInput.selectionEnd]"),
        json({"sourceInput", 0, 9}));
    call("openSettings", "true");
    call("openSettings", "false");
    EXPECT_TRUE(posts().empty());
}

}  // namespace
}  // namespace vela::test
