#include "core/support/JsonReader.h"

#include <gtest/gtest.h>

namespace vela {

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonReader, ReadsOneBoundedTextAndNothingElse) {
    const std::pair<std::string, bool> cases[] = {
        {nested(maxJsonDepth), true},
        {nested(maxJsonDepth + 1), false},
        {"{\"a\":" + nested(maxJsonDepth - 1) + "}", true},
        {"{\"a\":" + nested(maxJsonDepth) + "}", false},
        {"[\"" + std::string(100, '[') + "\\\"[\"]", true},  // brackets in strings do not nest
        {std::string("{}\0{\"x\":1}", 10), false},
        {std::string("[\"a\0b\"]", 7), false},
        {"{} {}", false}};
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(parseJsonText(text).has_value(), accepted) << text.substr(0, 80);
    // A number beyond double's range saturates, so it fails wherever a reader checks its range.
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(parseJsonText("[1e400, -1e999, 2.5, 1" + std::string(400, '0') + "]")
                  ->get<std::vector<double>>(),
              (std::vector<double>{max, -max, 2.5, max}));
}

}  // namespace vela
