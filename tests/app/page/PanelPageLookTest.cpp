// The page's look: theme colours in light and dark, the card geometry, no
// external resources, nothing clipped at the panel's two sizes, and snapshots of
// every view for a person to look at (written under the build folder).
#include <filesystem>

#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

using nlohmann::json;

const std::filesystem::path kShotDir =
    std::filesystem::path(VELA_BINARY_DIR) / "screenshots" / "page";

// Elements with text that does not fit their box, and boxes that stick out of
// the card (or, inside a layer that scrolls, out of it sideways).
const char* kClippedScript = R"JS((() => {
  const shell = document.getElementById('mainShell').getBoundingClientRect();
  const visible = e => {
    const s = getComputedStyle(e);
    return s.display !== 'none' && s.visibility !== 'hidden' && e.getClientRects().length > 0;
  };
  const bad = [];
  const name = e => (e.id ? '#' + e.id : e.tagName.toLowerCase() + '.' + e.className) +
      ' "' + (e.textContent || e.placeholder || '').trim().slice(0, 30) + '"';
  for (const e of document.querySelectorAll('#mainShell *')) {
    if (!visible(e)) continue;
    let hidden = false;
    for (let p = e.parentElement; p; p = p.parentElement) if (!visible(p)) hidden = true;
    if (hidden) continue;
    const s = getComputedStyle(e);
    const ownText = [...e.childNodes].some(n => n.nodeType === 3 && n.textContent.trim());
    if (ownText && s.display !== 'inline' && s.overflowX !== 'auto' &&
        (e.scrollWidth > e.clientWidth + 1 || (s.overflowY !== 'auto' && e.scrollHeight > e.clientHeight + 1)))
      bad.push('text overflows ' + name(e));
    if (s.textOverflow === 'ellipsis' && e.scrollWidth > e.clientWidth + 1)
      bad.push('ellipsis on ' + name(e));
    const r = e.getBoundingClientRect();
    const scroller = e.closest('#settingsLayer, #targetBody, #remoteModalMsg');
    if (r.left < shell.left - 0.5 || r.right > shell.right + 0.5) bad.push('sideways out of the card: ' + name(e));
    if (!scroller && (r.top < shell.top - 0.5 || r.bottom > shell.bottom + 0.5)) bad.push('out of the card: ' + name(e));
  }
  for (const e of document.querySelectorAll('input[placeholder]')) {
    if (!visible(e) || e.value) continue;
    const c = document.createElement('canvas').getContext('2d');
    const size = getComputedStyle(e).getPropertyValue('--placeholder-size').trim() || getComputedStyle(e).fontSize;
    c.font = size + ' ' + getComputedStyle(document.documentElement).getPropertyValue('--font');
    const room = e.clientWidth - parseFloat(getComputedStyle(e).paddingLeft) - parseFloat(getComputedStyle(e).paddingRight);
    const need = c.measureText(e.placeholder).width;
    if (need > room + 1) bad.push('placeholder clipped ' + name(e) + ' ' + Math.round(need) + ' > ' + room);
  }
  return bad;
})())JS";

class PanelPageLookTest : public PanelPageTest {
  protected:
    void expectNothingClipped(const std::string& view) {
        SCOPED_TRACE(view);
        page->settle();
        EXPECT_EQ(js(kClippedScript), json::array());
    }
    void shoot(const std::string& name) {
        page->parkPointer();
        page->settle();
        page->saveSnapshot(kShotDir / (name + ".png"));
    }
};

TEST_F(PanelPageLookTest, ThemeColoursFollowTheSystemScheme) {
    const std::string vars =
        "(() => { const s = getComputedStyle(document.documentElement);"
        " return "
        "['--island','--island-2','--line','--text','--t2','--t3','--ink','--ink-fg','--acc',"
        "'--acc-fg','--ok','--warn','--warn-soft','--bad','--bad-soft'].map(v => "
        "s.getPropertyValue(v).trim()); })()";
    page->setDarkTheme(false);
    EXPECT_EQ(js(vars), json({"#FFFFFF", "#F4F4F0", "#000000", "#000000", "#3B3B38", "#666660",
                              "#000000", "#FFFFFF", "#FF90E8", "#000000", "#23A094", "#FFC900",
                              "#FFF5CC", "#DC341E", "#FDE8E5"}));
    EXPECT_EQ(js("getComputedStyle(document.getElementById('mainShell')).backgroundColor"),
              "rgb(255, 255, 255)");
    page->setDarkTheme(true);
    EXPECT_EQ(js(vars), json({"#141413", "#242423", "#DDDDDD", "#DDDDDD", "#B8B8B2", "#8E8E88",
                              "#DDDDDD", "#000000", "#FF90E8", "#000000", "#23A094", "#FFC900",
                              "#3A3110", "#DC341E", "#3B1814"}));
    EXPECT_EQ(js("getComputedStyle(document.getElementById('mainShell')).backgroundColor"),
              "rgb(20, 20, 19)");
    // The hard shadows stay black in the dark scheme.
    EXPECT_EQ(js("getComputedStyle(document.getElementById('mainShell')).boxShadow"),
              "rgb(0, 0, 0) 6px 6px 0px 0px");
    page->setDarkTheme(false);
}

TEST_F(PanelPageLookTest, CardControlsAndTypeFollowTheStyle) {
    for (auto [w, h] : {std::pair{430, 440}, std::pair{470, 640}}) {
        page->resize(w, h);
        EXPECT_EQ(
            js("(() => { const r = document.getElementById('mainShell').getBoundingClientRect();"
               " return [r.left, r.top, r.width, r.height]; })()"),
            json({2, 2, w - 10, h - 10}));
    }
    page->resize(430, 440);
    const json shell =
        js("(() => { const s = getComputedStyle(document.getElementById('mainShell'));"
           " return [s.borderTopWidth, s.borderTopLeftRadius, s.paddingTop, s.rowGap, "
           "s.boxShadow]; })()");
    EXPECT_EQ(shell, json({"2px", "8px", "16px", "12px", "rgb(0, 0, 0) 6px 6px 0px 0px"}));
    EXPECT_EQ(js("getComputedStyle(document.body).backgroundColor"), "rgba(0, 0, 0, 0)");
    EXPECT_EQ(js("document.getElementById('dragHeader').getBoundingClientRect().height"), 32);
    EXPECT_EQ(js("getComputedStyle(document.getElementById('dragHeader')).cursor"), "grab");
    EXPECT_EQ(js("[...document.querySelectorAll('#dragHeader .icon-btn')].map(b => {"
                 " const r = b.getBoundingClientRect(); return [r.width, r.height]; })"),
              json({{30, 30}, {30, 30}, {30, 30}}));
    EXPECT_EQ(js("document.querySelectorAll('#dragHeader .icon-btn svg').length"), 3);
    EXPECT_EQ(js("document.getElementById('sourceInput').getBoundingClientRect().height"), 64);
    EXPECT_EQ(js("document.getElementById('sourceInput').rows"), 3);
    EXPECT_EQ(js("(() => { const s = getComputedStyle(document.getElementById('targetBody'));"
                 " return [s.fontSize, s.lineHeight, s.minHeight, s.maxHeight, s.overflowY]; })()"),
              json({"15px", "24px", "68px", "112px", "auto"}));
    EXPECT_EQ(js("getComputedStyle(document.querySelector('.result-pane')).boxShadow"),
              "rgb(0, 0, 0) 3px 3px 0px 0px");
    // Borders are snapped to device pixels when drawn; the declared widths are what count.
    EXPECT_EQ(js("['--b-card', '--b-ctl'].map(v => getComputedStyle(document.documentElement)"
                 ".getPropertyValue(v).trim())"),
              json({"2px", "1.5px"}));
    EXPECT_EQ(js("(() => { const s = getComputedStyle(document.getElementById('copySrcBtn'));"
                 " return [s.borderTopStyle, s.borderTopLeftRadius, s.transitionDuration,"
                 " s.transitionTimingFunction.split(', cubic')[0]]; })()"),
              json({"solid", "4px", "0.14s, 0.14s, 0.14s, 0.14s", "cubic-bezier(0.2, 0, 0, 1)"}));
    EXPECT_EQ(js("getComputedStyle(document.getElementById('pinBadge')).borderTopLeftRadius"),
              "999px");
    const std::string font = js("getComputedStyle(document.body).fontFamily").get<std::string>();
    EXPECT_EQ(font.rfind("\"ABC Favorit\", \"Avenir Next\"", 0), 0u) << font;
    EXPECT_NE(font.find("\"Hiragino Sans\", \"Hiragino Kaku Gothic ProN\""), std::string::npos)
        << font;
    EXPECT_NE(js("getComputedStyle(document.getElementById('capKbdBtn')).fontFamily")
                  .get<std::string>()
                  .find("monospace"),
              std::string::npos);
    // Text is selectable only in the fields and the result body.
    EXPECT_EQ(
        js("['dragHeader', 'pinBadge', 'targetLangLabel', 'compactHotkeys', 'settingsMsg'].map(i =>"
           " getComputedStyle(document.getElementById(i)).webkitUserSelect)"),
        json({"none", "none", "none", "none", "none"}));
    EXPECT_EQ(
        js("['sourceInput', 'targetBody', 'apiKeyInput', 'modelInput', 'baseURLInput'].map(i =>"
           " getComputedStyle(document.getElementById(i)).webkitUserSelect)"),
        json({"text", "text", "text", "text", "text"}));
}

TEST_F(PanelPageLookTest, LoadsNothingFromOutside) {
    // The page is used by the user for a while; scripts and styles it could
    // fetch later would show up here too.
    call(
        "showRemoteModal({type: 'broadcast', id: 'a', title: 't', message: 'm', buttonText: 'b', "
        "buttonURL: 'https://example.test/'})");
    call("openSettings(true)");
    call("showTranslationSuccess('x', 'en', 1)");
    page->settle();
    ASSERT_EQ(page->resourceLoads().size(), 1u);
    EXPECT_EQ(page->resourceLoads()[0], "about:blank");
    EXPECT_EQ(js("performance.getEntriesByType('resource').length"), 0);
    EXPECT_EQ(js("document.querySelectorAll('link, img, iframe, object, embed, script[src], "
                 "[style*=\"url(\"]').length"),
              0);
    const std::string html(panelPageHtml());
    for (const char* needle : {"@import", "url(", "src=", "href=", "@font-face"}) {
        EXPECT_EQ(html.find(needle), std::string::npos) << needle;
    }
}

TEST_F(PanelPageLookTest, EveryViewFitsBothSizesInBothSchemes) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{430, 440}, {470, 640}};
    const std::string longTranslation = jsQuoted(
        "Vela は画面上の英語をその場で翻訳します。長い段落もスクロールして読めます。\n"
        "The quick brown fox jumps over the lazy dog. Supercalifragilisticexpialidocious-"
        "without-any-spaces-at-all-in-this-long-word.\n三行目、四行目まで続く訳文の例です。");
    for (bool dark : {false, true}) {
        page->setDarkTheme(dark);
        const std::string scheme = dark ? "dark" : "light";
        for (const Size& s : sizes) {
            page->resize(s.w, s.h);
            const std::string suffix =
                "-" + std::to_string(s.w) + "x" + std::to_string(s.h) + "-" + scheme;
            call(
                R"(applyConfig({"isPinned":true,"sourceLanguage":"auto","targetLanguage":"ja",)"
                R"("captureShortcut":"Ctrl + Alt + S","textShortcut":"Ctrl + Alt + G","compactHotkeys":"Ctrl+Alt+S / Ctrl+Alt+G",)"
                R"("channelMode":"builtin","customBaseURL":"https://api.deepseek.com/v1","hasSavedApiKey":false,)"
                R"("maskedApiKeyHint":"","customModel":"deepseek-chat","appVersion":"0.1.0","launchAtLogin":false}))");
            call("clearSource()");
            page->eval("document.activeElement.blur();");
            call("showTranslationSuccess(" + longTranslation + ", 'ja', 1234)");
            page->eval(
                "document.getElementById('sourceInput').value = 'Vela translates the text under a "
                "dragged rectangle.\\nIt works offline for recognition.'; "
                "document.getElementById('srcLang').value = 'en';");
            expectNothingClipped("translation" + suffix);
            shoot("translation" + suffix);

            call("showEmptyOCR()");
            expectNothingClipped("empty-ocr" + suffix);
            shoot("empty-ocr" + suffix);
            call(
                "showError('"
                "ネットワークに接続できませんでした。接続を確認してもう一度お試しください。')");
            expectNothingClipped("error" + suffix);
            shoot("error" + suffix);
            call("applyConfig({isPinned: false})");
            call("showPermissionError()");
            expectNothingClipped("permission" + suffix);
            shoot("permission" + suffix);

            call(
                R"(applyConfig({"isPinned":true,"channelMode":"custom","hasSavedApiKey":true,"maskedApiKeyHint":"sk-a••••wxyz",)"
                R"("captureShortcut":"Ctrl + Alt + Shift + T","textShortcut":"Ctrl + Alt + G"}))");
            call("openSettings(true)");
            call(
                "showTestConnectionResult(false, 'APIキーが無効です "
                "(401)。キーとベースURLを確認してください。')");
            expectNothingClipped("settings" + suffix);
            shoot("settings" + suffix);
            if (s.h == 640) {
                EXPECT_LE(js("(() => { const l = document.getElementById('settingsLayer');"
                             " return l.scrollHeight - l.clientHeight; })()")
                              .get<int>(),
                          0)
                    << "the settings layer fits the settings size without scrolling";
            }
            call(
                R"(applyConfig({"isPinned":true,"channelMode":"builtin","hasSavedApiKey":false,"maskedApiKeyHint":""}))");
            call("showSettingsError('このショートカットはシステムで予約されています')");
            expectNothingClipped("settings-builtin" + suffix);
            shoot("settings-builtin" + suffix);
            call("openSettings(false)");

            const json notices[] = {
                {{"type", "broadcast"},
                 {"id", "jp-1"},
                 {"title", "Vela からのお知らせ"},
                 {"message",
                  "新しい翻訳エンジンを試験提供しています。設定画面から切り替えられます。"},
                 {"buttonText", "詳細を見る"},
                 {"buttonURL", "https://example.test/news"}},
                {{"type", "optionalUpdate"},
                 {"id", "update-0.2.0"},
                 {"title", "新バージョン v0.2.0 が公開されました"},
                 {"message", "・OCR の精度を改善\n・設定画面の表示を調整"},
                 {"buttonText", "アップデートを確認"},
                 {"buttonURL", "https://example.test/dl"}},
                {{"type", "forceUpdate"},
                 {"id", "force-0.3.0"},
                 {"title", "必須アップデートのお知らせ (v0.3.0)"},
                 {"message", "このバージョンはサポートが終了しました。最新版に更新してください。"},
                 {"buttonText", "最新版をダウンロード"},
                 {"buttonURL", "https://example.test/dl"}}};
            for (const json& n : notices) {
                call("showRemoteModal(" + n.dump() + ")");
                expectNothingClipped("notice-" + n["type"].get<std::string>() + suffix);
                shoot("notice-" + n["type"].get<std::string>() + suffix);
            }
            // Fresh page state for the next round: only a new page closes a forced notice.
            page.reset();
            page = std::make_unique<WebViewHarness>(panelPageHtml());
            page->setDarkTheme(dark);
        }
    }
    page->setDarkTheme(false);
}

}  // namespace
}  // namespace vela::test
