// What the user sees of the page, measured in the real web view: both colour schemes, the
// card inside the window with room for its shadow, nothing clipped in any view, nothing
// loaded from outside.
#include <cmath>
#include <cstdio>

#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

// Visible elements whose text does not fit their box, or that stick out of the card
// (sideways only inside the layers that scroll), and field hints cut short.
const char* kClipped = R"JS((() => {
  const card = mainShell.getBoundingClientRect(), bad = [];
  const seen = e => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
  const name = e => '#' + e.id + '.' + e.className + ' ' + (e.textContent || e.placeholder).trim().slice(0, 30);
  for (const e of mainShell.querySelectorAll('*')) {
    if (!seen(e)) continue;
    const s = getComputedStyle(e), r = e.getBoundingClientRect();
    const ownText = [...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim());
    if (ownText && s.display !== 'inline' && s.overflowX !== 'auto' && (e.scrollWidth > e.clientWidth + 1 ||
        (s.overflowY !== 'auto' && e.scrollHeight > e.clientHeight + 1))) bad.push('overflows ' + name(e));
    if (r.left < card.left - 0.5 || r.right > card.right + 0.5 || (!e.closest('#settingsLayer, #targetBody, #remoteModalMsg') &&
        (r.top < card.top - 0.5 || r.bottom > card.bottom + 0.5))) bad.push('out of the card ' + name(e));
  }
  const c = document.createElement('canvas').getContext('2d');
  for (const e of document.querySelectorAll('input[placeholder]')) {
    if (!seen(e) || e.value) continue;
    const s = getComputedStyle(e);
    c.font = (s.getPropertyValue('--placeholder-size').trim() || s.fontSize) + ' ' + s.fontFamily;
    if (c.measureText(e.placeholder).width > e.clientWidth - parseFloat(s.paddingLeft) - parseFloat(s.paddingRight) + 1)
      bad.push('hint cut ' + name(e));
  }
  return bad;
})())JS";

double luminance(const json& rgb) {  // "rgb(r, g, b)"
    int r = 0, g = 0, b = 0;
    std::sscanf(rgb.get<std::string>().c_str(), "rgb%*[a(] %d, %d, %d", &r, &g, &b);
    return (0.2126 * r + 0.7152 * g + 0.0722 * b) / 255.0;
}

TEST_F(PanelPageTest, ColoursFollowTheSystemSchemeAndShadowsStayBlack) {
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        page->setDarkTheme(dark);
        const json card =
            js("(s => [s.backgroundColor, s.color, s.boxShadow])(getComputedStyle(mainShell))");
        EXPECT_EQ(luminance(card[0]) > 0.5, !dark);
        EXPECT_GT(std::abs(luminance(card[0]) - luminance(card[1])), 0.6) << card;
        EXPECT_EQ(card[2].get<std::string>().rfind("rgb(0, 0, 0) 6px 6px 0px", 0), 0u) << card;
    }
    page->setDarkTheme(false);
}

TEST_F(PanelPageTest, TheCardLeavesRoomForItsShadowAndOnlyFieldsAndResultsSelect) {
    for (auto [w, h] : {std::pair{430, 440}, std::pair{470, 640}}) {
        SCOPED_TRACE(w);
        page->resize(w, h);
        EXPECT_EQ(
            js("(r => [r.left, r.top, r.width, r.height])(mainShell.getBoundingClientRect())"),
            json({2, 2, w - 10, h - 10}));
    }
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
    const std::string longText = jsQuoted(
        "Vela は画面上の英語をその場で翻訳します。長い段落もスクロールして読めます。\nThe quick "
        "brown fox. Supercalifragilisticexpialidocious-without-any-spaces-at-all-in-this-word.");
    const std::pair<std::string, std::string> views[] = {
        {"translation", velaAppCall("showTranslationSuccess", longText + ", 'ja', 1234")},
        {"empty capture", velaAppCall("showEmptyOCR")},
        {"error", velaAppCall("showError", longText)},
        {"permission", velaAppCall("showPermissionError")},
        {"settings",
         velaAppCall("applyConfig", R"({"channelMode": "custom", "hasSavedApiKey": true,)"
                                    R"("maskedApiKeyHint": "sk-a••••wxyz", "captureShortcut":)"
                                    R"("Ctrl + Alt + Shift + Super + T"})") +
             velaAppCall("openSettings", "true") + velaAppCall("showSettingsError", longText)},
        {"notice", velaAppCall("openSettings", "false") +
                       velaAppCall("showRemoteModal",
                                   jsonArgument(remoteModalPayload(
                                       {"forceUpdate", "f", "必須アップデートのお知らせ (v0.3.0)",
                                        "・OCR の精度を改善\n・設定画面の表示を調整",
                                        "最新版をダウンロード", "https://e.test/"})))},
    };
    for (bool dark : {false, true}) {
        page->setDarkTheme(dark);
        for (auto [w, h] : {std::pair{430, 440}, std::pair{470, 640}}) {
            page->resize(w, h);
            js("sourceInput.value = 'Vela translates the text under a dragged rectangle.'");
            for (const auto& [name, script] : views) {
                SCOPED_TRACE(name + (dark ? " dark " : " light ") + std::to_string(w));
                page->eval(script);
                page->settle();
                EXPECT_EQ(js(kClipped), json::array());
            }
            page = std::make_unique<WebViewHarness>(panelPageHtml());  // a forced notice stays
        }
    }
    page->setDarkTheme(false);
}

}  // namespace
}  // namespace vela::test
