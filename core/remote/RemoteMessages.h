#pragma once
// Japanese texts that remote control shows when the manifest brings none.

#include <string_view>

namespace vela::messages {

inline constexpr std::string_view requiredUpdateNotes =
    "重要なセキュリティおよび安定性のアップデートがあります。最新バージョンへの更新が必要です。";
// Followed by the version and optionalUpdateNotesSuffix.
inline constexpr std::string_view optionalUpdateNotesPrefix = "新バージョン v";
inline constexpr std::string_view optionalUpdateNotesSuffix = " が公開されました。";

}  // namespace vela::messages
