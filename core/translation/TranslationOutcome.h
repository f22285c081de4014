#pragma once
// The single answer to one translation request, and the connection test's error.
// Plain values, compared by value.

#include <string>
#include <variant>

namespace vela {

struct TranslationOutcome {
    struct Success {
        std::string translatedText;
        std::string targetLanguage;  // after the automatic switch
        bool usedCustomChannel = false;
        long long elapsedMs = 1;  // never below 1
        bool operator==(const Success&) const = default;
    };
    struct EmptyInput {
        std::string message;
        bool operator==(const EmptyInput&) const = default;
    };
    struct ForceUpdateRequired {
        std::string message;
        std::string updateURL;
        bool operator==(const ForceUpdateRequired&) const = default;
    };
    struct Failure {
        std::string message;
        bool operator==(const Failure&) const = default;
    };

    std::variant<Success, EmptyInput, ForceUpdateRequired, Failure> value;

    bool isSuccess() const { return std::holds_alternative<Success>(value); }
    bool operator==(const TranslationOutcome&) const = default;
};

struct ConnectionTestError {
    std::string message;
    bool operator==(const ConnectionTestError&) const = default;
};

// Success text, or the error shown to the user.
using ConnectionTestResult = std::variant<std::string, ConnectionTestError>;

}  // namespace vela
