#include "core/settings/ConfigStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using M = ShortcutModifier;

mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 0777;
}

TEST(ConfigStore, DefaultLocationFollowsXdgConfigHomeAndCreatesPrivateFiles) {
    test::TempDir dir;
    std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
    EXPECT_EQ(ConfigStore::defaultFileURL(), dir / "xdg" / "VelaJP" / "config.json");
    {
        ConfigStore store;
        EXPECT_EQ(store.fileURL(), dir / "xdg" / "VelaJP" / "config.json");
        EXPECT_EQ(test::readFile(store.fileURL()), encodeSettingsFile(VelaConfig{}));
        EXPECT_EQ(modeOf(store.fileURL()), 0600u);
        EXPECT_EQ(modeOf(dir / "xdg" / "VelaJP"), 0700u);
    }
    // Unset, empty or relative values fall back to ~/.config.
    ::setenv("HOME", dir.path().c_str(), 1);
    for (const char* value : {"", "relative/dir"}) {
        ::setenv("XDG_CONFIG_HOME", value, 1);
        EXPECT_EQ(ConfigStore::defaultFileURL(), dir / ".config" / "VelaJP" / "config.json");
    }
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ConfigStore::defaultFileURL(), dir / ".config" / "VelaJP" / "config.json");
    oldXdg.empty() ? ::unsetenv("XDG_CONFIG_HOME") : ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
    ::setenv("HOME", oldHome.c_str(), 1);
}

TEST(ConfigStore, StartupWritesDefaultsOnlyWhenTheFileIsMissingOrDamaged) {
    test::TempDir dir;
    auto path = dir / "nested" / "folder" / "config.json";
    auto kept = dir / "nested" / "folder" / "config.json.damaged";
    {
        ConfigStore store(path);  // no folder yet: the first save creates it
        EXPECT_EQ(store.config(), VelaConfig{});
        EXPECT_EQ(test::readFile(path), encodeSettingsFile(VelaConfig{}));
        EXPECT_FALSE(std::filesystem::exists(kept));  // nothing was there to keep
    }
    std::string defaults = encodeSettingsFile(VelaConfig{});
    for (std::string damaged : {defaults.substr(0, defaults.size() / 2), std::string("{}"),
                                std::string(""), std::string("\x89PNG\r\n")}) {
        test::writeFile(path, damaged);
        ::chmod(path.c_str(), 0644);
        ConfigStore store(path);
        EXPECT_EQ(store.config(), VelaConfig{});
        EXPECT_EQ(test::readFile(path), defaults);
        // The damaged file is kept, private, and replaces the one kept before.
        EXPECT_EQ(store.damagedFileURL(), kept);
        EXPECT_EQ(test::readFile(kept), damaged);
        EXPECT_EQ(modeOf(kept), 0600u);
    }
    // A valid file with an unknown member and custom values is read and left byte for byte,
    // the macOS-era shortcut pair Ctrl+S / Alt+G included.
    VelaConfig custom;
    custom.targetLanguage = "en";
    custom.customApiKey = "sk-12345";
    custom.captureShortcut = ShortcutConfig("S", 1, {M::control});
    custom.textShortcut = ShortcutConfig("G", 5, {M::option});
    std::string valid = encodeSettingsFile(custom);
    valid.insert(valid.size() - 2, ",\n  \"zExtra\" : 1");
    test::writeFile(path, valid);
    {
        ConfigStore store(path);
        EXPECT_EQ(store.config(), custom);
        EXPECT_EQ(test::readFile(path), valid);
        store.save();  // the unknown member goes away on the next save
        EXPECT_EQ(test::readFile(path), encodeSettingsFile(custom));
    }
}

TEST(ConfigStore, SavesGoThroughLinksAndLeaveNoTemporariesBehind) {
    test::TempDir dir;
    auto target = dir / "dotfiles" / "vela.json";
    auto link = dir / "cfg" / "config.json";
    VelaConfig custom;
    custom.customApiKey = "sk-old";
    test::writeFile(target, encodeSettingsFile(custom));
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink("../dotfiles/vela.json", link);
    // Left by a killed save, being written by another process, and not a temporary.
    test::writeFile(dir / "dotfiles" / ".vela.json.Ab12Cd", "sk-old");
    test::writeFile(dir / "dotfiles" / ".vela.json.Zz99Yy", "sk-writing");
    test::writeFile(dir / "dotfiles" / ".vela.json.bak", "mine");
    int writing = ::open((dir / "dotfiles" / ".vela.json.Zz99Yy").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0);
    {
        ConfigStore store(link);
        ::close(writing);
        EXPECT_EQ(store.config(), custom);
        store.update([](VelaConfig& c) { c.customApiKey = "sk-new"; });
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(decodeSettingsFile(test::readFile(target))->customApiKey, "sk-new");
    EXPECT_EQ(modeOf(target), 0600u);
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir / "dotfiles"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"vela.json", ".vela.json.Zz99Yy", ".vela.json.bak"}));

    // A damaged linked file is kept beside the file itself; the link stays.
    test::writeFile(target, "{\"customApiKey\" : \"sk-new\",,}");
    ConfigStore store(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(dir / "dotfiles" / "vela.json.damaged"),
              "{\"customApiKey\" : \"sk-new\",,}");
    EXPECT_EQ(test::readFile(target), encodeSettingsFile(VelaConfig{}));
}

TEST(ConfigStore, UpdateSavesEveryTimeAndCopiesAreIndependent) {
    test::TempDir dir;
    auto path = dir / "config.json";
    ConfigStore store(path);
    VelaConfig before = store.config();
    store.update([](VelaConfig& c) { c.sourceLanguage = "ko"; });
    EXPECT_EQ(before.sourceLanguage, "auto");
    EXPECT_EQ(store.config().sourceLanguage, "ko");
    EXPECT_EQ(decodeSettingsFile(test::readFile(path))->sourceLanguage, "ko");

    test::writeFile(path, "edited from outside");
    store.update([](VelaConfig&) {});  // written even when nothing changed
    EXPECT_EQ(test::readFile(path), encodeSettingsFile(store.config()));
    EXPECT_EQ(ConfigStore(path).config().sourceLanguage, "ko");
}

TEST(ConfigStore, WriteFailuresAreSilentAndTheNextSaveRetries) {
    test::TempDir dir;
    test::writeFile(dir / "blocker", "a file where the folder should be");
    auto path = dir / "blocker" / "config.json";
    ConfigStore store(path);
    store.update([](VelaConfig& c) { c.targetLanguage = "ko"; });
    EXPECT_EQ(store.config().targetLanguage, "ko");
    EXPECT_FALSE(std::filesystem::exists(path));
    std::filesystem::remove(dir / "blocker");
    store.save();
    EXPECT_EQ(decodeSettingsFile(test::readFile(path))->targetLanguage, "ko");
}

TEST(ConfigStore, ApiKeyHintAndChannelChoiceUseTheTrimmedKey) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    EXPECT_EQ(store.maskedApiKeyHint(), "");
    EXPECT_FALSE(store.shouldUseCustomChannel());

    store.update([](VelaConfig& c) { c.customApiKey = "  sk-abcdef1234 \n"; });
    EXPECT_EQ(store.maskedApiKeyHint(), "保存済みキー (••••1234)");
    EXPECT_FALSE(store.shouldUseCustomChannel());  // channel is still builtin

    store.update([](VelaConfig& c) { c.channelMode = TranslationChannelMode::custom; });
    EXPECT_TRUE(store.shouldUseCustomChannel());

    store.update([](VelaConfig& c) { c.customApiKey = " \t\n\u3000"; });
    EXPECT_EQ(store.maskedApiKeyHint(), "");
    EXPECT_FALSE(store.shouldUseCustomChannel());

    store.update([](VelaConfig& c) { c.customApiKey = "ab"; });
    EXPECT_EQ(store.maskedApiKeyHint(), "保存済みキー (••••ab)");
    store.update([](VelaConfig& c) { c.customApiKey = "キー🇯🇵e\u0301x"; });
    EXPECT_EQ(store.maskedApiKeyHint(), "保存済みキー (••••ー🇯🇵e\u0301x)");
}

TEST(ConfigStore, ReservedShortcutsAreSuperAndCtrlWithFiveKeys) {
    const auto& reserved = ConfigStore::reservedSystemShortcuts();
    EXPECT_EQ(reserved.size(), 10u);
    EXPECT_TRUE(reserved.contains(ShortcutConfig("SPACE", 49, {M::command})));
    EXPECT_TRUE(reserved.contains(ShortcutConfig("C", 8, {M::command})));
    EXPECT_FALSE(reserved.contains(ShortcutConfig("Q", 12, {M::command, M::shift})));
    EXPECT_FALSE(reserved.contains(ShortcutConfig("V", 9, {M::control, M::command})));
    EXPECT_FALSE(reserved.contains(ShortcutConfig("C", 8, {M::control, M::shift})));
}

TEST(ConfigStore, UpdateShortcutsChecksInOrderAndStoresNothingOnFailure) {
    test::TempDir dir;
    auto path = dir / "config.json";
    ConfigStore store(path);
    std::string fileBefore = test::readFile(path);
    ShortcutConfig cmdQ("Q", 12, {M::command});
    ShortcutConfig bare("A", 0, {});
    ShortcutConfig cmdV("V", 9, {M::command});
    ShortcutConfig cmdShiftV("V", 9, {M::command, M::shift});

    EXPECT_EQ(store.updateShortcuts(cmdQ, bare), ShortcutValidationError::emptyModifiers);
    EXPECT_EQ(store.updateShortcuts(cmdQ, cmdQ),
              ShortcutValidationError::duplicateInternalShortcut);
    EXPECT_EQ(store.updateShortcuts(cmdV, ShortcutConfig::defaultText()),
              ShortcutValidationError::occupiedBySystem);
    EXPECT_EQ(store.updateShortcuts(ShortcutConfig::defaultCapture(), cmdQ),
              ShortcutValidationError::occupiedBySystem);
    // Shift alone does not count on a key that types a character; the Linux forms of the
    // reserved meanings are refused like their Super forms.
    const struct {
        ShortcutConfig shortcut;
        std::optional<ShortcutValidationError> expected;
    } linuxCases[] = {
        {{"A", 0, {M::shift}}, ShortcutValidationError::emptyModifiers},
        {{"7", 26, {M::shift, M::shift}}, ShortcutValidationError::emptyModifiers},
        {{"SPACE", 49, {M::shift}}, ShortcutValidationError::emptyModifiers},
        {{"MINUS", 0, {M::shift}}, ShortcutValidationError::emptyModifiers},
        {{"NUMPAD4", 0, {M::shift}}, ShortcutValidationError::emptyModifiers},
        {{"C", 8, {M::control}}, ShortcutValidationError::occupiedBySystem},
        {{"V", 9, {M::control}}, ShortcutValidationError::occupiedBySystem},
        {{"Q", 12, {M::control}}, ShortcutValidationError::occupiedBySystem},
        {{"W", 13, {M::control}}, ShortcutValidationError::occupiedBySystem},
        {{"SPACE", 49, {M::control}}, ShortcutValidationError::occupiedBySystem},
        {{"SPACE", 49, {M::command}}, ShortcutValidationError::occupiedBySystem},
    };
    for (const auto& c : linuxCases) {
        SCOPED_TRACE(c.shortcut.compactDisplayText());
        EXPECT_EQ(store.updateShortcuts(ShortcutConfig::defaultCapture(), c.shortcut), c.expected);
    }
    EXPECT_EQ(store.config(), VelaConfig{});
    EXPECT_EQ(test::readFile(path), fileBefore);

    // Same key and code with modifiers in another order: not a duplicate.
    ShortcutConfig a("K", 40, {M::shift, M::command});
    ShortcutConfig b("K", 40, {M::command, M::shift});
    EXPECT_EQ(store.updateShortcuts(a, b), std::nullopt);
    EXPECT_EQ(store.config().captureShortcut, a);
    EXPECT_EQ(store.config().textShortcut, b);

    EXPECT_EQ(store.updateShortcuts(ShortcutConfig("F5", 96, {M::shift}), b), std::nullopt);
    EXPECT_EQ(store.updateShortcuts(cmdShiftV, ShortcutConfig::defaultText()), std::nullopt);
    VelaConfig onDisk = *decodeSettingsFile(test::readFile(path));
    EXPECT_EQ(onDisk.captureShortcut, cmdShiftV);
    EXPECT_EQ(onDisk.textShortcut, ShortcutConfig::defaultText());
}

TEST(ConfigStore, RefusingVerifierIsAskedAgainWithTheStoredPair) {
    test::TempDir dir;
    auto path = dir / "config.json";
    ConfigStore store(path);
    std::string fileBefore = test::readFile(path);
    std::vector<std::pair<ShortcutConfig, ShortcutConfig>> calls;
    ShortcutConfig newCapture("X", 7, {M::control, M::shift});
    ShortcutConfig newText("T", 17, {M::option});
    auto refuse = [&](const ShortcutConfig& c, const ShortcutConfig& t) {
        calls.emplace_back(c, t);
        // The verifier may read the store (it runs outside the lock).
        EXPECT_EQ(store.config().captureShortcut, ShortcutConfig::defaultCapture());
        return std::optional(ShortcutValidationError::keyNotOnKeyboard);
    };
    // The verifier's reason is the answer.
    EXPECT_EQ(store.updateShortcuts(newCapture, newText, refuse),
              ShortcutValidationError::keyNotOnKeyboard);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::make_pair(newCapture, newText));
    EXPECT_EQ(calls[1],
              std::make_pair(ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()));
    EXPECT_EQ(store.config(), VelaConfig{});
    EXPECT_EQ(test::readFile(path), fileBefore);

    calls.clear();
    auto accept = [&](const ShortcutConfig& c, const ShortcutConfig& t) {
        calls.emplace_back(c, t);
        return std::optional<ShortcutValidationError>();
    };
    EXPECT_EQ(store.updateShortcuts(newCapture, newText, accept), std::nullopt);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(decodeSettingsFile(test::readFile(path))->captureShortcut, newCapture);
}

TEST(ConfigStore, ConcurrentReadersNeverSeeATornRecordAndTheFileEndsWithTheLast) {
    test::TempDir dir;
    auto path = dir / "config.json";
    ConfigStore store(path);
    constexpr int kWriters = 4, kWrites = 150;
    std::atomic<bool> torn{false};
    std::atomic<bool> done{false};
    // Every write sets three fields from one number; a reader must see them agree.
    auto consistent = [](const VelaConfig& c) {
        return c.customModel == "m" + c.dismissedPopupId &&
               c.customApiKey == "k" + c.dismissedPopupId;
    };
    store.update([](VelaConfig& c) {
        c.customModel = "m";
        c.customApiKey = "k";
    });
    std::vector<std::thread> threads;
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!done) {
                if (!consistent(store.config()))
                    torn = true;
                (void)store.maskedApiKeyHint();
                (void)store.shouldUseCustomChannel();
            }
        });
    }
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kWrites; ++i) {
                std::string n = std::to_string(w * 1000 + i);
                store.update([&](VelaConfig& c) {
                    c.dismissedPopupId = n;
                    c.customModel = "m" + n;
                    c.customApiKey = "k" + n;
                });
            }
        });
    }
    for (auto& t : writers)
        t.join();
    done = true;
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(torn);
    auto onDisk = decodeSettingsFile(test::readFile(path));
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(*onDisk, store.config());
    EXPECT_TRUE(consistent(*onDisk));
    std::size_t files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace vela
