#pragma once
// The East Asian scripts as language detection, line merging and recognition tell them
// apart: one table of Unicode ranges, so that they never disagree on a character.
// Pure functions; thread-safe; never fail.

namespace vela {

enum class EastAsianScript {
    none,
    kana,    // hiragana and katakana
    han,     // the unified ideographs and extension A
    hangul,  // syllables and conjoining Jamo
    // Korean letters standing alone (ㄱ, ㅏ): evidence of Korean in recognised text, but
    // not Hangul to language detection, where one in an English sentence must not decide.
    hangulCompatibilityJamo,
};

EastAsianScript eastAsianScriptOf(char32_t scalar);

inline bool isKana(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::kana;
}
inline bool isHan(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::han;
}
// Syllables and conjoining Jamo; compatibility Jamo are not included.
inline bool isHangul(char32_t scalar) {
    return eastAsianScriptOf(scalar) == EastAsianScript::hangul;
}

// CJK symbols and punctuation (the ideographic space and full stop, brackets) and the
// half- and full-width forms: no script of their own, but as wide as the ideographs.
bool isCJKPunctuationOrWidthForm(char32_t scalar);

}  // namespace vela
