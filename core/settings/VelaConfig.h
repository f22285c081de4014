#pragma once
// Everything Vela keeps between runs. A plain value: readers get copies from the
// ConfigStore, writers change a copy inside ConfigStore::update.

#include <string>

#include "core/settings/TranslationChannelMode.h"
#include "core/shortcuts/ShortcutConfig.h"

namespace vela {

struct VelaConfig {
    ShortcutConfig captureShortcut = ShortcutConfig::defaultCapture();
    ShortcutConfig textShortcut = ShortcutConfig::defaultText();
    TranslationChannelMode channelMode = TranslationChannelMode::builtin;
    std::string customBaseURL = "https://api.deepseek.com/v1";
    std::string customApiKey;
    std::string customModel = "deepseek-chat";
    std::string remoteConfigURL = std::string(defaultRemoteConfigURL);
    std::string dismissedPopupId;
    bool forceUpdateBlocked = false;
    std::string forceUpdateURL = std::string(productPageURL);
    std::string forceUpdateMessage;
    bool launchAtLogin = false;
    bool isPinned = true;
    std::string sourceLanguage = "auto";
    std::string targetLanguage = "ja";

    static constexpr std::string_view appVersion = "0.1.0";
    static constexpr std::string_view defaultRemoteConfigURL =
        "https://raw.githubusercontent.com/vela-app/releases/main/remote-config-jp.json";
    static constexpr std::string_view productPageURL = "https://vela-app.github.io/";

    bool operator==(const VelaConfig&) const = default;
};

}  // namespace vela
