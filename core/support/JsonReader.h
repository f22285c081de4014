#pragma once
// The one way Vela reads JSON that comes from outside (service answers, the
// remote manifest, the settings file). Pure; thread-safe.

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace vela {

// Deepest nesting of arrays and objects accepted; a deeper text is refused
// before anything is built in memory.
inline constexpr std::size_t maxJsonDepth = 64;

// Parses exactly one JSON text and nothing else: no value for a syntax error,
// trailing content, a NUL byte anywhere (the parser would take it for the end)
// or nesting deeper than maxJsonDepth. Numbers beyond the range of double are
// read as the largest double of their sign, so such a number fails only where
// a reader looks at it.
std::optional<nlohmann::json> parseJsonText(std::string_view text);

}  // namespace vela
