#pragma once
// One global shortcut: an upper-case key name, the macOS-style virtual key code
// kept in the settings file, and the modifiers in the order given (duplicates kept).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/shortcuts/ShortcutModifier.h"

namespace vela {

struct ShortcutConfig {
    std::string key;
    std::uint32_t keyCode = 0;
    std::vector<ShortcutModifier> modifiers;

    ShortcutConfig() = default;
    // Upper-cases the key (full Unicode upper-casing); keeps code and modifiers as given.
    ShortcutConfig(std::string_view key, std::uint32_t keyCode,
                   std::vector<ShortcutModifier> modifiers);
    // Takes every field as it is, without upper-casing: values read from the settings file.
    static ShortcutConfig stored(std::string key, std::uint32_t keyCode,
                                 std::vector<ShortcutModifier> modifiers);

    static ShortcutConfig defaultCapture();  // ⌃S, key code 1
    static ShortcutConfig defaultText();     // ⌥G, key code 5

    // "⌃ Control + ⌥ Option + ⇧ Shift + ⌘ Command + KEY" (only the modifiers present, once each).
    std::string displayText() const;
    // "⌃⌥⇧⌘KEY" (only the modifiers present, once each).
    std::string compactDisplayText() const;

    bool operator==(const ShortcutConfig&) const = default;
};

}  // namespace vela

template <>
struct std::hash<vela::ShortcutConfig> {
    std::size_t operator()(const vela::ShortcutConfig& s) const noexcept;
};
