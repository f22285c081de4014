#pragma once
// The panel's own Japanese texts (the page holds the rest).

#include <string_view>

#include "core/settings/VelaConfig.h"

namespace vela::PanelTexts {

inline constexpr std::string_view forceUpdateTitle = "必須アップデートのお知らせ";
inline constexpr std::string_view downloadLatest = "最新版をダウンロード";
inline constexpr std::string_view checkUpdate = "アップデートを確認";
inline constexpr std::string_view customChannelNeedsKey =
    "カスタムAIを有効にするには APIキーを入力するか、標準エンジンを選択してください";

// "必須アップデートのお知らせ (v" + version + ")"
inline constexpr std::string_view forceUpdateTitlePrefix = "必須アップデートのお知らせ (v";
inline constexpr std::string_view forceUpdateTitleSuffix = ")";
// "新バージョン v" + version + " が公開されました"
inline constexpr std::string_view optionalUpdateTitlePrefix = "新バージョン v";
inline constexpr std::string_view optionalUpdateTitleSuffix = " が公開されました";

// The id of a demonstrated broadcast notice: this prefix and the time it was shown.
inline constexpr std::string_view campaignNoticeIdPrefix = "jp-campaign-";

// The demonstration notice of the settings layer's notice-test button.
inline constexpr std::string_view demoNoticeTitle = "Vela からのお知らせ";
inline constexpr std::string_view demoNoticeMessage =
    "これはリモートお知らせのテスト表示です。配信されたお知らせはこのように表示されます。";
inline constexpr std::string_view demoNoticeButton = "詳細を見る";
inline constexpr std::string_view demoNoticeURL = VelaConfig::productPageURL;

// The web view's context menu: the editing items only.
inline constexpr std::string_view menuCut = "切り取り";
inline constexpr std::string_view menuCopy = "コピー";
inline constexpr std::string_view menuPaste = "貼り付け";
inline constexpr std::string_view menuSelectAll = "すべて選択";

}  // namespace vela::PanelTexts
