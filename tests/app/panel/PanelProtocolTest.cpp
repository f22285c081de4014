// The panel's pure pieces: script strings, message decoding, the save plan and geometry.
#include <gtest/gtest.h>

#include "app/panel/PanelGeometry.h"
#include "app/panel/PanelMessage.h"
#include "app/panel/PanelScripts.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/DesktopScreens.h"
#include "core/shortcuts/HotKeyKeyTable.h"

namespace vela {
namespace {

using M = ShortcutModifier;

TEST(PanelScripts, EscapingAppliesTheFourStepsInOrder) {
    EXPECT_EQ(jsEscape("it's"), "it\\'s");
    EXPECT_EQ(jsEscape("\\'"), "\\\\\\'");  // backslash-apostrophe: two backslashes, then \'
    EXPECT_EQ(jsEscape("a\r\nb"), "a\\nb");
    EXPECT_EQ(jsEscape("\"quoted\" ${x} </script>"), "\"quoted\" ${x} </script>");
    EXPECT_EQ(velaAppCall("setSourceAndTranslate", jsQuoted("l1\nl2")),
              "window.velaApp.setSourceAndTranslate('l1\\nl2');");
    EXPECT_EQ(velaAppCall("focusSourceInput"), "window.velaApp.focusSourceInput();");
}

TEST(PanelScripts, OutcomesRenderAsOneCallEach) {
    EXPECT_EQ(outcomeScript({TranslationOutcome::Success{"l'été", "fr", true, 1234}}),
              "window.velaApp.showTranslationSuccess('l\\'été', 'fr', 1234);");
    // A stored target code is text like any other: it cannot end the literal early.
    EXPECT_EQ(outcomeScript({TranslationOutcome::Success{"t", "x'y\\", false, 5}}),
              "window.velaApp.showTranslationSuccess('t', 'x\\'y\\\\', 5);");
    EXPECT_EQ(outcomeScript({TranslationOutcome::EmptyInput{"空"}}),
              "window.velaApp.showEmptyInput('空');");
    EXPECT_EQ(outcomeScript({TranslationOutcome::Failure{"x\ny"}}),
              "window.velaApp.showError('x\\ny');");
    std::string forced =
        outcomeScript({TranslationOutcome::ForceUpdateRequired{"更新して", "https://u/"}});
    ASSERT_TRUE(forced.starts_with("window.velaApp.showRemoteModal({"));
    auto payload = nlohmann::json::parse(forced.substr(31, forced.size() - 33));
    EXPECT_EQ(payload["type"], "forceUpdate");
    EXPECT_EQ(payload["id"], "force-blocked");
    EXPECT_EQ(payload["title"], "必須アップデートのお知らせ");
    EXPECT_EQ(payload["message"], "更新して");
    EXPECT_EQ(payload["buttonText"], "最新版をダウンロード");
    EXPECT_EQ(payload["buttonURL"], "https://u/");
}

TEST(PanelScripts, RemoteDecisionsBecomeTheirNotices) {
    using D = RemoteControlDecision;
    EXPECT_EQ(remoteModalFor({D::UpToDate{}}), std::nullopt);
    EXPECT_EQ(remoteModalFor({D::ForceUpdateRequired{"0.2.0", "notes", "https://dl/"}}),
              (RemoteModal{"forceUpdate", "force-0.2.0", "必須アップデートのお知らせ (v0.2.0)",
                           "notes", "最新版をダウンロード", "https://dl/"}));
    EXPECT_EQ(remoteModalFor({D::OptionalUpdateAvailable{"0.3.1", "n", "u"}}),
              (RemoteModal{"optionalUpdate", "update-0.3.1", "新バージョン v0.3.1 が公開されました",
                           "n", "アップデートを確認", "u"}));
    EXPECT_EQ(remoteModalFor({D::PopupBroadcast{{"id7", "t", "m", "b", ""}}}),
              (RemoteModal{"broadcast", "id7", "t", "m", "b", ""}));
}

TEST(PanelScripts, ConfigurationPayloadCarriesDisplayFormsAndNeverTheKey) {
    VelaConfig c;
    c.captureShortcut = ShortcutConfig("Q", 12, {M::command, M::shift});
    c.customApiKey = "  sk-secret-9876\n";
    c.isPinned = false;
    auto p = configurationPayload(c, "保存済みキー (••••9876)");
    EXPECT_EQ(p["captureShortcut"], "Shift + Super + Q");
    EXPECT_EQ(p["textShortcut"], "Ctrl + Alt + G");
    EXPECT_EQ(p["compactHotkeys"], "Shift+Super+Q / Ctrl+Alt+G");
    EXPECT_EQ(p["hasSavedApiKey"], true);
    EXPECT_EQ(p["maskedApiKeyHint"], "保存済みキー (••••9876)");
    EXPECT_EQ(p["isPinned"], false);
    EXPECT_EQ(p["appVersion"], "0.1.0");
    EXPECT_EQ(p.size(), 13u);
    EXPECT_EQ(p.dump().find("secret"), std::string::npos);
    c.customApiKey = " \n ";
    EXPECT_EQ(configurationPayload(c, "")["hasSavedApiKey"], false);
    // Bytes that are not UTF-8 never make the call vanish.
    c.customModel = "bad\xff";
    EXPECT_NE(jsonArgument(configurationPayload(c, "")).find("customModel"), std::string::npos);
}

TEST(PanelMessage, UnusableBodiesAreIgnoredAndMistypedMembersCountAsAbsent) {
    for (const char* bad : {"", "null", "[]", "\"translate\"", "{}", R"({"action":3})",
                            R"({"action":"launchMissiles"})", "{not json"}) {
        EXPECT_FALSE(decodePanelMessage(bad)) << bad;
    }
    auto t = std::get<PanelAction::Translate>(*decodePanelMessage(
        R"({"action":"translate","text":5,"sourceLang":true,"targetLang":"en","manualTarget":true})"));
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(t.sourceLang, std::nullopt);
    EXPECT_EQ(t.targetLang, "en");
    EXPECT_TRUE(t.isManual);  // "manualTarget" stands in for a missing "isManual"
    t = std::get<PanelAction::Translate>(
        *decodePanelMessage(R"({"action":"translate","isManual":false,"manualTarget":true})"));
    EXPECT_FALSE(t.isManual);  // "isManual" wins when present
    EXPECT_TRUE(std::get<PanelAction::TogglePin>(*decodePanelMessage(R"({"action":"togglePin"})"))
                    .isPinned);
    EXPECT_TRUE(std::get<PanelAction::TogglePin>(
                    *decodePanelMessage(R"({"action":"togglePin","isPinned":"no"})"))
                    .isPinned);
    EXPECT_FALSE(std::get<PanelAction::CloseWindow>(
                     *decodePanelMessage(R"({"action":"closeWindow","force":1})"))
                     .force);
    auto move = std::get<PanelAction::MoveWindowBy>(
        *decodePanelMessage(R"({"action":"moveWindowBy","dx":3.5})"));
    EXPECT_EQ(move.dx, 3.5);
    EXPECT_EQ(move.dy, std::nullopt);
    auto save = std::get<PanelAction::SaveSettings>(*decodePanelMessage(
        R"({"action":"saveSettings","captureKey":"K","textKey":"T","textMods":["option",7]})"));
    EXPECT_FALSE(save.capture);  // key without mods
    EXPECT_FALSE(save.text);     // mods not all strings
    // Every action with every member of the wrong type still decodes.
    for (const char* action :
         {"translate", "swapLanguages", "copy", "openSettings", "openExternalURL",
          "dismissRemotePopup", "testConnection", "saveSettings", "moveWindowBy"}) {
        std::string body =
            std::string(R"({"action":")") + action +
            R"(","text":[],"sourceLang":{},"targetLang":1,"open":"x","url":null,"id":2,)"
            R"("baseURL":false,"apiKey":3,"model":[],"channelMode":1,"dx":"1","dy":[])"
            R"(,"captureKey":1,"captureMods":"x","launchAtLogin":"yes","clearSavedKey":0})";
        EXPECT_TRUE(decodePanelMessage(body)) << action;
    }
}

TEST(PanelMessage, SavePlanFollowsTheFormRules) {
    VelaConfig stored;
    stored.customApiKey = "sk-stored";
    PanelAction::SaveSettings save;
    save.apiKey = "   ";
    save.channelMode = "custom";
    auto plan = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(plan.customApiKey, "sk-stored");  // a blank field keeps the saved key
    EXPECT_EQ(plan.channelMode, TranslationChannelMode::custom);

    save.clearSavedKey = true;
    EXPECT_EQ(std::get<std::string>(planSaveSettings(save, stored, &virtualKeyCode)),
              "カスタムAIを有効にするには APIキーを入力するか、標準エンジンを選択してください");
    save.channelMode = "Custom";  // not the exact raw value: builtin
    plan = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(plan.channelMode, TranslationChannelMode::builtin);
    EXPECT_EQ(plan.customApiKey, "");
    save.apiKey = " sk-typed-after-delete ";  // the new key wins over the clear flag
    plan = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(plan.customApiKey, "sk-typed-after-delete");

    save = {};
    save.baseURL = "  ";
    save.model = "\n";
    save.apiKey = "  sk-new \n";
    save.capture = PanelAction::RecordedShortcut{"k", {"shift", "hyper", "control"}};
    save.text = PanelAction::RecordedShortcut{"F5", {"command"}};
    plan = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(plan.customBaseURL, VelaConfig{}.customBaseURL);
    EXPECT_EQ(plan.customModel, "deepseek-chat");
    EXPECT_EQ(plan.customApiKey, "sk-new");
    EXPECT_EQ(plan.captureShortcut, ShortcutConfig("K", 40, {M::shift, M::control}));
    // A key the table does not know keeps the stored shortcut's code.
    EXPECT_EQ(plan.textShortcut, ShortcutConfig("F5", 5, {M::command}));
}

TEST(PanelMessage, OnlyWebLinksOpen) {
    EXPECT_TRUE(isOpenableWebURL("https://example.org/a?b=c"));
    EXPECT_TRUE(isOpenableWebURL("HTTP://EXAMPLE.ORG"));
    EXPECT_FALSE(isOpenableWebURL("file:///etc/passwd"));
    EXPECT_FALSE(isOpenableWebURL("javascript:alert(1)"));
    EXPECT_FALSE(isOpenableWebURL("not a url"));
    EXPECT_FALSE(isOpenableWebURL(""));
}

TEST(PanelGeometry, ScreenChoiceResizeAndCentring) {
    std::vector<ScreenInfo> screens{{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1050)},
                                    {Rect(1920, 200, 1280, 800), Rect(1920, 200, 1280, 800)}};
    EXPECT_EQ(screenForSelection(screens, Rect(2000, 300, 50, 50), Point{10, 10}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, Rect(5000, 5000, 5, 5), Point{2500, 500}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, std::nullopt, Point{-50, -50}, 1), 1u);
    EXPECT_EQ(screenForSelection({}, std::nullopt, Point{0, 0}, 0), std::nullopt);

    Rect visible(0, 0, 1440, 900);
    // Growing keeps the top edge and the 8-point margins.
    Rect grown = resizedPanelFrame(Rect(500, 400, 430, 440), settingsPanelSize, visible);
    EXPECT_EQ(grown, Rect(500, 200, 470, 640));
    EXPECT_EQ(resizedPanelFrame(grown, defaultPanelSize, visible), Rect(500, 400, 430, 440));
    EXPECT_EQ(resizedPanelFrame(Rect(1300, 10, 430, 440), settingsPanelSize, visible),
              Rect(1440 - 470 - 8, 8, 470, 640));
    // Bigger than the frame: left and bottom margins.
    EXPECT_EQ(resizedPanelFrame(Rect(50, 50, 100, 100), Size{2000, 1000}, visible),
              Rect(8, 8, 2000, 1000));
    EXPECT_EQ(centeredUpperOrigin(defaultPanelSize, visible), (Point{505, 284}));
    EXPECT_EQ(centeredUpperOrigin(Size{431, 441}, Rect(0, 0, 1920, 1080)), (Point{745, 384}));
}

TEST(DesktopScreens, RootAndDesktopCoordinatesAreMirrorImages) {
    Rect primary(100, 50, 1920, 1080);  // root coordinates, y down
    Rect desktop = rootToDesktop(Rect(100, 50, 200, 100), primary);
    EXPECT_EQ(desktop, Rect(0, 980, 200, 100));  // top-left corner of the primary
    EXPECT_EQ(desktopToRoot(desktop, primary), Rect(100, 50, 200, 100));
    EXPECT_EQ(rootPointToDesktop(Point{100, 1130}, primary), (Point{0, 0}));
}

TEST(DesktopIntegration, AutostartEntryQuotesTheProgramPath) {
    EXPECT_EQ(launchAtLoginEntry("/usr/bin/vela"),
              "[Desktop Entry]\nType=Application\nName=Vela\nExec=/usr/bin/vela\n"
              "X-GNOME-Autostart-enabled=true\n");
    std::string odd = launchAtLoginEntry("/opt/my apps/$vela\"100%");
    EXPECT_NE(odd.find("Exec=\"/opt/my apps/\\\\$vela\\\\\"100%%\"\n"), std::string::npos) << odd;
}

}  // namespace
}  // namespace vela
