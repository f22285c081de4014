#pragma once
// Decides which language a text is in and turns the panel's language choice
// into the pair sent to a channel, including the automatic target switch
// (text already in the target language: Japanese goes to English, anything
// else to Japanese).
//
// Pure functions without shared state: safe on any thread. None can fail;
// invalid UTF-8 is read as U+FFFD.

#include <string>
#include <string_view>

namespace vela {

struct ResolvedPair {
    std::string source;  // "auto" unless chosen by the user or pinned by the switch
    std::string target;
    bool detectedIsNativeTarget = false;
    bool autoSwitchedTarget = false;

    bool operator==(const ResolvedPair&) const = default;
};

struct LanguagePair {
    std::string source;
    std::string target;

    bool operator==(const LanguagePair&) const = default;
};

namespace LanguageDetector {

// One of "ja", "en", "zh", "ko".
std::string detectLanguage(std::string_view text);

ResolvedPair resolve(std::string_view text, std::string_view selectedSource,
                     std::string_view selectedTarget, bool isManualTarget);

// The selector values after the swap button.
LanguagePair swap(std::string_view source, std::string_view target);

// The statistical identifier's answer mapped to one of the four codes, or
// empty when it has none (unknown, unreliable or another language).
std::string identifyStatistically(std::string_view text);

}  // namespace LanguageDetector
}  // namespace vela
