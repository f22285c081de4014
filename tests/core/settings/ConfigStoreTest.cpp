#include "core/settings/ConfigStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "core/settings/SettingsFileCodec.h"
#include "tests/support/TempDir.h"

namespace vela {

using M = ShortcutModifier;
using E = ShortcutValidationError;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(ConfigStore, TheFileIsPrivateKeptAsFoundOrSetAsideWhenDamagedAndSavedThroughLinks) {
    test::TempDir dir;
    ::setenv("HOME", dir.path().c_str(), 1);  // stays changed: nothing else here reads it
    for (const char* xdg : {"", "relative/dir", static_cast<const char*>(nullptr)}) {
        xdg ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(ConfigStore::defaultFileURL(), dir / ".config/VelaJP/config.json") << !xdg;
    }
    ::setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
    const auto path = dir / "xdg/VelaJP/config.json", kept = dir / "xdg/VelaJP/config.json.damaged";
    const std::string defaults = encodeSettingsFile(VelaConfig{});
    EXPECT_EQ(ConfigStore().fileURL(), path);
    for (const std::string& damaged : {defaults.substr(0, 99), std::string("{}"), std::string()}) {
        EXPECT_EQ(test::readFile(path), defaults);
        EXPECT_EQ(modeOf(path), 0600u);
        EXPECT_EQ(modeOf(path.parent_path()), 0700u);
        test::writeFile(path, damaged);
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(ConfigStore(path).config(), VelaConfig{}) << damaged;
        EXPECT_EQ(test::readFile(kept), damaged);  // replacing the one kept before
        EXPECT_EQ(modeOf(kept), 0600u);
    }
    // A valid file stays as found, members unknown here included, until the first save.
    const std::string valid = defaults.substr(0, defaults.size() - 2) + ",\n  \"zExtra\" : 1\n}";
    test::writeFile(path, valid);
    ConfigStore store(path);
    EXPECT_EQ(test::readFile(path), valid);
    store.update([](VelaConfig&) {});  // saved even when nothing changed
    EXPECT_EQ(test::readFile(path), defaults);
    // A save that fails at the last step (a folder in the file's place) leaves no temporary
    // behind, and the next one does it again.
    fs::remove(path);
    fs::create_directories(path / "occupied");
    store.update([](VelaConfig& c) { c.sourceLanguage = "ko"; });
    EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), {}), 2);  // and `kept`
    fs::remove_all(path.parent_path());
    store.save();
    EXPECT_EQ(ConfigStore(path).config().sourceLanguage, "ko");
    EXPECT_EQ(modeOf(path.parent_path()), 0700u);

    // Saves go through links and remove only orphaned temporaries.
    const auto target = dir / "dotfiles/vela.json", link = dir / "config.json";
    // A damaged file, temporaries left by a killed save and being written by another
    // process, and a file that is no temporary.
    for (const char* name :
         {"vela.json", ".vela.json.Ab12Cd", ".vela.json.Zz99Yy", ".vela.json.bak"})
        test::writeFile(dir / "dotfiles" / name, "{,}");
    fs::create_symlink("dotfiles/vela.json", link);
    const int writing = ::open((dir / "dotfiles/.vela.json.Zz99Yy").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0);
    ConfigStore(link).update([](VelaConfig& c) { c.customApiKey = "sk-new"; });
    ::close(writing);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(decodeSettingsFile(test::readFile(target))->customApiKey, "sk-new");
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_EQ(test::readFile(dir / "dotfiles/vela.json.damaged"), "{,}");  // beside the file
    EXPECT_FALSE(fs::exists(dir / "dotfiles/.vela.json.Ab12Cd"));
    EXPECT_TRUE(fs::exists(dir / "dotfiles/.vela.json.Zz99Yy"));
    EXPECT_TRUE(fs::exists(dir / "dotfiles/.vela.json.bak"));
}

TEST(ConfigStore, KeyHintAndChannelChoiceUseTheTrimmedKeyAndOnlyValidShortcutPairsAreStored) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    const auto custom = TranslationChannelMode::custom, builtin = TranslationChannelMode::builtin;
    const std::tuple<std::string, TranslationChannelMode, std::string, bool> keys[] = {
        {" sk-abcdef1234 \n", builtin, "保存済みキー (••••1234)", false},
        {" sk-abcdef1234 \n", custom, "保存済みキー (••••1234)", true},
        {" \t\n\u3000", custom, "", false},  // a blank key means the builtin channel
        {"ab", custom, "保存済みキー (••••ab)", true},
        {"キー🇯🇵e\u0301x", custom, "保存済みキー (••••ー🇯🇵e\u0301x)", true}};
    for (const auto& [key, mode, hint, usesCustom] : keys) {
        store.update([&](VelaConfig& c) { c.customApiKey = key, c.channelMode = mode; });
        EXPECT_EQ(store.maskedApiKeyHint(), hint) << key;
        EXPECT_EQ(store.shouldUseCustomChannel(), usesCustom) << key;
    }
    store.update([](VelaConfig& c) { c = VelaConfig{}; });
    const ShortcutConfig cmdQ("Q", 12, {M::command}), ctrlAltS = ShortcutConfig::defaultCapture();
    // A verifier's refusal is the answer; it is then asked to register the stored pair back.
    const ShortcutConfig capture("X", 7, {M::control, M::shift}), text("T", 17, {M::option});
    std::vector<std::pair<ShortcutConfig, ShortcutConfig>> calls;
    const auto verifier = [&](const ShortcutConfig& c, const ShortcutConfig& t) {
        calls.emplace_back(c, t);
        (void)store.config();  // called outside the lock: reading the store is allowed
        return calls.size() == 1 ? std::optional(E::keyNotOnKeyboard) : std::nullopt;
    };
    EXPECT_EQ(store.updateShortcuts(capture, text, verifier), E::keyNotOnKeyboard);
    EXPECT_EQ(calls, (std::vector<std::pair<ShortcutConfig, ShortcutConfig>>{
                         {capture, text}, {ctrlAltS, ShortcutConfig::defaultText()}}));
    EXPECT_EQ(ConfigStore(store.fileURL()).config(), VelaConfig{});
    EXPECT_EQ(store.updateShortcuts(capture, text, verifier), std::nullopt);
    const std::tuple<ShortcutConfig, ShortcutConfig, std::optional<E>> cases[] = {
        {cmdQ, {"A", 0, {}}, E::emptyModifiers},  // each check before the reserved one
        {cmdQ, cmdQ, E::duplicateInternalShortcut},
        {{"q", 40, {M::option}}, {"Q", 40, {M::option}}, E::duplicateInternalShortcut},
        {ctrlAltS, {"SPACE", 49, {M::control}}, E::occupiedBySystem},
        {{"V", 9, {M::command}}, ShortcutConfig::defaultText(), E::occupiedBySystem},
        // Shift alone does not count on a key that types a character.
        {ctrlAltS, {"7", 26, {M::shift, M::shift}}, E::emptyModifiers},
        {ctrlAltS, {"A", 0, {M::shift}}, E::emptyModifiers},
        // Only exactly the reserved ones are refused; the modifier order counts.
        {{"K", 40, {M::shift, M::command}}, {"K", 40, {M::command, M::shift}}, std::nullopt},
        {{"F5", 96, {M::shift}}, {"Q", 12, {M::command, M::shift}}, std::nullopt},
        {{"Q", 13, {M::command, M::shift}}, {"Q", 12, {M::command, M::shift}}, std::nullopt}};
    for (const auto& [c, t, expected] : cases) {
        SCOPED_TRACE(c.compactDisplayText() + " / " + t.compactDisplayText());
        const VelaConfig before = store.config();
        EXPECT_EQ(store.updateShortcuts(c, t), expected);
        const VelaConfig onDisk = ConfigStore(store.fileURL()).config();
        EXPECT_EQ(onDisk.captureShortcut, expected ? before.captureShortcut : c);
        EXPECT_EQ(onDisk.textShortcut, expected ? before.textShortcut : t);
    }
}

TEST(ConfigStore, ConcurrentReadersNeverSeeATornRecordAndTheFileEndsWithTheLast) {
    test::TempDir dir;
    ConfigStore store(dir / "config.json");
    store.update([](VelaConfig& c) { c.customModel = "m"; });  // two fields set from one number
    std::atomic<bool> torn{false};
    std::jthread reader([&](std::stop_token stop) {
        for (VelaConfig c = store.config(); !stop.stop_requested(); c = store.config())
            torn = torn || c.customModel != "m" + c.customApiKey;
    });
    std::vector<std::jthread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 50; ++i)
                store.update([n = std::to_string(w * 100 + i)](VelaConfig& c) {
                    c.customApiKey = n, c.customModel = "m" + n;
                });
        });
    }
    writers.clear();  // joins them
    reader = {};      // stops and joins it
    EXPECT_FALSE(torn);
    EXPECT_EQ(decodeSettingsFile(test::readFile(dir / "config.json")), store.config());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);  // no temporaries
}

}  // namespace vela
