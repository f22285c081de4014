#include "core/settings/SettingsFileCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

namespace vela {
namespace {

using M = ShortcutModifier;

const std::string kDefaults = encodeSettingsFile(VelaConfig{});

// The default file with the first occurrence of `from` replaced by `to`.
std::string edited(const std::string& from, const std::string& to) {
    std::string text = kDefaults;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
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
    VelaConfig c;
    c.captureShortcut = ShortcutConfig("F5", 96, {M::shift, M::command});
    c.textShortcut = ShortcutConfig::stored("g", 5, {});  // lower case and no modifier, as stored
    c.channelMode = TranslationChannelMode::custom;
    c.customApiKey = "sk-\"quoted\"\\back\nline\ttab\x01";
    c.customModel = "m", c.customBaseURL = "http://h/v1", c.remoteConfigURL = "file:///r.json";
    c.dismissedPopupId = "notice-7";
    c.forceUpdateBlocked = true;
    c.forceUpdateURL = "https://u";
    c.forceUpdateMessage = "【緊急】重要なアップデート";
    c.isPinned = false;
    c.launchAtLogin = true;
    c.sourceLanguage = "en";
    c.targetLanguage = "zh";
    const std::string text = encodeSettingsFile(c);
    EXPECT_NE(text.find("\"【緊急】重要なアップデート\""), std::string::npos);  // plain UTF-8
    EXPECT_EQ(decodeSettingsFile(text), c);
}

TEST(SettingsFileCodec, AnyMissingOrMistypedMemberRejectsTheWholeFile) {
    std::vector<std::string> rejected;
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
    const char* const cap = "\"captureShortcut\" : {\n    \"key\" : \"S\",\n    \"keyCode\" : 1,";
    const std::pair<std::string, std::string> edits[] = {
        {"\"isPinned\" : true", "\"isPinned\" : 1"},
        {"\"launchAtLogin\" : false", "\"launchAtLogin\" : 0"},
        {"\"forceUpdateBlocked\" : false", "\"forceUpdateBlocked\" : \"false\""},
        {"\"customModel\" : \"deepseek-chat\"", "\"customModel\" : 42"},
        {"\"builtin\"", "\"Builtin\""},
        {"\"builtin\"", "\"deepl\""},
        {"\"keyCode\" : 1,", "\"keyCode\" : 1.5,"},
        {"\"keyCode\" : 1,", "\"keyCode\" : -1,"},
        {"\"keyCode\" : 1,", "\"keyCode\" : 4294967296,"},
        {"\"keyCode\" : 1,", "\"keyCode\" : 1e100,"},
        {"\"keyCode\" : 1,", "\"keyCode\" : 1e400,"},
        {"\"keyCode\" : 1,", "\"keyCode\" : \"1\","},
        {"\"keyCode\" : 1,", "\"keyCode\" : true,"},
        {"\"keyCode\" : 1,", ""},
        {"\"key\" : \"S\",", ""},
        {"\"control\",", "\"command\", \"meta\","},
        {"\"control\",", "null,"},
        {"\"control\",", "\"Control\","},
        {"\"modifiers\" : [\n      \"control\",\n      \"option\"\n    ]",
         "\"modifiers\" : \"option\""},
        {cap, "\"captureShortcut\" : \"⌥G\", \"x\" : {"},
        {"deepseek-chat", "\xff\xfe\xfd\xfc"},
        {"}", "},,"},
    };
    for (const auto& [from, to] : edits)
        rejected.push_back(edited(from, to));
    for (const std::string& damaged :
         {kDefaults.substr(0, kDefaults.size() / 2), std::string(""), std::string("[]"),
          std::string("null"), kDefaults + "x", kDefaults + std::string("\0x", 2)})
        rejected.push_back(damaged);
    for (const std::string& text : rejected) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeSettingsFile(text), std::nullopt);
    }
}

TEST(SettingsFileCodec, AcceptedFilesTakeValuesAsStoredAndIgnoreOtherMembers) {
    const auto with = [](auto change) {
        VelaConfig c;
        change(c);
        return c;
    };
    const struct {
        std::string text;
        VelaConfig expected;
    } cases[] = {
        {edited("\"builtin\"", "\"custom\""),
         with([](VelaConfig& c) { c.channelMode = TranslationChannelMode::custom; })},
        {edited("\"keyCode\" : 1,", "\"keyCode\" : 4294967295,"),
         with([](VelaConfig& c) { c.captureShortcut.keyCode = 4294967295u; })},
        {edited("\"keyCode\" : 1,", "\"keyCode\" : 0,"),
         with([](VelaConfig& c) { c.captureShortcut.keyCode = 0; })},
        {edited("\"key\" : \"S\",", "\"key\" : \"s\", \"extra\" : 1,"),
         with([](VelaConfig& c) { c.captureShortcut.key = "s"; })},
        {edited("\"control\",\n      \"option\"", "\"shift\", \"shift\""), with([](VelaConfig& c) {
             c.captureShortcut.modifiers = {M::shift, M::shift};
         })},
        {edited("{", "{\"future\" : {\"n\" : [1e400, -1e999]}, \"x\" : -2e308,"), VelaConfig{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decodeSettingsFile(c.text), c.expected);
    }
}

}  // namespace
}  // namespace vela
