#include "core/support/JsonReader.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace vela {

namespace {

bool isNumberCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// One pass over the raw text: checks the nesting depth and NUL bytes, and
// rewrites number tokens that overflow double. Returns false to refuse the text.
// `rewritten` is set only when a number had to be replaced.
bool prescan(std::string_view text, std::optional<std::string>& rewritten) {
    std::size_t depth = 0;
    bool inString = false;
    std::size_t copied = 0;  // bytes of `text` already appended to `rewritten`
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            return false;
        if (inString) {
            if (c == '\\')
                ++i;  // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxJsonDepth)
                return false;
        } else if (c == ']' || c == '}') {
            if (depth > 0)
                --depth;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            std::size_t end = i;
            while (end < text.size() && isNumberCharacter(text[end]))
                ++end;
            const std::string token(text.substr(i, end - i));
            const double value = std::strtod(token.c_str(), nullptr);
            if (std::isinf(value)) {
                if (!rewritten)
                    rewritten.emplace();
                rewritten->append(text.substr(copied, i - copied));
                rewritten->append(value < 0 ? "-1.7976931348623157e308" : "1.7976931348623157e308");
                copied = end;
            }
            i = end - 1;
        }
    }
    if (rewritten)
        rewritten->append(text.substr(copied));
    return true;
}

}  // namespace

std::optional<nlohmann::json> parseJsonText(std::string_view text) {
    std::optional<std::string> rewritten;
    if (!prescan(text, rewritten))
        return std::nullopt;
    const std::string_view input = rewritten ? std::string_view(*rewritten) : text;
    nlohmann::json parsed = nlohmann::json::parse(input.begin(), input.end(), nullptr, false);
    if (parsed.is_discarded())
        return std::nullopt;
    return parsed;
}

}  // namespace vela
