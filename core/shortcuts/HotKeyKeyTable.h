#pragma once
// Pure tables behind the global hot keys: the macOS-style key codes and modifier masks
// kept in the settings file, and the physical key position that a shortcut's key name
// stands for. Free functions without state; safe on any thread; they never fail (absent
// results are std::nullopt or the caller's fallback).

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/shortcuts/ShortcutModifier.h"

namespace vela {

// Mask bits of the settings file's modifier encoding.
inline constexpr std::uint32_t kCommandKeyMask = 0x100;
inline constexpr std::uint32_t kShiftKeyMask = 0x200;
inline constexpr std::uint32_t kOptionKeyMask = 0x800;
inline constexpr std::uint32_t kControlKeyMask = 0x1000;

// Bitwise OR of the masks of the modifiers present; order and repetitions do not matter.
std::uint32_t carbonModifierMask(const std::vector<ShortcutModifier>& modifiers);

// The ANSI-layout virtual key code of a letter, digit or "SPACE" (name upper-cased first);
// any other name yields `fallback`.
std::uint32_t virtualKeyCode(std::string_view keyName, std::uint32_t fallback);

// A key position on the keyboard, whatever the layout prints on it.
struct PhysicalKey {
    std::uint16_t evdevCode = 0;  // Linux input event code (KEY_*); X key code = this + 8
    bool typesCharacter = false;  // letters, digits, punctuation, SPACE, keypad characters
};

// The key position of a key name as the settings page records it (the physical key's code
// name without "Key"/"Digit", upper-cased first): "S", "7", "SPACE", "F5", "ARROWUP",
// "MINUS", "NUMPAD4", "INTLYEN", ... The name alone decides: the stored key code of such a
// shortcut may belong to another key. Unknown names give std::nullopt.
std::optional<PhysicalKey> physicalKey(std::string_view keyName);

}  // namespace vela
