#include "core/shortcuts/ShortcutModifier.h"

namespace vela {

std::string_view rawValue(ShortcutModifier m) {
    switch (m) {
        case ShortcutModifier::control: return "control";
        case ShortcutModifier::option: return "option";
        case ShortcutModifier::command: return "command";
        case ShortcutModifier::shift: return "shift";
    }
    return "";
}

std::optional<ShortcutModifier> shortcutModifierFromRaw(std::string_view raw) {
    for (ShortcutModifier m : allShortcutModifiers) {
        if (rawValue(m) == raw) return m;
    }
    return std::nullopt;
}

std::string_view symbol(ShortcutModifier m) {
    switch (m) {
        case ShortcutModifier::control: return "⌃";
        case ShortcutModifier::option: return "⌥";
        case ShortcutModifier::command: return "⌘";
        case ShortcutModifier::shift: return "⇧";
    }
    return "";
}

std::string_view longLabel(ShortcutModifier m) {
    switch (m) {
        case ShortcutModifier::control: return "⌃ Control";
        case ShortcutModifier::option: return "⌥ Option";
        case ShortcutModifier::command: return "⌘ Command";
        case ShortcutModifier::shift: return "⇧ Shift";
    }
    return "";
}

}  // namespace vela
