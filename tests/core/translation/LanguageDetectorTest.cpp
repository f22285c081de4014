#include "core/translation/LanguageDetector.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

using LanguageDetector::detectLanguage;
using LanguageDetector::identifyStatistically;
using LanguageDetector::resolve;
using LanguageDetector::swap;

std::string repeated(const std::string& piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

TEST(LanguageDetector, RealSentences) {
    EXPECT_EQ(detectLanguage("今日はとても良い天気ですね。散歩に行きましょう。"), "ja");
    EXPECT_EQ(detectLanguage("The quick brown fox jumps over the lazy dog near the river bank."),
              "en");
    EXPECT_EQ(detectLanguage("今天天气很好，我们一起去公园散步吧。"), "zh");
    EXPECT_EQ(detectLanguage("今天天氣很好，我們一起去公園散步吧。"), "zh");
    EXPECT_EQ(detectLanguage("오늘은 날씨가 정말 좋네요. 같이 산책할까요?"), "ko");
    // Languages outside the four end in the ratio rule: no Han, so English.
    EXPECT_EQ(detectLanguage("Le chat est assis sur le tapis dans la maison."), "en");
    EXPECT_EQ(detectLanguage("Der Hund schläft im Garten unter dem großen Baum."), "en");
    EXPECT_EQ(detectLanguage("Привет, как у тебя сегодня дела?"), "en");
    // The identifier answers for all of Chinese, simplified or traditional.
    EXPECT_EQ(identifyStatistically("今天天氣很好，我們一起去公園散步吧。"), "zh");
    EXPECT_EQ(identifyStatistically("Le chat est assis sur le tapis dans la maison."), "");
}

TEST(LanguageDetector, ScriptRules) {
    EXPECT_EQ(detectLanguage(""), "en");
    EXPECT_EQ(detectLanguage(" \n\t\u3000\r\n"), "en");
    // One kana decides, even inside English or next to Hangul.
    EXPECT_EQ(detectLanguage("Please open the メニュー and choose a file."), "ja");
    EXPECT_EQ(detectLanguage("한국어 문장입니다 の"), "ja");
    EXPECT_EQ(detectLanguage("\u1100\u1161\u1102\u1161"), "ko");  // conjoining Jamo only
    // Halfwidth katakana is not kana: Hangul after it still decides.
    EXPECT_EQ(detectLanguage("ｶﾀｶﾅ 한국"), "ko");
    // ...and alone it reaches the identifier.
    EXPECT_EQ(identifyStatistically("ｺﾝﾆﾁﾊ、 ｹﾞﾝｷﾃﾞｽｶ"), "ja");
    EXPECT_EQ(detectLanguage("ｺﾝﾆﾁﾊ、 ｹﾞﾝｷﾃﾞｽｶ"), "ja");
    // Hangul compatibility letters are not Hangul.
    EXPECT_EQ(detectLanguage("Press ㄱ to continue with the installation of the program now"),
              "en");
    EXPECT_EQ(detectLanguage("1234567890"), "en");
    EXPECT_EQ(detectLanguage("!!! ??? ..."), "en");
}

TEST(LanguageDetector, HanRatioBoundary) {
    // Texts the identifier cannot place, so only the ratio decides.
    const std::string at30 = repeated("一", 30) + repeated("1", 70);
    const std::string at29 = repeated("一", 29) + repeated("1", 71);
    ASSERT_EQ(identifyStatistically(at30), "");
    ASSERT_EQ(identifyStatistically(at29), "");
    EXPECT_EQ(detectLanguage(at30), "zh");
    EXPECT_EQ(detectLanguage(at29), "en");
    // Whitespace does not count towards the total.
    EXPECT_EQ(detectLanguage(repeated("一", 3) + " 1 2 3 4 5 6 7"), "zh");
    // Later Han blocks (extension B here) are not counted: 1 of 8 is below 0.3.
    const std::string extensionB = repeated("\U00020000", 5) + "\u4E00" + "12";
    ASSERT_EQ(identifyStatistically(extensionB), "");
    EXPECT_EQ(detectLanguage(extensionB), "en");
}

TEST(LanguageDetector, OddInputNeverBreaksDetection) {
    const std::string broken = "abc\xff\xfe\xc3 日本\xe6\x97";
    EXPECT_NO_FATAL_FAILURE((void)detectLanguage(broken));
    EXPECT_EQ(detectLanguage("😀😀😀"), "en");
    EXPECT_EQ(detectLanguage(repeated("長い文章を書いています。", 170)), "ja");
    EXPECT_EQ(detectLanguage(std::string("it's\nDon't")), "en");
    // One character the identifier refuses does not silence it for the whole text:
    // kanji-only Japanese stays Japanese instead of falling to the Han ratio.
    for (const std::string refused : {"\x01", "\v", "\x7f", "\u0085", "\uFDD0", "\uFFFE"}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(detectLanguage("日本国憲法第九条" + refused + "東京都庁舎"), "ja");
    }
}

TEST(LanguageDetector, ResolveSwitchesOnlyAutomaticTargets) {
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
    // Comparisons are exact: "JA" is not "ja".
    EXPECT_EQ(resolve(ja, "auto", "JA", false), (ResolvedPair{"auto", "JA", true, false}));
}

TEST(LanguageDetector, Swap) {
    EXPECT_EQ(swap("ja", "en"), (LanguagePair{"en", "ja"}));
    EXPECT_EQ(swap("auto", "ja"), (LanguagePair{"ja", "en"}));
    EXPECT_EQ(swap("auto", "zh"), (LanguagePair{"zh", "ja"}));
}

}  // namespace
}  // namespace vela
