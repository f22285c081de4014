#include "app/panel/PanelScripts.h"

#include "app/panel/PanelTexts.h"
#include "core/support/UnicodeText.h"

namespace vela {

std::string jsEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\'':
                out += "\\'";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::string jsQuoted(std::string_view text) {
    return "'" + jsEscape(text) + "'";
}

std::string velaAppCall(std::string_view function, std::string_view arguments) {
    std::string s = "window.velaApp.";
    s += function;
    s += "(";
    s += arguments;
    s += ");";
    return s;
}

nlohmann::json configurationPayload(const VelaConfig& c, const std::string& maskedApiKeyHint) {
    return nlohmann::json{
        {"isPinned", c.isPinned},
        {"sourceLanguage", c.sourceLanguage},
        {"targetLanguage", c.targetLanguage},
        {"captureShortcut", c.captureShortcut.displayText()},
        {"textShortcut", c.textShortcut.displayText()},
        {"compactHotkeys",
         c.captureShortcut.compactDisplayText() + " / " + c.textShortcut.compactDisplayText()},
        {"channelMode", std::string(rawValue(c.channelMode))},
        {"customBaseURL", c.customBaseURL},
        {"hasSavedApiKey", !trimmed(c.customApiKey).empty()},
        {"maskedApiKeyHint", maskedApiKeyHint},
        {"customModel", c.customModel},
        {"appVersion", std::string(VelaConfig::appVersion)},
        {"launchAtLogin", c.launchAtLogin},
    };
}

nlohmann::json remoteModalPayload(const RemoteModal& m) {
    return nlohmann::json{{"type", m.type},
                          {"id", m.id},
                          {"title", m.title},
                          {"message", m.message},
                          {"buttonText", m.buttonText},
                          {"buttonURL", m.buttonURL}};
}

RemoteModal broadcastModal(const RemotePopupNotice& n) {
    return RemoteModal{"broadcast", n.id, n.title, n.message, n.buttonText, n.buttonURL};
}

std::optional<RemoteModal> remoteModalFor(const RemoteControlDecision& decision) {
    using D = RemoteControlDecision;
    if (const auto* f = std::get_if<D::ForceUpdateRequired>(&decision.value)) {
        return RemoteModal{"forceUpdate",
                           "force-" + f->version,
                           std::string(PanelTexts::forceUpdateTitlePrefix) + f->version +
                               std::string(PanelTexts::forceUpdateTitleSuffix),
                           f->notes,
                           std::string(PanelTexts::downloadLatest),
                           f->url};
    }
    if (const auto* o = std::get_if<D::OptionalUpdateAvailable>(&decision.value)) {
        return RemoteModal{"optionalUpdate",
                           "update-" + o->version,
                           std::string(PanelTexts::optionalUpdateTitlePrefix) + o->version +
                               std::string(PanelTexts::optionalUpdateTitleSuffix),
                           o->notes,
                           std::string(PanelTexts::checkUpdate),
                           o->url};
    }
    if (const auto* b = std::get_if<D::PopupBroadcast>(&decision.value))
        return broadcastModal(b->notice);
    return std::nullopt;
}

std::string jsonArgument(const nlohmann::json& value) {
    // The page gets JSON as a script literal; U+2028/9 are valid in modern script
    // string literals, and bad bytes from settings must not make the call vanish.
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

RemoteModal forceBlockedModal(const TranslationOutcome::ForceUpdateRequired& o) {
    return RemoteModal{"forceUpdate",
                       "force-blocked",
                       std::string(PanelTexts::forceUpdateTitle),
                       o.message,
                       std::string(PanelTexts::downloadLatest),
                       o.updateURL};
}

std::string outcomeScript(const TranslationOutcome& outcome) {
    struct Render {
        std::string operator()(const TranslationOutcome::Success& s) const {
            return velaAppCall("showTranslationSuccess", jsQuoted(s.translatedText) + ", " +
                                                             jsQuoted(s.targetLanguage) + ", " +
                                                             std::to_string(s.elapsedMs));
        }
        std::string operator()(const TranslationOutcome::EmptyInput& e) const {
            return velaAppCall("showEmptyInput", jsQuoted(e.message));
        }
        std::string operator()(const TranslationOutcome::ForceUpdateRequired& f) const {
            return velaAppCall("showRemoteModal",
                               jsonArgument(remoteModalPayload(forceBlockedModal(f))));
        }
        std::string operator()(const TranslationOutcome::Failure& f) const {
            return velaAppCall("showError", jsQuoted(f.message));
        }
    };
    return std::visit(Render{}, outcome.value);
}

}  // namespace vela
