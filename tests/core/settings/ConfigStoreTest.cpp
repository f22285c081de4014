#include "core/settings/ConfigStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"

namespace vela {
namespace {

using M = ShortcutModifier;
using E = ShortcutValidationError;

mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 0777;
}

std::set<std::string> namesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// The variables stay changed: nothing else in this program reads them.
TEST(ConfigStore, DefaultLocationFollowsXdgConfigHomeAndIsPrivate) {
    test::TempDir dir;
    ::setenv("HOME", dir.path().c_str(), 1);
    for (const char* xdg : {"", "relative/dir", static_cast<const char*>(nullptr)}) {
        xdg ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(ConfigStore::defaultFileURL(), dir / ".config/VelaJP/config.json")
            << (xdg ? xdg : "unset");
    }
    ::setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
    ConfigStore store;
    EXPECT_EQ(store.fileURL(), dir / "xdg/VelaJP/config.json");
    EXPECT_EQ(test::readFile(store.fileURL()), encodeSettingsFile(VelaConfig{}));
    EXPECT_EQ(modeOf(store.fileURL()), 0600u);
    EXPECT_EQ(modeOf(dir / "xdg/VelaJP"), 0700u);
}

TEST(ConfigStore, StartupKeepsAValidFileAndSetsADamagedOneAside) {
    test::TempDir dir;
    const auto path = dir / "nested/config.json", kept = dir / "nested/config.json.damaged";
    const std::string defaults = encodeSettingsFile(VelaConfig{});
    (void)ConfigStore(path);  // no folder yet: the first save creates it
    EXPECT_EQ(test::readFile(path), defaults);
    EXPECT_FALSE(std::filesystem::exists(kept));  // nothing was there to keep
    for (const std::string& damaged : {defaults.substr(0, defaults.size() / 2), std::string("{}"),
                                       std::string(""), std::string("\x89PNG\r\n")}) {
        SCOPED_TRACE(damaged);
        test::writeFile(path, damaged);
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(ConfigStore(path).config(), VelaConfig{});
        EXPECT_EQ(test::readFile(path), defaults);
        EXPECT_EQ(test::readFile(kept), damaged);  // replacing the one kept before
        EXPECT_EQ(modeOf(kept), 0600u);
    }
    VelaConfig custom;
    custom.customApiKey = "sk-12345";
    custom.captureShortcut = ShortcutConfig("S", 1, {M::control});
    std::string valid = encodeSettingsFile(custom);
    valid.insert(valid.size() - 2, ",\n  \"zExtra\" : 1");
    test::writeFile(path, valid);
    ConfigStore store(path);
    EXPECT_EQ(store.config(), custom);
    EXPECT_EQ(test::readFile(path), valid);
    store.save();  // the unknown member goes away with the next save
    EXPECT_EQ(test::readFile(path), encodeSettingsFile(custom));
}

TEST(ConfigStore, SavesGoThroughLinksAndRemoveOnlyOrphanedTemporaries) {
    test::TempDir dir;
    const auto target = dir / "dotfiles/vela.json", link = dir / "cfg/config.json";
    test::writeFile(target, encodeSettingsFile(VelaConfig{}));
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink("../dotfiles/vela.json", link);
    // Left by a killed save, being written by another process, and not a temporary at all.
    for (const char* name : {".vela.json.Ab12Cd", ".vela.json.Zz99Yy", ".vela.json.bak"})
        test::writeFile(dir / "dotfiles" / name, "sk-old");
    const int writing = ::open((dir / "dotfiles/.vela.json.Zz99Yy").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0);
    ConfigStore(link).update([](VelaConfig& c) { c.customApiKey = "sk-new"; });
    ::close(writing);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(decodeSettingsFile(test::readFile(target))->customApiKey, "sk-new");
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_EQ(namesIn(dir / "dotfiles"),
              (std::set<std::string>{"vela.json", ".vela.json.Zz99Yy", ".vela.json.bak"}));

    // A damaged linked file is kept beside the file itself; the link stays.
    test::writeFile(target, "{,}");
    ConfigStore store(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(dir / "dotfiles/vela.json.damaged"), "{,}");
    EXPECT_EQ(test::readFile(target), encodeSettingsFile(VelaConfig{}));
}

TEST(ConfigStore, EveryChangeIsSavedAndAFailedSaveIsRetriedByTheNext) {
    test::TempDir dir;
    test::writeFile(dir / "blocker", "a file where the folder should be");
    const auto path = dir / "blocker/config.json";
    ConfigStore store(path);
    const VelaConfig copy = store.config();
    store.update([](VelaConfig& c) { c.sourceLanguage = "ko"; });
    EXPECT_EQ(copy.sourceLanguage, "auto");  // a copy handed out earlier stays as it was
    EXPECT_EQ(store.config().sourceLanguage, "ko");
    std::filesystem::remove(dir / "blocker");
    store.update([](VelaConfig&) {});  // saved even when nothing changed
    EXPECT_EQ(decodeSettingsFile(test::readFile(path))->sourceLanguage, "ko");
    test::writeFile(path, "edited from outside");
    store.save();
    EXPECT_EQ(ConfigStore(path).config(), store.config());
}

TEST(ConfigStore, KeyHintAndChannelChoiceUseTheTrimmedKey) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    const auto custom = TranslationChannelMode::custom, builtin = TranslationChannelMode::builtin;
    const struct {
        const char* key;
        TranslationChannelMode mode;
        const char* hint;
        bool usesCustom;
    } cases[] = {
        {"", custom, "", false},
        {"  sk-abcdef1234 \n", builtin, "保存済みキー (••••1234)", false},
        {"  sk-abcdef1234 \n", custom, "保存済みキー (••••1234)", true},
        {" \t\n\u3000", custom, "", false},  // a blank key means the builtin channel
        {"ab", custom, "保存済みキー (••••ab)", true},
        {"キー🇯🇵e\u0301x", custom, "保存済みキー (••••ー🇯🇵e\u0301x)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        store.update([&](VelaConfig& v) {
            v.customApiKey = c.key;
            v.channelMode = c.mode;
        });
        EXPECT_EQ(store.maskedApiKeyHint(), c.hint);
        EXPECT_EQ(store.shouldUseCustomChannel(), c.usesCustom);
    }
}

TEST(ConfigStore, ShortcutPairsAreCheckedInOrderAndOnlyValidOnesStored) {
    test::TempDir dir;
    const auto path = dir / "config.json";
    ConfigStore store(path);
    const ShortcutConfig cmdQ("Q", 12, {M::command}), capture = ShortcutConfig::defaultCapture();
    const struct {
        ShortcutConfig capture, text;
        std::optional<E> expected;
    } cases[] = {
        {cmdQ, {"A", 0, {}}, E::emptyModifiers},  // each check before the reserved one
        {cmdQ, cmdQ, E::duplicateInternalShortcut},
        {{"V", 9, {M::command}}, ShortcutConfig::defaultText(), E::occupiedBySystem},
        {capture, cmdQ, E::occupiedBySystem},
        // Shift alone does not count on a key that types a character.
        {capture, {"A", 0, {M::shift}}, E::emptyModifiers},
        {capture, {"7", 26, {M::shift, M::shift}}, E::emptyModifiers},
        {capture, {"SPACE", 49, {M::shift}}, E::emptyModifiers},
        {capture, {"NUMPAD4", 0, {M::shift}}, E::emptyModifiers},
        // Super+Q/W/C/V/SPACE and their Linux forms with Ctrl are reserved.
        {capture, {"W", 13, {M::command}}, E::occupiedBySystem},
        {capture, {"SPACE", 49, {M::command}}, E::occupiedBySystem},
        {capture, {"C", 8, {M::control}}, E::occupiedBySystem},
        {capture, {"V", 9, {M::control}}, E::occupiedBySystem},
        {capture, {"Q", 12, {M::control}}, E::occupiedBySystem},
        {capture, {"W", 13, {M::control}}, E::occupiedBySystem},
        {capture, {"SPACE", 49, {M::control}}, E::occupiedBySystem},
        // Only exactly those are; the modifier order counts.
        {{"K", 40, {M::shift, M::command}}, {"K", 40, {M::command, M::shift}}, std::nullopt},
        {{"F5", 96, {M::shift}}, {"Q", 12, {M::command, M::shift}}, std::nullopt},
        {{"V", 9, {M::control, M::command}}, {"C", 8, {M::control, M::shift}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capture.compactDisplayText() + " / " + c.text.compactDisplayText());
        const VelaConfig before = store.config();
        EXPECT_EQ(store.updateShortcuts(c.capture, c.text), c.expected);
        const VelaConfig onDisk = decodeSettingsFile(test::readFile(path)).value();
        EXPECT_EQ(onDisk, store.config());
        EXPECT_EQ(onDisk.captureShortcut, c.expected ? before.captureShortcut : c.capture);
        EXPECT_EQ(onDisk.textShortcut, c.expected ? before.textShortcut : c.text);
    }
}

TEST(ConfigStore, RefusedPairIsRegisteredBackAndNotStored) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    const ShortcutConfig capture("X", 7, {M::control, M::shift}), text("T", 17, {M::option});
    bool refuse = true;
    std::vector<std::pair<ShortcutConfig, ShortcutConfig>> calls;
    const auto verifier = [&](const ShortcutConfig& c, const ShortcutConfig& t) {
        calls.emplace_back(c, t);
        (void)store.config();  // called outside the lock: reading the store is allowed
        return refuse && c == capture ? std::optional(E::keyNotOnKeyboard) : std::nullopt;
    };
    EXPECT_EQ(store.updateShortcuts(capture, text, verifier), E::keyNotOnKeyboard);
    EXPECT_EQ(calls, (std::vector<std::pair<ShortcutConfig, ShortcutConfig>>{
                         {capture, text},
                         {ShortcutConfig::defaultCapture(), ShortcutConfig::defaultText()}}));
    EXPECT_EQ(ConfigStore(dir / "config.json").config(), VelaConfig{});
    refuse = false;
    EXPECT_EQ(store.updateShortcuts(capture, text, verifier), std::nullopt);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(ConfigStore(dir / "config.json").config().captureShortcut, capture);
}

TEST(ConfigStore, ConcurrentReadersNeverSeeATornRecordAndTheFileEndsWithTheLast) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    // Every write sets two fields from one number; a reader must see them agree.
    const auto consistent = [](const VelaConfig& c) {
        return c.customModel == "m" + c.dismissedPopupId &&
               c.customApiKey == "k" + c.dismissedPopupId;
    };
    store.update([](VelaConfig& c) { c.customModel = "m", c.customApiKey = "k"; });
    std::atomic<bool> torn{false}, done{false};
    std::thread reader([&] {
        while (!done)
            torn = torn || !consistent(store.config());
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 50; ++i) {
                const std::string n = std::to_string(w * 1000 + i);
                store.update([&](VelaConfig& c) {
                    c.dismissedPopupId = n, c.customModel = "m" + n, c.customApiKey = "k" + n;
                });
            }
        });
    }
    for (auto& t : writers)
        t.join();
    done = true;
    reader.join();
    EXPECT_FALSE(torn);
    EXPECT_EQ(decodeSettingsFile(test::readFile(dir / "config.json")), store.config());
    EXPECT_EQ(namesIn(dir.path()).size(), 1u);
}

}  // namespace
}  // namespace vela
