// What the native side's calls on window.velaApp make the page show.
#include "tests/app/page/PanelPageFixture.h"

namespace vela::test {
namespace {

using nlohmann::json;

TEST_F(PanelPageTest, StartsWithItsWaitingTextsAndDefaults) {
    EXPECT_EQ(state("isPinned"), true);
    EXPECT_EQ(state("channelMode"), "builtin");
    EXPECT_EQ(state("hasSavedApiKey"), false);
    EXPECT_EQ(state("clearSavedKeyFlag"), false);
    EXPECT_EQ(state("currentRemoteModal"), nullptr);
    EXPECT_EQ(state("lastTranslatedText"), "");
    EXPECT_EQ(state("recordingTarget"), nullptr);
    EXPECT_EQ(state("recordedCapture"), nullptr);
    EXPECT_EQ(state("recordedText"), nullptr);

    EXPECT_EQ(js("document.documentElement.lang"), "ja");
    EXPECT_EQ(text("pinBadge"), "最前面に固定中");
    EXPECT_TRUE(hasClass("pinBadge", "is-pinned"));
    EXPECT_EQ(text("targetLangLabel"), "訳文（日本語）");
    EXPECT_EQ(text("latencyLabel"), "待機中");
    EXPECT_EQ(text("targetBody"),
              "Ctrl+Alt+S で画面上の英語・外国語を囲むか、上にテキストを貼り付けて Enter "
              "を押すと即座に翻訳します。");
    EXPECT_EQ(text("compactHotkeys"), "Ctrl+Alt+S / Ctrl+Alt+G");
    EXPECT_EQ(placeholder("sourceInput"),
              "Ctrl+Alt+S で画面を範囲選択してOCR翻訳、またはここにテキストを貼り付けて Enter...");
    EXPECT_EQ(value("srcLang"), "auto");
    EXPECT_EQ(value("tgtLang"), "ja");
    EXPECT_EQ(
        js("[...document.getElementById('srcLang').options].map(o => o.value + '=' + o.text)"),
        json({"auto=自動検出", "en=英語 (English)", "ja=日本語", "zh=中国語 (簡体字)",
              "ko=韓国語 (한국어)"}));
    EXPECT_EQ(
        js("[...document.getElementById('tgtLang').options].map(o => o.value + '=' + o.text)"),
        json({"ja=日本語", "en=英語 (English)", "zh=中国語 (簡体字)", "ko=韓国語 (한국어)"}));
    EXPECT_EQ(js("['pinBtn', 'settingsBtn', 'closeBtn', 'swapBtn', 'demoPopupBtn'].map(i => "
                 "document.getElementById(i).title)"),
              json({"最前面に固定 / 解除", "環境設定", "ウィンドウを閉じる", "言語を入れ替え",
                    "リモート制御ポップアップの動作テスト"}));
    EXPECT_EQ(text("capKbdBtn"), "Ctrl + Alt + S");
    EXPECT_EQ(text("txtKbdBtn"), "Ctrl + Alt + G");
    EXPECT_EQ(value("baseURLInput"), "https://api.deepseek.com/v1");
    EXPECT_EQ(placeholder("baseURLInput"), "https://api.deepseek.com/v1");
    EXPECT_EQ(value("modelInput"), "deepseek-chat");
    EXPECT_EQ(placeholder("modelInput"), "モデル名 (デフォルト: deepseek-chat)");
    EXPECT_EQ(js("document.getElementById('apiKeyInput').type"), "password");
    EXPECT_EQ(js("document.getElementById('clearKeyBtn').hidden"), true);
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_FALSE(shown("remoteModalLayer"));
    EXPECT_EQ(text("remoteModalBadge"), "お知らせ");
    EXPECT_EQ(text("remoteModalTitle"), "Vela からのお知らせ");
    EXPECT_EQ(text("remoteModalCloseBtn"), "閉じる");
    EXPECT_EQ(text("remoteModalActionBtn"), "詳細を見る");
}

TEST_F(PanelPageTest, ApplyConfigFillsEveryControlAndFollowsTheKeyRules) {
    call("openSettings(true)");
    page->eval(
        "velaApp.recordedCapture = {key: 'X', mods: ['control']};"
        "velaApp.recordedText = {key: 'Y', mods: []};");
    call(R"(applyConfig({"isPinned":false,"sourceLanguage":"en","targetLanguage":"zh",)"
         R"("captureShortcut":"Ctrl + Shift + T","textShortcut":"Super + J",)"
         R"("compactHotkeys":"Ctrl+Shift+T / Super+J","channelMode":"custom",)"
         R"("customBaseURL":"https://llm.example.test/v1","hasSavedApiKey":true,)"
         R"("maskedApiKeyHint":"sk-a••••wxyz","customModel":"model-x","appVersion":"0.1.0",)"
         R"("launchAtLogin":true}))");
    EXPECT_EQ(state("isPinned"), false);
    EXPECT_EQ(text("pinBadge"), "外部クリックで閉じる");
    EXPECT_FALSE(hasClass("pinBadge", "is-pinned"));
    EXPECT_EQ(js("document.getElementById('pinBtn').getAttribute('aria-pressed')"), "false");
    EXPECT_EQ(state("recordedCapture"), nullptr);
    EXPECT_EQ(state("recordedText"), nullptr);
    EXPECT_EQ(value("srcLang"), "en");
    EXPECT_EQ(value("tgtLang"), "zh");
    EXPECT_EQ(text("capKbdBtn"), "Ctrl + Shift + T");
    EXPECT_EQ(text("txtKbdBtn"), "Super + J");
    EXPECT_EQ(text("compactHotkeys"), "Ctrl+Shift+T / Super+J");
    // The hints name the configured capture shortcut.
    EXPECT_EQ(placeholder("sourceInput").find("Ctrl+Shift+T で画面を範囲選択して"), 0u);
    EXPECT_EQ(state("channelMode"), "custom");
    EXPECT_EQ(js("document.getElementById('radioCustom').checked"), true);
    EXPECT_TRUE(hasClass("radioCustomLabel", "active"));
    EXPECT_FALSE(hasClass("radioBuiltinLabel", "active"));
    EXPECT_EQ(value("baseURLInput"), "https://llm.example.test/v1");
    EXPECT_EQ(state("hasSavedApiKey"), true);
    EXPECT_EQ(value("apiKeyInput"), "");
    EXPECT_EQ(placeholder("apiKeyInput"), "sk-a••••wxyz（空欄で維持）");
    EXPECT_TRUE(shown("clearKeyBtn"));
    EXPECT_EQ(text("clearKeyBtn"), "キー削除");
    EXPECT_EQ(value("modelInput"), "model-x");
    EXPECT_EQ(js("document.getElementById('launchLoginChk').checked"), true);
    EXPECT_TRUE(page->messages().empty());

    const std::string defaultKeyPlaceholder =
        "APIキーを入力 (例: sk-... または sk-qrtx-pilot-sandbox1)";
    // A saved key without a hint, and a hint without a saved key, both fall back.
    page->eval("document.getElementById('apiKeyInput').value = 'typed';");
    call(R"(applyConfig({"isPinned":true,"hasSavedApiKey":true,"maskedApiKeyHint":""}))");
    EXPECT_EQ(placeholder("apiKeyInput"), defaultKeyPlaceholder);
    EXPECT_EQ(value("apiKeyInput"), "");
    EXPECT_FALSE(shown("clearKeyBtn"));
    call(
        R"(applyConfig({"isPinned":true,"hasSavedApiKey":false,"maskedApiKeyHint":"sk-a••••wxyz"}))");
    EXPECT_EQ(placeholder("apiKeyInput"), defaultKeyPlaceholder);
    EXPECT_FALSE(shown("clearKeyBtn"));
    EXPECT_EQ(state("isPinned"), true);
    EXPECT_EQ(text("pinBadge"), "最前面に固定中");
    // Members that are absent leave their controls as they were.
    EXPECT_EQ(value("srcLang"), "en");
    EXPECT_EQ(value("modelInput"), "model-x");
    EXPECT_EQ(value("baseURLInput"), "https://llm.example.test/v1");
    EXPECT_EQ(state("channelMode"), "custom");
    EXPECT_EQ(js("document.getElementById('launchLoginChk').checked"), false);
    // Any channel name other than "custom" is the builtin channel.
    call(R"(applyConfig({"isPinned":true,"channelMode":"Custom"}))");
    EXPECT_EQ(state("channelMode"), "builtin");
    EXPECT_EQ(js("document.getElementById('radioBuiltin').checked"), true);
}

TEST_F(PanelPageTest, StateFunctionsRenderTheirTexts) {
    page->eval("velaApp.showTranslationSuccess('前の訳', 'ja', 10);");
    call("setLoading()");
    EXPECT_EQ(state("lastTranslatedText"), "");
    EXPECT_EQ(text("latencyLabel"), "翻訳中...");
    EXPECT_EQ(text("targetBody"), "スピード翻訳中...");
    EXPECT_EQ(js("getComputedStyle(document.querySelector('#targetBody > span.muted')).color"),
              "rgb(102, 102, 96)");
    EXPECT_FALSE(shown("targetToolbar"));

    call("showEmptyInput('翻訳するテキストを入力してください')");
    EXPECT_EQ(text("latencyLabel"), "-");
    EXPECT_EQ(text("targetBody"), "翻訳するテキストを入力してください");
    EXPECT_EQ(js("document.querySelectorAll('#targetBody .muted').length"), 1);

    page->clearMessages();
    page->eval("document.getElementById('sourceInput').value = 'retry me';");
    call("showError('翻訳に失敗しました')");
    EXPECT_EQ(state("lastTranslatedText"), "");
    EXPECT_EQ(text("latencyLabel"), "エラー");
    EXPECT_EQ(js("document.querySelector('#targetBody .notice-box.err .notice-main').textContent"),
              "翻訳に失敗しました");
    EXPECT_EQ(js("document.querySelector('#targetBody .notice-box.err button').textContent"),
              "再試行");
    page->eval("document.querySelector('#targetBody .notice-box button').click();");
    ASSERT_EQ(page->messages().size(), 1u);
    EXPECT_EQ(page->messages()[0], json({{"action", "translate"},
                                         {"text", "retry me"},
                                         {"sourceLang", "auto"},
                                         {"targetLang", "ja"},
                                         {"isManual", false}}));

    page->eval("velaApp.openSettings(true);");
    call("showEmptyOCR()");
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_EQ(value("sourceInput"), "");
    EXPECT_EQ(text("latencyLabel"), "0.05s");
    EXPECT_EQ(js("document.querySelectorAll('#targetBody .notice-box:not(.err)').length"), 1);
    EXPECT_EQ(js("document.querySelector('#targetBody .notice-main').textContent"),
              "選択範囲からテキストが検出されませんでした");
    EXPECT_EQ(js("document.querySelector('#targetBody .notice-sub').textContent"),
              "もう一度 Ctrl+Alt+S "
              "で文字が含まれる範囲を囲むか、上の入力欄にテキストを直接貼り付けてください。");
    EXPECT_EQ(
        js("(() => { const s = getComputedStyle(document.querySelector('#targetBody .notice-sub'));"
           " return [s.fontSize, s.fontWeight]; })()"),
        json({"12px", "400"}));

    page->eval("velaApp.openSettings(true);");
    call("showPermissionError()");
    EXPECT_FALSE(shown("settingsLayer"));
    // The Linux user is sent to the desktop's screenshot permission.
    EXPECT_NE(js("document.querySelector('#targetBody .notice-box.err').textContent")
                  .get<std::string>()
                  .find("スクリーンショット"),
              std::string::npos);

    page->eval("velaApp.showTranslationSuccess('訳', 'ja', 10);");
    page->eval("velaApp.clearSource();");
    EXPECT_EQ(state("lastTranslatedText"), "");
    EXPECT_EQ(text("targetBody"),
              "翻訳したいテキストを入力または貼り付けて、Enter キーを押してください...");
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput");

    page->eval("velaApp.openSettings(true);");
    call("setSourceAndTranslate('It\\'s a\\nnew text')");
    EXPECT_EQ(value("sourceInput"), "It's a\nnew text");
    EXPECT_FALSE(shown("settingsLayer"));

    page->eval("document.getElementById('srcLang').focus(); velaApp.openSettings(true);");
    call("focusSourceInput()");
    EXPECT_FALSE(shown("settingsLayer"));
    EXPECT_EQ(js("document.activeElement.id"), "sourceInput");
    EXPECT_EQ(js("(() => { const e = document.getElementById('sourceInput');"
                 " return [e.selectionStart, e.selectionEnd]; })()"),
              json({0, 15}));

    call("applySwappedLanguages('ja', 'en')");
    EXPECT_EQ(value("srcLang"), "ja");
    EXPECT_EQ(value("tgtLang"), "en");

    call("showTestConnectionResult(true, '接続成功')");
    EXPECT_EQ(text("settingsMsg"), "✓ 接続成功");
    EXPECT_TRUE(hasClass("settingsMsg", "is-ok"));
    const json ok = js("getComputedStyle(document.getElementById('settingsMsg')).color");
    call("showTestConnectionResult(false, '認証エラー')");
    EXPECT_EQ(text("settingsMsg"), "✗ 認証エラー");
    const json bad = js("getComputedStyle(document.getElementById('settingsMsg')).color");
    call("showSettingsError('ショートカットが重複しています')");
    EXPECT_EQ(text("settingsMsg"), "✗ ショートカットが重複しています");
    EXPECT_EQ(ok, "rgb(35, 160, 148)");
    EXPECT_EQ(bad, "rgb(220, 52, 30)");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('settingsMsg')).color"), bad);

    // None of the native calls post anything back.
    page->clearMessages();
    call("openSettings(true)");
    call("openSettings(false)");
    EXPECT_TRUE(page->messages().empty());
}

TEST_F(PanelPageTest, TranslationSuccessNamesTheLanguageAndTime) {
    struct Case {
        std::string code, label;
        int ms;
        std::string status;
    };
    const Case cases[] = {{"ja", "訳文（日本語）", 1234, "1.23s"},
                          {"en", "訳文（英語 (English)）", 50, "0.05s"},
                          {"zh", "訳文（中国語 (簡体字)）", 0, "0.00s"},
                          {"ko", "訳文（韓国語 (한국어)）", 12345, "12.35s"},
                          {"fr", "訳文（fr）", 999, "1.00s"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        call("showTranslationSuccess('Bonjour', '" + c.code + "', " + std::to_string(c.ms) + ")");
        EXPECT_EQ(text("targetLangLabel"), c.label);
        EXPECT_EQ(text("latencyLabel"), c.status);
        EXPECT_EQ(text("targetBody"), "Bonjour");
        EXPECT_EQ(state("lastTranslatedText"), "Bonjour");
        EXPECT_TRUE(shown("targetToolbar"));
        EXPECT_EQ(text("copyTgtBtn"), "訳文をコピー");
    }
    // Known codes select the target (an automatic switch becomes visible);
    // an unknown one leaves the selector alone.
    call("showTranslationSuccess('Hi', 'en', 5)");
    EXPECT_EQ(value("tgtLang"), "en");
    call("showTranslationSuccess('Salut', 'fr', 5)");
    EXPECT_EQ(value("tgtLang"), "en");
    EXPECT_TRUE(page->messages().empty());
}

TEST_F(PanelPageTest, UntrustedTextIsShownAsTextNeverAsMarkup) {
    const std::string hostile =
        "<b>太字</b> <img src=x onerror=\"window.pwned=1\"> "
        "</script><script>window.pwned=2</script>"
        "\r\nIt's \\ 2行目\n3行目";
    const std::string shown =
        "<b>太字</b> <img src=x onerror=\"window.pwned=1\"> "
        "</script><script>window.pwned=2</script>"
        "\nIt's \\ 2行目\n3行目";
    const std::string q = jsQuoted(hostile);

    call("showTranslationSuccess(" + q + ", 'ja', 42)");
    EXPECT_EQ(text("targetBody"), shown);
    EXPECT_EQ(state("lastTranslatedText"), shown);
    EXPECT_EQ(js("document.getElementById('targetBody').children.length"), 0);
    // Line breaks stay visible as line breaks.
    EXPECT_EQ(js("getComputedStyle(document.getElementById('targetBody')).whiteSpace"), "pre-wrap");
    EXPECT_GE(
        js("document.getElementById('targetBody').getBoundingClientRect().height").get<double>(),
        24.0 * 3 - 1);

    call("showError(" + q + ")");
    EXPECT_EQ(js("document.querySelector('#targetBody .notice-main').textContent"), shown);
    EXPECT_EQ(js("document.querySelectorAll('#targetBody b, #targetBody img, #targetBody "
                 "script').length"),
              0);
    call("showEmptyInput(" + q + ")");
    EXPECT_EQ(text("targetBody"), shown);
    call("showSettingsError(" + q + ")");
    EXPECT_EQ(text("settingsMsg"), "✗ " + shown);
    call("setSourceAndTranslate(" + q + ")");
    EXPECT_EQ(value("sourceInput"), shown);

    json notice = {{"type", "broadcast"},   {"id", "x"},
                   {"title", hostile},      {"message", hostile},
                   {"buttonText", hostile}, {"buttonURL", "https://example.test/"}};
    call("showRemoteModal(" + notice.dump() + ")");
    EXPECT_EQ(text("remoteModalTitle"), hostile);
    EXPECT_EQ(text("remoteModalMsg"), hostile);
    EXPECT_EQ(text("remoteModalActionBtn"), hostile);
    EXPECT_EQ(js("document.querySelectorAll('#remoteModalLayer b, #remoteModalLayer img').length"),
              0);

    page->settle();
    EXPECT_EQ(js("typeof window.pwned"), "undefined");
}

TEST_F(PanelPageTest, RemoteNoticesShowTheirBadgeAndForcedOnesStay) {
    json optional = {{"type", "optionalUpdate"},
                     {"id", "update-0.2.0"},
                     {"title", "新バージョン v0.2.0 が公開されました"},
                     {"message", "改善点"},
                     {"buttonText", "アップデートを確認"},
                     {"buttonURL", "https://example.test/download"}};
    call("showRemoteModal(" + optional.dump() + ")");
    EXPECT_TRUE(shown("remoteModalLayer"));
    EXPECT_EQ(state("currentRemoteModal"), optional);
    EXPECT_EQ(text("remoteModalBadge"), "アップデート通知");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalBadge')).backgroundColor"),
              "rgb(255, 201, 0)");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalBadge')).color"),
              "rgb(0, 0, 0)");
    EXPECT_EQ(text("remoteModalTitle"), "新バージョン v0.2.0 が公開されました");
    EXPECT_EQ(text("remoteModalMsg"), "改善点");
    EXPECT_EQ(text("remoteModalActionBtn"), "アップデートを確認");
    EXPECT_TRUE(shown("remoteModalCloseBtn"));
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalLayer')).backgroundColor"),
              "rgba(0, 0, 0, 0.45)");
    page->eval("document.getElementById('remoteModalActionBtn').click();");
    ASSERT_EQ(page->messages().size(), 2u);
    EXPECT_EQ(page->messages()[0],
              json({{"action", "openExternalURL"}, {"url", "https://example.test/download"}}));
    EXPECT_EQ(page->messages()[1],
              json({{"action", "dismissRemotePopup"}, {"id", "update-0.2.0"}}));
    EXPECT_FALSE(shown("remoteModalLayer"));

    // A broadcast with empty texts falls back to the default title and button,
    // and one without an id or link posts nothing when closed.
    page->clearMessages();
    call(
        R"(showRemoteModal({"type":"broadcast","id":"","title":"","message":"","buttonText":"","buttonURL":""}))");
    EXPECT_EQ(text("remoteModalBadge"), "お知らせ");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalBadge')).backgroundColor"),
              "rgb(255, 144, 232)");
    EXPECT_EQ(text("remoteModalTitle"), "Vela からのお知らせ");
    EXPECT_EQ(text("remoteModalActionBtn"), "詳細を見る");
    page->eval("document.getElementById('remoteModalCloseBtn').click();");
    EXPECT_FALSE(shown("remoteModalLayer"));
    EXPECT_TRUE(page->messages().empty());

    call(
        R"(showRemoteModal({"type":"broadcast","id":"jp-1","title":"T","message":"M","buttonText":"B","buttonURL":""}))");
    page->eval("document.getElementById('remoteModalCloseBtn').click();");
    EXPECT_EQ(page->messages(),
              std::vector<json>({{{"action", "dismissRemotePopup"}, {"id", "jp-1"}}}));

    // A forced update covers the card for good.
    page->clearMessages();
    json forced = {{"type", "forceUpdate"},
                   {"id", "force-blocked"},
                   {"title", "必須アップデートのお知らせ"},
                   {"message", "このバージョンは利用できません"},
                   {"buttonText", "最新版をダウンロード"},
                   {"buttonURL", "https://example.test/latest"}};
    call("showRemoteModal(" + forced.dump() + ")");
    EXPECT_EQ(text("remoteModalBadge"), "必須アップデート");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalBadge')).backgroundColor"),
              "rgb(220, 52, 30)");
    EXPECT_EQ(js("getComputedStyle(document.getElementById('remoteModalBadge')).color"),
              "rgb(255, 255, 255)");
    EXPECT_FALSE(shown("remoteModalCloseBtn"));
    call("dismissRemoteModal()");
    EXPECT_TRUE(shown("remoteModalLayer"));
    page->eval("document.getElementById('remoteModalActionBtn').click();");
    EXPECT_TRUE(shown("remoteModalLayer"));
    EXPECT_EQ(page->messages(), std::vector<json>({{{"action", "openExternalURL"},
                                                    {"url", "https://example.test/latest"}}}));
    // It lies above the settings layer.
    call("openSettings(true)");
    EXPECT_GT(
        js("+getComputedStyle(document.getElementById('remoteModalLayer')).zIndex").get<int>(),
        js("+getComputedStyle(document.getElementById('settingsLayer')).zIndex").get<int>());
    const auto topmost = [&](const std::string& selector) {
        const auto c = page->centerOf(selector);
        return js("(() => { const e = document.elementFromPoint(" + std::to_string(c.x) + ", " +
                  std::to_string(c.y) + "); return e.closest('[id]').id; })()");
    };
    EXPECT_EQ(topmost("#remoteModalTitle"), "remoteModalTitle");
    // Only the panel's own close button stays usable above it: translation stays blocked,
    // but the panel can still be put away.
    EXPECT_EQ(topmost("#pinBtn"), "remoteModalLayer");
    EXPECT_EQ(topmost("#closeBtn"), "closeBtn");
    page->clearMessages();
    page->click(page->centerOf("#closeBtn"));
    EXPECT_EQ(page->waitForMessage("closeWindow"),
              json({{"action", "closeWindow"}, {"force", true}}));
}

}  // namespace
}  // namespace vela::test
