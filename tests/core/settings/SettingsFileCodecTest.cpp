#include "core/settings/SettingsFileCodec.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace vela {
namespace {

using M = ShortcutModifier;

const char* const kDefaultFile = R"({
  "captureShortcut" : {
    "key" : "S",
    "keyCode" : 1,
    "modifiers" : [
      "control",
      "option"
    ]
  },
  "channelMode" : "builtin",
  "customApiKey" : "",
  "customBaseURL" : "https:\/\/api.deepseek.com\/v1",
  "customModel" : "deepseek-chat",
  "dismissedPopupId" : "",
  "forceUpdateBlocked" : false,
  "forceUpdateMessage" : "",
  "forceUpdateURL" : "https:\/\/vela-app.github.io\/",
  "isPinned" : true,
  "launchAtLogin" : false,
  "remoteConfigURL" : "https:\/\/raw.githubusercontent.com\/vela-app\/releases\/main\/remote-config-jp.json",
  "sourceLanguage" : "auto",
  "targetLanguage" : "ja",
  "textShortcut" : {
    "key" : "G",
    "keyCode" : 5,
    "modifiers" : [
      "control",
      "option"
    ]
  }
})";

// The default file with one member's JSON text replaced (or removed when `value` is empty).
std::string withMember(const std::string& key, const std::string& value) {
    nlohmann::json doc = nlohmann::json::parse(kDefaultFile);
    if (value.empty()) {
        doc.erase(key);
    } else {
        doc[key] = nlohmann::json::parse(value);
    }
    return doc.dump();
}

std::string withKeyCode(const std::string& literal) {
    std::string text = kDefaultFile;
    auto at = text.find("\"keyCode\" : 1");
    return text.replace(at, 13, "\"keyCode\" : " + literal);
}

TEST(SettingsFileCodec, DefaultRecordEncodesToTheExactSortedPrettyFile) {
    EXPECT_EQ(encodeSettingsFile(VelaConfig{}), kDefaultFile);
    auto decoded = decodeSettingsFile(kDefaultFile);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, VelaConfig{});
}

TEST(SettingsFileCodec, RoundTripsEveryFieldIncludingNonAsciiAndEscapes) {
    VelaConfig c;
    c.captureShortcut = ShortcutConfig("F5", 96, {M::shift, M::command});
    c.textShortcut = ShortcutConfig::stored("g", 5, {});
    c.channelMode = TranslationChannelMode::custom;
    c.customApiKey = "sk-\"quoted\"\\back\nline\ttab\x01";
    c.forceUpdateBlocked = true;
    c.forceUpdateMessage = "【緊急】重要なアップデート";
    c.isPinned = false;
    c.launchAtLogin = true;
    c.sourceLanguage = "en";
    c.targetLanguage = "zh";
    c.dismissedPopupId = "notice-7";
    std::string text = encodeSettingsFile(c);
    // Non-ASCII is written as plain UTF-8, control characters escaped.
    EXPECT_NE(text.find("\"forceUpdateMessage\" : \"【緊急】重要なアップデート\""),
              std::string::npos);
    EXPECT_NE(text.find("\\\"quoted\\\"\\\\back\\nline\\ttab\\u0001"), std::string::npos);
    EXPECT_NE(text.find("\"modifiers\" : []"), std::string::npos);
    auto back = decodeSettingsFile(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, c);
    EXPECT_EQ(back->textShortcut.key, "g");  // taken as stored
}

TEST(SettingsFileCodec, AnyMissingOrMistypedMemberRejectsTheWholeFile) {
    const char* keys[] = {"captureShortcut",    "channelMode",        "customApiKey",
                          "customBaseURL",      "customModel",        "dismissedPopupId",
                          "forceUpdateBlocked", "forceUpdateMessage", "forceUpdateURL",
                          "isPinned",           "launchAtLogin",      "remoteConfigURL",
                          "sourceLanguage",     "targetLanguage",     "textShortcut"};
    for (const char* key : keys) {
        EXPECT_FALSE(decodeSettingsFile(withMember(key, ""))) << "missing " << key;
        EXPECT_FALSE(decodeSettingsFile(withMember(key, "null"))) << "null " << key;
        EXPECT_FALSE(decodeSettingsFile(withMember(key, "[]"))) << "array " << key;
    }
    EXPECT_FALSE(decodeSettingsFile(withMember("isPinned", "1")));
    EXPECT_FALSE(decodeSettingsFile(withMember("launchAtLogin", "0")));
    EXPECT_FALSE(decodeSettingsFile(withMember("customModel", "42")));
    EXPECT_FALSE(decodeSettingsFile(withMember("forceUpdateBlocked", "\"false\"")));
    EXPECT_FALSE(decodeSettingsFile(withMember("channelMode", "\"Builtin\"")));
    EXPECT_FALSE(decodeSettingsFile(withMember("channelMode", "\"deepl\"")));
    auto custom = decodeSettingsFile(withMember("channelMode", "\"custom\""));
    ASSERT_TRUE(custom);
    EXPECT_EQ(custom->channelMode, TranslationChannelMode::custom);
}

TEST(SettingsFileCodec, ShortcutObjectsAreCheckedMemberByMember) {
    const auto shortcut = [](const std::string& body) { return withMember("textShortcut", body); };
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"key":"G","keyCode":5})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"keyCode":5,"modifiers":[]})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"key":"G","modifiers":["option"]})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"key":"G","keyCode":"5","modifiers":[]})")));
    EXPECT_FALSE(
        decodeSettingsFile(shortcut(R"({"key":"G","keyCode":5,"modifiers":["command","meta"]})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"key":"G","keyCode":5,"modifiers":[null]})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"({"key":"G","keyCode":5,"modifiers":"option"})")));
    EXPECT_FALSE(decodeSettingsFile(shortcut(R"("⌥G")")));

    auto empty =
        decodeSettingsFile(shortcut(R"({"key":"g","keyCode":5,"modifiers":[],"extra":1})"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->textShortcut.modifiers.empty());
    EXPECT_EQ(empty->textShortcut.key, "g");
    auto repeated =
        decodeSettingsFile(shortcut(R"({"key":"G","keyCode":5,"modifiers":["shift","shift"]})"));
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->textShortcut.modifiers, (std::vector<M>{M::shift, M::shift}));
}

TEST(SettingsFileCodec, KeyCodeMustBeAnIntegerInUnsigned32BitRange) {
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("1.5")));
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("-1")));
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("4294967296")));
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("1e100")));
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("true")));
    auto max = decodeSettingsFile(withKeyCode("4294967295"));
    ASSERT_TRUE(max);
    EXPECT_EQ(max->captureShortcut.keyCode, 4294967295u);
    auto zero = decodeSettingsFile(withKeyCode("0"));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->captureShortcut.keyCode, 0u);
}

TEST(SettingsFileCodec, UnknownMembersAreIgnoredAndNotWrittenBack) {
    auto decoded = decodeSettingsFile(withMember("futureOption", R"({"nested":[1,2]})"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, VelaConfig{});
    EXPECT_EQ(encodeSettingsFile(*decoded).find("futureOption"), std::string::npos);
    // Whatever they hold, even numbers no double can represent.
    for (const char* value : {"1e400", "-1e400", "[1e999, {\"a\": -2e308}]"}) {
        std::string text = kDefaultFile;
        text.insert(text.size() - 1, std::string(",\"x\": ") + value);
        EXPECT_EQ(decodeSettingsFile(text), VelaConfig{}) << value;
    }
    EXPECT_FALSE(decodeSettingsFile(withKeyCode("1e400")));
}

TEST(SettingsFileCodec, DamagedTextIsRejected) {
    std::string full = kDefaultFile;
    EXPECT_FALSE(decodeSettingsFile(full.substr(0, full.size() / 2)));
    EXPECT_FALSE(decodeSettingsFile(""));
    EXPECT_FALSE(decodeSettingsFile("[]"));
    EXPECT_FALSE(decodeSettingsFile("null"));
    EXPECT_FALSE(decodeSettingsFile(full + "garbage"));
    EXPECT_FALSE(decodeSettingsFile(full + std::string("\0garbage", 8)));
    EXPECT_FALSE(decodeSettingsFile(full + std::string(1, '\0')));
    std::string badUtf8 = full;
    badUtf8.replace(badUtf8.find("deepseek-chat"), 4, "\xff\xfe\xfd\xfc");
    EXPECT_FALSE(decodeSettingsFile(badUtf8));
}

}  // namespace
}  // namespace vela
