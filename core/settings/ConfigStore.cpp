#include "core/settings/ConfigStore.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

#include "core/remote/RemoteControlEvaluator.h"
#include "core/settings/SettingsFileCodec.h"
#include "core/support/FileIO.h"
#include "core/support/UnicodeText.h"
#include "core/support/UserFolders.h"

namespace vela {

namespace {
// The file holds an API key: only the user may read it or list its folder.
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;
}  // namespace

std::filesystem::path ConfigStore::defaultFileURL() {
    return configHomeFolder() / "VelaJP" / "config.json";
}

ConfigStore::ConfigStore(std::optional<std::filesystem::path> fileURL) {
    if (fileURL) {
        fileURL_ = std::move(*fileURL);
    } else {
        fileURL_ = defaultFileURL();
        createDirectories(fileURL_.parent_path(), kFolderMode);
    }
    // Temporaries of interrupted saves hold the API key; nothing else removes them.
    removeStaleTemporaries(fileURL_);
    FileReadResult read = readWholeFile(fileURL_, maxFileBytes);
    if (read.bytes) {
        if (auto decoded = decodeSettingsFile(*read.bytes)) {
            config_ = std::move(*decoded);
            return;
        }
    }
    if (read.bytes || read.error != FileReadError::notFound)
        keepDamagedFile();
    config_ = VelaConfig{};
    save();
}

std::filesystem::path ConfigStore::damagedFileURL() const {
    std::filesystem::path kept = followSymlinks(fileURL_);
    kept += ".damaged";
    return kept;
}

void ConfigStore::keepDamagedFile() {
    // Moved, not copied: any size and any permission is kept, and one rename
    // replaces the copy kept before. A link stays and gets a new target on save.
    const std::filesystem::path damaged = damagedFileURL();
    if (::rename(followSymlinks(fileURL_).c_str(), damaged.c_str()) == 0)
        ::chmod(damaged.c_str(), kFileMode);
}

VelaConfig ConfigStore::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void ConfigStore::update(const std::function<void(VelaConfig&)>& change) {
    {
        std::lock_guard lock(mutex_);
        change(config_);
    }
    save();
}

void ConfigStore::save() {
    std::lock_guard saving(saveMutex_);
    std::string bytes = encodeSettingsFile(config());
    createDirectories(fileURL_.parent_path(), kFolderMode);
    (void)writeFileAtomically(fileURL_, bytes, kFileMode);  // failures are silent by design
}

bool ConfigStore::shouldUseCustomChannel() const {
    std::lock_guard lock(mutex_);
    return config_.channelMode == TranslationChannelMode::custom &&
           !trimmed(config_.customApiKey).empty();
}

std::string ConfigStore::maskedApiKeyHint() const {
    std::string key;
    {
        std::lock_guard lock(mutex_);
        key = trimmed(config_.customApiKey);
    }
    if (key.empty())
        return "";
    return "保存済みキー (••••" + lastGraphemes(key, 4) + ")";
}

const std::unordered_set<ShortcutConfig>& ConfigStore::reservedSystemShortcuts() {
    static const std::unordered_set<ShortcutConfig> reserved{
        ShortcutConfig("Q", 12, {ShortcutModifier::command}),
        ShortcutConfig("W", 13, {ShortcutModifier::command}),
        ShortcutConfig("C", 8, {ShortcutModifier::command}),
        ShortcutConfig("V", 9, {ShortcutModifier::command}),
        ShortcutConfig("SPACE", 49, {ShortcutModifier::command}),
        // The same meanings on Linux: quit, close, copy, paste, and the input-method switch.
        ShortcutConfig("Q", 12, {ShortcutModifier::control}),
        ShortcutConfig("W", 13, {ShortcutModifier::control}),
        ShortcutConfig("C", 8, {ShortcutModifier::control}),
        ShortcutConfig("V", 9, {ShortcutModifier::control}),
        ShortcutConfig("SPACE", 49, {ShortcutModifier::control}),
    };
    return reserved;
}

std::optional<ShortcutValidationError> ConfigStore::updateShortcuts(
    const ShortcutConfig& capture, const ShortcutConfig& text,
    const SystemVerifier& systemVerifier) {
    if (capture.lacksModifier() || text.lacksModifier()) {
        return ShortcutValidationError::emptyModifiers;
    }
    if (capture == text)
        return ShortcutValidationError::duplicateInternalShortcut;
    const auto& reserved = reservedSystemShortcuts();
    if (reserved.contains(capture) || reserved.contains(text)) {
        return ShortcutValidationError::occupiedBySystem;
    }
    if (systemVerifier) {
        if (auto refusal = systemVerifier(capture, text)) {
            // Registers the stored pair again, so the previous shortcuts stay active.
            VelaConfig current = config();
            (void)systemVerifier(current.captureShortcut, current.textShortcut);
            return refusal;
        }
    }
    update([&](VelaConfig& c) {
        c.captureShortcut = capture;
        c.textShortcut = text;
    });
    return std::nullopt;
}

RemoteControlDecision ConfigStore::applyRemoteManifest(const RemoteControlManifest& manifest) {
    RemoteControlDecision decision;
    update([&](VelaConfig& c) {
        decision =
            RemoteControlEvaluator::evaluate(manifest, VelaConfig::appVersion, c.dismissedPopupId);
        if (const auto* required =
                std::get_if<RemoteControlDecision::ForceUpdateRequired>(&decision.value)) {
            c.forceUpdateBlocked = true;
            c.forceUpdateURL = required->url;
            c.forceUpdateMessage = required->notes;
        } else {
            c.forceUpdateBlocked = false;
        }
    });
    return decision;
}

}  // namespace vela
