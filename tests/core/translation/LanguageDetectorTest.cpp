#include "core/translation/LanguageDetector.h"

#include <gtest/gtest.h>

#include <string>

#include "core/support/UnicodeText.h"

namespace vela {
namespace {

using namespace LanguageDetector;

TEST(LanguageDetector, ScriptRulesThenIdentifierThenHanRatio) {
    const auto han = [](int ideographs, int digits) {
        return fromScalars(std::u32string(ideographs, U'一') + std::u32string(digits, U'1'));
    };
    const std::string kanjiOnly = "日本国憲法第九条東京都庁舎";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"今日はとても良い天気ですね。散歩に行きましょう。", "ja"},
        {"The quick brown fox jumps over the lazy dog near the river bank.", "en"},
        {"今天天气很好，我们一起去公园散步吧。", "zh"},
        {"今天天氣很好，我們一起去公園散步吧。", "zh"},
        {"오늘은 날씨가 정말 좋네요. 같이 산책할까요?", "ko"},
        // Outside the four languages the Han ratio decides: no Han, English.
        {"Le chat est assis sur le tapis dans la maison.", "en"},
        {"", "en"},
        {" \n\t\u3000\r\n", "en"},
        // Katakana alone is Japanese, and one kana decides even inside English or Hangul.
        {"メニュー", "ja"},
        {"Please open the メニュー and choose a file.", "ja"},
        {"한국어 문장입니다 の", "ja"},
        {"\u1100\u1161\u1102\u1161", "ko"},  // conjoining Jamo
        {"ㅋㅋㅋㅋ ㅎㅎㅎ", "ko"},           // compatibility Jamo
        {"\xff\xfe한국", "ko"},              // broken bytes read as U+FFFD
        // Halfwidth katakana is no kana: Hangul after it decides, alone the identifier does.
        {"ｶﾀｶﾅ 한국", "ko"},
        {"ｺﾝﾆﾁﾊ、 ｹﾞﾝｷﾃﾞｽｶ", "ja"},
        // Only the identifier can place kanji-only Japanese; a character it refuses is
        // blanked instead of silencing it for the whole text.
        {kanjiOnly, "ja"},
        {"日本国憲法第九条\x01東京都庁舎", "ja"},
        {"日本国憲法第九条\uFFFE東京都庁舎", "ja"},
        // Texts the identifier cannot place: 30 % Han (whitespace not counted) is Chinese.
        {han(30, 70), "zh"},
        {han(29, 71), "en"},
        {"一一一 1 2 3 4 5 6 7", "zh"},
        {"\U00020000\U00020000\U00020000\U00020000\U00020000\u4E0012",
         "en"},  // extension B is not counted
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(detectLanguage(text), expected);
    }
}

TEST(LanguageDetector, ResolveSwitchesOnlyAutomaticTargetsAndSwap) {
    const std::string ja = "今日はとても良い天気ですね。";
    const std::string en = "The weather is lovely today, shall we go for a walk?";
    const std::string ko = "오늘은 날씨가 정말 좋네요.";
    EXPECT_EQ(resolve(ja, "auto", "ja", false), (ResolvedPair{"ja", "en", true, true}));
    EXPECT_EQ(resolve(en, "auto", "en", false), (ResolvedPair{"en", "ja", true, true}));
    EXPECT_EQ(resolve(ko, "auto", "ko", false), (ResolvedPair{"ko", "ja", true, true}));
    EXPECT_EQ(resolve(ja, "auto", "ja", true), (ResolvedPair{"auto", "ja", true, false}));
    EXPECT_EQ(resolve(ja, "en", "ja", false), (ResolvedPair{"en", "ja", true, false}));
    EXPECT_EQ(resolve(en, "auto", "ja", false), (ResolvedPair{"auto", "ja", false, false}));
    EXPECT_EQ(resolve(" \n\u3000", "auto", "ja", false),
              (ResolvedPair{"auto", "ja", false, false}));
    EXPECT_EQ(resolve(ja, "auto", "JA", false), (ResolvedPair{"auto", "JA", true, false}));
    EXPECT_EQ(swap("ja", "en"), (LanguagePair{"en", "ja"}));
    EXPECT_EQ(swap("auto", "ja"), (LanguagePair{"ja", "en"}));
    EXPECT_EQ(swap("auto", "zh"), (LanguagePair{"zh", "ja"}));
}

}  // namespace
}  // namespace vela
