// A process killed at any moment while saving must never leave a missing, empty or partial
// settings file, and a reader meanwhile must never see one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/settings/ConfigStore.h"
#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"
#include "tests/support/Wait.h"

namespace vela {

// A forked child that saves without end. It is killed and reaped on every way out of the
// test: left running, it would keep ctest's output pipe open and hang the suite.
struct SavingChild {
    pid_t pid = ::fork();
    // Never returns in the child: an exception there ends it, instead of running the test on.
    SavingChild(const std::filesystem::path& path, const std::string& prefix) noexcept {
        if (pid != 0)
            return;
        ConfigStore store(path);
        for (long i = 0;; ++i) {  // only a kill ends it
            // Lengths vary so that a partial write shows as a torn file.
            store.update([n = prefix + std::to_string(i), i](VelaConfig& c) {
                c.forceUpdateMessage.assign(static_cast<std::size_t>(i % 4096), 'x');
                c.dismissedPopupId = n, c.customModel = "model-" + n;
            });
        }
    }
    SavingChild(const SavingChild&) = delete;
    // True when the child was still running and died of the kill.
    bool kill() {
        int status = 0;
        return pid > 0 && ::kill(pid, SIGKILL) == 0 &&
               ::waitpid(std::exchange(pid, -1), &status, 0) > 0 && WIFSIGNALED(status);
    }
    ~SavingChild() { (void)kill(); }
};

TEST(ConfigStoreCrash, SigkillDuringSavesAlwaysLeavesAWholeFile) {
    test::TempDir dir;
    const auto path = dir / "config.json";
    ConfigStore(path).update([](VelaConfig& c) { c.customModel = "model-"; });
    // Whole and written by one save, or no settings at all; read as any reader would.
    const auto savedBy = [&](const std::string& prefix, long saves) {
        const auto c = decodeSettingsFile(test::readFile(path));
        EXPECT_TRUE(c && c->customModel == "model-" + c->dismissedPopupId) << "torn file";
        return !c || (c->dismissedPopupId.starts_with(prefix) &&
                      std::stol(c->dismissedPopupId.substr(prefix.size())) >= saves);
    };
    for (int round = 0; round < 100; ++round) {
        SCOPED_TRACE(round);
        const std::string prefix = std::to_string(round) + "-";
        SavingChild child(path, prefix);
        // Killed once it has saved a chosen number of times, so the kill lands mid-save.
        ASSERT_TRUE(test::waitUntil([&] { return savedBy(prefix, round % 4); }));
        ASSERT_FALSE(HasFailure());
        ASSERT_TRUE(child.kill());
        (void)savedBy(prefix, 0);
    }
}

}  // namespace vela
