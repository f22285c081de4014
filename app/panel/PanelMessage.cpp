#include "app/panel/PanelMessage.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include "app/panel/PanelTexts.h"
#include "core/support/UnicodeText.h"

namespace vela {

using nlohmann::json;

namespace {

std::optional<std::string> str(const json& body, const char* key) {
    auto it = body.find(key);
    if (it == body.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

std::optional<bool> boolean(const json& body, const char* key) {
    auto it = body.find(key);
    if (it == body.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

std::optional<double> number(const json& body, const char* key) {
    auto it = body.find(key);
    if (it == body.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

std::optional<PanelAction::RecordedShortcut> recorded(const json& body, const char* keyName,
                                                      const char* modsName) {
    auto key = str(body, keyName);
    auto it = body.find(modsName);
    if (!key || it == body.end() || !it->is_array())
        return std::nullopt;
    PanelAction::RecordedShortcut r{*key, {}};
    for (const json& m : *it) {
        if (!m.is_string())
            return std::nullopt;  // must be an array of strings
        r.mods.push_back(m.get<std::string>());
    }
    return r;
}

}  // namespace

std::optional<PanelMessage> decodePanelMessage(std::string_view text) {
    json body = json::parse(text.begin(), text.end(), nullptr, false);
    if (!body.is_object())
        return std::nullopt;
    auto action = str(body, "action");
    if (!action)
        return std::nullopt;
    const std::string& a = *action;
    if (a == "translate") {
        bool manual =
            boolean(body, "isManual").value_or(boolean(body, "manualTarget").value_or(false));
        return PanelAction::Translate{str(body, "text").value_or(""), str(body, "sourceLang"),
                                      str(body, "targetLang"), manual};
    }
    if (a == "swapLanguages") {
        return PanelAction::SwapLanguages{str(body, "sourceLang"), str(body, "targetLang"),
                                          str(body, "text").value_or("")};
    }
    if (a == "togglePin")
        return PanelAction::TogglePin{boolean(body, "isPinned").value_or(true)};
    if (a == "copy")
        return PanelAction::Copy{str(body, "text").value_or("")};
    if (a == "openSettings")
        return PanelAction::OpenSettings{boolean(body, "open").value_or(false)};
    if (a == "openExternalURL")
        return PanelAction::OpenExternalURL{str(body, "url").value_or("")};
    if (a == "dismissRemotePopup")
        return PanelAction::DismissRemotePopup{str(body, "id").value_or("")};
    if (a == "triggerDemoRemotePopup")
        return PanelAction::TriggerDemoRemotePopup{};
    if (a == "testConnection") {
        return PanelAction::TestConnection{str(body, "baseURL"), str(body, "apiKey"),
                                           str(body, "model")};
    }
    if (a == "saveSettings") {
        return PanelAction::SaveSettings{str(body, "channelMode"),
                                         str(body, "baseURL"),
                                         str(body, "apiKey").value_or(""),
                                         boolean(body, "clearSavedKey").value_or(false),
                                         str(body, "model"),
                                         boolean(body, "launchAtLogin").value_or(false),
                                         recorded(body, "captureKey", "captureMods"),
                                         recorded(body, "textKey", "textMods")};
    }
    if (a == "closeWindow")
        return PanelAction::CloseWindow{boolean(body, "force").value_or(false)};
    if (a == "startWindowDrag")
        return PanelAction::StartWindowDrag{};
    if (a == "moveWindowBy")
        return PanelAction::MoveWindowBy{number(body, "dx"), number(body, "dy")};
    if (a == "pasteClipboardToActiveInput")
        return PanelAction::PasteClipboardToActiveInput{};
    if (a == "shortcutRecording")
        return PanelAction::ShortcutRecording{boolean(body, "recording").value_or(false)};
    if (a == "pageState") {
        auto state = body.find("state");
        if (state == body.end() || !state->is_object())
            return std::nullopt;
        return PanelAction::PageState{state->dump(-1, ' ', false, json::error_handler_t::replace)};
    }
    return std::nullopt;
}

std::variant<SaveSettingsPlan, std::string> planSaveSettings(const PanelAction::SaveSettings& save,
                                                             const VelaConfig& stored,
                                                             KeyCodeLookup keyCodeFor) {
    const VelaConfig defaults;
    SaveSettingsPlan plan;
    std::string mode = save.channelMode.value_or(std::string(rawValue(stored.channelMode)));
    plan.channelMode =
        mode == "custom" ? TranslationChannelMode::custom : TranslationChannelMode::builtin;
    std::string baseURL = save.baseURL.value_or(stored.customBaseURL);
    std::string keyCandidate = trimmed(save.apiKey);
    std::string model = save.model.value_or(defaults.customModel);
    plan.launchAtLogin = save.launchAtLogin;
    // A key typed after deleting the saved one is the key to store: the clear flag only
    // drops the saved key when nothing new was typed.
    plan.customApiKey = !keyCandidate.empty() ? keyCandidate
                        : save.clearSavedKey  ? std::string()
                                              : stored.customApiKey;
    if (plan.channelMode == TranslationChannelMode::custom && plan.customApiKey.empty()) {
        return std::string(PanelTexts::customChannelNeedsKey);
    }
    const auto build = [&](const std::optional<PanelAction::RecordedShortcut>& rec,
                           const ShortcutConfig& current) {
        if (!rec)
            return current;
        std::vector<ShortcutModifier> mods;
        for (const std::string& m : rec->mods) {
            if (auto mod = shortcutModifierFromRaw(m))
                mods.push_back(*mod);
        }
        return ShortcutConfig(rec->key, keyCodeFor(rec->key, current.keyCode), std::move(mods));
    };
    plan.captureShortcut = build(save.capture, stored.captureShortcut);
    plan.textShortcut = build(save.text, stored.textShortcut);
    plan.customBaseURL = trimmed(baseURL);
    if (plan.customBaseURL.empty())
        plan.customBaseURL = defaults.customBaseURL;
    plan.customModel = trimmed(model);
    if (plan.customModel.empty())
        plan.customModel = defaults.customModel;
    return plan;
}

bool isOpenableWebURL(std::string_view url) {
    std::string text(url);
    g_autoptr(GUri) parsed = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!parsed)
        return false;
    g_autofree char* scheme = g_ascii_strdown(g_uri_get_scheme(parsed), -1);
    return g_strcmp0(scheme, "https") == 0 || g_strcmp0(scheme, "http") == 0;
}

}  // namespace vela
