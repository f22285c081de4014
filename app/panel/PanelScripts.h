#pragma once
// The scripts the panel runs in its page: calls of `window.velaApp` functions with
// escaped text arguments and JSON payloads. Pure functions; thread-safe; never fail.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "core/remote/RemoteControlDecision.h"
#include "core/settings/VelaConfig.h"
#include "core/translation/TranslationOutcome.h"

namespace vela {

// Makes text safe between single quotes: backslash doubled, apostrophe and line feed
// backslash-escaped, carriage return removed, in that order.
std::string jsEscape(std::string_view text);

// "'" + jsEscape(text) + "'"
std::string jsQuoted(std::string_view text);

// "window.velaApp.<function>(<arguments>);" with the arguments already written.
std::string velaAppCall(std::string_view function, std::string_view arguments = {});

// The payload of `applyConfig` for a stored record and the store's key hint.
nlohmann::json configurationPayload(const VelaConfig& config, const std::string& maskedApiKeyHint);

// The payload of `showRemoteModal`.
struct RemoteModal {
    std::string type;  // "forceUpdate", "optionalUpdate" or "broadcast"
    std::string id;
    std::string title;
    std::string message;
    std::string buttonText;
    std::string buttonURL;
    bool operator==(const RemoteModal&) const = default;
};
nlohmann::json remoteModalPayload(const RemoteModal& modal);

// The notice a remote decision shows; none for `upToDate`.
std::optional<RemoteModal> remoteModalFor(const RemoteControlDecision& decision);
// A notice broadcast as a remote modal.
RemoteModal broadcastModal(const RemotePopupNotice& notice);

// Compact JSON as a script argument. Invalid UTF-8 is replaced rather than failing.
std::string jsonArgument(const nlohmann::json& value);

// The remote notice shown when a translation is refused for a required update.
RemoteModal forceBlockedModal(const TranslationOutcome::ForceUpdateRequired& outcome);

// The one script that renders a translation outcome; forced updates become a notice.
std::string outcomeScript(const TranslationOutcome& outcome);

}  // namespace vela
