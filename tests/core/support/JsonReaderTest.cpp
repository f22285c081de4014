#include "core/support/JsonReader.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonReader, ReadsOneBoundedTextAndNothingElse) {
    struct Case {
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        {nested(maxJsonDepth), true},
        {nested(maxJsonDepth + 1), false},
        {"{\"a\":" + nested(maxJsonDepth - 1) + "}", true},
        {"{\"a\":" + nested(maxJsonDepth) + "}", false},
        {"[\"" + std::string(100, '[') + "\\\"[\"]", true},  // brackets inside strings do not nest
        {std::string("{}\0", 3), false},
        {std::string("{}\0{\"x\":1}", 10), false},
        {std::string("[\"a\0b\"]", 7), false},
        {"{} {}", false},
        {"[1e400, -1e400, 1" + std::string(400, '0') + "]", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        EXPECT_EQ(parseJsonText(c.text).has_value(), c.accepted);
    }
    // An overflowing number saturates, so it still fails wherever a reader checks its range.
    const auto big = parseJsonText("[1e400, -1e999, 2.5]");
    ASSERT_TRUE(big);
    EXPECT_EQ((*big)[0].get<double>(), std::numeric_limits<double>::max());
    EXPECT_EQ((*big)[1].get<double>(), -std::numeric_limits<double>::max());
    EXPECT_EQ((*big)[2].get<double>(), 2.5);
}

}  // namespace
}  // namespace vela
