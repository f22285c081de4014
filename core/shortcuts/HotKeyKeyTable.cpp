#include "core/shortcuts/HotKeyKeyTable.h"

#include <array>
#include <utility>

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

struct NamedKeysym {
    std::string_view name;
    std::string_view keysym;
};

// Page key names (physical key code names, upper-cased) that are not a letter, digit or
// function key, with the keysym the key carries on a US layout.
constexpr std::array<NamedKeysym, 60> kNamedKeysyms{{
    {"SPACE", "space"},
    {"ARROWUP", "Up"},
    {"ARROWDOWN", "Down"},
    {"ARROWLEFT", "Left"},
    {"ARROWRIGHT", "Right"},
    {"MINUS", "minus"},
    {"EQUAL", "equal"},
    {"BRACKETLEFT", "bracketleft"},
    {"BRACKETRIGHT", "bracketright"},
    {"BACKSLASH", "backslash"},
    {"SEMICOLON", "semicolon"},
    {"QUOTE", "apostrophe"},
    {"BACKQUOTE", "grave"},
    {"COMMA", "comma"},
    {"PERIOD", "period"},
    {"SLASH", "slash"},
    {"INTLBACKSLASH", "less"},
    {"INTLYEN", "yen"},
    {"INTLRO", "underscore"},
    {"ENTER", "Return"},
    {"TAB", "Tab"},
    {"BACKSPACE", "BackSpace"},
    {"DELETE", "Delete"},
    {"INSERT", "Insert"},
    {"HOME", "Home"},
    {"END", "End"},
    {"PAGEUP", "Prior"},
    {"PAGEDOWN", "Next"},
    {"ESCAPE", "Escape"},
    {"PRINTSCREEN", "Print"},
    {"SCROLLLOCK", "Scroll_Lock"},
    {"PAUSE", "Pause"},
    {"CONTEXTMENU", "Menu"},
    {"NUMPAD0", "KP_0"},
    {"NUMPAD1", "KP_1"},
    {"NUMPAD2", "KP_2"},
    {"NUMPAD3", "KP_3"},
    {"NUMPAD4", "KP_4"},
    {"NUMPAD5", "KP_5"},
    {"NUMPAD6", "KP_6"},
    {"NUMPAD7", "KP_7"},
    {"NUMPAD8", "KP_8"},
    {"NUMPAD9", "KP_9"},
    {"NUMPADADD", "KP_Add"},
    {"NUMPADSUBTRACT", "KP_Subtract"},
    {"NUMPADMULTIPLY", "KP_Multiply"},
    {"NUMPADDIVIDE", "KP_Divide"},
    {"NUMPADDECIMAL", "KP_Decimal"},
    {"NUMPADENTER", "KP_Enter"},
    {"NUMPADEQUAL", "KP_Equal"},
    {"CONVERT", "Henkan_Mode"},
    {"NONCONVERT", "Muhenkan"},
    {"KANAMODE", "Hiragana_Katakana"},
    {"AUDIOVOLUMEUP", "XF86AudioRaiseVolume"},
    {"AUDIOVOLUMEDOWN", "XF86AudioLowerVolume"},
    {"AUDIOVOLUMEMUTE", "XF86AudioMute"},
    {"MEDIAPLAYPAUSE", "XF86AudioPlay"},
    {"MEDIASTOP", "XF86AudioStop"},
    {"MEDIATRACKNEXT", "XF86AudioNext"},
    {"MEDIATRACKPREVIOUS", "XF86AudioPrev"},
}};

// "F1" to "F35": the X keysyms of the function keys carry the same names.
bool isFunctionKeyName(std::string_view name) {
    if (name.size() < 2 || name.size() > 3 || name[0] != 'F')
        return false;
    int number = 0;
    for (char c : name.substr(1)) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    return name[1] != '0' && number >= 1 && number <= 35;
}

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

std::optional<std::string> keysymNameForKey(std::string_view keyName) {
    const std::string name = upperCased(keyName);
    if (name.size() == 1) {
        const char c = name[0];
        if (c >= 'A' && c <= 'Z')
            return std::string(1, static_cast<char>(c - 'A' + 'a'));
        if (c >= '0' && c <= '9')
            return name;
        return std::nullopt;
    }
    if (isFunctionKeyName(name))
        return name;
    for (const NamedKeysym& entry : kNamedKeysyms) {
        if (entry.name == name)
            return std::string(entry.keysym);
    }
    return std::nullopt;
}

}  // namespace vela
