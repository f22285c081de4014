#include "core/settings/SettingsFileCodec.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

namespace vela {

using M = ShortcutModifier;

const std::string kDefaults = encodeSettingsFile(VelaConfig{});

// The default file with the first `from` replaced by `to`.
std::string edited(const std::string& from, const std::string& to) {
    std::string text = kDefaults;
    EXPECT_NE(text.find(from), std::string::npos) << from;
    return text.replace(std::min(text.find(from), text.size()), from.size(), to);
}

TEST(SettingsFileCodec, DefaultsAreWrittenSortedAndPrettyAndReadBack) {
    EXPECT_EQ(decodeSettingsFile(kDefaults), VelaConfig{});
    EXPECT_TRUE(kDefaults.starts_with(
        "{\n  \"captureShortcut\" : {\n    \"key\" : \"S\",\n    \"keyCode\" : 1,\n"
        "    \"modifiers\" : [\n      \"control\",\n      \"option\"\n    ]\n  },\n"
        "  \"channelMode\" : \"builtin\",\n"))
        << kDefaults;
    EXPECT_NE(kDefaults.find("\"customBaseURL\" : \"https:\\/\\/"), std::string::npos);
    std::vector<std::string> keys;  // top-level members, as written
    std::istringstream lines(kDefaults);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("  \""))
            keys.push_back(line.substr(3, line.find('"', 3) - 3));
    }
    EXPECT_EQ(keys.size(), 15u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

TEST(SettingsFileCodec, EveryFieldRoundTripsAsStored) {
    const VelaConfig c{.captureShortcut = ShortcutConfig("F5", 96, {M::shift, M::command}),
                       .textShortcut = ShortcutConfig::stored("g", 5, {}),
                       .channelMode = TranslationChannelMode::custom,
                       .customBaseURL = "http://h/v1",
                       .customApiKey = "sk-\"quoted\"\\back\nline\ttab\x01",
                       .customModel = "m",
                       .remoteConfigURL = "file:///r.json",
                       .dismissedPopupId = "notice-7",
                       .forceUpdateBlocked = true,
                       .forceUpdateURL = "https://u",
                       .forceUpdateMessage = "【緊急】重要なアップデート",
                       .launchAtLogin = true,
                       .isPinned = false,
                       .sourceLanguage = "en",
                       .targetLanguage = "zh"};
    const std::string text = encodeSettingsFile(c);
    EXPECT_NE(text.find("\"【緊急】重要なアップデート\""), std::string::npos);  // plain UTF-8
    EXPECT_EQ(decodeSettingsFile(text), c);
}

TEST(SettingsFileCodec, AnyMissingOrMistypedMemberRejectsTheWholeFile) {
    std::vector<std::string> rejected = {
        kDefaults.substr(0, 99),          "", "[]", "null", kDefaults + "x",
        kDefaults + std::string("\0x", 2)};
    const auto defaults = nlohmann::json::parse(kDefaults);
    for (const auto& member : defaults.items()) {
        auto doc = defaults;
        doc.erase(member.key());
        rejected.push_back(doc.dump());
        for (const char* value : {"null", "[]"}) {
            doc[member.key()] = nlohmann::json::parse(value);
            rejected.push_back(doc.dump());
        }
    }
    // A member as written (key, value), then the other values put in its place.
    const std::tuple<std::string, std::string, std::vector<std::string>> mistyped[] = {
        {"\"keyCode\" : ", "1,", {"1.5,", "-1,", "4294967296,", "1e400,", "\"1\","}},
        {"\"isPinned\" : ", "true", {"1", "\"true\""}},
        {"\"launchAtLogin\" : ", "false", {"0"}},
        {"\"channelMode\" : ", "\"builtin\"", {"\"Builtin\"", "\"deepl\""}},
        {"\"customModel\" : ", "\"deepseek-chat\"", {"42", "\"\xff\""}},
        {"\"captureShortcut\" : ", "{", {"\"⌥G\", \"x\" : {"}},
        {"\"modifiers\" : ", "[", {"\"option\", \"x\" : ["}},
        {"", "\"control\"", {"\"Control\"", "\"meta\"", "null"}},
        {"", "\"key\" : \"S\",", {""}},
        {"", "\"keyCode\" : 1,", {""}}};
    for (const auto& [key, value, others] : mistyped) {
        for (const std::string& other : others)
            rejected.push_back(edited(key + value, key + other));
    }
    for (const std::string& text : rejected)
        EXPECT_EQ(decodeSettingsFile(text), std::nullopt) << text;
}

TEST(SettingsFileCodec, AcceptedFilesTakeValuesAsStoredAndIgnoreOtherMembers) {
    const auto stored = [](const char* key, std::uint32_t code,
                           std::vector<M> modifiers = {M::control, M::option}) {
        return ShortcutConfig::stored(key, code, std::move(modifiers));
    };
    const std::string ctrlAlt = "\"control\",\n      \"option\"";
    const std::tuple<std::string, std::string, ShortcutConfig> cases[] = {
        {"\"keyCode\" : 1,", "\"keyCode\" : 4294967295,", stored("S", 4294967295u)},
        {"\"keyCode\" : 1,", "\"keyCode\" : 0,", stored("S", 0)},
        {"\"key\" : \"S\",", "\"key\" : \"s\", \"x\" : 1,", stored("s", 1)},
        {ctrlAlt, "\"shift\", \"shift\"", stored("S", 1, {M::shift, M::shift})},
        {ctrlAlt, "", stored("S", 1, {})}};
    for (const auto& [from, to, expected] : cases) {
        EXPECT_EQ(decodeSettingsFile(edited(from, to)).value_or(VelaConfig{}).captureShortcut,
                  expected)
            << to;
    }
    EXPECT_EQ(decodeSettingsFile(edited("{", "{\"future\" : [1e400, -1e999], \"x\" : -2e308,")),
              VelaConfig{});
    EXPECT_EQ(decodeSettingsFile(edited("\"builtin\"", "\"custom\""))->channelMode,
              TranslationChannelMode::custom);
}

}  // namespace vela
