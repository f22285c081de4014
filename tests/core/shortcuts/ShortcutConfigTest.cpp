#include "core/shortcuts/ShortcutConfig.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "core/shortcuts/ShortcutValidationError.h"

namespace vela {
namespace {

using M = ShortcutModifier;

TEST(ShortcutModifier, RawValuesRoundTripExactly) {
    for (M m : allShortcutModifiers)
        EXPECT_EQ(shortcutModifierFromRaw(rawValue(m)), m);
    EXPECT_EQ(shortcutModifierFromRaw("Control"), std::nullopt);
    EXPECT_EQ(shortcutModifierFromRaw("cmd"), std::nullopt);
    EXPECT_EQ(shortcutModifierFromRaw(""), std::nullopt);
    EXPECT_EQ(allShortcutModifiers.front(), M::control);
    EXPECT_EQ(allShortcutModifiers.back(), M::shift);
}

TEST(ShortcutConfig, ConstructorUpperCasesKeyButStoredValuesKeepTheirCase) {
    EXPECT_EQ(ShortcutConfig("space", 49, {M::command}).key, "SPACE");
    EXPECT_EQ(ShortcutConfig("q", 12, {M::command}).key, "Q");
    ShortcutConfig fromFile = ShortcutConfig::stored("s", 1, {M::control});
    EXPECT_EQ(fromFile.key, "s");
    EXPECT_EQ(fromFile.displayText(), "Ctrl + S");
    EXPECT_EQ(fromFile.compactDisplayText(), "Ctrl+S");
    EXPECT_NE(fromFile, ShortcutConfig::stored("S", 1, {M::control}));
}

TEST(ShortcutConfig, DefaultsAndWrittenForms) {
    // Ctrl+Alt keeps the defaults clear of Save (Ctrl+S) and menu mnemonics (Alt+G).
    EXPECT_EQ(ShortcutConfig::defaultCapture(),
              ShortcutConfig::stored("S", 1, {M::control, M::option}));
    EXPECT_EQ(ShortcutConfig::defaultText(),
              ShortcutConfig::stored("G", 5, {M::control, M::option}));
    EXPECT_EQ(ShortcutConfig::defaultCapture().displayText(), "Ctrl + Alt + S");
    EXPECT_EQ(ShortcutConfig::defaultText().compactDisplayText(), "Ctrl+Alt+G");

    // Linux key names in the fixed order Ctrl, Alt, Shift, Super.
    ShortcutConfig cmdShiftQ("Q", 12, {M::command, M::shift});
    EXPECT_EQ(cmdShiftQ.displayText(), "Shift + Super + Q");
    EXPECT_EQ(cmdShiftQ.compactDisplayText(), "Shift+Super+Q");
    ShortcutConfig all("K", 40, {M::command, M::shift, M::option, M::control});
    EXPECT_EQ(all.displayText(), "Ctrl + Alt + Shift + Super + K");
    EXPECT_EQ(all.compactDisplayText(), "Ctrl+Alt+Shift+Super+K");

    // Repeated modifiers are written once, but the value differs.
    ShortcutConfig twice("S", 1, {M::control, M::control});
    EXPECT_EQ(twice.displayText(), "Ctrl + S");
    EXPECT_EQ(twice.compactDisplayText(), "Ctrl+S");
    EXPECT_NE(twice, ShortcutConfig::stored("S", 1, {M::control}));

    ShortcutConfig bare("x", 7, {});
    EXPECT_EQ(bare.displayText(), "X");
    EXPECT_EQ(bare.compactDisplayText(), "X");
}

TEST(ShortcutConfig, EqualityAndHashingFollowAllFieldsInOrder) {
    ShortcutConfig a("Q", 12, {M::shift, M::command});
    ShortcutConfig b("Q", 12, {M::command, M::shift});
    EXPECT_NE(a, b);
    EXPECT_NE(a, ShortcutConfig("Q", 13, {M::shift, M::command}));
    EXPECT_EQ(a, ShortcutConfig("q", 12, {M::shift, M::command}));
    std::unordered_set<ShortcutConfig> set{a, b};
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.contains(ShortcutConfig("Q", 12, {M::command, M::shift})));
    EXPECT_EQ(std::hash<ShortcutConfig>{}(a), std::hash<ShortcutConfig>{}(ShortcutConfig(a)));
}

TEST(ShortcutValidationError, UserMessagesAreTheFixedTexts) {
    EXPECT_EQ(userMessage(ShortcutValidationError::emptyModifiers),
              "ショートカットには修飾キー（Ctrl / Alt / Super）を1つ以上含めてください");
    EXPECT_EQ(userMessage(ShortcutValidationError::duplicateInternalShortcut),
              "スクショ翻訳とテキスト翻訳に同じショートカットは設定できません");
    EXPECT_EQ(userMessage(ShortcutValidationError::occupiedBySystem),
              "このショートカットは既にシステムまたは他のアプリで使用されています");
    EXPECT_EQ(userMessage(ShortcutValidationError::keyNotOnKeyboard),
              "このキーはお使いのキーボードにないため、ショートカットに使えません");
}

}  // namespace
}  // namespace vela
