#pragma once
// The settings file: encoding is exact (sorted keys, pretty-printed, every member
// present); decoding is strict and all-or-nothing. Pure; thread-safe.

#include <optional>
#include <string>
#include <string_view>

#include "core/settings/VelaConfig.h"

namespace vela {

std::string encodeSettingsFile(const VelaConfig& config);

// No value when the text is not one JSON object holding all fifteen members in
// their exact JSON forms, with nothing after it. Unknown members are ignored
// whatever they hold; values are taken as stored.
std::optional<VelaConfig> decodeSettingsFile(std::string_view text);

}  // namespace vela
