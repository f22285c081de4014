#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/translation/HTTPTranslationTransport.h"
#include "core/translation/TranslationCoordinator.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using test::CannedResponse;
using test::LoopbackHttpServer;
using test::RecordedRequest;
using Decision = RemoteControlDecision;

const std::string kRequired = R"({"latestVersion":"0.3.0","minRequiredVersion":"0.2.0",
    "updateURL":"https://example.invalid/download","releaseNotes":"すぐに更新してください"})";
const std::string kCurrent = R"({"latestVersion":"0.1.0","minRequiredVersion":"0.1.0",
    "updateURL":"https://example.invalid/other","releaseNotes":"",
    "popup":{"id":"n2","title":"t","message":"m","buttonText":"b","buttonURL":""}})";

// The settings file as it lies on disk: an atomic save always makes a new inode.
struct FileState {
    std::string bytes;
    ino_t inode = 0;
    bool operator==(const FileState&) const = default;
};
FileState stateOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return {test::readFile(path), info.st_ino};
}

// One "run" of the program: a store read from the file and a coordinator on it.
struct Program {
    ConfigStore store;
    TranslationCoordinator coordinator;
    explicit Program(const std::filesystem::path& file)
        : store(file),
          coordinator(store, std::make_unique<HTTPTranslationTransport>(
                                 "http://127.0.0.1:9", "http://127.0.0.1:9",
                                 HTTPTranslationTransport::Timeouts{
                                     .manifestIdle = std::chrono::milliseconds(300)})) {}
    void pointAt(const std::string& url) {
        store.update([&](VelaConfig& c) { c.remoteConfigURL = url; });
    }
};

std::string fileURL(const std::filesystem::path& path) {
    std::string url = "file://";
    for (char c : path.string()) {
        if (c == ' ') {
            url += "%20";
        } else {
            url += c;
        }
    }
    return url;
}

TEST(RemoteSync, RequiredUpdateBlocksAcrossRestartsUntilLifted) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    std::string answer = kRequired;
    LoopbackHttpServer server([&](const RecordedRequest&) { return CannedResponse{200, answer}; });
    {
        Program first(file);
        first.pointAt(server.baseURL() + "/vela-app/releases/main/remote-config-jp.json");
        EXPECT_EQ(first.coordinator.syncRemoteControl(),
                  (Decision{Decision::ForceUpdateRequired{"0.3.0", "すぐに更新してください",
                                                          "https://example.invalid/download"}}));
        const RecordedRequest r = server.requests().at(0);
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.path, "/vela-app/releases/main/remote-config-jp.json");
        EXPECT_FALSE(r.hasHeader("Cookie"));
    }
    const TranslationOutcome blocked{TranslationOutcome::ForceUpdateRequired{
        "すぐに更新してください", "https://example.invalid/download"}};
    {
        Program restarted(file);
        EXPECT_EQ(restarted.coordinator.translate("Hello", "auto", "ja", false), blocked);
        EXPECT_EQ(restarted.coordinator.translate("", std::nullopt, std::nullopt, false), blocked);
        // A failing sync (a body that is not a manifest) keeps the block.
        answer = "{}";
        EXPECT_EQ(restarted.coordinator.syncRemoteControl(), (Decision{Decision::UpToDate{}}));
        EXPECT_EQ(restarted.coordinator.translate("Hello", "auto", "ja", false), blocked);
    }
    {
        // A later manifest that no longer requires the update lifts the block;
        // the stored link and message stay as they were.
        answer = kCurrent;
        Program later(file);
        EXPECT_EQ(later.coordinator.syncRemoteControl(),
                  (Decision{Decision::PopupBroadcast{RemotePopupNotice{"n2", "t", "m", "b", ""}}}));
        const VelaConfig config = later.store.config();
        EXPECT_FALSE(config.forceUpdateBlocked);
        EXPECT_EQ(config.forceUpdateURL, "https://example.invalid/download");
        EXPECT_EQ(config.forceUpdateMessage, "すぐに更新してください");
        EXPECT_EQ(later.coordinator.translate(" ", "auto", "ja", false),
                  (TranslationOutcome{
                      TranslationOutcome::EmptyInput{"翻訳するテキストを入力してください"}}));
    }
    EXPECT_FALSE(Program(file).store.config().forceUpdateBlocked);
}

TEST(RemoteSync, FailuresNeverTouchTheSettingsFile) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    std::string closedBase;
    {
        LoopbackHttpServer gone([](const RecordedRequest&) { return CannedResponse{}; });
        closedBase = gone.baseURL();
    }
    LoopbackHttpServer server([&](const RecordedRequest& r) {
        if (r.path == "/404")
            return CannedResponse{404, kCurrent};
        if (r.path == "/500")
            return CannedResponse{500, kCurrent};
        if (r.path == "/204")
            return CannedResponse{204, ""};
        if (r.path == "/html")
            return CannedResponse{200, "<html></html>", "text/html"};
        if (r.path == "/partial")
            return CannedResponse{200, R"({"latestVersion":"9.9.9"})"};
        if (r.path == "/huge") {
            return CannedResponse{200, std::string(2 * 1024 * 1024, ' ') + kCurrent};
        }
        CannedResponse silent{200, kCurrent};
        silent.hold = true;  // past any idle limit
        return silent;
    });
    test::writeFile(dir / "not-a-manifest.json", R"(["latestVersion"])");
    test::writeFile(dir / "huge.json", std::string(2 * 1024 * 1024, ' ') + kCurrent);
    std::filesystem::create_directory(dir / "a folder");

    Program program(file);
    // Start from a blocked state so that a change in either direction would show.
    program.pointAt(server.baseURL() + "/ok");
    program.store.update([](VelaConfig& c) {
        c.forceUpdateBlocked = true;
        c.forceUpdateMessage = "blocked";
    });
    const VelaConfig configBefore = program.store.config();

    const std::vector<std::string> failing = {
        server.baseURL() + "/404",
        server.baseURL() + "/500",
        server.baseURL() + "/204",
        server.baseURL() + "/html",
        server.baseURL() + "/partial",
        server.baseURL() + "/huge",
        server.baseURL() + "/slow",
        closedBase + "/manifest.json",
        "not a url",
        "",
        fileURL(dir / "missing.json"),
        fileURL(dir / "a folder"),
        fileURL(dir / "not-a-manifest.json"),
        fileURL(dir / "huge.json"),
    };
    for (const std::string& url : failing) {
        SCOPED_TRACE(url);
        // Pointing the store elsewhere is itself a save; take the state after it.
        program.store.update([&](VelaConfig& c) { c.remoteConfigURL = url; });
        const FileState pointed = stateOf(file);
        EXPECT_EQ(program.coordinator.syncRemoteControl(), (Decision{Decision::UpToDate{}}));
        EXPECT_EQ(stateOf(file), pointed);
        VelaConfig expected = configBefore;
        expected.remoteConfigURL = url;
        EXPECT_EQ(program.store.config(), expected);
    }
}

TEST(RemoteSync, FetchErrorsAreTyped) {
    test::TempDir dir;
    LoopbackHttpServer server([](const RecordedRequest& r) {
        if (r.path == "/404")
            return CannedResponse{404, kCurrent};
        if (r.path == "/204")
            return CannedResponse{204, ""};
        return CannedResponse{200, kCurrent};
    });
    HTTPTranslationTransport transport;
    EXPECT_EQ(
        transport.fetchRemoteManifest(server.baseURL() + "/404", {}).error(),
        TransportError(TranslationTransportError::networkFailure("Remote config unreachable")));
    EXPECT_EQ(
        transport.fetchRemoteManifest("not a url", {}).error(),
        TransportError(TranslationTransportError::networkFailure("Invalid remote config URL")));
    EXPECT_TRUE(std::holds_alternative<DocumentDecodeError>(
        transport.fetchRemoteManifest(server.baseURL() + "/204", {}).error()));
    EXPECT_EQ(transport.fetchRemoteManifest(fileURL(dir / "missing.json"), {}).error(),
              TransportError(FileReadFailure{FileReadError::notFound}));
    EXPECT_TRUE(std::holds_alternative<HTTPClientError>(
        transport.fetchRemoteManifest("ftp://127.0.0.1:9/manifest.json", {}).error()));
    auto fetched = transport.fetchRemoteManifest(server.baseURL() + "/m.json", {});
    ASSERT_TRUE(fetched.ok());
    EXPECT_EQ(fetched.value().popup->id, "n2");
}

TEST(RemoteSync, FileAddressesAreReadFromDisk) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "my dir");
    const auto manifest = dir / "my dir" / "manifest 1.json";
    test::writeFile(manifest, kRequired);
    const auto file = dir / "config.json";
    {
        Program program(file);
        program.pointAt(fileURL(manifest));
        EXPECT_TRUE(std::holds_alternative<Decision::ForceUpdateRequired>(
            program.coordinator.syncRemoteControl().value));
    }
    Program restarted(file);
    EXPECT_TRUE(restarted.store.config().forceUpdateBlocked);
    EXPECT_EQ(restarted.store.config().forceUpdateURL, "https://example.invalid/download");
}

TEST(RemoteSync, DismissedNoticeStaysDismissedAcrossRestarts) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    const auto manifest = dir / "manifest.json";
    test::writeFile(manifest, kCurrent);
    {
        Program program(file);
        program.pointAt(fileURL(manifest));
        program.store.update([](VelaConfig& c) { c.dismissedPopupId = "n2"; });
        EXPECT_EQ(program.coordinator.syncRemoteControl(), (Decision{Decision::UpToDate{}}));
    }
    Program restarted(file);
    EXPECT_EQ(restarted.coordinator.syncRemoteControl(), (Decision{Decision::UpToDate{}}));
    std::string renamed = kCurrent;
    renamed.replace(renamed.find("\"n2\""), 4, "\"n3\"");
    test::writeFile(manifest, renamed);
    EXPECT_TRUE(std::holds_alternative<Decision::PopupBroadcast>(
        restarted.coordinator.syncRemoteControl().value));
}

}  // namespace
}  // namespace vela
