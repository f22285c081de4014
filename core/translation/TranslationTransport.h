#pragma once
// What the coordinator needs from the code that talks to translation services.
//
// Every call blocks until it has an answer and may be called from any thread,
// also concurrently. A requested stop makes a call give up promptly with an
// error. Failures are returned as values, never thrown.

#include <stop_token>
#include <string>

#include "core/remote/RemoteControlManifest.h"
#include "core/translation/TranslationTransportError.h"

namespace vela {

class TranslationTransport {
  public:
    virtual ~TranslationTransport() = default;

    // A non-empty translation through the free public services.
    virtual TransportResult<std::string> translateBuiltin(const std::string& text,
                                                          const std::string& source,
                                                          const std::string& target,
                                                          std::stop_token stop) = 0;

    // A translation through the user's chat-completions service (possibly empty).
    virtual TransportResult<std::string> translateCustom(
        const std::string& text, const std::string& source, const std::string& target,
        const std::string& baseURL, const std::string& apiKey, const std::string& model,
        std::stop_token stop) = 0;

    // Succeeds (monostate) when the custom settings work.
    virtual TransportResult<std::monostate> verifyCustomKey(const std::string& baseURL,
                                                            const std::string& apiKey,
                                                            const std::string& model,
                                                            std::stop_token stop) = 0;

    // The remote control manifest from an http(s) or file: address.
    virtual TransportResult<RemoteControlManifest> fetchRemoteManifest(const std::string& url,
                                                                       std::stop_token stop) = 0;
};

}  // namespace vela
