#include "core/shortcuts/ShortcutModifier.h"

namespace vela {

std::string_view rawValue(ShortcutModifier m) {
    switch (m) {
        case ShortcutModifier::control:
            return "control";
        case ShortcutModifier::option:
            return "option";
        case ShortcutModifier::command:
            return "command";
        case ShortcutModifier::shift:
            return "shift";
    }
    return "";
}

std::optional<ShortcutModifier> shortcutModifierFromRaw(std::string_view raw) {
    for (ShortcutModifier m : allShortcutModifiers) {
        if (rawValue(m) == raw)
            return m;
    }
    return std::nullopt;
}

std::string_view displayName(ShortcutModifier m) {
    switch (m) {
        case ShortcutModifier::control:
            return "Ctrl";
        case ShortcutModifier::option:
            return "Alt";
        case ShortcutModifier::command:
            return "Super";
        case ShortcutModifier::shift:
            return "Shift";
    }
    return "";
}

}  // namespace vela
