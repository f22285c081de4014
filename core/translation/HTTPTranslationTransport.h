#pragma once
// The real TranslationTransport: the two free public services of the builtin
// channel (primary first, backup only when it fails) and the user's
// OpenAI-compatible chat-completions service, over libcurl.
//
// Ownership: holds only the two service base addresses and the time-outs,
// fixed at construction.
// Thread-safety: every call is independent (one HTTP handle per request), so
// any number may run at once from any thread.
// Failures: returned as TransportError values, never thrown. Every response
// body is capped (HTTPRequest::maxResponseBytes); a longer one fails like a transfer error.
// Answers are read with parseJsonText (one text, at most maxJsonDepth deep,
// else a bad response) and their texts come back as externalText.

#include <chrono>
#include <string>
#include <string_view>

#include "core/translation/TranslationTransport.h"

namespace vela {

// How long each kind of request may go without progress (idle) and may take
// as a whole (total). Idle time counts while a request waits for its answer.
struct HTTPTransportTimeouts {
    std::chrono::milliseconds builtinIdle{8000};
    std::chrono::milliseconds customIdle{10000};
    std::chrono::milliseconds translationTotal{10000};
    std::chrono::milliseconds manifestIdle{6000};
    // Only a guard against a server that trickles bytes: a slow but
    // progressing manifest server is allowed well beyond the idle limit.
    std::chrono::milliseconds manifestTotal{30000};
};

class HTTPTranslationTransport : public TranslationTransport {
  public:
    static constexpr std::string_view defaultPrimaryBase = "https://translate.googleapis.com";
    static constexpr std::string_view defaultBackupBase = "https://api.mymemory.translated.net";
    static constexpr std::string_view demonstrationKey = "sk-qrtx-pilot-sandbox1";
    static constexpr std::size_t backupQueryCharacters = 1500;
    static constexpr std::size_t maxManifestBytes = 1024 * 1024;

    using Timeouts = HTTPTransportTimeouts;

    // The bases are scheme, host and optional port (and path prefix) of the
    // two public services, e.g. "http://127.0.0.1:8080" in tests.
    explicit HTTPTranslationTransport(std::string primaryBase = std::string(defaultPrimaryBase),
                                      std::string backupBase = std::string(defaultBackupBase),
                                      Timeouts timeouts = {});

    // Primary, then backup; any failure of either ends as
    // networkFailure("Builtin endpoints unreachable").
    TransportResult<std::string> translateBuiltin(const std::string& text,
                                                  const std::string& source,
                                                  const std::string& target,
                                                  std::stop_token stop) override;

    // A key that is empty after trimming, or holds a control character (which
    // would break the header line), is invalidApiKey without any request.
    TransportResult<std::string> translateCustom(const std::string& text, const std::string& source,
                                                 const std::string& target,
                                                 const std::string& baseURL,
                                                 const std::string& apiKey,
                                                 const std::string& model,
                                                 std::stop_token stop) override;

    TransportResult<std::monostate> verifyCustomKey(const std::string& baseURL,
                                                    const std::string& apiKey,
                                                    const std::string& model,
                                                    std::stop_token stop) override;

    // "file:" addresses are read from disk, http(s) fetched with a 6-second idle
    // limit (see HTTPTransportTimeouts). Status outside 2xx: networkFailure("Remote config
    // unreachable"); unusable address: networkFailure("Invalid remote config URL"); client, file
    // and decoding errors are passed on. At most maxManifestBytes are read.
    TransportResult<RemoteControlManifest> fetchRemoteManifest(const std::string& url,
                                                               std::stop_token stop) override;

    // What the user typed as base URL, made into the full ".../chat/completions" address.
    static std::string normalizeChatCompletionsURL(std::string_view baseURL);
    // English name of a target language for the prompt; unknown codes as they are.
    static std::string languageDisplayName(std::string_view code);

  private:
    TransportResult<std::string> requestGoogleGTX(const std::string& text, const std::string& sl,
                                                  const std::string& tl, std::stop_token stop);
    TransportResult<std::string> requestMyMemory(const std::string& text, const std::string& sl,
                                                 const std::string& tl, std::stop_token stop);

    std::string primaryBase_;
    std::string backupBase_;
    Timeouts timeouts_;
};

}  // namespace vela
