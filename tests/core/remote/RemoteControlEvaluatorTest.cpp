#include "core/remote/RemoteControlEvaluator.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using Decision = RemoteControlDecision;

TEST(RemoteControlManifest, DecodingIsAllOrNothing) {
    const std::string base =
        R"("latestVersion":"1","minRequiredVersion":"0","updateURL":"u","releaseNotes":)";
    const std::string popup = R"(,"popup":{"id":"a","title":"t","message":"m","buttonText":"b")";
    const RemoteControlManifest plain{"1", "0", "u", "n", std::nullopt};
    const struct {
        std::string json;
        std::optional<RemoteControlManifest> expected;
    } cases[] = {
        {"{" + base + R"("", "extra": [1], )" + popup.substr(1) + R"(,"buttonURL":"B"}})",
         RemoteControlManifest{"1", "0", "u", "", RemotePopupNotice{"a", "t", "m", "b", "B"}}},
        {"{" + base + "\"n\"}", plain},
        {"{" + base + "\"n\"" + R"(,"popup":null})", plain},
        {R"({"latestVersion":"1","minRequiredVersion":"0","updateURL":"u"})", std::nullopt},
        {"{" + base + "null}", std::nullopt},
        {R"({"latestVersion":1,"minRequiredVersion":"0","updateURL":"u","releaseNotes":""})",
         std::nullopt},
        {"{" + base + "\"n\"" + popup + "}}", std::nullopt},
        {"{" + base + "\"n\"" + popup + R"(,"buttonURL":null}})", std::nullopt},
        {"{" + base + R"("n","popup":"none"})", std::nullopt},  // a popup of another type
        {"[1]", std::nullopt},
        {"", std::nullopt},
        {"{" + base + "\"n\"", std::nullopt},
        {"{" + base + "\"\xff\"}", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const auto result = decodeRemoteControlManifest(c.json);
        const auto* decoded = std::get_if<RemoteControlManifest>(&result);
        EXPECT_EQ(decoded ? std::optional(*decoded) : std::nullopt, c.expected);
    }
}

TEST(RemoteControlEvaluator, VersionsCompareNumberByNumber) {
    const struct {
        const char* version;
        const char* other;
        bool older;
    } cases[] = {
        {"0.1.0", "0.2.0", true},
        {"0.2.0", "0.2.0", false},
        {"1.2", "1.2.0", false},  // missing numbers count as 0
        {"1.2.0.0", "1.2", false},
        {"1.2", "1.2.0.1", true},
        {"1.10", "1.9", false},
        {"1.9", "1.10", true},
        {"0.1.0", "", false},
        {"1.2.3-beta", "1.2.3", true},  // "3-beta" is dropped
        {"0.1.0", "v1.2", true},        // "v1" is dropped: just 2
        {"1..2", "1.2", false},         // empty pieces vanish
        {"1.-1", "1.0", true},
        {"1.+2", "1.2", false},
        {"+-1", "0.1", true},  // not a number: nothing against 0,1
        {"9223372036854775807", "9223372036854775806", false},
        {"0.9223372036854775808", "0.1", true},  // beyond 64 bits dropped, not clipped
        {"-9223372036854775808", "-9223372036854775808", false},
        {"", "", false},
        {"abc", "0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " < " + c.other);
        EXPECT_EQ(RemoteControlEvaluator::isVersion(c.version, c.other), c.older);
    }
}

TEST(RemoteControlEvaluator, RequiredBeatsOptionalBeatsNotice) {
    const RemotePopupNotice n7{"n7", "お知らせ", "本文", "開く", "https://n"},
        noId{"", "t", "m", "b", ""};
    const auto manifest = [](const char* latest, const char* min, const char* notes,
                             std::optional<RemotePopupNotice> popup) {
        return RemoteControlManifest{latest, min, "https://dl", notes, std::move(popup)};
    };
    using Required = Decision::ForceUpdateRequired;
    using Optional = Decision::OptionalUpdateAvailable;
    const struct {
        RemoteControlManifest manifest;
        const char* dismissed;
        Decision expected;
    } cases[] = {
        {manifest("0.3.0", "0.2.0", "", n7),
         "",
         {Required{
             "0.3.0",
             "重要なセキュリティおよび安定性のアップデートがあります。最新バージョンへの更新が必要"
             "です。",
             "https://dl"}}},
        // Required even when latest is older, and it carries latest.
        {manifest("0.0.9", "0.2.0", "必ず更新", n7),
         "",
         {Required{"0.0.9", "必ず更新", "https://dl"}}},
        {manifest("0.2.0", "0.1.0", "", n7),
         "",
         {Optional{"0.2.0", "新バージョン v0.2.0 が公開されました。", "https://dl"}}},
        {manifest("0.2.0", "0.1.0", "改善", n7), "n7", {Optional{"0.2.0", "改善", "https://dl"}}},
        {manifest("0.1.0", "", "", n7), "", {Decision::PopupBroadcast{n7}}},
        {manifest("0.1.0", "", "", n7), "N7", {Decision::PopupBroadcast{n7}}},
        {manifest("0.1.0", "", "", n7), "n7", {Decision::UpToDate{}}},
        {manifest("0.1.0", "", "", noId), "", {Decision::UpToDate{}}},
        {manifest("0.1.0", "", "", std::nullopt), "", {Decision::UpToDate{}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.manifest.latestVersion + " / " + c.manifest.minRequiredVersion);
        EXPECT_EQ(RemoteControlEvaluator::evaluate(c.manifest, "0.1.0", c.dismissed), c.expected);
    }
}

}  // namespace
}  // namespace vela
