#pragma once
// The hot keys' own Japanese texts: how the two shortcuts are named to the desktop, which
// shows these names in its keyboard settings. Kept together so wording changes happen here.

#include <string_view>

namespace vela::HotKeyTexts {

inline constexpr std::string_view captureShortcutDescription = "スクショ翻訳";
inline constexpr std::string_view textShortcutDescription = "テキスト翻訳";

// Under the shortcut fields when this desktop lets no program bind keys for the whole session.
inline constexpr std::string_view bindInDesktopSettingsHint =
    "このデスクトップでは Vela がショートカットを登録できません。デスクトップのキーボード設定で"
    "スクショ翻訳に vela --capture、テキスト翻訳に vela --text を割り当ててください。";

}  // namespace vela::HotKeyTexts
