#include "app/app/AppCommandLine.h"

#include <algorithm>

#include "app/app/AppTexts.h"
#include "core/support/UnicodeText.h"

namespace vela {

namespace {

bool contains(const std::vector<std::string>& arguments, std::string_view value) {
    return std::find(arguments.begin(), arguments.end(), value) != arguments.end();
}

}  // namespace

LaunchCommand launchCommandFor(const std::vector<std::string>& arguments) {
    if (contains(arguments, "--capture"))
        return {LaunchCommand::StartCapture{}};
    if (auto it = std::find(arguments.begin(), arguments.end(), "--translate-text");
        it != arguments.end() && std::next(it) != arguments.end()) {
        return {LaunchCommand::TranslateText{externalText(*std::next(it))}};
    }
    if (contains(arguments, "--settings"))
        return {LaunchCommand::OpenSettings{}};
    if (contains(arguments, "--tour-step-3"))
        return {LaunchCommand::PreviewBroadcastNotice{}};
    if (contains(arguments, "--tour-step-4"))
        return {LaunchCommand::PreviewRequiredUpdate{}};
    if (contains(arguments, "--demo-popup"))
        return {LaunchCommand::LaunchNotice{}};
    return {LaunchCommand::ShowTextInput{}};
}

bool wantsDebugMenu(const std::vector<std::string>& arguments) {
    return contains(arguments, "--tour") || contains(arguments, "--debug");
}

std::string captureMenuTitle(const ShortcutConfig& captureShortcut) {
    return std::string(AppTexts::captureItemPrefix) + captureShortcut.compactDisplayText() +
           std::string(AppTexts::itemSuffix);
}

std::string textMenuTitle(const ShortcutConfig& textShortcut) {
    return std::string(AppTexts::textItemPrefix) + textShortcut.compactDisplayText() +
           std::string(AppTexts::itemSuffix);
}

}  // namespace vela
