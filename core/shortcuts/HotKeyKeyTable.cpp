#include "core/shortcuts/HotKeyKeyTable.h"

#include <linux/input-event-codes.h>

#include <array>
#include <string>

#include "core/support/UnicodeText.h"

namespace vela {

namespace {

struct NamedCode {
    std::string_view name;
    std::uint32_t code;
};

// Virtual key codes of the ANSI layout, as the settings file keeps them.
constexpr std::array<NamedCode, 37> kVirtualKeyCodes{{
    {"A", 0},  {"B", 11}, {"C", 8},  {"D", 2},  {"E", 14},     {"F", 3},  {"G", 5},  {"H", 4},
    {"I", 34}, {"J", 38}, {"K", 40}, {"L", 37}, {"M", 46},     {"N", 45}, {"O", 31}, {"P", 35},
    {"Q", 12}, {"R", 15}, {"S", 1},  {"T", 17}, {"U", 32},     {"V", 9},  {"W", 13}, {"X", 7},
    {"Y", 16}, {"Z", 6},  {"0", 29}, {"1", 18}, {"2", 19},     {"3", 20}, {"4", 21}, {"5", 23},
    {"6", 22}, {"7", 26}, {"8", 28}, {"9", 25}, {"SPACE", 49},
}};

struct NamedKey {
    std::string_view name;
    PhysicalKey key;
};

// Every key name the settings page can record (KeyboardEvent.code, shortened and
// upper-cased), with its Linux input event code. Layout-independent by construction.
constexpr std::array<NamedKey, 123> kPhysicalKeys{
    {{"A", {KEY_A, true}},
     {"B", {KEY_B, true}},
     {"C", {KEY_C, true}},
     {"D", {KEY_D, true}},
     {"E", {KEY_E, true}},
     {"F", {KEY_F, true}},
     {"G", {KEY_G, true}},
     {"H", {KEY_H, true}},
     {"I", {KEY_I, true}},
     {"J", {KEY_J, true}},
     {"K", {KEY_K, true}},
     {"L", {KEY_L, true}},
     {"M", {KEY_M, true}},
     {"N", {KEY_N, true}},
     {"O", {KEY_O, true}},
     {"P", {KEY_P, true}},
     {"Q", {KEY_Q, true}},
     {"R", {KEY_R, true}},
     {"S", {KEY_S, true}},
     {"T", {KEY_T, true}},
     {"U", {KEY_U, true}},
     {"V", {KEY_V, true}},
     {"W", {KEY_W, true}},
     {"X", {KEY_X, true}},
     {"Y", {KEY_Y, true}},
     {"Z", {KEY_Z, true}},
     {"0", {KEY_0, true}},
     {"1", {KEY_1, true}},
     {"2", {KEY_2, true}},
     {"3", {KEY_3, true}},
     {"4", {KEY_4, true}},
     {"5", {KEY_5, true}},
     {"6", {KEY_6, true}},
     {"7", {KEY_7, true}},
     {"8", {KEY_8, true}},
     {"9", {KEY_9, true}},
     {"SPACE", {KEY_SPACE, true}},
     {"MINUS", {KEY_MINUS, true}},
     {"EQUAL", {KEY_EQUAL, true}},
     {"BRACKETLEFT", {KEY_LEFTBRACE, true}},
     {"BRACKETRIGHT", {KEY_RIGHTBRACE, true}},
     {"BACKSLASH", {KEY_BACKSLASH, true}},
     {"SEMICOLON", {KEY_SEMICOLON, true}},
     {"QUOTE", {KEY_APOSTROPHE, true}},
     {"BACKQUOTE", {KEY_GRAVE, true}},
     {"COMMA", {KEY_COMMA, true}},
     {"PERIOD", {KEY_DOT, true}},
     {"SLASH", {KEY_SLASH, true}},
     {"INTLBACKSLASH", {KEY_102ND, true}},
     {"INTLRO", {KEY_RO, true}},
     {"INTLYEN", {KEY_YEN, true}},
     {"NUMPAD0", {KEY_KP0, true}},
     {"NUMPAD1", {KEY_KP1, true}},
     {"NUMPAD2", {KEY_KP2, true}},
     {"NUMPAD3", {KEY_KP3, true}},
     {"NUMPAD4", {KEY_KP4, true}},
     {"NUMPAD5", {KEY_KP5, true}},
     {"NUMPAD6", {KEY_KP6, true}},
     {"NUMPAD7", {KEY_KP7, true}},
     {"NUMPAD8", {KEY_KP8, true}},
     {"NUMPAD9", {KEY_KP9, true}},
     {"NUMPADADD", {KEY_KPPLUS, true}},
     {"NUMPADSUBTRACT", {KEY_KPMINUS, true}},
     {"NUMPADMULTIPLY", {KEY_KPASTERISK, true}},
     {"NUMPADDIVIDE", {KEY_KPSLASH, true}},
     {"NUMPADDECIMAL", {KEY_KPDOT, true}},
     {"NUMPADEQUAL", {KEY_KPEQUAL, true}},
     {"NUMPADCOMMA", {KEY_KPCOMMA, true}},
     {"ENTER", {KEY_ENTER, false}},
     {"NUMPADENTER", {KEY_KPENTER, false}},
     {"TAB", {KEY_TAB, false}},
     {"BACKSPACE", {KEY_BACKSPACE, false}},
     {"ESCAPE", {KEY_ESC, false}},
     {"DELETE", {KEY_DELETE, false}},
     {"INSERT", {KEY_INSERT, false}},
     {"HOME", {KEY_HOME, false}},
     {"END", {KEY_END, false}},
     {"PAGEUP", {KEY_PAGEUP, false}},
     {"PAGEDOWN", {KEY_PAGEDOWN, false}},
     {"ARROWUP", {KEY_UP, false}},
     {"ARROWDOWN", {KEY_DOWN, false}},
     {"ARROWLEFT", {KEY_LEFT, false}},
     {"ARROWRIGHT", {KEY_RIGHT, false}},
     {"PRINTSCREEN", {KEY_SYSRQ, false}},
     {"SCROLLLOCK", {KEY_SCROLLLOCK, false}},
     {"PAUSE", {KEY_PAUSE, false}},
     {"CONTEXTMENU", {KEY_COMPOSE, false}},
     {"CONVERT", {KEY_HENKAN, false}},
     {"NONCONVERT", {KEY_MUHENKAN, false}},
     {"KANAMODE", {KEY_KATAKANAHIRAGANA, false}},
     {"LANG1", {KEY_HANGEUL, false}},
     {"LANG2", {KEY_HANJA, false}},
     {"F1", {KEY_F1, false}},
     {"F2", {KEY_F2, false}},
     {"F3", {KEY_F3, false}},
     {"F4", {KEY_F4, false}},
     {"F5", {KEY_F5, false}},
     {"F6", {KEY_F6, false}},
     {"F7", {KEY_F7, false}},
     {"F8", {KEY_F8, false}},
     {"F9", {KEY_F9, false}},
     {"F10", {KEY_F10, false}},
     {"F11", {KEY_F11, false}},
     {"F12", {KEY_F12, false}},
     {"F13", {KEY_F13, false}},
     {"F14", {KEY_F14, false}},
     {"F15", {KEY_F15, false}},
     {"F16", {KEY_F16, false}},
     {"F17", {KEY_F17, false}},
     {"F18", {KEY_F18, false}},
     {"F19", {KEY_F19, false}},
     {"F20", {KEY_F20, false}},
     {"F21", {KEY_F21, false}},
     {"F22", {KEY_F22, false}},
     {"F23", {KEY_F23, false}},
     {"F24", {KEY_F24, false}},
     {"AUDIOVOLUMEUP", {KEY_VOLUMEUP, false}},
     {"AUDIOVOLUMEDOWN", {KEY_VOLUMEDOWN, false}},
     {"AUDIOVOLUMEMUTE", {KEY_MUTE, false}},
     {"MEDIAPLAYPAUSE", {KEY_PLAYPAUSE, false}},
     {"MEDIASTOP", {KEY_STOPCD, false}},
     {"MEDIATRACKNEXT", {KEY_NEXTSONG, false}},
     {"MEDIATRACKPREVIOUS", {KEY_PREVIOUSSONG, false}}}};

}  // namespace

std::uint32_t carbonModifierMask(const std::vector<ShortcutModifier>& modifiers) {
    std::uint32_t mask = 0;
    for (ShortcutModifier modifier : modifiers) {
        switch (modifier) {
            case ShortcutModifier::command:
                mask |= kCommandKeyMask;
                break;
            case ShortcutModifier::shift:
                mask |= kShiftKeyMask;
                break;
            case ShortcutModifier::option:
                mask |= kOptionKeyMask;
                break;
            case ShortcutModifier::control:
                mask |= kControlKeyMask;
                break;
        }
    }
    return mask;
}

std::uint32_t virtualKeyCode(std::string_view keyName, std::uint32_t fallback) {
    const std::string name = upperCased(keyName);
    for (const NamedCode& entry : kVirtualKeyCodes) {
        if (entry.name == name)
            return entry.code;
    }
    return fallback;
}

std::optional<PhysicalKey> physicalKey(std::string_view keyName) {
    const std::string name = upperCased(keyName);
    for (const NamedKey& entry : kPhysicalKeys) {
        if (entry.name == name)
            return entry.key;
    }
    return std::nullopt;
}

}  // namespace vela
