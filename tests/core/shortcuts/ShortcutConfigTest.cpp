#include "core/shortcuts/ShortcutConfig.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace vela {

using M = ShortcutModifier;

TEST(ShortcutConfig, WrittenFormsNameEachModifierOnceInAFixedOrderAndEqualValuesHashAlike) {
    const std::pair<ShortcutConfig, std::string> cases[] = {
        {ShortcutConfig::defaultCapture(), "Ctrl + Alt + S"},
        {ShortcutConfig::defaultText(), "Ctrl + Alt + G"},
        {{"K", 40, {M::command, M::shift, M::option, M::control}},
         "Ctrl + Alt + Shift + Super + K"},
        {{"S", 1, {M::control, M::control}}, "Ctrl + S"},
        {{"space", 49, {}}, "SPACE"},
        {ShortcutConfig::stored("s", 1, {M::control}), "Ctrl + S"}};  // stored in lower case
    for (const auto& [shortcut, display] : cases) {
        EXPECT_EQ(shortcut.displayText(), display);
        std::string compact = display;
        std::erase(compact, ' ');
        EXPECT_EQ(shortcut.compactDisplayText(), compact);
    }
    // Keys are upper-cased unless stored; the modifier order counts.
    const std::unordered_set<ShortcutConfig> set{
        {"Q", 12, {M::shift, M::command}},
        {"q", 12, {M::shift, M::command}},
        {"Q", 12, {M::command, M::shift}},
        {"Q", 13, {M::shift, M::command}},
        {"Q", 12, {M::shift, M::command, M::shift}},
        ShortcutConfig::stored("q", 12, {M::shift, M::command})};
    EXPECT_EQ(set.size(), 5u);
}

}  // namespace vela
