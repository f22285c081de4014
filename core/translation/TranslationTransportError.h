#pragma once
// Failures of a translation transport, as values.
//
// TranslationTransportError is the transport's own error (network failure with a
// technical detail that is never shown, or an invalid API key). The other
// alternatives of TransportError are passed on unchanged from the HTTP client,
// the JSON parser, the file system or the manifest decoder; the coordinator
// shows the network message for all of them.

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "core/support/FileIO.h"

namespace vela {

class TranslationTransportError {
  public:
    enum class Kind { networkFailure, invalidApiKey };

    static TranslationTransportError networkFailure(std::string detail) {
        return TranslationTransportError(Kind::networkFailure, std::move(detail));
    }
    static TranslationTransportError invalidApiKey() {
        return TranslationTransportError(Kind::invalidApiKey, {});
    }

    Kind kind() const { return kind_; }
    // Technical detail of a network failure; empty for invalidApiKey.
    const std::string& detail() const { return detail_; }
    // Fixed Japanese text for the user.
    std::string_view userFacingMessage() const;

    bool operator==(const TranslationTransportError&) const = default;

  private:
    TranslationTransportError(Kind kind, std::string detail)
        : kind_(kind), detail_(std::move(detail)) {}
    Kind kind_;
    std::string detail_;
};

// The HTTP client failed: no connection, time-out, cancellation, oversized body...
struct HTTPClientError {
    int curlCode = 0;
    std::string description;
    bool operator==(const HTTPClientError&) const = default;
};

// A body that is not JSON at all.
struct JSONParseError {
    std::string description;
    bool operator==(const JSONParseError&) const = default;
};

// A local file could not be read.
struct FileReadFailure {
    FileReadError error = FileReadError::ioError;
    bool operator==(const FileReadFailure&) const = default;
};

// JSON that does not have the shape of the expected document.
struct DocumentDecodeError {
    std::string description;
    bool operator==(const DocumentDecodeError&) const = default;
};

using TransportError = std::variant<TranslationTransportError, HTTPClientError, JSONParseError,
                                    FileReadFailure, DocumentDecodeError>;

// Either a value or the error that replaced it.
template <class T>
class TransportResult {
  public:
    TransportResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    TransportResult(TransportError error) : state_(std::in_place_index<1>, std::move(error)) {}
    TransportResult(TranslationTransportError error)
        : state_(std::in_place_index<1>, std::move(error)) {}
    TransportResult(HTTPClientError error) : state_(std::in_place_index<1>, std::move(error)) {}
    TransportResult(JSONParseError error) : state_(std::in_place_index<1>, std::move(error)) {}
    TransportResult(FileReadFailure error) : state_(std::in_place_index<1>, std::move(error)) {}
    TransportResult(DocumentDecodeError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const TransportError& error() const { return std::get<1>(state_); }

    bool operator==(const TransportResult&) const = default;

  private:
    std::variant<T, TransportError> state_;
};

// The Japanese text shown for any transport failure.
std::string_view userFacingMessage(const TransportError& error);

}  // namespace vela
