#pragma once
// The one JSON text form Vela writes to disk: members sorted by key at every
// level, one member or element per line, two spaces per level, `"key" : value`,
// forward slashes escaped as `\/`, non-ASCII written as plain UTF-8.
// Empty arrays and objects are written as `[]` and `{}`. Pure; thread-safe.

#include <nlohmann/json.hpp>
#include <string>

namespace vela {

std::string writeSortedPrettyJson(const nlohmann::json& value);

// A JSON string literal (with quotes) in the escaping of the writer above.
std::string jsonStringLiteral(std::string_view text);

}  // namespace vela
