#include "core/remote/RemoteControlEvaluator.h"

#include <gtest/gtest.h>

namespace vela {
namespace {

using RemoteControlEvaluator::evaluate;
using RemoteControlEvaluator::isVersion;
using Decision = RemoteControlDecision;

const std::string kRequiredDefault =
    "重要なセキュリティおよび安定性のアップデートがあります。最新バージョンへの更新が必要です。";

RemoteControlManifest decoded(const std::string& json) {
    auto result = decodeRemoteControlManifest(json);
    EXPECT_TRUE(std::holds_alternative<RemoteControlManifest>(result)) << json;
    return std::holds_alternative<RemoteControlManifest>(result)
               ? std::get<RemoteControlManifest>(result)
               : RemoteControlManifest{};
}

bool rejected(const std::string& json) {
    return std::holds_alternative<ManifestDecodeFailure>(decodeRemoteControlManifest(json));
}

TEST(RemoteControlManifest, StrictDecoding) {
    const RemoteControlManifest full = decoded(R"({
        "latestVersion": "0.2.0", "minRequiredVersion": "", "updateURL": "https://u",
        "releaseNotes": "", "extra": [1, 2],
        "popup": {"id": "n1", "title": "T", "message": "M", "buttonText": "B", "buttonURL": ""}})");
    EXPECT_EQ(full, (RemoteControlManifest{"0.2.0", "", "https://u", "",
                                           RemotePopupNotice{"n1", "T", "M", "B", ""}}));
    const std::string base =
        R"("latestVersion":"1","minRequiredVersion":"0","updateURL":"u","releaseNotes":"n")";
    EXPECT_FALSE(decoded("{" + base + "}").popup.has_value());
    EXPECT_FALSE(decoded("{" + base + R"(,"popup":null})").popup.has_value());

    EXPECT_TRUE(rejected(R"({"latestVersion":"1","minRequiredVersion":"0","updateURL":"u"})"));
    EXPECT_TRUE(rejected(
        R"({"latestVersion":"1","minRequiredVersion":null,"updateURL":"u","releaseNotes":""})"));
    EXPECT_TRUE(rejected(
        R"({"latestVersion":1,"minRequiredVersion":"0","updateURL":"u","releaseNotes":""})"));
    EXPECT_TRUE(rejected("{" + base +
                         R"(,"popup":{"id":"a","title":"t","message":"m","buttonText":"b"}})"));
    EXPECT_TRUE(rejected(
        "{" + base +
        R"(,"popup":{"id":"a","title":"t","message":"m","buttonText":"b","buttonURL":null}})"));
    EXPECT_TRUE(rejected("{" + base + R"(,"popup":"none"})"));
    EXPECT_TRUE(rejected("[" + std::string("1") + "]"));
    EXPECT_TRUE(rejected(""));
    EXPECT_TRUE(rejected("{" + base));
    EXPECT_TRUE(rejected("{\"latestVersion\":\"\xff\"}"));
}

TEST(RemoteControlEvaluator, VersionComparison) {
    EXPECT_TRUE(isVersion("0.1.0", "0.2.0"));
    EXPECT_FALSE(isVersion("0.2.0", "0.2.0"));
    EXPECT_FALSE(isVersion("1.2", "1.2.0"));
    EXPECT_FALSE(isVersion("1.10", "1.9"));
    EXPECT_TRUE(isVersion("1.9", "1.10"));
    EXPECT_FALSE(isVersion("0.1.0", ""));           // 0,1,0 against nothing (0,0,0)
    EXPECT_TRUE(isVersion("1.2.3-beta", "1.2.3"));  // "3-beta" is dropped
    EXPECT_TRUE(isVersion("0.1.0", "v1.2"));        // "v1" is dropped: just 2
    EXPECT_FALSE(isVersion("1..2", "1.2"));         // empty pieces vanish
    EXPECT_TRUE(isVersion("1.-1", "1.0"));
    EXPECT_FALSE(isVersion("1.+2", "1.2"));
    EXPECT_TRUE(isVersion("+-1", "0.1"));  // "+-1" is not a number: nothing against 0,1
    EXPECT_FALSE(isVersion("9223372036854775807", "9223372036854775806"));
    // Beyond 64 bits the piece is dropped, not clipped.
    EXPECT_TRUE(isVersion("0.9223372036854775808", "0.1"));
    EXPECT_FALSE(isVersion("-9223372036854775808", "-9223372036854775808"));
    EXPECT_FALSE(isVersion("", ""));
    EXPECT_FALSE(isVersion("abc", "0"));
}

TEST(RemoteControlEvaluator, DecisionPrecedence) {
    const RemotePopupNotice notice{"n7", "お知らせ", "本文", "開く", "https://n"};
    RemoteControlManifest m{"0.3.0", "0.2.0", "https://dl", "", notice};

    // Required wins, carrying the latest version, even when latest is older.
    EXPECT_EQ(evaluate(m, "0.1.0", ""),
              (Decision{Decision::ForceUpdateRequired{"0.3.0", kRequiredDefault, "https://dl"}}));
    m.latestVersion = "0.0.9";
    m.releaseNotes = "必ず更新してください";
    EXPECT_EQ(
        evaluate(m, "0.1.0", ""),
        (Decision{Decision::ForceUpdateRequired{"0.0.9", "必ず更新してください", "https://dl"}}));

    // Optional beats a notice.
    m = {"0.2.0", "0.1.0", "https://dl", "", notice};
    EXPECT_EQ(evaluate(m, "0.1.0", ""),
              (Decision{Decision::OptionalUpdateAvailable{
                  "0.2.0", "新バージョン v0.2.0 が公開されました。", "https://dl"}}));
    m.releaseNotes = "改善";
    EXPECT_EQ(evaluate(m, "0.1.0", "n7"),
              (Decision{Decision::OptionalUpdateAvailable{"0.2.0", "改善", "https://dl"}}));

    // Current copy: the notice shows unless dismissed or without id.
    m = {"0.1.0", "", "https://dl", "", notice};
    EXPECT_EQ(evaluate(m, "0.1.0", ""), (Decision{Decision::PopupBroadcast{notice}}));
    EXPECT_EQ(evaluate(m, "0.1.0", "n6"), (Decision{Decision::PopupBroadcast{notice}}));
    EXPECT_EQ(evaluate(m, "0.1.0", "n7"), (Decision{Decision::UpToDate{}}));
    EXPECT_EQ(evaluate(m, "0.1.0", "N7"), (Decision{Decision::PopupBroadcast{notice}}));
    m.popup->id = "";
    EXPECT_EQ(evaluate(m, "0.1.0", ""), (Decision{Decision::UpToDate{}}));
    m.popup.reset();
    EXPECT_EQ(evaluate(m, "0.1.0", ""), (Decision{Decision::UpToDate{}}));
}

}  // namespace
}  // namespace vela
