#include "core/support/EastAsianScript.h"

namespace vela {

namespace {

struct ScriptRange {
    char32_t first;
    char32_t last;
    EastAsianScript script;
};

constexpr ScriptRange kScriptRanges[] = {
    {0x1100, 0x11FF, EastAsianScript::hangul},  // Jamo
    {0x3040, 0x30FF, EastAsianScript::kana},    // hiragana, katakana
    {0x3130, 0x318F, EastAsianScript::hangulCompatibilityJamo},
    {0x3400, 0x4DBF, EastAsianScript::han},     // extension A
    {0x4E00, 0x9FFF, EastAsianScript::han},     // unified ideographs
    {0xAC00, 0xD7AF, EastAsianScript::hangul},  // syllables
};

}  // namespace

EastAsianScript eastAsianScriptOf(char32_t c) {
    for (const ScriptRange& range : kScriptRanges) {
        if (c < range.first)
            break;
        if (c <= range.last)
            return range.script;
    }
    return EastAsianScript::none;
}

bool isCJKPunctuationOrWidthForm(char32_t c) {
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF);
}

}  // namespace vela
