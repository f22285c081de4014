#pragma once
// Every Japanese text that the translation engine hands to the user.
// Kept together so wording changes happen in one place.

#include <string_view>

namespace vela::messages {

inline constexpr std::string_view networkFailure =
    "ネットワーク接続に失敗しました。通信環境をご確認の上、再試行してください";
inline constexpr std::string_view invalidApiKey =
    "APIキーが無効、または残高不足です。設定をご確認ください";
inline constexpr std::string_view emptyInput = "翻訳するテキストを入力してください";
inline constexpr std::string_view forceUpdateDefault =
    "現在のバージョンはサポート終了となりました。最新バージョンへアップデートしてください。";
inline constexpr std::string_view connectionTestSucceeded = "接続テスト成功";
inline constexpr std::string_view demoPrefixOther = "【カスタムAI無制限】翻訳結果：";

}  // namespace vela::messages
