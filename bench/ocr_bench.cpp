// Recognition latency and accuracy on rendered paragraphs (900 x 220 pixels) in the four
// languages: warm engines, the cold first call, the four-pass worst case on an image without
// text, the plain `tesseract` command on the same images, and the effect of upscaling small
// text. Images are drawn with ImageMagick at start-up; character error rates are reported as
// counters ("cer", 0.01 = 1 %).
// The evaluation set drawn by bench/ocr_eval_set.sh (mixed-language screens, one language
// at 11-40 px, dark themes, tall pages, lists, paragraphs) is reported image by image
// ("eval/..."): Vela's CER and time beside those of the `tesseract` command with all four
// languages ("cli_cer", "cli_ms").
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/capture/PixelImage.h"
#include "core/capture/TextProcessor.h"
#include "core/capture/VisionOCRService.h"
#include "core/support/UnicodeText.h"

namespace {

namespace fs = std::filesystem;
using namespace vela;

struct Paragraph {
    std::string name;
    std::string font;
    std::string code;  // Tesseract language
    std::vector<std::string> lines;
};

const std::vector<Paragraph>& paragraphs() {
    static const std::vector<Paragraph> all{
        {"en",
         "DejaVu-Sans",
         "eng",
         {"Small habits repeated every day add up to", "remarkable results over months and years,",
          "so start with something easy and keep going."}},
        {"ja",
         "Noto-Sans-CJK-JP",
         "jpn",
         {"春になると川沿いの桜並木には多くの人が集まり",
          "家族や友人と一緒にお弁当を広げて花見を楽しみ",
          "ます。夜にはライトアップも行われます。"}},
        {"zh",
         "Noto-Sans-CJK-SC",
         "chi_sim",
         {"春天到了，河边的樱花树下聚集了很多人，大家", "和家人朋友一起野餐赏花。晚上还有灯光表演",
          "吸引了许多游客前来参观。"}},
        {"ko",
         "Noto-Sans-CJK-KR",
         "kor",
         {"봄이 되면 강가의 벚꽃길에는 많은 사람들이", "모여 가족이나 친구와 함께 도시락을 먹으며",
          "꽃구경을 즐깁니다."}},
    };
    return all;
}

int run(const std::vector<std::string>& argv, bool quiet) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path workFolder() {
    static const fs::path folder = [] {
        fs::path p = fs::temp_directory_path() / ("vela-ocr-bench-" + std::to_string(getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

fs::path render(const Paragraph& p, int pointSize) {
    const fs::path out = workFolder() / (p.name + "-" + std::to_string(pointSize) + ".png");
    if (!fs::exists(out)) {
        std::string text;
        for (const auto& line : p.lines)
            text += (text.empty() ? "" : "\n") + line;
        run({"convert", "-background", "white", "-fill", "black", "-font", p.font, "-pointsize",
             std::to_string(pointSize), "label:" + text, "-bordercolor", "white", "-border", "20",
             "-gravity", "northwest", "-extent", "900x220", out.string()},
            false);
    }
    return out;
}

PixelImage load(const fs::path& path) {
    return readImageFile(path).value_or(PixelImage{});
}

std::string expected(const Paragraph& p) {
    std::string text;
    for (const auto& line : p.lines)
        text += (text.empty() ? "" : "\n") + line;
    return TextProcessor::smartMergeParagraphLines(text);
}

double cer(const std::string& reference, const std::string& actual) {
    const std::u32string a = toScalars(reference), b = toScalars(actual);
    std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        prev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
        }
        std::swap(prev, cur);
    }
    return a.empty() ? 0.0 : static_cast<double>(prev[b.size()]) / static_cast<double>(a.size());
}

class NoScreen : public ScreenSource {
  public:
    bool preflightAccess() override { return false; }
    bool requestAccess() override { return false; }
    bool hasScreen() override { return false; }
    std::optional<PixelImage> capture(const Rect&, std::uint32_t) override { return std::nullopt; }
};

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double commandMs(const fs::path& image, const std::string& languages) {
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run({"tesseract", image.string(), "-", "-l", languages}, true);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return medianMs(times);
}

// Warm engines: the shared recogniser has read the image once before timing starts.
void warm(benchmark::State& state, const Paragraph& p) {
    NoScreen screen;
    VisionOCRService service(screen);
    const fs::path path = render(p, 24);
    const PixelImage image = load(path);
    std::string text = TextProcessor::smartMergeParagraphLines(service.recognizeText(image));
    for (auto _ : state) {
        text = TextProcessor::smartMergeParagraphLines(service.recognizeText(image));
        benchmark::DoNotOptimize(text);
    }
    state.counters["cer"] = cer(expected(p), text);
    const double cliOne = commandMs(path, p.code);
    state.counters["cli_one_language_ms"] = cliOne;
    state.counters["cli_four_languages_ms"] = commandMs(path, "jpn+eng+chi_sim+kor");
    state.counters["upscale"] = TextRecognizer::shared().upscaleFactorFor(image);
    state.SetLabel(text.substr(0, 60));
}

// One pass with the paragraph's own language and no script detection: what the detection
// step costs on top.
void knownLanguage(benchmark::State& state, const Paragraph& p) {
    const PixelImage image = load(render(p, 24));
    const std::map<std::string, std::string> tags{
        {"eng", "en-US"}, {"jpn", "ja-JP"}, {"chi_sim", "zh-Hans"}, {"kor", "ko-KR"}};
    const RecognitionRequest request{{tags.at(p.code)}, false, true};
    (void)TextRecognizer::shared().recognize(image, request);
    for (auto _ : state)
        benchmark::DoNotOptimize(TextRecognizer::shared().recognize(image, request));
}

// The same with Tesseract's OpenMP worker threads allowed.
void knownLanguageParallel(benchmark::State& state, const Paragraph& p) {
    TextRecognizer::Options options;
    options.parallelRecognition = true;
    TextRecognizer recognizer(options);
    const PixelImage image = load(render(p, 24));
    const std::map<std::string, std::string> tags{
        {"eng", "en-US"}, {"jpn", "ja-JP"}, {"chi_sim", "zh-Hans"}, {"kor", "ko-KR"}};
    const RecognitionRequest request{{tags.at(p.code)}, false, true};
    (void)recognizer.recognize(image, request);
    for (auto _ : state)
        benchmark::DoNotOptimize(recognizer.recognize(image, request));
}

// The same pass on a fresh worker thread each time, as the application runs a capture.
void knownLanguageOnWorker(benchmark::State& state, const Paragraph& p) {
    const PixelImage image = load(render(p, 24));
    const std::map<std::string, std::string> tags{
        {"eng", "en-US"}, {"jpn", "ja-JP"}, {"chi_sim", "zh-Hans"}, {"kor", "ko-KR"}};
    const RecognitionRequest request{{tags.at(p.code)}, false, true};
    (void)TextRecognizer::shared().recognize(image, request);
    for (auto _ : state) {
        std::thread worker(
            [&] { benchmark::DoNotOptimize(TextRecognizer::shared().recognize(image, request)); });
        worker.join();
    }
}

// The first call of a fresh process: engines are created inside the timed call.
void cold(benchmark::State& state, const Paragraph& p) {
    NoScreen screen;
    const PixelImage image = load(render(p, 24));
    std::optional<TextRecognizer> fresh;
    for (auto _ : state) {
        state.PauseTiming();
        fresh.reset();  // the previous engines go away outside the timing
        state.ResumeTiming();
        fresh.emplace();
        VisionOCRService service(screen, *fresh);
        benchmark::DoNotOptimize(service.recognizeText(image));
    }
}

void emptyImage(benchmark::State& state) {
    NoScreen screen;
    VisionOCRService service(screen);
    PixelImage white;
    white.width = 900;
    white.height = 220;
    white.pixels.assign(900 * 220, 0xFFFFFF);
    (void)service.recognizeText(white);
    for (auto _ : state)
        benchmark::DoNotOptimize(service.recognizeText(white));
}

// Small text with and without scaling up; arg 0 = off, else the small-text threshold.
void smallText(benchmark::State& state, const Paragraph& p, int pointSize, double threshold,
               double target) {
    TextRecognizer::Options options;
    options.upscaleSmallText = threshold > 0;
    options.smallTextHeight = threshold;
    options.targetTextHeight = target;
    TextRecognizer recognizer(options);
    NoScreen screen;
    VisionOCRService service(screen, recognizer);
    const PixelImage image = load(render(p, pointSize));
    std::string text = TextProcessor::smartMergeParagraphLines(service.recognizeText(image));
    for (auto _ : state) {
        text = TextProcessor::smartMergeParagraphLines(service.recognizeText(image));
        benchmark::DoNotOptimize(text);
    }
    state.counters["cer"] = cer(expected(p), text);
    state.counters["upscale"] = recognizer.upscaleFactorFor(image);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The standard output of the command line, "" when it fails.
std::string outputOf(const std::string& commandLine) {
    std::string out;
    if (FILE* pipe = popen(commandLine.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// One image of the evaluation set: Vela with warm engines against the four-language command.
void evaluate(benchmark::State& state, const fs::path& image) {
    NoScreen screen;
    VisionOCRService service(screen);
    const PixelImage pixels = load(image);
    const std::string expected = readFile(fs::path(image).replace_extension(".txt"));
    std::string text = TextProcessor::smartMergeParagraphLines(service.recognizeText(pixels));
    for (auto _ : state) {
        text = TextProcessor::smartMergeParagraphLines(service.recognizeText(pixels));
        benchmark::DoNotOptimize(text);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string command = TextProcessor::smartMergeParagraphLines(
        outputOf("tesseract '" + image.string() + "' - -l jpn+eng+chi_sim+kor 2>/dev/null"));
    state.counters["cli_ms"] = msSince(start);
    state.counters["cer"] = cer(expected, text);
    state.counters["cli_cer"] = cer(expected, command);
}

void registerEvaluationSet() {
    const fs::path folder = workFolder() / "eval";
    run({VELA_SOURCE_DIR "/bench/ocr_eval_set.sh", folder.string()}, false);
    std::vector<fs::path> images;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".png")
            images.push_back(entry.path());
    }
    std::sort(images.begin(), images.end());
    for (const auto& image : images) {
        benchmark::RegisterBenchmark(("eval/" + image.stem().string()).c_str(),
                                     [image](benchmark::State& s) { evaluate(s, image); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
    }
}

// The paragraph merge of a long capture: one paragraph of wrapped lines; the time grows
// linearly with the number of lines.
void mergeLines(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < state.range(0); ++i)
        text += "Line " + std::to_string(i) + " of a long wrapped text 日本語の文\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(TextProcessor::smartMergeParagraphLines(text));
}

using ParagraphBenchmark = void (*)(benchmark::State&, const Paragraph&);

// One benchmark per paragraph, timed in wall-clock milliseconds.
void registerPerParagraph(const std::string& name, ParagraphBenchmark run, int iterations,
                          int repetitions) {
    for (const auto& p : paragraphs()) {
        benchmark::RegisterBenchmark((name + "/" + p.name).c_str(),
                                     [&p, run](benchmark::State& s) { run(s, p); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations)
            ->Repetitions(repetitions)
            ->ReportAggregatesOnly(true)
            ->UseRealTime();
    }
}

const bool registered = [] {
    registerEvaluationSet();
    benchmark::RegisterBenchmark("merge_lines", mergeLines)
        ->Arg(1000)
        ->Arg(10000)
        ->Unit(benchmark::kMillisecond);
    registerPerParagraph("warm", warm, 3, 5);
    registerPerParagraph("known_language", knownLanguage, 3, 5);
    registerPerParagraph("known_language_openmp", knownLanguageParallel, 3, 5);
    registerPerParagraph("known_language_worker_thread", knownLanguageOnWorker, 3, 5);
    registerPerParagraph("cold", cold, 1, 3);
    benchmark::RegisterBenchmark("empty_image_four_passes", emptyImage)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
    struct Policy {
        const char* name;
        double threshold, target;
    };
    static const Policy policies[] = {
        {"off", 0, 0}, {"below20to32", 20, 32}, {"below30to40", 30, 40}, {"below30to48", 30, 48}};
    for (int size : {12, 15, 18, 24}) {
        for (const auto& p : paragraphs()) {
            for (const auto& policy : policies) {
                benchmark::RegisterBenchmark(
                    ("small/" + p.name + "/" + std::to_string(size) + "px/" + policy.name).c_str(),
                    [&p, size, policy](benchmark::State& s) {
                        smallText(s, p, size, policy.threshold, policy.target);
                    })
                    ->Unit(benchmark::kMillisecond)
                    ->Iterations(2)
                    ->UseRealTime();
            }
        }
    }
    return true;
}();

}  // namespace
