#pragma once
// The East Asian scripts as language detection, line merging and recognition tell them
// apart: one table of Unicode ranges, so that they never disagree on a character.
// Pure functions; thread-safe; never fail.

namespace vela {

enum class EastAsianScript {
    none,
    kana,    // hiragana and katakana
    han,     // the unified ideographs and extension A
    hangul,  // syllables, Jamo and compatibility Jamo
};

EastAsianScript eastAsianScriptOf(char32_t scalar);

inline bool isKana(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::kana;
}
inline bool isHan(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::han;
}
inline bool isHangul(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::hangul;
}

// CJK symbols and punctuation (the ideographic space and full stop, brackets) and the
// half- and full-width forms: no script of their own, but as wide as the ideographs.
bool isCJKPunctuationOrWidthForm(char32_t scalar);

}  // namespace vela
