#pragma once
// The translation channel the user chose; the raw value is its form in the settings file.

#include <optional>
#include <string_view>

namespace vela {

enum class TranslationChannelMode { builtin, custom };

std::string_view rawValue(TranslationChannelMode mode);
// Exact, case-sensitive match of "builtin" and "custom".
std::optional<TranslationChannelMode> translationChannelModeFromRaw(std::string_view raw);

}  // namespace vela
