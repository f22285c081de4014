#pragma once
// One blocking HTTP(S) exchange over libcurl, shared by the translation
// channels and the manifest fetch.
//
// Each call uses its own easy handle (no cookies, no cache, nothing kept
// between calls), follows redirects only to http and https, and bounds both the
// idle time and the whole transfer. Safe to call from any thread at once.
// A stop request wakes the transfer at once and ends it as a client error.

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/translation/TranslationTransportError.h"

namespace vela {

struct HTTPRequest {
    std::string method = "GET";  // "GET" or "POST"
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;                  // sent for POST
    std::chrono::milliseconds idleTimeout{
        8000};  // without a byte sent or received, also awaiting the answer
    std::chrono::milliseconds totalTimeout{10000};   // whole transfer, redirects included
    std::size_t maxResponseBytes = 8 * 1024 * 1024;  // a longer body fails the transfer
};

struct HTTPResponse {
    long status = 0;
    std::string body;
    bool operator==(const HTTPResponse&) const = default;
};

// Any status is a response; only failures of the exchange itself are errors
// (HTTPClientError with libcurl's code and description).
TransportResult<HTTPResponse> performHTTPRequest(const HTTPRequest& request, std::stop_token stop);

// Whether libcurl's URL parser accepts the text as an absolute URL.
bool isWellFormedURL(const std::string& url);

struct URLParts {
    std::string scheme;  // lower case
    std::string path;    // percent-decoded
};
// The scheme and decoded path of a well-formed URL, or nothing.
std::optional<URLParts> parseURL(const std::string& url);

// Percent-encodes every byte except ALPHA, DIGIT and "-._~".
std::string percentEncoded(std::string_view value);

}  // namespace vela
