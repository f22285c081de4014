#include "core/remote/RemoteControlManifest.h"

#include <nlohmann/json.hpp>

#include "core/support/JsonReader.h"
#include "core/support/UnicodeText.h"

namespace vela {

namespace {

using nlohmann::json;

// Reads a required string member; false when it is missing, null or not a string.
bool readString(const json& object, const char* key, std::string& out) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return false;
    out = externalText(it->get_ref<const std::string&>());
    return true;
}

}  // namespace

std::variant<RemoteControlManifest, ManifestDecodeFailure> decodeRemoteControlManifest(
    std::string_view text) {
    const std::optional<json> parsed = parseJsonText(text);
    if (!parsed)
        return ManifestDecodeFailure{"not JSON"};
    const json& root = *parsed;
    if (!root.is_object())
        return ManifestDecodeFailure{"not a JSON object"};

    RemoteControlManifest manifest;
    for (auto [key, field] : {std::pair{"latestVersion", &manifest.latestVersion},
                              std::pair{"minRequiredVersion", &manifest.minRequiredVersion},
                              std::pair{"updateURL", &manifest.updateURL},
                              std::pair{"releaseNotes", &manifest.releaseNotes}}) {
        if (!readString(root, key, *field)) {
            return ManifestDecodeFailure{std::string("missing or mistyped \"") + key + "\""};
        }
    }

    auto popup = root.find("popup");
    if (popup == root.end() || popup->is_null())
        return manifest;
    if (!popup->is_object())
        return ManifestDecodeFailure{"\"popup\" is not an object"};
    RemotePopupNotice notice;
    for (auto [key, field] :
         {std::pair{"id", &notice.id}, std::pair{"title", &notice.title},
          std::pair{"message", &notice.message}, std::pair{"buttonText", &notice.buttonText},
          std::pair{"buttonURL", &notice.buttonURL}}) {
        if (!readString(*popup, key, *field)) {
            return ManifestDecodeFailure{std::string("missing or mistyped \"popup.") + key + "\""};
        }
    }
    manifest.popup = std::move(notice);
    return manifest;
}

}  // namespace vela
