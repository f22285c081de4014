#pragma once
// A modifier key of a global shortcut. The raw value is the modifier's form in
// the settings file and in the page's messages.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vela {

enum class ShortcutModifier { control, option, command, shift };

// All cases in declaration order.
inline constexpr std::array<ShortcutModifier, 4> allShortcutModifiers{
    ShortcutModifier::control, ShortcutModifier::option, ShortcutModifier::command,
    ShortcutModifier::shift};

std::string_view rawValue(ShortcutModifier modifier);
// Exact, case-sensitive match of the four raw values.
std::optional<ShortcutModifier> shortcutModifierFromRaw(std::string_view raw);
// The key's name on a Linux keyboard: "Ctrl", "Alt", "Super", "Shift" (control is Ctrl,
// option is Alt, command is Super).
std::string_view displayName(ShortcutModifier modifier);

}  // namespace vela
