#pragma once
// Everything Vela keeps between runs. A plain value: readers get copies from the
// ConfigStore, writers change a copy inside ConfigStore::update.

#include <string>
#include <string_view>

#include "core/settings/TranslationChannelMode.h"
#include "core/shortcuts/ShortcutConfig.h"

namespace vela {

struct VelaConfig {
    ShortcutConfig captureShortcut = ShortcutConfig::defaultCapture();
    ShortcutConfig textShortcut = ShortcutConfig::defaultText();
    TranslationChannelMode channelMode = TranslationChannelMode::builtin;
    std::string customBaseURL = std::string(defaultCustomBaseURL);
    std::string customApiKey;
    std::string customModel = std::string(defaultCustomModel);
    std::string remoteConfigURL = std::string(defaultRemoteConfigURL);
    std::string dismissedPopupId;
    bool forceUpdateBlocked = false;
    std::string forceUpdateURL = std::string(productPageURL);
    std::string forceUpdateMessage;
    bool launchAtLogin = false;
    bool isPinned = true;
    std::string sourceLanguage = "auto";
    std::string targetLanguage = "ja";

    static constexpr std::string_view appVersion = VELA_VERSION;  // the project's version
    static constexpr std::string_view defaultCustomBaseURL = "https://api.deepseek.com/v1";
    static constexpr std::string_view defaultCustomModel = "deepseek-chat";
    static constexpr std::string_view defaultRemoteConfigURL =
        "https://raw.githubusercontent.com/vela-app/releases/main/remote-config-jp.json";
    static constexpr std::string_view productPageURL = "https://vela-app.github.io/";

    bool operator==(const VelaConfig&) const = default;
};

}  // namespace vela
