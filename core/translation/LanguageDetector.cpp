#include "core/translation/LanguageDetector.h"

#include <cld2/public/compact_lang_det.h>

#include <algorithm>
#include <climits>

#include "core/support/EastAsianScript.h"
#include "core/support/UnicodeText.h"

namespace vela::LanguageDetector {

namespace {

std::string byPrefix(std::string_view code) {
    for (std::string_view known : {"zh", "ja", "ko", "en"}) {
        if (code.starts_with(known))
            return std::string(known);
    }
    return {};
}

// CLD2 refuses a whole text for one character it does not accept for
// interchange; such characters carry no language either way.
bool refusedByIdentifier(char32_t c) {
    const bool nonCharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
    return isControlCharacter(c) || nonCharacter;
}

}  // namespace

std::string identifyStatistically(std::string_view text) {
    // Broken bytes become U+FFFD and refused characters spaces first.
    std::u32string scalars = toScalars(text);
    std::replace_if(scalars.begin(), scalars.end(), refusedByIdentifier, U' ');
    const std::string valid = fromScalars(scalars);
    if (valid.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    bool reliable = false;
    int validPrefix = 0;
    const CLD2::Language language = CLD2::DetectLanguageCheckUTF8(
        valid.data(), static_cast<int>(valid.size()), true, &reliable, &validPrefix);
    if (!reliable || language == CLD2::UNKNOWN_LANGUAGE)
        return {};
    switch (language) {
        case CLD2::JAPANESE:
            return "ja";
        case CLD2::CHINESE:
            return "zh";
        case CLD2::CHINESE_T:
            return "zh";
        case CLD2::KOREAN:
            return "ko";
        case CLD2::ENGLISH:
            return "en";
        default:
            break;
    }
    const char* code = CLD2::LanguageCode(language);
    return code ? byPrefix(code) : std::string();
}

std::string detectLanguage(std::string_view text) {
    std::u32string compact;
    for (char32_t c : toScalars(text)) {
        if (!isWhitespaceOrNewline(c))
            compact.push_back(c);
    }
    if (compact.empty())
        return "en";
    for (char32_t c : compact) {
        if (isKana(c))
            return "ja";
    }
    for (char32_t c : compact) {
        if (isHangul(c))
            return "ko";
    }
    if (std::string identified = identifyStatistically(text); !identified.empty()) {
        return identified;
    }
    std::size_t han = 0;
    for (char32_t c : compact) {
        if (isHan(c))
            ++han;
    }
    const double ratio = static_cast<double>(han) / static_cast<double>(compact.size());
    return ratio < 0.3 ? "en" : "zh";
}

ResolvedPair resolve(std::string_view text, std::string_view selectedSource,
                     std::string_view selectedTarget, bool isManualTarget) {
    const std::string source(selectedSource);
    const std::string target(selectedTarget);
    if (trimmed(text).empty())
        return {source, target, false, false};

    const std::string detected = detectLanguage(text);
    const bool detectedJapanese = detected == "ja";
    if (source != "auto" || isManualTarget)
        return {source, target, detectedJapanese, false};
    if (detected == target) {
        return {detected, target == "ja" ? "en" : "ja", true, true};
    }
    return {"auto", target, detectedJapanese, false};
}

LanguagePair swap(std::string_view source, std::string_view target) {
    if (source != "auto")
        return {std::string(target), std::string(source)};
    return {std::string(target), target == "ja" ? "en" : "ja"};
}

}  // namespace vela::LanguageDetector
