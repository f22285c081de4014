// A process killed at any moment while saving must never leave a missing, empty
// or partial settings file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
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
    std::uniform_int_distribution<int> delayUs(0, 10000);
    constexpr int kKills = 150;
    const auto check = [&](int round) -> std::optional<VelaConfig> {
        std::string bytes = test::readFile(path);
        EXPECT_FALSE(bytes.empty()) << "round " << round;
        auto decoded = decodeSettingsFile(bytes);
        EXPECT_TRUE(decoded) << "round " << round << ": torn file\n" << bytes.substr(0, 200);
        if (decoded && !decoded->dismissedPopupId.empty()) {
            EXPECT_EQ(decoded->customModel, "model-" + decoded->dismissedPopupId);
        }
        return decoded;
    };
    for (int round = 0; round < kKills; ++round) {
        const std::string prefix = std::to_string(round) + "-";
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ConfigStore store(path);
            for (long i = 0;; ++i) {
                // Lengths vary so a partial write would show as a torn file.
                std::string n = prefix + std::to_string(i);
                store.update([&](VelaConfig& c) {
                    c.dismissedPopupId = n;
                    c.forceUpdateMessage = std::string(static_cast<std::size_t>(i % 4096), 'x');
                    c.customModel = "model-" + n;
                });
            }
        }
        // Kill only once this child is really saving; reading meanwhile also checks
        // that a concurrent reader never sees a partial file.
        bool saving = false;
        for (int wait = 0; wait < 5000 && !saving; ++wait) {
            auto seen = check(round);
            ASSERT_TRUE(seen);
            saving = seen->dismissedPopupId.starts_with(prefix);
            if (!saving)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(saving) << "round " << round << ": the child never saved";
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_TRUE(check(round));
    }
}

}  // namespace
}  // namespace vela
