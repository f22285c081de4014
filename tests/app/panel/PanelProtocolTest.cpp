// The panel's pure pieces: script strings, message decoding, the save plan and geometry.
#include <gtest/gtest.h>

#include "app/panel/PanelGeometry.h"
#include "app/panel/PanelMessage.h"
#include "app/panel/PanelScripts.h"
#include "app/panel/PanelTexts.h"
#include "app/platform/DesktopIntegration.h"
#include "app/platform/DesktopScreens.h"
#include "core/shortcuts/HotKeyKeyTable.h"

namespace vela {
namespace {

using M = ShortcutModifier;
using D = RemoteControlDecision;
using O = TranslationOutcome;

TEST(PanelScripts, CallsCarryEscapedTextAndOneCallPerOutcome) {
    const std::pair<std::string, std::string> cases[] = {
        {jsEscape("it's"), "it\\'s"},
        {jsEscape("\\'"), "\\\\\\'"},  // the backslash first, then the apostrophe
        {jsEscape("a\r\nb"), "a\\nb"},
        {jsEscape("\"q\" ${x} </script>"), "\"q\" ${x} </script>"},
        {velaAppCall("focusSourceInput"), "window.velaApp.focusSourceInput();"},
        {velaAppCall("f", jsQuoted("l1\nl2")), "window.velaApp.f('l1\\nl2');"},
        // A stored target code is text like any other: it cannot end the literal early.
        {outcomeScript({O::Success{"l'été", "x'y\\", true, 1234}}),
         "window.velaApp.showTranslationSuccess('l\\'été', 'x\\'y\\\\', 1234);"},
        {outcomeScript({O::EmptyInput{"空"}}), "window.velaApp.showEmptyInput('空');"},
        {outcomeScript({O::Failure{"x\ny"}}), "window.velaApp.showError('x\\ny');"},
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
    const std::string forced = outcomeScript({O::ForceUpdateRequired{"更新して", "https://u/"}});
    const std::string head = "window.velaApp.showRemoteModal(";
    ASSERT_TRUE(forced.starts_with(head) && forced.ends_with(");")) << forced;
    const auto payload =
        nlohmann::json::parse(forced.substr(head.size(), forced.size() - head.size() - 2));
    EXPECT_EQ(payload, nlohmann::json({{"type", "forceUpdate"},
                                       {"id", "force-blocked"},
                                       {"title", PanelTexts::forceUpdateTitle},
                                       {"message", "更新して"},
                                       {"buttonText", PanelTexts::downloadLatest},
                                       {"buttonURL", "https://u/"}}));
}

TEST(PanelScripts, RemoteDecisionsBecomeTheirNotices) {
    const std::pair<D, std::optional<RemoteModal>> cases[] = {
        {{D::UpToDate{}}, std::nullopt},
        {{D::ForceUpdateRequired{"0.2.0", "notes", "https://dl/"}},
         RemoteModal{"forceUpdate", "force-0.2.0", "必須アップデートのお知らせ (v0.2.0)", "notes",
                     "最新版をダウンロード", "https://dl/"}},
        {{D::OptionalUpdateAvailable{"0.3.1", "n", "u"}},
         RemoteModal{"optionalUpdate", "update-0.3.1", "新バージョン v0.3.1 が公開されました", "n",
                     "アップデートを確認", "u"}},
        {{D::PopupBroadcast{{"id7", "t", "m", "b", ""}}},
         RemoteModal{"broadcast", "id7", "t", "m", "b", ""}},
    };
    for (const auto& [decision, modal] : cases) {
        SCOPED_TRACE(modal ? modal->id : "none");
        EXPECT_EQ(remoteModalFor(decision), modal);
    }
}

TEST(PanelScripts, ConfigurationPayloadCarriesDisplayFormsAndNeverTheKey) {
    VelaConfig c;
    c.captureShortcut = ShortcutConfig("Q", 12, {M::command, M::shift});
    c.customApiKey = "  sk-secret-9876\n";
    c.isPinned = false;
    auto p = configurationPayload(c, "hint ••••9876");
    EXPECT_EQ(p["captureShortcut"], "Shift + Super + Q");
    EXPECT_EQ(p["textShortcut"], "Ctrl + Alt + G");
    EXPECT_EQ(p["compactHotkeys"], "Shift+Super+Q / Ctrl+Alt+G");
    EXPECT_EQ(p["hasSavedApiKey"], true);
    EXPECT_EQ(p["maskedApiKeyHint"], "hint ••••9876");
    EXPECT_EQ(p["isPinned"], false);
    EXPECT_EQ(p.dump().find("secret"), std::string::npos);
    c.customApiKey = " \n ";
    EXPECT_EQ(configurationPayload(c, "")["hasSavedApiKey"], false);
    c.customModel = "bad\xff";  // bytes that are not UTF-8 never make the call vanish
    EXPECT_NE(jsonArgument(configurationPayload(c, "")).find("customModel"), std::string::npos);
}

TEST(PanelMessage, DecodingTakesOnlyWellTypedMembers) {
    for (const char* bad : {"", "null", "[]", "\"translate\"", "{}", R"({"action":3})",
                            R"({"action":"launchMissiles"})", "{not json"}) {
        EXPECT_FALSE(decodePanelMessage(bad)) << bad;
    }
    // Every action still decodes when every member has the wrong type.
    for (const char* action : {"translate", "swapLanguages", "copy", "openSettings",
                               "openExternalURL", "dismissRemotePopup", "testConnection",
                               "saveSettings", "moveWindowBy", "togglePin", "closeWindow"}) {
        EXPECT_TRUE(decodePanelMessage(
            std::string(R"({"action":")") + action +
            R"(","text":[],"sourceLang":{},"targetLang":1,"open":"x","url":null,"id":2,)"
            R"("baseURL":false,"apiKey":3,"model":[],"channelMode":1,"dx":"1","dy":[],)"
            R"("isPinned":"no","force":1,"captureKey":1,"captureMods":"x","clearSavedKey":0})"))
            << action;
    }
    using T = PanelAction::Translate;
    auto decoded = [](const char* json) { return *decodePanelMessage(json); };
    auto t = std::get<T>(decoded(R"({"action":"translate","text":5,"sourceLang":true,)"
                                 R"("targetLang":"en","manualTarget":true})"));
    EXPECT_EQ(std::tie(t.text, t.sourceLang, t.targetLang, t.isManual),
              std::make_tuple("", std::nullopt, std::optional<std::string>("en"), true));
    t = std::get<T>(decoded(R"({"action":"translate","isManual":false,"manualTarget":true})"));
    EXPECT_FALSE(t.isManual);  // "isManual" wins over "manualTarget"
    EXPECT_TRUE(
        std::get<PanelAction::TogglePin>(decoded(R"({"action":"togglePin","isPinned":"no"})"))
            .isPinned);
    EXPECT_FALSE(
        std::get<PanelAction::CloseWindow>(decoded(R"({"action":"closeWindow","force":1})")).force);
    auto move =
        std::get<PanelAction::MoveWindowBy>(decoded(R"({"action":"moveWindowBy","dx":3.5})"));
    EXPECT_EQ(std::tie(move.dx, move.dy), std::make_tuple(3.5, std::nullopt));
    auto save = std::get<PanelAction::SaveSettings>(decoded(
        R"({"action":"saveSettings","captureKey":"K","textKey":"T","textMods":["option",7]})"));
    EXPECT_FALSE(save.capture);  // a key without mods
    EXPECT_FALSE(save.text);     // mods that are not all strings
}

TEST(PanelMessage, SavePlanFollowsTheFormRules) {
    VelaConfig stored;
    stored.customApiKey = "sk-stored";
    const auto plan = [&](std::string mode, std::string key, bool clear) {
        PanelAction::SaveSettings save;
        save.channelMode = std::move(mode);
        save.apiKey = std::move(key);
        save.clearSavedKey = clear;
        return planSaveSettings(save, stored, &virtualKeyCode);
    };
    using C = TranslationChannelMode;
    const std::tuple<const char*, std::string, bool, C, std::string> cases[] = {
        {"custom", "   ", false, C::custom, "sk-stored"},     // a blank field keeps the saved key
        {"Custom", " ", true, C::builtin, ""},                // only the exact raw value is custom
        {"custom", " sk-new \n", true, C::custom, "sk-new"},  // typed after the delete: wins
    };
    for (const auto& [mode, key, clear, expectedMode, expectedKey] : cases) {
        SCOPED_TRACE(std::string(mode) + "|" + key);
        auto p = std::get<SaveSettingsPlan>(plan(mode, key, clear));
        EXPECT_EQ(p.channelMode, expectedMode);
        EXPECT_EQ(p.customApiKey, expectedKey);
    }
    EXPECT_EQ(std::get<std::string>(plan("custom", "", true)), PanelTexts::customChannelNeedsKey);

    PanelAction::SaveSettings save;
    save.baseURL = "  ";
    save.model = "\n";
    save.capture = PanelAction::RecordedShortcut{"k", {"shift", "hyper", "control"}};
    save.text = PanelAction::RecordedShortcut{"F5", {"command"}};
    auto p = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(p.customBaseURL, VelaConfig{}.customBaseURL);
    EXPECT_EQ(p.customModel, VelaConfig{}.customModel);
    EXPECT_EQ(p.captureShortcut, ShortcutConfig("K", 40, {M::shift, M::control}));
    // A key the table does not know keeps the stored shortcut's code.
    EXPECT_EQ(p.textShortcut, ShortcutConfig("F5", stored.textShortcut.keyCode, {M::command}));
}

TEST(PanelMessage, OnlyWebLinksOpen) {
    for (auto [url, openable] : {std::pair{"https://example.org/a?b=c", true},
                                 {"HTTP://EXAMPLE.ORG", true},
                                 {"file:///etc/passwd", false},
                                 {"javascript:alert(1)", false},
                                 {"not a url", false},
                                 {"", false}}) {
        EXPECT_EQ(isOpenableWebURL(url), openable) << url;
    }
}

TEST(PanelGeometry, ScreenChoiceResizeAndCentring) {
    const std::vector<ScreenInfo> screens{{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1050)},
                                          {Rect(1920, 200, 1280, 800), Rect(1920, 200, 1280, 800)}};
    EXPECT_EQ(screenForSelection(screens, Rect(2000, 300, 50, 50), Point{10, 10}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, Rect(5000, 5000, 5, 5), Point{2500, 500}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, std::nullopt, Point{-50, -50}, 1), 1u);
    EXPECT_EQ(screenForSelection(screens, std::nullopt, std::nullopt, 7), 0u);
    EXPECT_EQ(screenForSelection({}, std::nullopt, Point{0, 0}, 0), std::nullopt);

    const Rect visible(0, 0, 1440, 900);
    const std::tuple<Rect, Size, Rect> resizes[] = {
        // Growing keeps the top edge; shrinking back restores the frame.
        {Rect(500, 400, 430, 440), settingsPanelSize, Rect(500, 200, 470, 640)},
        {Rect(500, 200, 470, 640), defaultPanelSize, Rect(500, 400, 430, 440)},
        // Kept 8 points inside the right and top edges.
        {Rect(1300, 10, 430, 440), settingsPanelSize, Rect(1440 - 470 - 8, 8, 470, 640)},
        // Bigger than the frame: on the left and bottom margins.
        {Rect(50, 50, 100, 100), Size{2000, 1000}, Rect(8, 8, 2000, 1000)},
    };
    for (const auto& [from, size, to] : resizes)
        EXPECT_EQ(resizedPanelFrame(from, size, visible), to);
    EXPECT_EQ(centeredUpperOrigin(defaultPanelSize, visible), (Point{505, 284}));
    EXPECT_EQ(centeredUpperOrigin(Size{431, 441}, Rect(0, 0, 1920, 1080)), (Point{745, 384}));
}

TEST(DesktopScreens, RootAndDesktopCoordinatesAreMirrorImages) {
    const Rect primary(100, 50, 1920, 1080);  // root coordinates, y down
    const Rect desktop = rootToDesktop(Rect(100, 50, 200, 100), primary);
    EXPECT_EQ(desktop, Rect(0, 980, 200, 100));  // the primary's top-left corner
    EXPECT_EQ(desktopToRoot(desktop, primary), Rect(100, 50, 200, 100));
    EXPECT_EQ(rootPointToDesktop(Point{100, 1130}, primary), (Point{0, 0}));
}

TEST(DesktopIntegration, AutostartEntryQuotesTheProgramPath) {
    EXPECT_EQ(launchAtLoginEntry("/usr/bin/vela"),
              "[Desktop Entry]\nType=Application\nName=Vela\nExec=/usr/bin/vela\n"
              "X-GNOME-Autostart-enabled=true\n");
    const std::string odd = launchAtLoginEntry("/opt/my apps/$vela\"100%");
    EXPECT_NE(odd.find("Exec=\"/opt/my apps/\\\\$vela\\\\\"100%%\"\n"), std::string::npos) << odd;
}

}  // namespace
}  // namespace vela
