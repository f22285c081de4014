#include "core/shortcuts/ShortcutValidationError.h"

namespace vela {

std::string_view userMessage(ShortcutValidationError error) {
    switch (error) {
        case ShortcutValidationError::emptyModifiers:
            return "ショートカットには修飾キー（Ctrl / Alt / Super）を1つ以上含めてください";
        case ShortcutValidationError::duplicateInternalShortcut:
            return "スクショ翻訳とテキスト翻訳に同じショートカットは設定できません";
        case ShortcutValidationError::occupiedBySystem:
            return "このショートカットは既にシステムまたは他のアプリで使用されています";
        case ShortcutValidationError::keyNotOnKeyboard:
            return "このキーはお使いのキーボードにないため、ショートカットに使えません";
    }
    return "";
}

}  // namespace vela
