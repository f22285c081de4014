// The panel's pure pieces: script strings, message decoding, the save plan and geometry.
#include <gtest/gtest.h>

#include "app/panel/PanelGeometry.h"
#include "app/panel/PanelMessage.h"
#include "app/panel/PanelScripts.h"
#include "app/panel/PanelTexts.h"
#include "core/shortcuts/HotKeyKeyTable.h"

namespace vela {
namespace {

using D = RemoteControlDecision;
using O = TranslationOutcome;
using namespace PanelAction;

TEST(PanelScripts, EachOutcomeIsOneCallWithEscapedTextAndEachDecisionItsNotice) {
    // A stored target code is text like any other: it cannot end the literal early.
    EXPECT_EQ(outcomeScript({O::Success{"l'été\r\n", "x'y\\", true, 1234}}),
              "window.velaApp.showTranslationSuccess('l\\'été\\n', 'x\\'y\\\\', 1234);");
    EXPECT_EQ(outcomeScript({O::EmptyInput{"空"}}), "window.velaApp.showEmptyInput('空');");
    EXPECT_EQ(outcomeScript({O::Failure{"x"}}), "window.velaApp.showError('x');");
    const RemoteModal forced{"forceUpdate", "force-blocked",        "必須アップデートのお知らせ",
                             "更新して",    "最新版をダウンロード", "https://u/"};
    EXPECT_EQ(outcomeScript({O::ForceUpdateRequired{"更新して", "https://u/"}}),
              velaAppCall("showRemoteModal", jsonArgument(remoteModalPayload(forced))));
    for (const auto& [decision, modal] :
         std::initializer_list<std::pair<D, std::optional<RemoteModal>>>{
             {{D::UpToDate{}}, std::nullopt},
             {{D::ForceUpdateRequired{"0.2.0", "n", "https://dl/"}},
              RemoteModal{"forceUpdate", "force-0.2.0", "必須アップデートのお知らせ (v0.2.0)", "n",
                          "最新版をダウンロード", "https://dl/"}},
             {{D::OptionalUpdateAvailable{"0.3.1", "n", "u"}},
              RemoteModal{"optionalUpdate", "update-0.3.1", "新バージョン v0.3.1 が公開されました",
                          "n", "アップデートを確認", "u"}},
             {{D::PopupBroadcast{{"id7", "t", "m", "b", ""}}},
              RemoteModal{"broadcast", "id7", "t", "m", "b", ""}}}) {
        EXPECT_EQ(remoteModalFor(decision), modal);
    }
}

TEST(PanelScripts, ConfigurationPayloadTellsOfASavedKeyButNeverCarriesIt) {
    // Bytes that are not UTF-8 never make the call vanish.
    VelaConfig c;
    std::tie(c.customApiKey, c.customModel, c.isPinned) =
        std::tuple("  sk-secret-9876\n", "bad\xff", false);
    const std::string p = jsonArgument(configurationPayload(c, "hint 9876"));
    for (const char* member : {R"("hasSavedApiKey":true)", R"("maskedApiKeyHint":"hint 9876")",
                               R"("isPinned":false)", R"("customModel":"bad)"})
        EXPECT_NE(p.find(member), std::string::npos) << member << " in " << p;
    EXPECT_EQ(p.find("secret"), std::string::npos);
    c.customApiKey = " \n ";
    EXPECT_EQ(configurationPayload(c, "")["hasSavedApiKey"], false);
}

TEST(PanelMessage, OnlyWellTypedMembersCountAndOnlyWebLinksOpen) {
    for (const char* bad : {"", "null", "[]", "{}", R"({"action":3})", R"({"action":"x"})", "{"})
        EXPECT_FALSE(decodePanelMessage(bad)) << bad;
    const auto decoded = [](const char* json) { return *decodePanelMessage(json); };
    auto t = std::get<Translate>(decoded(
        R"({"action":"translate","text":5,"sourceLang":true,"targetLang":"en","manualTarget":true})"));
    EXPECT_EQ(std::tie(t.text, t.sourceLang, t.targetLang, t.isManual),
              std::make_tuple("", std::nullopt, std::optional<std::string>("en"), true));
    t = std::get<Translate>(
        decoded(R"({"action":"translate","isManual":false,"manualTarget":true})"));
    EXPECT_FALSE(t.isManual);  // "isManual" wins over "manualTarget"
    EXPECT_TRUE(std::get<TogglePin>(decoded(R"({"action":"togglePin","isPinned":0})")).isPinned);
    auto save = std::get<SaveSettings>(decoded(
        R"({"action":"saveSettings","captureKey":"K","textKey":"T","textMods":["option",7]})"));
    EXPECT_FALSE(save.capture || save.text);  // a key without mods; mods not all strings
    for (const char* url : {"https://a.org/?b", "HTTP://A.ORG"})
        EXPECT_TRUE(isOpenableWebURL(url)) << url;
    for (const char* url : {"file:///etc/passwd", "javascript:alert(1)", "not a url"})
        EXPECT_FALSE(isOpenableWebURL(url)) << url;
}

TEST(PanelMessage, SavePlanFollowsTheFormRules) {
    VelaConfig stored;
    stored.customApiKey = "sk-stored";
    SaveSettings save;
    // (channel, typed key, clear flag) -> the key to store, or the refusal. Only the exact
    // raw value is the custom channel, which needs a key; the builtin one does not.
    for (const auto& [mode, key, clear, expected] :
         std::initializer_list<std::tuple<const char*, const char*, bool, std::string>>{
             {"custom", "   ", false, "sk-stored"},     // a blank field keeps the saved key
             {"custom", " sk-new \n", true, "sk-new"},  // typed after the delete: wins
             {"custom", "", true, std::string(PanelTexts::customChannelNeedsKey)},
             {"Custom", " ", true, ""}}) {
        std::tie(save.channelMode, save.apiKey, save.clearSavedKey) = std::tuple(mode, key, clear);
        const auto plan = planSaveSettings(save, stored, &virtualKeyCode);
        const auto* p = std::get_if<SaveSettingsPlan>(&plan);
        EXPECT_EQ(p ? p->customApiKey : std::get<std::string>(plan), expected) << mode << key;
    }
    save = {};
    std::tie(save.baseURL, save.model, save.capture, save.text) =
        std::tuple("  ", "\n", RecordedShortcut{"k", {"shift", "hyper", "control"}},
                   RecordedShortcut{"F5", {"command"}});
    const auto p = std::get<SaveSettingsPlan>(planSaveSettings(save, stored, &virtualKeyCode));
    EXPECT_EQ(std::tie(p.customBaseURL, p.customModel),
              std::make_tuple(VelaConfig{}.customBaseURL, VelaConfig{}.customModel));
    EXPECT_EQ(p.captureShortcut,
              ShortcutConfig("K", 40, {ShortcutModifier::shift, ShortcutModifier::control}));
    // A key the table does not know keeps the stored shortcut's code.
    EXPECT_EQ(p.textShortcut.keyCode, stored.textShortcut.keyCode);
}

TEST(PanelGeometry, ScreenChoiceResizeAndCentring) {
    const std::vector<ScreenInfo> screens{{Rect(0, 0, 1920, 1080), Rect(0, 0, 1920, 1050)},
                                          {Rect(1920, 200, 1280, 800), Rect(1920, 200, 1280, 800)}};
    EXPECT_EQ(screenForSelection(screens, Rect(2000, 300, 50, 50), Point{10, 10}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, Rect(5000, 5000, 5, 5), Point{2500, 500}, 0), 1u);
    EXPECT_EQ(screenForSelection(screens, std::nullopt, Point{-50, -50}, 1), 1u);
    EXPECT_EQ(screenForSelection({}, std::nullopt, Point{0, 0}, 0), std::nullopt);
    // Growing keeps the top edge, shrinking restores the frame; 8 points inside the right and
    // top edges; bigger than the frame: on the left and bottom margins.
    for (const auto& [from, size, to] : std::initializer_list<std::tuple<Rect, Size, Rect>>{
             {Rect(500, 400, 430, 440), settingsPanelSize, Rect(500, 200, 470, 640)},
             {Rect(500, 200, 470, 640), defaultPanelSize, Rect(500, 400, 430, 440)},
             {Rect(1300, 10, 430, 440), settingsPanelSize, Rect(1440 - 470 - 8, 8, 470, 640)},
             {Rect(50, 50, 100, 100), Size{2000, 1000}, Rect(8, 8, 2000, 1000)}})
        EXPECT_EQ(resizedPanelFrame(from, size, Rect(0, 0, 1440, 900)), to);
    EXPECT_EQ(centeredUpperOrigin(Size{431, 441}, Rect(0, 0, 1920, 1080)), (Point{745, 384}));
}

}  // namespace
}  // namespace vela
