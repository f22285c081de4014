#pragma once
// Turns one translation request into exactly one TranslationOutcome: checks the
// required-update block, trims, resolves the language pair, picks the channel
// from the settings and maps every failure to its fixed Japanese message.
//
// Ownership: shares the store (which must outlive it) and owns the transport.
// Thread-safety: no state of its own besides the two fixed references; every
// call blocks and may run on any thread, concurrently with others. Settings are
// read once per call. A stop request cancels the transfer in flight; the call
// still returns one outcome (the network failure), which the caller drops.

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "core/remote/RemoteControlDecision.h"
#include "core/settings/ConfigStore.h"
#include "core/translation/TranslationOutcome.h"
#include "core/translation/TranslationTransport.h"

namespace vela {

class TranslationCoordinator {
  public:
    TranslationCoordinator(ConfigStore& store, std::unique_ptr<TranslationTransport> transport);

    TranslationCoordinator(const TranslationCoordinator&) = delete;
    TranslationCoordinator& operator=(const TranslationCoordinator&) = delete;

    // Absent selections fall back to the stored languages. Never fails.
    TranslationOutcome translate(const std::string& rawText,
                                 const std::optional<std::string>& selectedSource,
                                 const std::optional<std::string>& selectedTarget,
                                 bool isManualTarget, std::stop_token stop = {}) const;

    // The settings screen's check of the custom channel; touches no settings.
    ConnectionTestResult testConnection(const std::string& baseURL, const std::string& apiKey,
                                        const std::string& model, std::stop_token stop = {}) const;

    // Fetches the manifest from the stored address and folds it into the
    // settings. Any failure yields upToDate and leaves the settings untouched.
    RemoteControlDecision syncRemoteControl(std::stop_token stop = {}) const;

  private:
    ConfigStore& store_;
    std::unique_ptr<TranslationTransport> transport_;
};

}  // namespace vela
