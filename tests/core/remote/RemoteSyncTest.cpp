#include <gtest/gtest.h>

#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationCoordinator.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace vela {

using Decision = RemoteControlDecision;

const std::string kDownload = "https://example.invalid/download";
std::string manifest(const std::string& latest, const std::string& min, const std::string& id) {
    return R"({"latestVersion":")" + latest + R"(","minRequiredVersion":")" + min +
           R"(","updateURL":")" + kDownload + R"(","releaseNotes":"すぐに更新してください",
           "popup":{"id":")" +
           id + R"(","title":"t","message":"m","buttonText":"b","buttonURL":""}})";
}

// One run of the program: a store read from the file and a coordinator on it.
struct Program {
    ConfigStore store;
    TranslationCoordinator coordinator{
        store, std::make_unique<HTTPTranslationTransport>(
                   "http://127.0.0.1:9", "http://127.0.0.1:9",
                   HTTPTransportTimeouts{.manifestIdle = std::chrono::milliseconds(300)})};
    explicit Program(const std::filesystem::path& file) : store(file) {}
};

TEST(RemoteSync, TheBlockOutlivesRestartsAndFailedSyncsUntilAManifestLiftsIt) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    const std::string path = "/vela-app/releases/main/remote-config-jp.json";
    const std::string big(HTTPTranslationTransport::maxManifestBytes, ' ');
    test::LoopbackHttpServer server([&](const test::RecordedRequest& r) {
        const int status = std::atoi(r.path.c_str() + 1);  // "/404" answers 404
        const std::string body = r.path == "/broken" ? "{}" : manifest("0.3.0", "0.2.0", "n");
        test::CannedResponse answer{status ? status : 200, r.path == "/huge" ? big + body : body};
        answer.hold = r.path == "/silent";
        return answer;
    });
    ConfigStore(file).update([&](VelaConfig& c) { c.remoteConfigURL = server.baseURL() + path; });
    EXPECT_EQ(
        Program{file}.coordinator.syncRemoteControl(),
        (Decision{Decision::ForceUpdateRequired{"0.3.0", "すぐに更新してください", kDownload}}));

    Program restarted{file};
    const TranslationOutcome blocked{
        TranslationOutcome::ForceUpdateRequired{"すぐに更新してください", kDownload}};
    EXPECT_EQ(restarted.coordinator.translate("Hello", "auto", "ja", false), blocked);
    // A failed sync keeps the block.
    test::writeFile(dir / "not-a-manifest.json", R"(["latestVersion"])");
    test::writeFile(dir / "huge.json", big + manifest("0.1.0", "0.1.0", "n"));
    const std::string base = server.baseURL(), local = "file://" + dir.path().string();
    for (const std::string& url :
         {base + "/404", base + "/broken", base + "/huge", base + "/silent",
          std::string("http://127.0.0.1:9/manifest.json"), std::string("not a url"),
          std::string(""), local + "/missing.json", local + "/not-a-manifest.json",
          local + "/huge.json"}) {
        SCOPED_TRACE(url);
        restarted.store.update([&](VelaConfig& c) { c.remoteConfigURL = url; });
        const VelaConfig before = restarted.store.config();
        EXPECT_EQ(restarted.coordinator.syncRemoteControl(), (Decision{Decision::UpToDate{}}));
        EXPECT_EQ(restarted.store.config(), before);
    }

    // A manifest, here a local file, that no longer requires the update lifts the block;
    // the stored link and message and everything else stay.
    test::writeFile(dir / "my dir/m.json", manifest("0.1.0", "0.1.0", "n2"));
    VelaConfig lifted = restarted.store.config();
    lifted.forceUpdateBlocked = false;
    lifted.remoteConfigURL = "file://" + (dir / "my%20dir/m.json").string();
    restarted.store.update([&](VelaConfig& c) { c.remoteConfigURL = lifted.remoteConfigURL; });
    EXPECT_EQ(restarted.coordinator.syncRemoteControl(),
              (Decision{Decision::PopupBroadcast{RemotePopupNotice{"n2", "t", "m", "b", ""}}}));
    EXPECT_NE(restarted.coordinator.translate("Hello", "auto", "ja", false), blocked);
    EXPECT_EQ(Program{file}.store.config(), lifted);
}

}  // namespace vela
