#include "core/remote/RemoteControlEvaluator.h"

#include <gtest/gtest.h>

#include "core/remote/RemoteMessages.h"

namespace vela {

using Decision = RemoteControlDecision;

TEST(RemoteControlManifest, DecodingIsAllOrNothing) {
    const std::string base =
        R"({"latestVersion":"1","minRequiredVersion":"0","updateURL":"u","releaseNotes":)";
    const std::string popup = R"("popup":{"id":"a","title":"t","message":"m","buttonText":"b")";
    const RemoteControlManifest plain{"1", "0", "u", "n", std::nullopt};
    const std::pair<std::string, std::optional<RemoteControlManifest>> cases[] = {
        {base + R"("", "extra": [1], )" + popup + R"(,"buttonURL":"B"}})",
         RemoteControlManifest{"1", "0", "u", "", RemotePopupNotice{"a", "t", "m", "b", "B"}}},
        {base + "\"n\"}", plain},
        {base + R"("n","popup":null})", plain},
        {R"({"latestVersion":"1","minRequiredVersion":"0","updateURL":"u"})", std::nullopt},
        {R"({"latestVersion":1,"minRequiredVersion":"0","updateURL":"u","releaseNotes":""})", {}},
        {base + R"("n",)" + popup + "}}", std::nullopt},
        {base + R"("n",)" + popup + R"(,"buttonURL":null}})", std::nullopt},
        {base + R"("n","popup":"none"})", std::nullopt}};  // a popup of another type
    for (const auto& [json, expected] : cases) {
        const auto result = decodeRemoteControlManifest(json);
        const auto* decoded = std::get_if<RemoteControlManifest>(&result);
        EXPECT_EQ(decoded ? std::optional(*decoded) : std::nullopt, expected) << json;
    }
}

TEST(RemoteControlEvaluator, VersionsCompareNumberByNumber) {
    // "a < b": a is older than b, and b not older than a. Missing numbers count as 0; pieces
    // that are no whole 64-bit number are dropped.
    for (const std::string c :
         {"0.1.0 < 0.2.0", "0.2.0 = 0.2.0", "1.2 = 1.2.0", "1.2.0.0 = 1.2", "1.2 < 1.2.0.1",
          "1.9 < 1.10", "0.1.0 > ", " = ", "1.2.3-beta < 1.2.3", "0.1.0 < v1.2", "1..2 = 1.2",
          "1.-1 < 1.0", "1.+2 = 1.2", "+-1 < 0.1", "abc = 0", "0.9223372036854775808 < 0.1",
          "9223372036854775807 > 9223372036854775806",
          "-9223372036854775808 = -9223372036854775808"}) {
        const std::size_t op = c.find(' ') + 1;
        const std::string a = c.substr(0, op - 1), b = c.substr(op + 2);
        EXPECT_EQ(RemoteControlEvaluator::isVersion(a, b), c[op] == '<') << c;
        EXPECT_EQ(RemoteControlEvaluator::isVersion(b, a), c[op] == '>') << c;
    }
}

TEST(RemoteControlEvaluator, RequiredBeatsOptionalBeatsNotice) {
    const RemotePopupNotice n7{"n7", "お知らせ", "本文", "開く", "https://n"};
    const auto decide = [](const char* latest, const char* min, const char* notes,
                           const char* dismissed, std::optional<RemotePopupNotice> popup) {
        return RemoteControlEvaluator::evaluate({latest, min, "https://dl", notes, popup}, "0.1.0",
                                                dismissed);
    };
    const auto required = [](const char* latest, std::string_view notes) {
        return Decision{Decision::ForceUpdateRequired{latest, std::string(notes), "https://dl"}};
    };
    const auto optional = [](const char* latest, const char* notes) {
        return Decision{Decision::OptionalUpdateAvailable{latest, notes, "https://dl"}};
    };
    const Decision upToDate{Decision::UpToDate{}};
    EXPECT_EQ(decide("0.3.0", "0.2.0", "", "", n7),
              required("0.3.0", messages::requiredUpdateNotes));
    // Required even when latest is older, and it carries latest.
    EXPECT_EQ(decide("0.0.9", "0.2.0", "必ず", "", n7), required("0.0.9", "必ず"));
    EXPECT_EQ(decide("0.2.0", "0.1.0", "", "", n7),
              optional("0.2.0", "新バージョン v0.2.0 が公開されました。"));
    EXPECT_EQ(decide("0.2.0", "0.1.0", "改善", "n7", n7), optional("0.2.0", "改善"));
    EXPECT_EQ(decide("0.1.0", "", "", "N7", n7), (Decision{Decision::PopupBroadcast{n7}}));
    EXPECT_EQ(decide("0.1.0", "", "", "n7", n7), upToDate);
    EXPECT_EQ(decide("0.1.0", "", "", "", RemotePopupNotice{"", "t", "m", "b", ""}), upToDate);
    EXPECT_EQ(decide("0.1.0", "", "", "", std::nullopt), upToDate);
}

}  // namespace vela
