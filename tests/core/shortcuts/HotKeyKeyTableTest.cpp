// The modifier masks and key codes kept in the settings file, and the keysym names that
// the X11 hot keys grab for the key names the settings page records.
#include "core/shortcuts/HotKeyKeyTable.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using M = ShortcutModifier;

TEST(HotKeyKeyTable, ModifierMasksAreTheOrOfThePresentModifiers) {
    EXPECT_EQ(carbonModifierMask({M::control}), 4096u);
    EXPECT_EQ(carbonModifierMask({M::option}), 2048u);
    EXPECT_EQ(carbonModifierMask({M::shift, M::command}), 768u);
    EXPECT_EQ(carbonModifierMask({M::command, M::command}), 256u);
    EXPECT_EQ(carbonModifierMask({}), 0u);
    EXPECT_EQ(carbonModifierMask({M::command, M::shift, M::option, M::control}), 0x1B00u);
    EXPECT_EQ(carbonModifierMask({M::control, M::option}),
              carbonModifierMask({M::option, M::control, M::option}));
}

TEST(HotKeyKeyTable, KeyCodesComeFromTheTableOrTheFallback) {
    EXPECT_EQ(virtualKeyCode("S", 99), 1u);
    EXPECT_EQ(virtualKeyCode("s", 99), 1u);
    EXPECT_EQ(virtualKeyCode("SPACE", 0), 49u);
    EXPECT_EQ(virtualKeyCode("Space", 0), 49u);
    EXPECT_EQ(virtualKeyCode("sPaCe", 0), 49u);
    EXPECT_EQ(virtualKeyCode("F5", 5), 5u);
    EXPECT_EQ(virtualKeyCode("", 12), 12u);
    EXPECT_EQ(virtualKeyCode("Q", 0), 12u);
    EXPECT_EQ(virtualKeyCode("ARROWUP", 7), 7u);
    // The whole table, letter by letter and digit by digit.
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::uint32_t letterCodes[] = {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                                         45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6};
    for (std::size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(virtualKeyCode(letters.substr(i, 1), 999), letterCodes[i]) << letters[i];
    }
    const std::uint32_t digitCodes[] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
    for (int d = 0; d < 10; ++d) {
        EXPECT_EQ(virtualKeyCode(std::string(1, static_cast<char>('0' + d)), 999), digitCodes[d])
            << d;
    }
    EXPECT_EQ(virtualKeyCode("AA", 3), 3u);
    EXPECT_EQ(virtualKeyCode("ß", 3), 3u);  // upper-cases to "SS", still not in the table
}

TEST(HotKeyKeyTable, KeyNamesMapToTheirOwnKeysyms) {
    EXPECT_EQ(keysymNameForKey("S"), "s");
    EXPECT_EQ(keysymNameForKey("g"), "g");
    EXPECT_EQ(keysymNameForKey("7"), "7");
    EXPECT_EQ(keysymNameForKey("SPACE"), "space");
    EXPECT_EQ(keysymNameForKey("F5"), "F5");
    EXPECT_EQ(keysymNameForKey("F12"), "F12");
    EXPECT_EQ(keysymNameForKey("f24"), "F24");
    EXPECT_EQ(keysymNameForKey("ARROWUP"), "Up");
    EXPECT_EQ(keysymNameForKey("ARROWLEFT"), "Left");
    EXPECT_EQ(keysymNameForKey("MINUS"), "minus");
    EXPECT_EQ(keysymNameForKey("QUOTE"), "apostrophe");
    EXPECT_EQ(keysymNameForKey("BACKQUOTE"), "grave");
    EXPECT_EQ(keysymNameForKey("PAGEDOWN"), "Next");
    EXPECT_EQ(keysymNameForKey("NUMPAD4"), "KP_4");
    EXPECT_EQ(keysymNameForKey("ENTER"), "Return");
    EXPECT_EQ(keysymNameForKey("F0"), std::nullopt);
    EXPECT_EQ(keysymNameForKey("F05"), std::nullopt);
    EXPECT_EQ(keysymNameForKey("F36"), std::nullopt);
    EXPECT_EQ(keysymNameForKey(""), std::nullopt);
    EXPECT_EQ(keysymNameForKey("@"), std::nullopt);
    EXPECT_EQ(keysymNameForKey("NOSUCHKEY"), std::nullopt);
}

}  // namespace
}  // namespace vela
