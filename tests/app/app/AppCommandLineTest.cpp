// The launch switches' precedence table, the menu titles and the debug-menu switch.
#include <gtest/gtest.h>

#include "app/app/AppCommandLine.h"

namespace vela {
namespace {

using C = LaunchCommand;

TEST(AppCommandLine, FirstMatchingRowOfTheTableWins) {
    const std::vector<std::pair<std::vector<std::string>, C>> cases{
        {{}, C{C::ShowTextInput{}}},
        // Whole, case-sensitive comparison.
        {{"--Capture", "--settings=1", "capture", "--tour", "-v"}, C{C::ShowTextInput{}}},
        {{"--settings", "--capture"}, C{C::StartCapture{}}},
        {{"--settings", "--translate-text", "hi"}, C{C::TranslateText{"hi"}}},
        {{"--demo-popup", "--tour-step-4", "--tour-step-3", "--settings"}, C{C::OpenSettings{}}},
        {{"--demo-popup", "--tour-step-4", "--tour-step-3"}, C{C::PreviewBroadcastNotice{}}},
        {{"--demo-popup", "--tour-step-4"}, C{C::PreviewRequiredUpdate{}}},
        {{"--demo-popup"}, C{C::LaunchNotice{}}},
        // The text follows the first occurrence; it may look like a switch or be empty.
        {{"--translate-text", "a", "--translate-text", "b"}, C{C::TranslateText{"a"}}},
        {{"x", "--translate-text", "--translate-text"}, C{C::TranslateText{"--translate-text"}}},
        {{"--translate-text", ""}, C{C::TranslateText{""}}},
        // As the last argument it does not match; later rows still may.
        {{"--settings", "--translate-text"}, C{C::OpenSettings{}}},
    };
    for (auto [arguments, command] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        arguments.insert(arguments.begin(), "/usr/bin/vela");
        EXPECT_EQ(launchCommandFor(arguments), command);
    }
}

// The titles carry the compact shortcut; the debug menu comes only with the exact switches.
TEST(AppCommandLine, MenuTitlesAndTheDebugMenuSwitch) {
    EXPECT_EQ(captureMenuTitle(ShortcutConfig::defaultCapture()), "スクショ翻訳 (Ctrl+Alt+S)");
    EXPECT_EQ(textMenuTitle(ShortcutConfig::defaultText()), "テキスト翻訳 (Ctrl+Alt+G)");
    EXPECT_EQ(captureMenuTitle({"K", 40, {ShortcutModifier::control}}), "スクショ翻訳 (Ctrl+K)");
    EXPECT_TRUE(wantsDebugMenu({"vela", "--tour"}));
    EXPECT_TRUE(wantsDebugMenu({"vela", "--settings", "--debug"}));
    EXPECT_FALSE(
        wantsDebugMenu({"vela", "--tour-step-3", "--tour-step-4", "--Debug", "--debug=1"}));
}

}  // namespace
}  // namespace vela
