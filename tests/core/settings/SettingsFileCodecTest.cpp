#include "core/settings/SettingsFileCodec.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/support/JsonReader.h"

namespace vela {

using M = ShortcutModifier;

const std::string kDefaults = encodeSettingsFile(VelaConfig{});

TEST(SettingsFileCodec, FilesAreSortedAndPrettyAndEveryFieldRoundTrips) {
    EXPECT_TRUE(kDefaults.starts_with(
        "{\n  \"captureShortcut\" : {\n    \"key\" : \"S\",\n    \"keyCode\" : 1,\n"
        "    \"modifiers\" : [\n      \"control\",\n      \"option\"\n    ]\n  },\n"
        "  \"channelMode\" : \"builtin\",\n"))
        << kDefaults;
    EXPECT_EQ(decodeSettingsFile(kDefaults), VelaConfig{});
    VelaConfig c;
    c.captureShortcut = ShortcutConfig("F5", 96, {M::shift, M::command}),
    c.textShortcut = ShortcutConfig::stored("g", 5, {}),
    c.channelMode = TranslationChannelMode::custom;
    c.customBaseURL = "http://h/v1", c.customApiKey = "sk-\"q\"\\b\nl\t\x01", c.customModel = "m";
    c.remoteConfigURL = "file:///r.json", c.dismissedPopupId = "n7", c.forceUpdateURL = "https://u";
    c.forceUpdateBlocked = c.launchAtLogin = true, c.isPinned = false, c.sourceLanguage = "en";
    c.targetLanguage = "zh", c.forceUpdateMessage = "【緊急】重要なアップデート";
    EXPECT_EQ(decodeSettingsFile(encodeSettingsFile(c)), c);
}

TEST(SettingsFileCodec, MembersAreTakenAsStoredOrTheWholeFileIsRejected) {
    std::vector<std::string> rejected = {
        kDefaults.substr(0, 99),          "", "[]", "null", kDefaults + "x",
        kDefaults + std::string("\0x", 2)};
    const auto defaults = nlohmann::json::parse(kDefaults);
    for (const auto& member : defaults.items()) {
        auto doc = defaults;
        doc.erase(member.key());
        rejected.push_back(doc.dump());
        for (const char* value : {"null", "[]"})
            rejected.push_back((doc[member.key()] = nlohmann::json::parse(value), doc.dump()));
    }
    // Nested one short of the limit (the file itself is one level); brackets in strings do not
    // count.
    const std::string deep =
        std::string(maxJsonDepth - 1, '[') + std::string(maxJsonDepth - 1, ']');
    const std::string brackets = "\"\\\"" + std::string(maxJsonDepth, '[') + "\"";
    const auto stored = [](const char* key, std::uint32_t code,
                           std::vector<M> modifiers = {M::control, M::option}) {
        return ShortcutConfig::stored(key, code, std::move(modifiers));
    };
    // A part of the default file (key, value), the values put in its place, and the capture
    // shortcut read then, if the file is accepted.
    const std::string ctrlAlt = "\"control\",\n      \"option\"";
    const std::tuple<std::string, std::string, std::vector<std::string>,
                     std::optional<ShortcutConfig>>
        cases[] = {{"", kDefaults, rejected, {}},
                   {"{", "", {"\"x\" : [" + deep + "],"}, {}},
                   {"{", "", {"\"x\" : " + deep + ", \"y\" : " + brackets + ","}, stored("S", 1)},
                   {"\"keyCode\" : ", "1,", {"1.5,", "-1,", "4294967296,", "1e400,", "\"1\","}, {}},
                   {"\"keyCode\" : ", "1,", {"4294967295,"}, stored("S", 4294967295u)},
                   {"\"keyCode\" : ", "1,", {"0,"}, stored("S", 0)},
                   {"\"key\" : ", "\"S\",", {"\"s\", \"x\" : 1,"}, stored("s", 1)},
                   {"", ctrlAlt, {"\"shift\", \"shift\""}, stored("S", 1, {M::shift, M::shift})},
                   {"", ctrlAlt, {""}, stored("S", 1, {})},
                   {"{", "", {"\"future\" : [1e400, -1e999], \"x\" : -2e308,"}, stored("S", 1)},
                   {"\"isPinned\" : ", "true", {"1", "\"true\""}, {}},
                   {"\"channelMode\" : ", "\"builtin\"", {"\"Builtin\"", "\"deepl\""}, {}},
                   {"\"customModel\" : ", "\"deepseek-chat\"", {"42", "\"\xff\""}, {}},
                   {"\"modifiers\" : ", "[", {"\"option\", \"x\" : ["}, {}},
                   {"", "\"control\"", {"\"Control\"", "\"meta\"", "null"}, {}},
                   {"", "\"key\" : \"S\",", {""}, {}},
                   {"", "\"keyCode\" : 1,", {""}, {}}};
    for (const auto& [key, value, others, capture] : cases) {
        for (const std::string& other : others) {
            SCOPED_TRACE(key + other);
            std::string text = kDefaults;
            const std::size_t at = text.find(key + value);
            ASSERT_NE(at, std::string::npos);
            const auto decoded =
                decodeSettingsFile(text.replace(at, (key + value).size(), key + other));
            EXPECT_EQ(decoded ? std::optional(decoded->captureShortcut) : std::nullopt, capture);
        }
    }
}

}  // namespace vela
