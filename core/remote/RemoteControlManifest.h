#pragma once
// The publisher's remote control document and its strict JSON form.
//
// Decoding is all or nothing: a missing required member, a null in one or a
// value of the wrong JSON type rejects the whole document. "popup" missing or
// null means no notice. Other members are ignored. Strings arrive as external
// text (valid UTF-8, no NUL). Pure functions, thread-safe.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/remote/RemotePopupNotice.h"

namespace vela {

struct RemoteControlManifest {
    std::string latestVersion;
    std::string minRequiredVersion;  // empty never requires an update
    std::string updateURL;
    std::string releaseNotes;  // empty: a default text is shown
    std::optional<RemotePopupNotice> popup;

    bool operator==(const RemoteControlManifest&) const = default;
};

// Why a document was rejected (for diagnostics only; never shown).
struct ManifestDecodeFailure {
    std::string reason;
    bool operator==(const ManifestDecodeFailure&) const = default;
};

std::variant<RemoteControlManifest, ManifestDecodeFailure> decodeRemoteControlManifest(
    std::string_view json);

}  // namespace vela
