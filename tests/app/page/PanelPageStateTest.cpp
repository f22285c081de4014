// What the native side's scripts make the page show.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

// What the controls show, named as the members of the configuration payload that set them.
const char* kControls = R"JS(({isPinned: velaApp.isPinned, sourceLanguage: srcLang.value,
  targetLanguage: tgtLang.value, captureShortcut: capKbdBtn.textContent,
  textShortcut: txtKbdBtn.textContent, compactHotkeys: compactHotkeys.textContent,
  channelMode: velaApp.channelMode, customBaseURL: baseURLInput.value, customModel: modelInput.value,
  hasSavedApiKey: velaApp.hasSavedApiKey, launchAtLogin: launchLoginChk.checked,
  badge: pinBadge.textContent, hint: sourceInput.placeholder, keyHint: apiKeyInput.placeholder}))JS";

TEST_F(PanelPageTest, ConfigurationsFillTheControlsAndTheDefaultsAreTheStartingState) {
    const json initial = js(kControls);
    call("applyConfig", jsonArgument(configurationPayload(VelaConfig{}, "")));
    EXPECT_EQ(js(kControls), initial) << "the page starts as the default settings show it";

    VelaConfig c{.captureShortcut = ShortcutConfig("t", 17, {ShortcutModifier::control}),
                 .textShortcut = ShortcutConfig("j", 38, {ShortcutModifier::command}),
                 .channelMode = TranslationChannelMode::custom,
                 .customBaseURL = "https://x.test/v1",
                 .customApiKey = "sk-abcd1234wxyz",
                 .customModel = "model-x",
                 .dismissedPopupId = {},
                 .forceUpdateMessage = {},
                 .launchAtLogin = true,
                 .isPinned = false,
                 .sourceLanguage = "en",
                 .targetLanguage = "zh"};
    const json payload = configurationPayload(c, "sk-a••••wxyz");
    js("velaApp.recordedCapture = velaApp.recordedText = {key: 'X', mods: []}");
    call("applyConfig", jsonArgument(payload));
    const json now = js(kControls);
    for (const auto& [member, value] : payload.items())
        EXPECT_TRUE(!now.contains(member) || now[member] == value) << member;
    EXPECT_NE(now["badge"], initial["badge"]);
    // The hints name the configured capture shortcut, and the key field the saved key.
    const std::string capture = c.captureShortcut.compactDisplayText();
    EXPECT_TRUE(now["hint"].get<std::string>().starts_with(capture)) << now["hint"];
    EXPECT_TRUE(now["keyHint"].get<std::string>().starts_with("sk-a••••wxyz")) << now["keyHint"];
    EXPECT_EQ(js(R"JS([pinBtn.getAttribute('aria-pressed'), radioCustom.checked,
        radioCustomLabel.classList.contains('active'), apiKeyInput.value, clearKeyBtn.hidden,
        velaApp.recordedCapture, velaApp.recordedText])JS"),
              json({"false", true, true, "", false, nullptr, nullptr}));
    EXPECT_NE(page->text("targetBody").find(capture), std::string::npos);
    // It offers to keep a saved key only when there is one and a hint for it.
    for (const auto& [key, hint] : {std::pair{"", "sk-a••••wxyz"}, std::pair{"sk-1", ""}}) {
        SCOPED_TRACE(hint);
        c.customApiKey = key;
        js("apiKeyInput.value = 'typed'; velaApp.clearSavedKey()");
        call("applyConfig", jsonArgument(configurationPayload(c, hint)));
        EXPECT_EQ(js("[apiKeyInput.value, apiKeyInput.placeholder, clearKeyBtn.hidden, "
                     "velaApp.clearSavedKeyFlag]"),
                  json({"", initial["keyHint"], true, false}));
    }
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageTest, EachResultShowsItsBodyAndOnlySuccessIsCopyable) {
    using O = TranslationOutcome;
    struct Case {
        std::string script;
        std::string body;  // what the result body holds, but for a success
        bool closesSettings = false;
    };
    const Case cases[] = {
        {velaAppCall("setLoading"), ".muted"},
        {outcomeScript({O::Success{"訳文", "ja", false, 1234}}), ""},
        {outcomeScript({O::EmptyInput{"空です"}}), ".muted"},
        {outcomeScript({O::Failure{"失敗"}}), ".notice-box.err button"},
        {velaAppCall("showEmptyOCR"), ".notice-box:not(.err)", true},
        {velaAppCall("showPermissionError"), ".notice-box.err", true},
        {velaAppCall("clearSource"), ".muted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        call("showTranslationSuccess", "'前の訳', 'ja', 10");
        js("sourceInput.value = 'src'; velaApp.openSettings(true)");
        js(c.script);
        const bool success = c.body.empty();
        EXPECT_EQ(shown("settingsLayer"), !c.closesSettings);
        EXPECT_EQ(js("[velaApp.lastTranslatedText == '訳文', targetBody.textContent == '訳文']"),
                  json({success, success}));
        EXPECT_EQ(shown("targetToolbar"), success);
        EXPECT_TRUE(success || js("targetBody.querySelector('" + c.body + "') !== null") == true);
    }
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput") << "clearing focuses the field";
    call("showEmptyOCR");
    EXPECT_EQ(js("sourceInput.value"), "") << "a capture without text empties the field";
    EXPECT_NE(page->text("targetBody").find(ShortcutConfig::defaultCapture().compactDisplayText()),
              std::string::npos);
    EXPECT_TRUE(posts().empty());
    call("showError", "'失敗'");
    js("sourceInput.value = 'retry me'; targetBody.querySelector('button').click()");
    EXPECT_EQ(json(posts()), json::parse(R"([{"action": "translate", "text": "retry me",
        "sourceLang": "auto", "targetLang": "ja", "isManual": false}])"));
}

TEST_F(PanelPageTest, SuccessNamesTheTargetLanguageAndTheTime) {
    for (const auto& [code, ms, status] :
         {std::tuple{"ja", 1234LL, "1.23s"}, std::tuple{"ko", 12345LL, "12.35s"},
          std::tuple{"fr", 999LL, "1.00s"}}) {
        SCOPED_TRACE(code);
        js(outcomeScript({TranslationOutcome::Success{"Bonjour", code, false, ms}}));
        // Known codes are selected and named as in the selector; others show the code.
        const json known =
            js(std::string("[...tgtLang.options].find(o => o.value == '") + code + "')?.text");
        EXPECT_EQ(js("tgtLang.value"), known.is_null() ? "ko" : code);
        const std::string name = known.is_null() ? code : known.get<std::string>();
        EXPECT_NE(page->text("targetLangLabel").find("（" + name + "）"), std::string::npos);
        EXPECT_EQ(page->text("latencyLabel"), status);
    }
}

TEST_F(PanelPageTest, UntrustedTextIsShownAsTextNeverAsMarkup) {
    const std::string hostile =
        "<b>太字</b> <img src=x onerror=\"window.pwned=1\"> </script>"
        "<script>window.pwned=2</script>\r\nIt's \\ 2行目\n3行目";
    std::string plain = hostile;
    std::erase(plain, '\r');
    const std::pair<std::string, std::string> views[] = {
        {outcomeScript({TranslationOutcome::Success{hostile, "ja", false, 42}}), "targetBody"},
        {outcomeScript({TranslationOutcome::Failure{hostile}}), "targetBody"},
        {velaAppCall("showSettingsError", jsQuoted(hostile)), "settingsMsg"},
        {velaAppCall("showRemoteModal",
                     jsonArgument(remoteModalPayload({"", "x", hostile, hostile, hostile, ""}))),
         "remoteModalLayer"},
    };
    for (const auto& [script, id] : views) {
        SCOPED_TRACE(id);
        js(script);
        EXPECT_NE(page->text(id).find(id == "remoteModalLayer" ? hostile : plain),
                  std::string::npos);
        EXPECT_EQ(js(id + ".querySelector('b, img, script') === null"), true);
    }
    // Line breaks stay visible: three lines are at least three line heights high.
    js(outcomeScript({TranslationOutcome::Success{hostile, "ja", false, 42}}));
    EXPECT_GE(js("targetBody.scrollHeight / parseFloat(getComputedStyle(targetBody).lineHeight)")
                  .get<double>(),
              3.0);
    call("setSourceAndTranslate", jsQuoted(hostile));
    EXPECT_EQ(js("[sourceInput.value, velaApp.lastTranslatedText, typeof window.pwned]"),
              json({plain, plain, "undefined"}));
}

TEST_F(PanelPageTest, RemoteNoticesAreMarkedByTypeAndForcedOnesCannotBeClosed) {
    const std::string texts = "[remoteModalTitle.textContent, remoteModalActionBtn.textContent]";
    const json fallback = js(texts);
    call("showSettingsError", "'x'");
    // Forced updates wear the error colour, broadcasts the accent of the pinned badge.
    const std::string colours =
        "[getComputedStyle(settingsMsg).color, getComputedStyle(pinBadge).backgroundColor, "
        "getComputedStyle(remoteModalBadge).backgroundColor]";
    const json red = js(colours)[0], pink = js(colours)[1];
    struct Case {
        RemoteModal notice;
        json badge;
        const char* posts;  // for the action button
    };
    const Case cases[] = {
        {{"optionalUpdate", "up-2", "T", "M", "B", "https://e.test/dl"},
         nullptr,
         R"([{"action": "openExternalURL", "url": "https://e.test/dl"},
             {"action": "dismissRemotePopup", "id": "up-2"}])"},
        {{"broadcast", "", "", "", "", ""}, pink, "[]"},
        {{"forceUpdate", "force-1", "T", "M", "B", "https://e.test/new"},
         red,
         R"([{"action": "openExternalURL", "url": "https://e.test/new"}])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice.type);
        const bool closable = c.notice.type != "forceUpdate";
        call("showRemoteModal", jsonArgument(remoteModalPayload(c.notice)));
        EXPECT_EQ(shown("remoteModalCloseBtn"), closable);
        const json badge = js(colours)[2];
        EXPECT_TRUE(c.badge.is_null() ? badge != red && badge != pink : badge == c.badge);
        call("dismissRemoteModal");
        EXPECT_EQ(shown("remoteModalLayer"), !closable);
        EXPECT_EQ(posts().size(), closable && !c.notice.id.empty() ? 1u : 0u);
        call("showRemoteModal", jsonArgument(remoteModalPayload(c.notice)));
        js("remoteModalActionBtn.click()");
        EXPECT_EQ(json(posts()), json::parse(c.posts));
        EXPECT_EQ(shown("remoteModalLayer"), !closable);
    }
    call("showRemoteModal", R"({"type": "broadcast", "id": "jp-1", "title": ""})");
    EXPECT_EQ(js(texts), fallback) << "empty texts fall back to the page's own";
    js("remoteModalCloseBtn.click()");
    EXPECT_EQ(json(posts()), json::parse(R"([{"action": "dismissRemotePopup", "id": "jp-1"}])"));

    // A forced notice lies above the settings; only the panel's close button stays usable.
    call("showRemoteModal", jsonArgument(remoteModalPayload(cases[2].notice)));
    call("openSettings", "true");
    for (const auto& [target, topmost] :
         {std::pair{"#remoteModalTitle", "remoteModalTitle"},
          std::pair{"#pinBtn", "remoteModalLayer"}, std::pair{"#closeBtn", "closeBtn"}}) {
        const Point p = page->centerOf(target);
        EXPECT_EQ(js("document.elementFromPoint(" + std::to_string(p.x) + ", " +
                     std::to_string(p.y) + ").closest('[id]').id"),
                  topmost);
    }
}

TEST_F(PanelPageTest, SettingsMessagesAndSmallCallsPostNothing) {
    call("showTestConnectionResult", "true, '成功'");
    const json ok = js("[settingsMsg.textContent, getComputedStyle(settingsMsg).color]");
    call("showTestConnectionResult", "false, '失敗'");
    const json bad = js("[settingsMsg.textContent, getComputedStyle(settingsMsg).color]");
    call("showSettingsError", "'失敗'");
    EXPECT_EQ(js("[settingsMsg.textContent, getComputedStyle(settingsMsg).color]"), bad);
    EXPECT_EQ(json({ok[0], bad[0]}), json({"✓ 成功", "✗ 失敗"}));
    EXPECT_NE(ok[1], bad[1]);
    call("applySwappedLanguages", "'ja', 'en'");
    js("sourceInput.value = 'select me'; srcLang.focus(); velaApp.openSettings(true)");
    call("focusSourceInput");
    EXPECT_EQ(js("[srcLang.value, tgtLang.value, document.activeElement.id, "
                 "sourceInput.selectionEnd - sourceInput.selectionStart]"),
              json({"ja", "en", "sourceInput", 9}));
    EXPECT_FALSE(shown("settingsLayer"));
    call("openSettings", "false");
    EXPECT_TRUE(posts().empty());
}

}  // namespace
}  // namespace vela::test
