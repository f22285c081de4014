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
  keyHint: apiKeyInput.placeholder, keepKey: !clearKeyBtn.hidden,
  rest: [pinBtn.getAttribute('aria-pressed'), radioCustom.checked, apiKeyInput.value,
         velaApp.recordedCapture, velaApp.recordedText]}))JS";

TEST_F(PanelPageTest, ConfigurationsFillTheControlsAndTheDefaultsAreTheStartingState) {
    const json initial = js(kControls);
    call("applyConfig", jsonArgument(configurationPayload(VelaConfig{}, "")));
    EXPECT_EQ(js(kControls), initial) << "the page starts as the default settings show it";

    VelaConfig c;
    c.captureShortcut = ShortcutConfig("t", 17, {ShortcutModifier::control});
    c.textShortcut = ShortcutConfig("j", 38, {ShortcutModifier::command});
    c.channelMode = TranslationChannelMode::custom;
    c.customBaseURL = "https://x.test/v1";
    c.customApiKey = "sk-abcd1234wxyz";
    c.customModel = "model-x";
    c.launchAtLogin = true;
    c.isPinned = false;
    c.sourceLanguage = "en";
    c.targetLanguage = "zh";
    const json payload = configurationPayload(c, "sk-a••••wxyz");
    js("velaApp.recordedCapture = velaApp.recordedText = {key: 'X', mods: []};"
       "apiKeyInput.value = 'typed'");
    call("applyConfig", jsonArgument(payload));
    const json now = js(kControls);
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
    EXPECT_TRUE(posts().empty());
}

TEST_F(PanelPageTest, EachResultShowsItsBodyAndOnlySuccessIsCopyable) {
    // [what is copyable, copy buttons shown, settings still open, the body's box or text,
    //  the selected target language, named in the result's label]
    const std::string result =
        "[velaApp.lastTranslatedText, " + seen("targetToolbar") + ", " + seen("settingsLayer") +
        ", targetBody.firstElementChild?.className ?? targetBody.textContent, tgtLang.value, "
        "targetLangLabel.textContent.includes('（' + tgtLang.selectedOptions[0].text + '）')]";
    const std::pair<std::string, const char*> results[] = {
        {velaAppCall("setLoading"), R"(["", false, true, "muted", "ja", true])"},
        {outcomeScript({O::Success{"訳文", "ko", false, 12345}}),
         R"(["訳文", true, true, "訳文", "ko", true])"},
        {outcomeScript({O::EmptyInput{"空です"}}), R"(["", false, true, "muted", "ja", true])"},
        {outcomeScript({O::Failure{"失敗"}}), R"(["", false, true, "notice-box err", "ja", true])"},
        {velaAppCall("showEmptyOCR"), R"(["", false, false, "notice-box", "ja", true])"},
        {velaAppCall("showPermissionError"), R"(["", false, false, "notice-box err", "ja", true])"},
        // An unknown target leaves the selector, and the label does not name its language.
        {outcomeScript({O::Success{"訳文", "xx", false, 1}}),
         R"(["訳文", true, true, "訳文", "ja", false])"},
        {velaAppCall("clearSource"), R"(["", false, true, "muted", "ja", true])"},
    };
    for (const auto& [script, expected] : results) {
        js(velaAppCall("showTranslationSuccess", "'前の訳', 'ja', 10") +
           "sourceInput.value = 'src'; velaApp.openSettings(true);" + script);
        EXPECT_EQ(js(result), json::parse(expected)) << script;
    }
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput") << "clearing focuses the field";
    call("showEmptyOCR");
    EXPECT_EQ(js("sourceInput.value"), "") << "a capture without text empties the field";
    EXPECT_TRUE(posts().empty());
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
        js(script);
        const json shown = id == "remoteModalLayer" ? hostile : plain;  // JSON keeps the \r
        EXPECT_EQ(js("[" + id + ".textContent.includes(" + shown.dump() + "), " + id +
                     ".querySelector('b, img, script')]"),
                  json({true, nullptr}))
            << id;
    }
    // Nothing ran, and line breaks stay visible: three lines take three line heights.
    EXPECT_EQ(js("[typeof window.pwned, targetBody.scrollHeight >= "
                 "3 * parseFloat(getComputedStyle(targetBody).lineHeight)]"),
              json({"undefined", true}));
}

TEST_F(PanelPageTest, RemoteNoticesAreMarkedByTypeAndForcedOnesCannotBeClosed) {
    const std::string texts = "[remoteModalTitle.textContent, remoteModalActionBtn.textContent]";
    const json fallback = js(texts);
    // [closable, its badge wears the error colour, its badge wears the pinned badge's accent]
    const std::string marks =
        "(b => [!remoteModalCloseBtn.hidden, b == getComputedStyle(settingsMsg).color, b == "
        "getComputedStyle(pinBadge).backgroundColor])(getComputedStyle(remoteModalBadge)."
        "backgroundColor)";
    call("showSettingsError", "'x'");
    struct Case {
        RemoteModal notice;
        const char* marks;
        const char* clicks;  // the buttons clicked, last without ".click()"
        const char* posts;
    };
    const Case cases[] = {
        {{"optionalUpdate", "up-2", "T", "M", "B", "https://e.test/dl"},
         "[true, false, false]",
         "remoteModalActionBtn",
         R"([{"action": "openExternalURL", "url": "https://e.test/dl"},
             {"action": "dismissRemotePopup", "id": "up-2"}])"},
        {{"broadcast", "jp-1", "", "", "", ""},
         "[true, false, true]",
         "remoteModalCloseBtn",
         R"([{"action": "dismissRemotePopup", "id": "jp-1"}])"},
        {{"forceUpdate", "force-1", "T", "M", "B", "https://e.test/new"},
         "[false, true, false]",
         "remoteModalCloseBtn.click(); remoteModalActionBtn",
         R"([{"action": "openExternalURL", "url": "https://e.test/new"}])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice.type);
        call("showRemoteModal", jsonArgument(remoteModalPayload(c.notice)));
        EXPECT_EQ(js(marks), json::parse(c.marks));
        EXPECT_EQ(js(texts), c.notice.title.empty() ? fallback : json({"T", "B"}));
        js(c.clicks + std::string(".click()"));
        EXPECT_EQ(posts(), json::parse(c.posts));
        EXPECT_EQ(js(seen("remoteModalLayer")), c.notice.type == "forceUpdate");
    }
    // A forced notice lies above the settings; only the panel's close button stays usable.
    call("openSettings", "true");
    EXPECT_EQ(
        js("['remoteModalTitle', 'pinBtn', 'closeBtn'].map(i => (r => document.elementFromPoint("
           "r.x + r.width / 2, r.y + r.height / 2).closest('[id]').id)(document."
           "getElementById(i).getBoundingClientRect()))"),
        json({"remoteModalTitle", "remoteModalLayer", "closeBtn"}));
}

}  // namespace
}  // namespace vela::test
