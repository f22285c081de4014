#include "core/shortcuts/ShortcutConfig.h"

#include <gtest/gtest.h>

namespace vela {

using M = ShortcutModifier;

TEST(ShortcutConfig, WrittenFormsNameEachModifierOnceInAFixedOrder) {
    const std::pair<ShortcutConfig, std::string> cases[] = {
        {{"K", 40, {M::command, M::shift, M::option, M::control}},
         "Ctrl + Alt + Shift + Super + K"},
        {{"S", 1, {M::control, M::control}}, "Ctrl + S"},
        {{"space", 49, {}}, "SPACE"},
        {ShortcutConfig::stored("s", 1, {M::control}), "Ctrl + S"}};  // stored in lower case
    for (const auto& [shortcut, display] : cases)
        EXPECT_EQ(shortcut.displayText(), display);
    EXPECT_EQ(ShortcutConfig::defaultCapture().compactDisplayText(), "Ctrl+Alt+S");
}

}  // namespace vela
