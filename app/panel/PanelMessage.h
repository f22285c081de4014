#pragma once
// The messages the page posts to "vela", decoded into typed actions. A member of the
// wrong type counts as absent; the defaults of each action are applied here, except
// where the default is a stored setting (those stay optional for the panel to fill).
// Pure; thread-safe; never fails (an unusable message decodes to no action).

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/settings/VelaConfig.h"

namespace vela {

namespace PanelAction {
struct Translate {
    std::string text;
    std::optional<std::string> sourceLang;
    std::optional<std::string> targetLang;
    bool isManual = false;  // "isManual", else "manualTarget", else false
};
struct SwapLanguages {
    std::optional<std::string> sourceLang;
    std::optional<std::string> targetLang;
    std::string text;
};
struct TogglePin {
    bool isPinned = true;
};
struct Copy {
    std::string text;
};
struct OpenSettings {
    bool open = false;
};
struct OpenExternalURL {
    std::string url;
};
struct DismissRemotePopup {
    std::string id;
};
struct TriggerDemoRemotePopup {};
struct TestConnection {
    std::optional<std::string> baseURL;
    std::optional<std::string> apiKey;
    std::optional<std::string> model;
};
struct RecordedShortcut {
    std::string key;
    std::vector<std::string> mods;
};
struct SaveSettings {
    std::optional<std::string> channelMode;
    std::optional<std::string> baseURL;
    std::string apiKey;
    bool clearSavedKey = false;
    std::optional<std::string> model;
    bool launchAtLogin = false;
    std::optional<RecordedShortcut> capture;  // both "captureKey" and "captureMods" valid
    std::optional<RecordedShortcut> text;
};
struct CloseWindow {
    bool force = false;
};
struct StartWindowDrag {};
struct MoveWindowBy {
    std::optional<double> dx;
    std::optional<double> dy;
};
struct PasteClipboardToActiveInput {};
// The shortcut recorder started or stopped listening.
struct ShortcutRecording {
    bool recording = false;
};
// The page's own state, which the panel keeps to bring a reloaded page back to it.
struct PageState {
    std::string state;  // compact JSON of an object
};
}  // namespace PanelAction

using PanelMessage =
    std::variant<PanelAction::Translate, PanelAction::SwapLanguages, PanelAction::TogglePin,
                 PanelAction::Copy, PanelAction::OpenSettings, PanelAction::OpenExternalURL,
                 PanelAction::DismissRemotePopup, PanelAction::TriggerDemoRemotePopup,
                 PanelAction::TestConnection, PanelAction::SaveSettings, PanelAction::CloseWindow,
                 PanelAction::StartWindowDrag, PanelAction::MoveWindowBy,
                 PanelAction::PasteClipboardToActiveInput, PanelAction::ShortcutRecording,
                 PanelAction::PageState>;

// No value for a body that is not an object, a missing or non-string "action", an
// unknown action, or text that is not JSON.
std::optional<PanelMessage> decodePanelMessage(std::string_view json);

// What a "saveSettings" asks to store, checked up to (not including) the shortcut
// validation. `keyCodeFor(name, fallback)` gives a recorded key's virtual key code.
struct SaveSettingsPlan {
    TranslationChannelMode channelMode = TranslationChannelMode::builtin;
    std::string customBaseURL;
    std::string customApiKey;
    std::string customModel;
    bool launchAtLogin = false;
    ShortcutConfig captureShortcut;
    ShortcutConfig textShortcut;
};
using KeyCodeLookup = std::uint32_t (*)(std::string_view keyName, std::uint32_t fallback);
// Either the plan or the message to show in the settings form.
std::variant<SaveSettingsPlan, std::string> planSaveSettings(const PanelAction::SaveSettings& save,
                                                             const VelaConfig& stored,
                                                             KeyCodeLookup keyCodeFor);

// http and https only, the scheme compared without case; false for anything unparsable.
bool isOpenableWebURL(std::string_view url);

}  // namespace vela
