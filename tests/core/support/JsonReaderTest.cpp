#include "core/support/JsonReader.h"

#include <gtest/gtest.h>

namespace vela {

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// Trailing content, NUL bytes and numbers beyond double's range are covered by the settings
// file codec's tests.
TEST(JsonReader, NestingIsBoundedAndBracketsInStringsDoNotCount) {
    const std::pair<std::string, bool> cases[] = {
        {nested(maxJsonDepth), true},
        {nested(maxJsonDepth + 1), false},
        {"{\"a\":" + nested(maxJsonDepth - 1) + "}", true},
        {"{\"a\":" + nested(maxJsonDepth) + "}", false},
        {"[\"" + std::string(100, '[') + "\\\"[\"]", true}};
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(parseJsonText(text).has_value(), accepted) << text;
}

}  // namespace vela
