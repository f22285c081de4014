#pragma once
// What the process arguments ask of the program at launch, and the status menu's titles.
// Pure functions of their arguments; thread-safe.

#include <string>
#include <variant>
#include <vector>

#include "core/shortcuts/ShortcutConfig.h"

namespace vela {

struct LaunchCommand {
    struct StartCapture {
        bool operator==(const StartCapture&) const = default;
    };
    struct TranslateText {
        std::string text;
        bool operator==(const TranslateText&) const = default;
    };
    struct OpenSettings {
        bool operator==(const OpenSettings&) const = default;
    };
    struct PreviewBroadcastNotice {  // "--tour-step-3"
        bool operator==(const PreviewBroadcastNotice&) const = default;
    };
    struct PreviewRequiredUpdate {  // "--tour-step-4"
        bool operator==(const PreviewRequiredUpdate&) const = default;
    };
    struct LaunchNotice {  // "--demo-popup"
        bool operator==(const LaunchNotice&) const = default;
    };
    struct ShowTextInput {  // a plain launch
        bool operator==(const ShowTextInput&) const = default;
    };

    std::variant<StartCapture, TranslateText, OpenSettings, PreviewBroadcastNotice,
                 PreviewRequiredUpdate, LaunchNotice, ShowTextInput>
        value = ShowTextInput{};
    bool operator==(const LaunchCommand&) const = default;
};

// The first matching switch, tried in a fixed order of precedence, each compared whole and
// case-sensitively anywhere in `arguments` (the program path included, which never
// matches in practice). "--translate-text" counts only with an argument after its first
// occurrence. Other arguments are ignored, so "--text" and a plain launch both show the
// panel for text input.
LaunchCommand launchCommandFor(const std::vector<std::string>& arguments);

// True when an argument is exactly "--tour" or "--debug".
bool wantsDebugMenu(const std::vector<std::string>& arguments);

// "スクショ翻訳 (Ctrl+Alt+S)" and "テキスト翻訳 (Ctrl+Alt+G)" for the given shortcuts.
std::string captureMenuTitle(const ShortcutConfig& captureShortcut);
std::string textMenuTitle(const ShortcutConfig& textShortcut);

}  // namespace vela
