#include "core/shortcuts/ShortcutConfig.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "core/shortcuts/ShortcutValidationError.h"

namespace vela {
namespace {

using M = ShortcutModifier;

TEST(ShortcutConfig, WrittenFormsNameEachModifierOnceInAFixedOrder) {
    const struct {
        ShortcutConfig shortcut;
        std::string display;
    } cases[] = {
        {ShortcutConfig::defaultCapture(), "Ctrl + Alt + S"},
        {{"Q", 12, {M::command, M::shift}}, "Shift + Super + Q"},
        {{"K", 40, {M::command, M::shift, M::option, M::control}},
         "Ctrl + Alt + Shift + Super + K"},
        {{"S", 1, {M::control, M::control}}, "Ctrl + S"},
        {{"space", 49, {}}, "SPACE"},
        {ShortcutConfig::stored("s", 1, {M::control}), "Ctrl + S"},  // stored lower case
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        EXPECT_EQ(c.shortcut.displayText(), c.display);
        std::string compact = c.display;
        std::erase(compact, ' ');
        EXPECT_EQ(c.shortcut.compactDisplayText(), compact);
    }
    EXPECT_EQ(ShortcutConfig::defaultText(),
              ShortcutConfig::stored("G", 5, {M::control, M::option}));
}

TEST(ShortcutConfig, KeysAreUpperCasedUnlessStoredAndEveryFieldCounts) {
    EXPECT_EQ(ShortcutConfig("space", 49, {}).key, "SPACE");
    EXPECT_EQ(ShortcutConfig::stored("s", 1, {}).key, "s");
    // Equal values hash alike, so a set holds each once.
    const std::unordered_set<ShortcutConfig> set{
        {"Q", 12, {M::shift, M::command}},           {"q", 12, {M::shift, M::command}},
        {"Q", 12, {M::command, M::shift}},           {"Q", 13, {M::shift, M::command}},
        {"Q", 12, {M::shift, M::command, M::shift}}, ShortcutConfig::stored("q", 12, {M::shift}),
    };
    EXPECT_EQ(set.size(), 5u);
}

TEST(ShortcutValidationError, EachErrorHasItsOwnMessage) {
    using E = ShortcutValidationError;
    std::unordered_set<std::string_view> texts;
    for (E e : {E::emptyModifiers, E::duplicateInternalShortcut, E::occupiedBySystem,
                E::keyNotOnKeyboard})
        texts.insert(userMessage(e));
    EXPECT_EQ(texts.size(), 4u);
    EXPECT_FALSE(texts.contains(""));
}

}  // namespace
}  // namespace vela
