#pragma once
// Why a new pair of global shortcuts was refused. The messages are shown in the panel.

#include <string_view>

namespace vela {

enum class ShortcutValidationError {
    emptyModifiers,
    duplicateInternalShortcut,
    occupiedBySystem,
    keyNotOnKeyboard,  // the key name has no key on this keyboard, so it cannot be grabbed
};

std::string_view userMessage(ShortcutValidationError error);

}  // namespace vela
