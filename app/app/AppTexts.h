#pragma once
// The application shell's own Japanese texts: the status menu and the sample notices of
// the previews. Kept together so wording changes happen in one place.

#include <string_view>

#include "core/settings/VelaConfig.h"

namespace vela::AppTexts {

inline constexpr std::string_view statusLabel = "⚡ Vela";
inline constexpr std::string_view captureItemPrefix = "スクショ翻訳 (";
inline constexpr std::string_view textItemPrefix = "テキスト翻訳 (";
inline constexpr std::string_view itemSuffix = ")";
inline constexpr std::string_view settingsItem = "設定…";
inline constexpr std::string_view debugSubmenu = "🧪 オーナー体験ツアー (デバッグ)";
inline constexpr std::string_view demoPopupItem = "③ リモートお知らせポップアップ配信を実演";
inline constexpr std::string_view forceUpdateItem =
    "④ リモート強制アップデート（キルスイッチ）を実演";
inline constexpr std::string_view quitItem = "Vela を終了";

// Shown once at start when the desktop has no tray to show Vela's item in.
inline constexpr std::string_view noTrayTitle = "このデスクトップにはトレイがありません";
inline constexpr std::string_view noTrayHint =
    "Vela をもう一度起動するとこのパネルが開きます。デスクトップのショートカットに "
    "vela --capture や vela --text も割り当てられます。";

// Printed when no X display (X11 or XWayland) can be opened at start.
inline constexpr std::string_view noDisplayError =
    "vela: X ディスプレイを開けません。X11 または XWayland のセッションで起動してください "
    "(cannot open an X display; DISPLAY is unset or refused).\n";

// The fixed notice of "--demo-popup".
inline constexpr std::string_view launchNoticeId = "jp-launch-2026";
inline constexpr std::string_view launchNoticeTitle = "Vela 日本版リリースのお知らせ";
inline constexpr std::string_view launchNoticeMessage =
    "Vela をご利用いただきありがとうございます。ショートカットひとつで画面の文字も翻訳できます。";
inline constexpr std::string_view launchNoticeButton = "詳しく見る";
inline constexpr std::string_view launchNoticeURL = VelaConfig::productPageURL;

// The broadcast-notice preview of the debug menu and "--tour-step-3".
inline constexpr std::string_view campaignNoticeTitle = "期間限定キャンペーンのお知らせ";
inline constexpr std::string_view campaignNoticeMessage =
    "これはリモートお知らせ配信の実演です。配信されたお知らせはこのように表示されます。";
inline constexpr std::string_view campaignNoticeButton = "キャンペーンを見る";
inline constexpr std::string_view campaignNoticeURL = VelaConfig::productPageURL;

// The required-update preview.
inline constexpr std::string_view previewUpdateVersion = "0.2.0";
inline constexpr std::string_view previewUpdateNotes =
    "【緊急】重要なセキュリティアップデート（v0.2.0）が公開されました。旧バージョン（v0.1."
    "0）は利用停止となっております。最新版をダウンロードしてください。";
inline constexpr std::string_view previewUpdateURL = "https://vela-app.github.io/download/";

}  // namespace vela::AppTexts
