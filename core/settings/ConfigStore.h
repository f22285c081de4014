#pragma once
// ConfigStore owns the one VelaConfig record of the running program and the
// settings file that keeps it.
//
// Thread-safety: every member may be called from any thread. One mutex guards
// the record; readers get copies. Saves are serialised, and each takes its
// snapshot after the previous save finished, so the file always ends up holding
// the latest record. Change functions and verifiers must not call back into the
// store (the verifier runs outside the lock, on the caller's thread).
//
// Failures of the file are silent: the record in memory stays current and the
// next save tries again.

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "core/remote/RemoteControlDecision.h"
#include "core/remote/RemoteControlManifest.h"
#include "core/settings/VelaConfig.h"
#include "core/shortcuts/ShortcutValidationError.h"

namespace vela {

class ConfigStore {
  public:
    // Reads `fileURL`, or the default location when none is given (creating its
    // folder). A missing, unreadable or undecodable file yields the defaults,
    // which are written at once; an unreadable or undecodable one is first moved
    // to damagedFileURL() (mode 0600, replacing an earlier one) so that a hand
    // edit gone wrong loses nothing. A valid file is left untouched. Temporaries
    // of saves interrupted earlier are removed. Never fails.
    explicit ConfigStore(std::optional<std::filesystem::path> fileURL = std::nullopt);

    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    const std::filesystem::path& fileURL() const { return fileURL_; }
    // Where a damaged file is kept: the file fileURL names (links followed) + ".damaged".
    std::filesystem::path damagedFileURL() const;
    VelaConfig config() const;

    // Applies `change` to the stored record under the lock, then saves (always).
    void update(const std::function<void(VelaConfig&)>& change);
    void save();

    // Custom channel chosen and a non-blank API key present.
    bool shouldUseCustomChannel() const;
    // "保存済みキー (••••" + last four characters of the trimmed key + ")", or empty.
    std::string maskedApiKeyHint() const;

    // Super+Q/W/C/V/SPACE, and their Linux forms Ctrl+Q/W/C/V/SPACE, each with only that one
    // modifier; membership is ShortcutConfig equality.
    static const std::unordered_set<ShortcutConfig>& reservedSystemShortcuts();

    // Registers a candidate pair with the system; answers why it could not (occupiedBySystem
    // or keyNotOnKeyboard), or no value when both shortcuts are registered.
    using SystemVerifier = std::function<std::optional<ShortcutValidationError>(
        const ShortcutConfig& capture, const ShortcutConfig& text)>;

    // Validates and stores a new pair: missing modifier (none, or Shift alone on a character
    // key), duplicate, reserved, then the verifier (on refusal it is called again with the
    // stored pair, and its refusal is returned). Returns the first failure, or no value when
    // the pair was stored and saved.
    std::optional<ShortcutValidationError> updateShortcuts(
        const ShortcutConfig& capture, const ShortcutConfig& text,
        const SystemVerifier& systemVerifier = {});

    // Evaluates the manifest against this version and the stored dismissed
    // notice id, all under the lock: a required update sets the block with its
    // link and notes, any other decision lifts the block (link and message stay).
    // Always saves. Returns the decision.
    RemoteControlDecision applyRemoteManifest(const RemoteControlManifest& manifest);

    // $XDG_CONFIG_HOME/VelaJP/config.json, or ~/.config/VelaJP/config.json.
    static std::filesystem::path defaultFileURL();
    // Largest settings file read; anything longer is treated as damaged.
    static constexpr std::size_t maxFileBytes = 16 * 1024 * 1024;

  private:
    void keepDamagedFile();

    std::filesystem::path fileURL_;
    mutable std::mutex mutex_;
    std::mutex saveMutex_;
    VelaConfig config_;
};

}  // namespace vela
