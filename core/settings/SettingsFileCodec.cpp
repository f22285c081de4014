#include "core/settings/SettingsFileCodec.h"

#include <nlohmann/json.hpp>

#include "core/support/JsonReader.h"
#include "core/support/JsonWriter.h"

namespace vela {

using nlohmann::json;

namespace {

json encodeShortcut(const ShortcutConfig& s) {
    json mods = json::array();
    for (auto m : s.modifiers)
        mods.push_back(std::string(rawValue(m)));
    return json{{"key", s.key}, {"keyCode", s.keyCode}, {"modifiers", mods}};
}

// Each reader fails (returns false) on a missing member, null or another JSON type.
const json* member(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

bool readString(const json& obj, const char* key, std::string& out) {
    const json* v = member(obj, key);
    if (!v || !v->is_string())
        return false;
    out = v->get<std::string>();
    return true;
}

bool readBool(const json& obj, const char* key, bool& out) {
    const json* v = member(obj, key);
    if (!v || !v->is_boolean())
        return false;
    out = v->get<bool>();
    return true;
}

bool readKeyCode(const json& obj, std::uint32_t& out) {
    const json* v = member(obj, "keyCode");
    if (!v)
        return false;
    if (v->is_number_unsigned()) {
        auto n = v->get<std::uint64_t>();
        if (n > 0xFFFFFFFFULL)
            return false;
        out = static_cast<std::uint32_t>(n);
        return true;
    }
    if (v->is_number_integer()) {
        auto n = v->get<std::int64_t>();
        if (n < 0 || n > 0xFFFFFFFFLL)
            return false;
        out = static_cast<std::uint32_t>(n);
        return true;
    }
    if (v->is_number_float()) {
        // "1.0" names an integer exactly; fractions and out-of-range values do not.
        double d = v->get<double>();
        if (d < 0 || d > 4294967295.0 || d != static_cast<double>(static_cast<std::uint64_t>(d))) {
            return false;
        }
        out = static_cast<std::uint32_t>(d);
        return true;
    }
    return false;
}

bool readShortcut(const json& obj, const char* key, ShortcutConfig& out) {
    const json* v = member(obj, key);
    if (!v || !v->is_object())
        return false;
    std::string k;
    std::uint32_t code = 0;
    if (!readString(*v, "key", k) || !readKeyCode(*v, code))
        return false;
    const json* mods = member(*v, "modifiers");
    if (!mods || !mods->is_array())
        return false;
    std::vector<ShortcutModifier> list;
    for (const json& m : *mods) {
        if (!m.is_string())
            return false;
        auto mod = shortcutModifierFromRaw(m.get_ref<const std::string&>());
        if (!mod)
            return false;
        list.push_back(*mod);
    }
    out = ShortcutConfig::stored(std::move(k), code, std::move(list));
    return true;
}

}  // namespace

std::string encodeSettingsFile(const VelaConfig& c) {
    json doc{
        {"captureShortcut", encodeShortcut(c.captureShortcut)},
        {"textShortcut", encodeShortcut(c.textShortcut)},
        {"channelMode", std::string(rawValue(c.channelMode))},
        {"customBaseURL", c.customBaseURL},
        {"customApiKey", c.customApiKey},
        {"customModel", c.customModel},
        {"remoteConfigURL", c.remoteConfigURL},
        {"dismissedPopupId", c.dismissedPopupId},
        {"forceUpdateBlocked", c.forceUpdateBlocked},
        {"forceUpdateURL", c.forceUpdateURL},
        {"forceUpdateMessage", c.forceUpdateMessage},
        {"launchAtLogin", c.launchAtLogin},
        {"isPinned", c.isPinned},
        {"sourceLanguage", c.sourceLanguage},
        {"targetLanguage", c.targetLanguage},
    };
    return writeSortedPrettyJson(doc);
}

std::optional<VelaConfig> decodeSettingsFile(std::string_view text) {
    const std::optional<json> parsed = parseJsonText(text);
    if (!parsed || !parsed->is_object())
        return std::nullopt;
    const json& doc = *parsed;
    VelaConfig c;
    std::string mode;
    bool ok =
        readShortcut(doc, "captureShortcut", c.captureShortcut) &&
        readShortcut(doc, "textShortcut", c.textShortcut) && readString(doc, "channelMode", mode) &&
        readString(doc, "customBaseURL", c.customBaseURL) &&
        readString(doc, "customApiKey", c.customApiKey) &&
        readString(doc, "customModel", c.customModel) &&
        readString(doc, "remoteConfigURL", c.remoteConfigURL) &&
        readString(doc, "dismissedPopupId", c.dismissedPopupId) &&
        readBool(doc, "forceUpdateBlocked", c.forceUpdateBlocked) &&
        readString(doc, "forceUpdateURL", c.forceUpdateURL) &&
        readString(doc, "forceUpdateMessage", c.forceUpdateMessage) &&
        readBool(doc, "launchAtLogin", c.launchAtLogin) && readBool(doc, "isPinned", c.isPinned) &&
        readString(doc, "sourceLanguage", c.sourceLanguage) &&
        readString(doc, "targetLanguage", c.targetLanguage);
    if (!ok)
        return std::nullopt;
    auto parsedMode = translationChannelModeFromRaw(mode);
    if (!parsedMode)
        return std::nullopt;
    c.channelMode = *parsedMode;
    return c;
}

}  // namespace vela
