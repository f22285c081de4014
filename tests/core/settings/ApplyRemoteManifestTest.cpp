#include <gtest/gtest.h>

#include <thread>

#include "core/settings/ConfigStore.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using Decision = RemoteControlDecision;

RemoteControlManifest manifest(std::string minRequired, std::string latest,
                               std::string notes = "") {
    return {std::move(latest), std::move(minRequired), "https://example.invalid/dl",
            std::move(notes), std::nullopt};
}

TEST(ApplyRemoteManifest, RequiredUpdateSetsAndSavesTheBlock) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    {
        ConfigStore store(file);
        const Decision decision = store.applyRemoteManifest(manifest("0.2.0", "0.2.0"));
        const std::string notes =
            "重要なセキュリティおよび安定性のアップデートがあります。最新バージョンへの更新が必要で"
            "す。";
        EXPECT_EQ(decision, (Decision{Decision::ForceUpdateRequired{
                                "0.2.0", notes, "https://example.invalid/dl"}}));
        const VelaConfig c = store.config();
        EXPECT_TRUE(c.forceUpdateBlocked);
        EXPECT_EQ(c.forceUpdateURL, "https://example.invalid/dl");
        EXPECT_EQ(c.forceUpdateMessage, notes);
    }
    // The file carries the block: a new store reads it back.
    ConfigStore restarted(file);
    EXPECT_TRUE(restarted.config().forceUpdateBlocked);
    EXPECT_NE(test::readFile(file).find("\"forceUpdateBlocked\" : true"), std::string::npos);

    // Any other decision lifts the block and keeps link and message.
    const VelaConfig blocked = restarted.config();
    EXPECT_EQ(restarted.applyRemoteManifest(manifest("0.1.0", "0.3.0", "notes")),
              (Decision{Decision::OptionalUpdateAvailable{"0.3.0", "notes",
                                                          "https://example.invalid/dl"}}));
    VelaConfig expected = blocked;
    expected.forceUpdateBlocked = false;
    EXPECT_EQ(restarted.config(), expected);
    EXPECT_EQ(ConfigStore(file).config(), expected);
}

TEST(ApplyRemoteManifest, UsesTheStoredDismissedNotice) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    RemoteControlManifest m = manifest("", "0.1.0");
    m.popup = RemotePopupNotice{"n1", "t", "m", "b", ""};
    EXPECT_EQ(store.applyRemoteManifest(m), (Decision{Decision::PopupBroadcast{*m.popup}}));
    store.update([](VelaConfig& c) { c.dismissedPopupId = "n1"; });
    EXPECT_EQ(store.applyRemoteManifest(m), (Decision{Decision::UpToDate{}}));
    // Other settings are left alone.
    VelaConfig expected;
    expected.dismissedPopupId = "n1";
    EXPECT_EQ(store.config(), expected);
}

TEST(ApplyRemoteManifest, ConcurrentAppliesAndReadsStayConsistent) {
    test::TempDir dir;
    const auto file = dir / "config.json";
    ConfigStore store(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                (void)store.applyRemoteManifest(t % 2 ? manifest("0.2.0", "0.2.0", "block")
                                                      : manifest("0.1.0", "0.1.0"));
                const VelaConfig c = store.config();
                // Whatever the order, a blocked record always carries the notes.
                if (c.forceUpdateBlocked) {
                    EXPECT_EQ(c.forceUpdateMessage, "block");
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    // The last save holds the last record.
    EXPECT_EQ(ConfigStore(file).config(), store.config());
}

}  // namespace
}  // namespace vela
