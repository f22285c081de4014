// What the native side's scripts make the page show, and how it looks in both colour schemes
// and sizes, measured in the real web view.
#include "core/settings/SettingsFileCodec.h"
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

    // A stored record that differs from the defaults in every member the page shows.
    json stored = json::parse(encodeSettingsFile(VelaConfig{}));
    stored.update(R"({"isPinned": false, "sourceLanguage": "en", "targetLanguage": "zh",
        "captureShortcut": {"key": "t", "keyCode": 17, "modifiers": ["control"]},
        "textShortcut": {"key": "j", "keyCode": 38, "modifiers": ["command"]},
        "channelMode": "custom", "customBaseURL": "https://x.test/v1", "customApiKey": "sk-1",
        "customModel": "model-x", "launchAtLogin": true})"_json);
    const VelaConfig c = decodeSettingsFile(stored.dump()).value();
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
        js(c.clicks + std::string(".click()"));
        EXPECT_EQ(posts(), json::parse(c.posts));
        EXPECT_EQ(js(seen("remoteModalLayer")), c.notice.type == "forceUpdate");
    }
}

// Visible elements whose text does not fit their box, or that stick out of the card
// (sideways only, inside the layers that scroll).
const char* kClipped = R"JS((() => {
  const card = mainShell.getBoundingClientRect(), bad = [];
  for (const e of mainShell.querySelectorAll('*')) {
    const s = getComputedStyle(e), r = e.getBoundingClientRect(), name = e.id + ' ' + e.className;
    if (!e.checkVisibility({visibilityProperty: true})) continue;
    if ([...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim()) && s.display !== 'inline' &&
        s.overflowX !== 'auto' && (e.scrollWidth > e.clientWidth + 1 || (s.overflowY !== 'auto' && e.scrollHeight > e.clientHeight + 1)))
      bad.push('text overflows ' + name);
    if (r.left < card.left - 0.5 || r.right > card.right + 0.5 || (!e.closest('#settingsLayer, #targetBody, #remoteModalMsg') &&
        (r.top < card.top - 0.5 || r.bottom > card.bottom + 0.5))) bad.push('out of the card ' + name);
  }
  return bad;
})())JS";

// [dark, readable, left, top, width, height, shadow, selectable]: the card's scheme and
// contrast, its box, whether its hard black shadow fits the window beside it, and which of
// a label, the badge, the fields and the result can be selected.
const char* kCard = R"JS(((s, r) => {
  const lum = c => (([r, g, b]) => (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255)(c.match(/\d+/g).map(Number));
  const shadow = s.boxShadow.match(/^rgb\(0, 0, 0\) ([1-9]\d*)px ([1-9]\d*)px 0px/);
  return [lum(s.backgroundColor) < 0.5, Math.abs(lum(s.backgroundColor) - lum(s.color)) > 0.6,
    r.left, r.top, r.width, r.height, !!shadow && r.right + +shadow[1] <= innerWidth && r.bottom + +shadow[2] <= innerHeight,
    [pinBadge, targetLangLabel, sourceInput, targetBody, apiKeyInput].map(e => getComputedStyle(e).webkitUserSelect).join()];
})(getComputedStyle(mainShell), mainShell.getBoundingClientRect()))JS";

TEST(PanelPageText, RefersToNothingOutside) {
    const std::string html(panelPageHtml());
    for (const char* reference : {"@import", "url(", "src=", "href=", "@font-face", "fetch("})
        EXPECT_EQ(html.find(reference), std::string::npos) << reference;
}

TEST_F(PanelPageTest, EveryViewIsReadableAndFitsTheCardInBothSchemesAndSizes) {
    const std::string text =
        "Vela は画面上の英語をその場で翻訳します。長い段落もスクロールして読めます。\n"
        "Supercalifragilisticexpialidocious-without-any-spaces-at-all-in-this-word.";
    const std::string views[] = {
        outcomeScript({O::Success{text, "ja", false, 1234}}),
        velaAppCall("showEmptyOCR"),
        outcomeScript({O::Failure{text}}),
        velaAppCall("applyConfig", R"({"channelMode": "custom", "hasSavedApiKey": true,
            "maskedApiKeyHint": "sk-a••••wxyz", "captureShortcut": "Ctrl + Alt + Shift + Super + T"})") +
            velaAppCall("openSettings", "true") + velaAppCall("showSettingsError", jsQuoted(text)),
        velaAppCall("openSettings", "false") +
            outcomeScript({O::ForceUpdateRequired{text, "https://e.test/"}}),
    };
    for (const auto& [dark, w, h] :
         {std::tuple{false, 430, 440}, std::tuple{true, 470, 640}, std::tuple{true, 430, 440}}) {
        SCOPED_TRACE((dark ? "dark " : "light ") + std::to_string(w));
        page = std::make_unique<WebViewHarness>(panelPageHtml());  // a forced notice stays
        page->setDarkTheme(dark);
        page->resize(w, h);
        EXPECT_EQ(js(kCard),
                  json({dark, true, 2, 2, w - 10, h - 10, true, "none,none,text,text,text"}));
        js("sourceInput.value = 'Vela translates the text under a dragged rectangle.'");
        for (const std::string& view : views) {
            SCOPED_TRACE(view.substr(0, 40));
            js(view);
            page->settle();
            EXPECT_EQ(js(kClipped), json::array());
        }
    }
    page->setDarkTheme(false);
}

}  // namespace
}  // namespace vela::test
