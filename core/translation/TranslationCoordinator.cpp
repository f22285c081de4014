#include "core/translation/TranslationCoordinator.h"

#include <chrono>
#include <exception>

#include "core/support/UnicodeText.h"
#include "core/translation/LanguageDetector.h"
#include "core/translation/TranslationMessages.h"

namespace vela {

namespace {

// The one place where failures become user-facing text. Anything a transport
// throws despite its contract is treated like a network failure.
template <class T, class Call>
TransportResult<T> guarded(Call&& call) {
    try {
        return call();
    } catch (const std::exception& e) {
        return TransportResult<T>(HTTPClientError{0, e.what()});
    } catch (...) {
        return TransportResult<T>(HTTPClientError{0, "unknown error"});
    }
}

std::string failureMessage(const TransportError& error) {
    return std::string(userFacingMessage(error));
}

}  // namespace

TranslationCoordinator::TranslationCoordinator(ConfigStore& store,
                                               std::unique_ptr<TranslationTransport> transport)
    : store_(store), transport_(std::move(transport)) {}

TranslationOutcome TranslationCoordinator::translate(
    const std::string& rawText, const std::optional<std::string>& selectedSource,
    const std::optional<std::string>& selectedTarget, bool isManualTarget,
    std::stop_token stop) const {
    const VelaConfig config = store_.config();
    if (config.forceUpdateBlocked) {
        std::string message = config.forceUpdateMessage.empty()
                                  ? std::string(messages::forceUpdateDefault)
                                  : config.forceUpdateMessage;
        return {TranslationOutcome::ForceUpdateRequired{std::move(message), config.forceUpdateURL}};
    }

    const auto started = std::chrono::steady_clock::now();
    const std::string text = trimmed(rawText);
    if (text.empty())
        return {TranslationOutcome::EmptyInput{std::string(messages::emptyInput)}};

    const std::string source = selectedSource.value_or(config.sourceLanguage);
    const std::string target = selectedTarget.value_or(config.targetLanguage);
    const ResolvedPair pair = LanguageDetector::resolve(text, source, target, isManualTarget);

    const bool useCustom = config.channelMode == TranslationChannelMode::custom &&
                           !trimmed(config.customApiKey).empty();
    TransportResult<std::string> result = guarded<std::string>([&] {
        if (useCustom) {
            return transport_->translateCustom(text, pair.source, pair.target, config.customBaseURL,
                                               config.customApiKey, config.customModel, stop);
        }
        return transport_->translateBuiltin(text, pair.source, pair.target, stop);
    });
    if (!result)
        return {TranslationOutcome::Failure{failureMessage(result.error())}};

    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
    const long long elapsedMs = elapsed < 1'000'000 ? 1 : elapsed / 1'000'000;
    return {
        TranslationOutcome::Success{std::move(result.value()), pair.target, useCustom, elapsedMs}};
}

ConnectionTestResult TranslationCoordinator::testConnection(const std::string& baseURL,
                                                            const std::string& apiKey,
                                                            const std::string& model,
                                                            std::stop_token stop) const {
    TransportResult<std::monostate> result = guarded<std::monostate>(
        [&] { return transport_->verifyCustomKey(baseURL, apiKey, model, stop); });
    if (!result)
        return ConnectionTestError{failureMessage(result.error())};
    return std::string(messages::connectionTestSucceeded);
}

RemoteControlDecision TranslationCoordinator::syncRemoteControl(std::stop_token stop) const {
    const std::string url = store_.config().remoteConfigURL;
    TransportResult<RemoteControlManifest> fetched =
        guarded<RemoteControlManifest>([&] { return transport_->fetchRemoteManifest(url, stop); });
    // Failures are silent: the next scheduled sync tries again.
    if (!fetched)
        return {RemoteControlDecision::UpToDate{}};
    return store_.applyRemoteManifest(fetched.value());
}

}  // namespace vela
