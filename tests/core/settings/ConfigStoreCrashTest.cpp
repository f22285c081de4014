// A process killed at any moment while saving must never leave a missing, empty
// or partial settings file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "core/settings/ConfigStore.h"
#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

TEST(ConfigStoreCrash, SigkillDuringSavesAlwaysLeavesAWholeFile) {
    test::TempDir dir;
    auto path = dir / "config.json";
    { ConfigStore seed(path); }
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delayUs(0, 15000);
    constexpr int kKills = 150;
    int sawProgress = 0;
    std::string previousId;
    for (int round = 0; round < kKills; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ConfigStore store(path);
            for (long i = 0;; ++i) {
                // Lengths vary so a partial write would show as a torn file.
                std::string n = std::to_string(i);
                store.update([&](VelaConfig& c) {
                    c.dismissedPopupId = n;
                    c.forceUpdateMessage = std::string(static_cast<std::size_t>(i % 4096), 'x');
                    c.customModel = "model-" + n;
                });
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        std::string bytes = test::readFile(path);
        ASSERT_FALSE(bytes.empty()) << "round " << round;
        auto decoded = decodeSettingsFile(bytes);
        ASSERT_TRUE(decoded) << "round " << round << ": torn file\n" << bytes.substr(0, 200);
        EXPECT_EQ(decoded->customModel,
                  decoded->dismissedPopupId.empty() ? "deepseek-chat" : "model-" + decoded->dismissedPopupId);
        if (decoded->dismissedPopupId != previousId) ++sawProgress;
        previousId = decoded->dismissedPopupId;
    }
    // The child must really have been saving between kills.
    EXPECT_GT(sawProgress, kKills / 2);
}

}  // namespace
}  // namespace vela
