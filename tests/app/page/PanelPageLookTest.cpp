// What the user sees of the page, measured in the real web view: both colour schemes, the
// card inside the window with room for its shadow, nothing clipped in any view.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

// Visible elements whose text does not fit their box, or that stick out of the card
// (sideways only, inside the layers that scroll), and field hints cut short.
const char* kClipped = R"JS((() => {
  const card = mainShell.getBoundingClientRect(), bad = [], c = document.createElement('canvas').getContext('2d');
  const seen = e => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
  for (const e of mainShell.querySelectorAll('*')) {
    const s = getComputedStyle(e), r = e.getBoundingClientRect(), name = e.id + ' ' + e.className;
    if (!seen(e)) continue;
    if ([...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim()) && s.display !== 'inline' &&
        s.overflowX !== 'auto' && (e.scrollWidth > e.clientWidth + 1 || (s.overflowY !== 'auto' && e.scrollHeight > e.clientHeight + 1)))
      bad.push('text overflows ' + name);
    if (r.left < card.left - 0.5 || r.right > card.right + 0.5 || (!e.closest('#settingsLayer, #targetBody, #remoteModalMsg') &&
        (r.top < card.top - 0.5 || r.bottom > card.bottom + 0.5))) bad.push('out of the card ' + name);
    if (e.tagName === 'INPUT' && e.placeholder && !e.value) {
      c.font = (s.getPropertyValue('--placeholder-size').trim() || s.fontSize) + ' ' + s.fontFamily;
      if (c.measureText(e.placeholder).width > e.clientWidth - parseFloat(s.paddingLeft) - parseFloat(s.paddingRight) + 1)
        bad.push('hint cut ' + name);
    }
  }
  return bad;
})())JS";

// [dark, readable, left, top, width, height, shadow]: the card's scheme and contrast, its
// box, and whether its hard black shadow fits the window beside it.
const char* kCard = R"JS(((s, r) => {
  const lum = c => (([r, g, b]) => (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255)(c.match(/\d+/g).map(Number));
  const shadow = s.boxShadow.match(/^rgb\(0, 0, 0\) ([1-9]\d*)px ([1-9]\d*)px 0px/);
  return [lum(s.backgroundColor) < 0.5, Math.abs(lum(s.backgroundColor) - lum(s.color)) > 0.6,
    r.left, r.top, r.width, r.height, !!shadow && r.right + +shadow[1] <= innerWidth && r.bottom + +shadow[2] <= innerHeight];
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
        outcomeScript({TranslationOutcome::Success{text, "ja", false, 1234}}),
        velaAppCall("showEmptyOCR"),
        outcomeScript({TranslationOutcome::Failure{text}}),
        velaAppCall("applyConfig", R"({"channelMode": "custom", "hasSavedApiKey": true,
            "maskedApiKeyHint": "sk-a••••wxyz", "captureShortcut": "Ctrl + Alt + Shift + Super + T"})") +
            velaAppCall("openSettings", "true") + velaAppCall("showSettingsError", jsQuoted(text)),
        velaAppCall("openSettings", "false") +
            outcomeScript({TranslationOutcome::ForceUpdateRequired{text, "https://e.test/"}}),
    };
    for (const auto& [dark, w, h] :
         {std::tuple{false, 430, 440}, std::tuple{true, 470, 640}, std::tuple{true, 430, 440}}) {
        SCOPED_TRACE((dark ? "dark " : "light ") + std::to_string(w));
        page = std::make_unique<WebViewHarness>(panelPageHtml());  // a forced notice stays
        page->setDarkTheme(dark);
        page->resize(w, h);
        EXPECT_EQ(js(kCard), json({dark, true, 2, 2, w - 10, h - 10, true}));
        js("sourceInput.value = 'Vela translates the text under a dragged rectangle.'");
        for (const std::string& view : views) {
            SCOPED_TRACE(view.substr(0, 40));
            js(view);
            page->settle();
            EXPECT_EQ(js(kClipped), json::array());
        }
    }
    page->setDarkTheme(false);
    // Only the fields and the result can be selected.
    EXPECT_EQ(js("['pinBadge', 'targetLangLabel', 'sourceInput', 'targetBody', 'apiKeyInput']"
                 ".map(i => getComputedStyle(document.getElementById(i)).webkitUserSelect)"),
              json({"none", "none", "text", "text", "text"}));
}

}  // namespace
}  // namespace vela::test
