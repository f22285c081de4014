#pragma once
// One global shortcut: an upper-case key name, the macOS-style virtual key code
// kept in the settings file, and the modifiers in the order given (duplicates kept).

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

    static ShortcutConfig defaultCapture();  // Ctrl+Alt+S, key code 1
    static ShortcutConfig defaultText();     // Ctrl+Alt+G, key code 5

    // "Ctrl + Alt + Shift + Super + KEY" (only the modifiers present, once each).
    std::string displayText() const;
    // "Ctrl+Alt+Shift+Super+KEY" (only the modifiers present, once each).
    std::string compactDisplayText() const;

    // No modifier at all, or only Shift on a key that types a character (Shift+A would
    // take the capital A away from every program; Shift+F5 is fine).
    bool lacksModifier() const;

    bool operator==(const ShortcutConfig&) const = default;

  private:
    std::string joined(std::string_view separator) const;
};

}  // namespace vela

template <>
struct std::hash<vela::ShortcutConfig> {
    std::size_t operator()(const vela::ShortcutConfig& s) const noexcept;
};
