// What the user sees of the page, measured in the real web view: both colour schemes, the
// card inside the window with room for its shadow, nothing clipped in any view.
#include <cmath>
#include <cstdio>

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

double luminance(const json& colour) {  // "rgb(r, g, b)"
    int r = 0, g = 0, b = 0;
    std::sscanf(colour.get<std::string>().c_str(), "rgb%*[a(] %d, %d, %d", &r, &g, &b);
    return (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0;
}

TEST_F(PanelPageTest, SchemesAndSizesKeepTheCardReadableAndItsShadowInside) {
    for (const auto& [dark, w, h] : {std::tuple{false, 430, 440}, std::tuple{true, 470, 640}}) {
        SCOPED_TRACE(w);
        page->setDarkTheme(dark);
        page->resize(w, h);
        const json card =
            js("(s => [s.backgroundColor, s.color, s.boxShadow])(getComputedStyle(mainShell))");
        EXPECT_EQ(luminance(card[0]) > 0.5, !dark) << card;
        EXPECT_GT(std::abs(luminance(card[0]) - luminance(card[1])), 0.6) << card;
        // The hard shadow, black in both schemes, fits inside the window beside the card.
        EXPECT_TRUE(card[2].get<std::string>().starts_with("rgb(0, 0, 0) 6px 6px 0px")) << card;
        EXPECT_EQ(
            js("(r => [r.left, r.top, r.width, r.height])(mainShell.getBoundingClientRect())"),
            json({2, 2, w - 10, h - 10}));
    }
    page->setDarkTheme(false);
    // Only the fields and the result can be selected.
    EXPECT_EQ(js("['pinBadge', 'targetLangLabel', 'sourceInput', 'targetBody', 'apiKeyInput']"
                 ".map(i => getComputedStyle(document.getElementById(i)).webkitUserSelect)"),
              json({"none", "none", "text", "text", "text"}));
}

TEST(PanelPageText, RefersToNothingOutside) {
    const std::string html(panelPageHtml());
    for (const char* reference : {"@import", "url(", "src=", "href=", "@font-face", "fetch("})
        EXPECT_EQ(html.find(reference), std::string::npos) << reference;
}

TEST_F(PanelPageTest, EveryViewFitsBothSizesInBothSchemes) {
    const std::string text =
        ("Vela は画面上の英語をその場で翻訳します。長い段落もスクロールして読めます。\nThe quick "
         "brown fox. Supercalifragilisticexpialidocious-without-any-spaces-at-all-in-this-word.");
    const std::string longText = jsQuoted(text);
    const std::string views[] = {
        velaAppCall("showTranslationSuccess", longText + ", 'ja', 1234"),
        velaAppCall("showEmptyOCR"),
        velaAppCall("showError", longText),
        velaAppCall("applyConfig", R"({"channelMode": "custom", "hasSavedApiKey": true,
            "maskedApiKeyHint": "sk-a••••wxyz", "captureShortcut": "Ctrl + Alt + Shift + Super + T"})") +
            velaAppCall("openSettings", "true") + velaAppCall("showSettingsError", longText),
        velaAppCall("openSettings", "false") +
            velaAppCall("showRemoteModal",
                        jsonArgument(remoteModalPayload({"forceUpdate", "f",
                                                         "必須アップデートのお知らせ (v0.3.0)",
                                                         longText, "最新版をダウンロード", ""}))),
    };
    for (const auto& [dark, w, h] :
         {std::tuple{false, 430, 440}, std::tuple{false, 470, 640}, std::tuple{true, 430, 440}}) {
        page = std::make_unique<WebViewHarness>(panelPageHtml());  // a forced notice stays
        page->setDarkTheme(dark);
        page->resize(w, h);
        js("sourceInput.value = 'Vela translates the text under a dragged rectangle.'");
        for (const std::string& view : views) {
            SCOPED_TRACE(view.substr(0, 40) + (dark ? " dark " : " light ") + std::to_string(w));
            js(view);
            page->settle();
            EXPECT_EQ(js(kClipped), json::array());
        }
    }
    page->setDarkTheme(false);
}

}  // namespace
}  // namespace vela::test
