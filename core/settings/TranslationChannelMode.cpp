#include "core/settings/TranslationChannelMode.h"

namespace vela {

std::string_view rawValue(TranslationChannelMode mode) {
    return mode == TranslationChannelMode::custom ? "custom" : "builtin";
}

std::optional<TranslationChannelMode> translationChannelModeFromRaw(std::string_view raw) {
    if (raw == "builtin")
        return TranslationChannelMode::builtin;
    if (raw == "custom")
        return TranslationChannelMode::custom;
    return std::nullopt;
}

}  // namespace vela
