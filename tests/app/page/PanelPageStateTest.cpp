// What the native side's scripts make the page show.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

using O = TranslationOutcome;

// What the controls show, named as the members of the configuration payload that set them.
const char* kControls = R"JS(({isPinned: velaApp.isPinned, sourceLanguage: srcLang.value,
  targetLanguage: tgtLang.value, captureShortcut: capKbdBtn.textContent,
  textShortcut: txtKbdBtn.textContent, compactHotkeys: compactHotkeys.textContent,
  channelMode: velaApp.channelMode, customBaseURL: baseURLInput.value, customModel: modelInput.value,
  hasSavedApiKey: velaApp.hasSavedApiKey, launchAtLogin: launchLoginChk.checked,
  badge: pinBadge.textContent, hint: sourceInput.placeholder, welcome: targetBody.textContent,
  keyHint: apiKeyInput.placeholder, keepKey: !clearKeyBtn.hidden, deleteKey: velaApp.clearSavedKeyFlag,
  rest: [pinBtn.getAttribute('aria-pressed'), radioCustom.checked, apiKeyInput.value,
         velaApp.recordedCapture, velaApp.recordedText]}))JS";

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
    js("velaApp.recordedCapture = velaApp.recordedText = {key: 'X', mods: []};"
       "apiKeyInput.value = 'typed'");
    call("applyConfig", jsonArgument(payload));
    json now = js(kControls);
    for (const auto& [member, value] : payload.items())
        EXPECT_TRUE(!now.contains(member) || now[member] == value) << member;
    EXPECT_NE(now["badge"], initial["badge"]);
    EXPECT_EQ(now["rest"], json({"false", true, "", nullptr, nullptr}));
    // The hints name the configured capture shortcut, and the key field the saved key.
    const std::string capture = c.captureShortcut.compactDisplayText();
    call("showEmptyOCR");
    for (const json& hint : {now["hint"], now["welcome"], json(page->text("targetBody"))})
        EXPECT_NE(hint.get<std::string>().find(capture), std::string::npos) << hint;
    EXPECT_EQ(json({now["keyHint"].get<std::string>().find("sk-a••••wxyz"), now["keepKey"]}),
              json({0, true}));
    // It offers to keep a saved key only when there is one and a hint for it.
    for (const auto& [key, hint] : {std::pair{"", "sk-a••••wxyz"}, std::pair{"sk-1", ""}}) {
        c.customApiKey = key;
        js("velaApp.clearSavedKey()");
        call("applyConfig", jsonArgument(configurationPayload(c, hint)));
        now = js(kControls);
        EXPECT_EQ(json({now["keyHint"], now["keepKey"], now["deleteKey"]}),
                  json({initial["keyHint"], false, false}))
            << hint;
    }
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageTest, EachResultShowsItsBodyAndOnlySuccessIsCopyable) {
    struct Case {
        std::string script;
        const char* body;  // what the result body holds
        bool closesSettings = false;
    };
    const Case cases[] = {
        {velaAppCall("setLoading"), ".muted"},
        {outcomeScript({O::Success{"訳文", "ja", false, 1234}}), "*"},  // text only
        {outcomeScript({O::EmptyInput{"空です"}}), ".muted"},
        {outcomeScript({O::Failure{"失敗"}}), ".notice-box.err button"},
        {velaAppCall("showEmptyOCR"), ".notice-box:not(.err)", true},
        {velaAppCall("showPermissionError"), ".notice-box.err", true},
        {velaAppCall("clearSource"), ".muted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        js(velaAppCall("showTranslationSuccess", "'前の訳', 'ja', 10") +
           "sourceInput.value = 'src'; velaApp.openSettings(true)");
        js(c.script);
        const bool success = c.body == std::string("*");
        EXPECT_EQ(js("[velaApp.lastTranslatedText == '訳文', targetBody.textContent == '訳文', "
                     "!!targetBody.querySelector('" +
                     std::string(c.body) + "')]"),
                  json({success, success, !success}));
        EXPECT_EQ(json({shown("targetToolbar"), shown("settingsLayer")}),
                  json({success, !c.closesSettings}));
    }
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput") << "clearing focuses the field";
    call("showEmptyOCR");
    EXPECT_EQ(js("sourceInput.value"), "") << "a capture without text empties the field";
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageTest, SuccessNamesTheTargetLanguageAndTheTime) {
    // [selected target, its name in the label ("option": as in the selector), time]
    const std::string shown =
        "[tgtLang.value, (n => n == tgtLang.selectedOptions[0].text ? 'option' : n)("
        "targetLangLabel.textContent.match(/（(.*)）/)[1]), latencyLabel.textContent]";
    for (const auto& [code, ms, expected] :
         {std::tuple{"ja", 1234LL, R"(["ja", "option", "1.23s"])"},
          std::tuple{"ko", 12345LL, R"(["ko", "option", "12.35s"])"},
          std::tuple{"fr", 999LL, R"(["ko", "fr", "1.00s"])"}}) {
        js(outcomeScript({O::Success{"Bonjour", code, false, ms}}));
        EXPECT_EQ(js(shown), json::parse(expected)) << code;
    }
}

TEST_F(PanelPageTest, UntrustedTextIsShownAsTextNeverAsMarkup) {
    const std::string hostile =
        "<b>太字</b> <img src=x onerror=\"window.pwned=1\"> </script>"
        "<script>window.pwned=2</script>\r\nIt's \\ 2行目\n3行目";
    std::string plain = hostile;
    std::erase(plain, '\r');
    const std::pair<std::string, std::string> views[] = {
        {outcomeScript({O::Failure{hostile}}), "targetBody"},
        {velaAppCall("showSettingsError", jsQuoted(hostile)), "settingsMsg"},
        {velaAppCall("showRemoteModal",
                     jsonArgument(remoteModalPayload({"", "x", hostile, hostile, hostile, ""}))),
         "remoteModalLayer"},
        {outcomeScript({O::Success{hostile, "ja", false, 42}}), "targetBody"},
    };
    for (const auto& [script, id] : views) {
        SCOPED_TRACE(id);
        js(script);
        EXPECT_NE(page->text(id).find(id == "remoteModalLayer" ? hostile : plain),
                  std::string::npos);
        EXPECT_EQ(js(id + ".querySelector('b, img, script') === null"), true);
    }
    // Line breaks stay visible: three lines are at least three line heights high.
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
    // Forced updates wear the error colour, broadcasts the accent of the pinned badge.
    call("showTestConnectionResult", "false, 'x'");
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
        EXPECT_EQ(posts(), json::parse(c.posts));
        EXPECT_EQ(shown("remoteModalLayer"), !closable);
    }
    call("showRemoteModal", R"({"type": "broadcast", "id": "jp-1", "title": ""})");
    EXPECT_EQ(js(texts), fallback) << "empty texts fall back to the page's own";
    js("remoteModalCloseBtn.click()");
    EXPECT_EQ(posts(), R"([{"action": "dismissRemotePopup", "id": "jp-1"}])"_json);

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

TEST_F(PanelPageTest, ConnectionTestsAreMarkedAndFocusingTheFieldLeavesTheSettings) {
    const std::string message = "[settingsMsg.textContent, getComputedStyle(settingsMsg).color]";
    call("showTestConnectionResult", "true, '成功'");
    const json ok = js(message);
    call("showTestConnectionResult", "false, '失敗'");
    const json bad = js(message);
    call("showSettingsError", "'失敗'");
    EXPECT_EQ(js(message), bad);
    EXPECT_EQ(json({ok[0], bad[0]}), json({"✓ 成功", "✗ 失敗"}));
    EXPECT_NE(ok[1], bad[1]);
    js("sourceInput.value = 'select me'; srcLang.focus(); velaApp.openSettings(true)");
    call("focusSourceInput");
    EXPECT_EQ(
        js("[document.activeElement.id, sourceInput.selectionEnd - sourceInput.selectionStart]"),
        json({"sourceInput", 9}));
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_TRUE(posts().empty());
}

}  // namespace
}  // namespace vela::test
