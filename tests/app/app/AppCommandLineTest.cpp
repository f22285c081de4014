// The launch switches' precedence table, the debug-menu switch and the menu titles.
#include <gtest/gtest.h>

#include "app/app/AppCommandLine.h"

namespace vela {
namespace {

using C = LaunchCommand;

LaunchCommand run(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/vela");
    return launchCommandFor(args);
}

TEST(AppCommandLine, FirstMatchingRowOfTheTableWins) {
    EXPECT_EQ(run({}), C{C::ShowTextInput{}});
    EXPECT_EQ(run({"--unknown", "-v"}), C{C::ShowTextInput{}});
    EXPECT_EQ(run({"--settings", "--capture"}), C{C::StartCapture{}});
    EXPECT_EQ(run({"--settings", "--translate-text", "hi"}), (C{C::TranslateText{"hi"}}));
    EXPECT_EQ(run({"--demo-popup", "--tour-step-4", "--tour-step-3", "--settings"}),
              C{C::OpenSettings{}});
    EXPECT_EQ(run({"--demo-popup", "--tour-step-4", "--tour-step-3"}),
              C{C::PreviewBroadcastNotice{}});
    EXPECT_EQ(run({"--demo-popup", "--tour-step-4"}), C{C::PreviewRequiredUpdate{}});
    EXPECT_EQ(run({"--demo-popup"}), C{C::LaunchNotice{}});
    // Whole, case-sensitive comparison.
    EXPECT_EQ(run({"--Capture", "--settings=1", "capture", "--tour"}), C{C::ShowTextInput{}});
}

TEST(AppCommandLine, TranslateTextNeedsAFollowingArgumentAndTakesTheFirstOccurrence) {
    EXPECT_EQ(run({"--translate-text", "a", "--translate-text", "b"}), (C{C::TranslateText{"a"}}));
    // The text may itself look like a switch or be empty.
    EXPECT_EQ(run({"--translate-text", "--settings"}), (C{C::TranslateText{"--settings"}}));
    EXPECT_EQ(run({"--translate-text", ""}), (C{C::TranslateText{""}}));
    // As the last argument it does not match; later rows still may.
    EXPECT_EQ(run({"--translate-text"}), C{C::ShowTextInput{}});
    EXPECT_EQ(run({"--settings", "--translate-text"}), C{C::OpenSettings{}});
    // Only the first occurrence counts, even when a later one has a value.
    EXPECT_EQ(run({"x", "--translate-text", "--translate-text"}),
              (C{C::TranslateText{"--translate-text"}}));
}

TEST(AppCommandLine, DebugMenuOnlyForTheExactSwitches) {
    EXPECT_TRUE(wantsDebugMenu({"vela", "--tour"}));
    EXPECT_TRUE(wantsDebugMenu({"vela", "--settings", "--debug"}));
    EXPECT_FALSE(wantsDebugMenu({"vela", "--tour-step-3"}));
    EXPECT_FALSE(wantsDebugMenu({"vela", "--tour-step-4", "--Debug", "--debug=1"}));
    EXPECT_FALSE(wantsDebugMenu({"vela"}));
}

TEST(AppCommandLine, MenuTitlesCarryTheCompactShortcut) {
    EXPECT_EQ(captureMenuTitle(ShortcutConfig::defaultCapture()), "スクショ翻訳 (Ctrl+Alt+S)");
    EXPECT_EQ(textMenuTitle(ShortcutConfig::defaultText()), "テキスト翻訳 (Ctrl+Alt+G)");
    EXPECT_EQ(captureMenuTitle({"K", 40, {ShortcutModifier::control}}), "スクショ翻訳 (Ctrl+K)");
}

}  // namespace
}  // namespace vela
