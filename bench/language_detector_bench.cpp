// Language detection throughput for short and long texts.
#include <benchmark/benchmark.h>

#include <string>

#include "core/translation/LanguageDetector.h"

namespace {

std::string repeatedTo(const std::string& sentence, std::size_t characters) {
    std::string out;
    std::size_t count = 0;
    while (count < characters) {
        for (std::size_t i = 0; i < sentence.size() && count < characters;) {
            const unsigned char c = static_cast<unsigned char>(sentence[i]);
            const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            out.append(sentence, i, len);
            i += len;
            ++count;
        }
    }
    return out;
}

const std::string kEnglish = "The quick brown fox jumps over the lazy dog by the river. ";
const std::string kChinese = "今天天气很好，我们一起去公园散步吧。";
const std::string kJapanese = "今日はとても良い天気ですね。";

void detect(benchmark::State& state, const std::string& text) {
    for (auto _ : state)
        benchmark::DoNotOptimize(vela::LanguageDetector::detectLanguage(text));
    state.SetItemsProcessed(state.iterations());  // texts per second
}

void BM_DetectEnglishShort(benchmark::State& s) {
    detect(s, repeatedTo(kEnglish, 20));
}
void BM_DetectEnglishLong(benchmark::State& s) {
    detect(s, repeatedTo(kEnglish, 2000));
}
void BM_DetectChineseShort(benchmark::State& s) {
    detect(s, repeatedTo(kChinese, 20));
}
void BM_DetectChineseLong(benchmark::State& s) {
    detect(s, repeatedTo(kChinese, 2000));
}
void BM_DetectJapaneseShort(benchmark::State& s) {
    detect(s, repeatedTo(kJapanese, 20));
}
void BM_DetectJapaneseLong(benchmark::State& s) {
    detect(s, repeatedTo(kJapanese, 2000));
}

}  // namespace

BENCHMARK(BM_DetectEnglishShort);
BENCHMARK(BM_DetectEnglishLong);
BENCHMARK(BM_DetectChineseShort);
BENCHMARK(BM_DetectChineseLong);
BENCHMARK(BM_DetectJapaneseShort);
BENCHMARK(BM_DetectJapaneseLong);
