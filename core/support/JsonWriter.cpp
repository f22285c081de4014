#include "core/support/JsonWriter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vela {

std::string jsonStringLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '/':
                out += "\\/";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
    return out;
}

namespace {

void write(std::string& out, const nlohmann::json& v, int depth) {
    const auto indent = [&](int d) { out.append(static_cast<std::size_t>(d) * 2, ' '); };
    switch (v.type()) {
        case nlohmann::json::value_t::object: {
            if (v.empty()) {
                out += "{}";
                return;
            }
            std::vector<std::string> keys;
            for (auto it = v.begin(); it != v.end(); ++it)
                keys.push_back(it.key());
            std::sort(keys.begin(), keys.end());
            out += "{\n";
            for (std::size_t i = 0; i < keys.size(); ++i) {
                indent(depth + 1);
                out += jsonStringLiteral(keys[i]);
                out += " : ";
                write(out, v.at(keys[i]), depth + 1);
                out += i + 1 < keys.size() ? ",\n" : "\n";
            }
            indent(depth);
            out += "}";
            return;
        }
        case nlohmann::json::value_t::array: {
            if (v.empty()) {
                out += "[]";
                return;
            }
            out += "[\n";
            for (std::size_t i = 0; i < v.size(); ++i) {
                indent(depth + 1);
                write(out, v[i], depth + 1);
                out += i + 1 < v.size() ? ",\n" : "\n";
            }
            indent(depth);
            out += "]";
            return;
        }
        case nlohmann::json::value_t::string:
            out += jsonStringLiteral(v.get_ref<const std::string&>());
            return;
        default:
            out += v.dump();  // numbers, booleans, null
            return;
    }
}

}  // namespace

std::string writeSortedPrettyJson(const nlohmann::json& value) {
    std::string out;
    write(out, value, 0);
    return out;
}

}  // namespace vela
