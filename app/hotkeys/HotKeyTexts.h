#pragma once
// The hot keys' own Japanese texts: how the two shortcuts are named to the desktop, which
// shows these names in its keyboard settings. Kept together so wording changes happen here.

#include <string_view>

namespace vela::HotKeyTexts {

inline constexpr std::string_view captureShortcutDescription = "スクショ翻訳";
inline constexpr std::string_view textShortcutDescription = "テキスト翻訳";

}  // namespace vela::HotKeyTexts
