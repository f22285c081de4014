#include "core/capture/TextRecognizer.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "core/support/UnicodeText.h"

namespace vela {
namespace {

struct PixDeleter {
    void operator()(PIX* p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

struct TextDeleter {
    void operator()(char* p) const { delete[] p; }
};
using TesseractText = std::unique_ptr<char, TextDeleter>;

constexpr std::string_view kScriptDetectionModel = "osd";
constexpr double kMaxUpscale = 4;
// Keeps a huge selection from turning into a huge upscaled image.
constexpr double kMaxUpscaledPixels = 16e6;

std::uint8_t greyOf(std::uint32_t rgb) {
    const std::uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114) / 1000);
}

// The most common grey level (in steps of 16), taken as the background.
int backgroundGrey(const PixelImage& image) {
    std::array<std::size_t, 16> histogram{};
    for (std::uint32_t p : image.pixels)
        ++histogram[greyOf(p) >> 4];
    const auto top = std::max_element(histogram.begin(), histogram.end()) - histogram.begin();
    return static_cast<int>(top) * 16 + 8;
}

// Grey image with dark text on a light ground: light text on a dark ground (dark themes)
// is inverted here once, instead of Tesseract retrying every doubtful line inverted.
PixPtr greyPix(const PixelImage& image) {
    PixPtr pix(pixCreate(image.width, image.height, 8));
    if (!pix)
        return nullptr;
    const bool invert = backgroundGrey(image) < 128;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t g = greyOf(image.at(x, y));
            pixSetPixel(pix.get(), x, y, invert ? 255 - g : g);
        }
    }
    return pix;
}

// Median height of the horizontal bands that hold ink, a cheap stand-in for the line
// height of single-column text (columns whose lines are offset merge into taller bands,
// which only makes the estimate err towards not scaling). 0 when there is no ink.
double medianInkBandHeight(const PixelImage& image) {
    if (image.empty())
        return 0;
    const int background = backgroundGrey(image);
    std::vector<int> bands;
    int run = 0;
    for (int y = 0; y <= image.height; ++y) {
        bool ink = false;
        if (y < image.height) {
            for (int x = 0; x < image.width && !ink; ++x) {
                ink = std::abs(static_cast<int>(greyOf(image.at(x, y))) - background) > 80;
            }
        }
        if (ink) {
            ++run;
        } else {
            if (run >= 4)
                bands.push_back(run);  // thinner bands are rules and specks
            run = 0;
        }
    }
    if (bands.empty())
        return 0;
    std::nth_element(bands.begin(), bands.begin() + static_cast<std::ptrdiff_t>(bands.size() / 2),
                     bands.end());
    return bands[bands.size() / 2];
}

// Tesseract runs parts of its networks in OpenMP parallel regions. Capping the active
// nesting levels at 0 makes every region run on the calling thread alone. Looked up at run
// time: the OpenMP runtime comes with Tesseract and the core does not link it itself.
// The setting belongs to the calling thread, so every recognising thread makes it.
void allowOpenMpThreads(bool allow) {
    using SetLevels = void (*)(int);
    static const auto set =
        reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (set)
        set(allow ? 1 : 0);
}

std::optional<std::string> languageForScript(std::string_view script) {
    if (script == "Japanese" || script == "Hiragana" || script == "Katakana")
        return "jpn";
    if (script == "Han")
        return "chi_sim";
    if (script == "Korean" || script == "Hangul")
        return "kor";
    if (script == "Latin")
        return "eng";
    return std::nullopt;
}

// The language whose script dominates recognised text: Hangul means Korean, any kana
// Japanese, ideographs alone Chinese, anything else English.
std::string languageOfScript(std::string_view text) {
    std::size_t hangul = 0, kana = 0, han = 0;
    for (char32_t c : toScalars(text)) {
        if ((c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x1100 && c <= 0x11FF) ||
            (c >= 0x3130 && c <= 0x318F)) {
            ++hangul;
        } else if (c >= 0x3040 && c <= 0x30FF) {
            ++kana;
        } else if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF)) {
            ++han;
        }
    }
    if (hangul > 0 && hangul >= kana + han)
        return "kor";
    if (kana > 0)
        return "jpn";
    if (han > 0)
        return "chi_sim";
    return "eng";
}

bool isWideScalar(char32_t c) {
    return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Tesseract's CJK models sometimes put spaces between ideographs; printed Japanese and
// Chinese have none, so a space between two wide characters is dropped.
std::string withoutSpacesBetweenWideCharacters(std::string_view text) {
    const std::u32string in = toScalars(text);
    std::u32string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == U' ' && !out.empty() && isWideScalar(out.back())) {
            std::size_t next = i;
            while (next < in.size() && in[next] == U' ')
                ++next;
            if (next < in.size() && isWideScalar(in[next])) {
                i = next - 1;
                continue;
            }
        }
        out.push_back(in[i]);
    }
    return fromScalars(out);
}

std::string lineText(const char* raw) {
    std::string text = raw ? raw : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return withoutSpacesBetweenWideCharacters(text);
}

}  // namespace

struct TextRecognizer::Engine {
    std::mutex mutex;  // one pass at a time
    bool initialised = false;
    bool usable = false;
    tesseract::TessBaseAPI api;
};

std::optional<std::string> tesseractLanguageCode(std::string_view language) {
    if (language == "ja-JP")
        return "jpn";
    if (language == "en-US")
        return "eng";
    if (language == "zh-Hans")
        return "chi_sim";
    if (language == "ko-KR")
        return "kor";
    return std::nullopt;
}

TextRecognizer::TextRecognizer() : TextRecognizer(Options{}) {}
TextRecognizer::TextRecognizer(Options options) : options_(std::move(options)) {}
TextRecognizer::~TextRecognizer() {
    engines_.clear();
    // Tesseract keeps dictionaries in a process-wide cache beyond the engines' lives; drop
    // the ones no engine uses any more.
    tesseract::TessBaseAPI::ClearPersistentCache();
}

TextRecognizer& TextRecognizer::shared() {
    static TextRecognizer& instance = []() -> TextRecognizer& {
        // Touching Tesseract's dictionary cache first makes it outlive this instance at exit,
        // so the engines can hand their dictionaries back before the cache goes.
        tesseract::TessBaseAPI::ClearPersistentCache();
        static TextRecognizer recognizer;
        return recognizer;
    }();
    return instance;
}

std::size_t TextRecognizer::engineCount() const {
    std::lock_guard lock(enginesMutex_);
    return engines_.size();
}

void TextRecognizer::releaseEngines() {
    std::lock_guard lock(enginesMutex_);
    std::erase_if(engines_, [](const auto& entry) {
        // A pass holds its engine's lock for as long as it uses the engine.
        if (!entry.second->mutex.try_lock())
            return false;
        entry.second->mutex.unlock();
        return true;
    });
    tesseract::TessBaseAPI::ClearPersistentCache();
}

TextRecognizer::Engine* TextRecognizer::engineFor(const std::string& languages,
                                                  bool languageCorrection) {
    Engine* engine = nullptr;
    {
        std::lock_guard lock(enginesMutex_);
        auto& slot = engines_[languages + (languageCorrection ? "" : "#plain")];
        if (!slot)
            slot = std::make_unique<Engine>();
        engine = slot.get();
    }
    std::lock_guard lock(engine->mutex);
    if (!engine->initialised) {
        engine->initialised = true;
        const bool osd = languages == kScriptDetectionModel;
        // No progress chatter on stderr; no second, inverted reading of doubtful lines
        // (images arrive dark-on-light already).
        std::vector<std::string> names{"debug_file", "tessedit_do_invert"};
        std::vector<std::string> values{"/dev/null", "0"};
        if (!languageCorrection) {
            names.insert(names.end(), {"load_system_dawg", "load_freq_dawg"});
            values.insert(values.end(), {"0", "0"});
        }
        const std::string dataPath = options_.dataPath.string();
        engine->usable =
            engine->api.Init(dataPath.empty() ? nullptr : dataPath.c_str(), languages.c_str(),
                             osd ? tesseract::OEM_TESSERACT_ONLY : tesseract::OEM_LSTM_ONLY,
                             nullptr, 0, &names, &values, false) == 0;
        if (engine->usable) {
            engine->api.SetVariable("debug_file", "/dev/null");
            engine->api.SetVariable("tessedit_do_invert", "0");
            engine->api.SetPageSegMode(osd ? tesseract::PSM_OSD_ONLY : tesseract::PSM_AUTO);
        }
    }
    return engine->usable ? engine : nullptr;
}

double TextRecognizer::upscaleFactorFor(const PixelImage& image) const {
    if (!options_.upscaleSmallText || image.empty())
        return 1;
    const double band = medianInkBandHeight(image);
    if (band <= 0 || band >= options_.smallTextHeight)
        return 1;
    double factor = std::min(kMaxUpscale, options_.targetTextHeight / band);
    const double pixels = static_cast<double>(image.width) * image.height;
    factor = std::min(factor, std::sqrt(kMaxUpscaledPixels / pixels));
    return factor > 1.05 ? factor : 1;
}

std::optional<std::vector<RecognizedLine>> TextRecognizer::recognize(
    const PixelImage& image, const RecognitionRequest& request) {
    std::vector<std::string> codes;
    for (const auto& language : request.recognitionLanguages) {
        auto code = tesseractLanguageCode(language);
        if (code && std::find(codes.begin(), codes.end(), *code) == codes.end()) {
            codes.push_back(*code);
        }
    }
    if (codes.empty())
        return std::nullopt;
    if (image.empty())
        return std::vector<RecognizedLine>{};
    allowOpenMpThreads(options_.parallelRecognition);

    PixPtr pix = greyPix(image);
    if (!pix)
        return std::nullopt;
    const double factor = upscaleFactorFor(image);
    if (factor > 1) {
        PixPtr scaled(pixScaleGrayLI(pix.get(), static_cast<l_float32>(factor),
                                     static_cast<l_float32>(factor)));
        if (scaled)
            pix = std::move(scaled);
    }

    std::string languages;
    for (const auto& code : codes)
        languages += (languages.empty() ? "" : "+") + code;
    if (request.automaticallyDetectsLanguage && codes.size() > 1) {
        if (Engine* osd = engineFor(std::string(kScriptDetectionModel), true)) {
            std::lock_guard lock(osd->mutex);
            osd->api.SetImage(pix.get());
            int orientation = 0;
            float orientationConfidence = 0, scriptConfidence = 0;
            const char* script = nullptr;
            if (osd->api.DetectOrientationScript(&orientation, &orientationConfidence, &script,
                                                 &scriptConfidence) &&
                script) {
                auto code = languageForScript(script);
                if (code && std::find(codes.begin(), codes.end(), *code) != codes.end()) {
                    languages = *code;
                }
            }
            osd->api.Clear();
        }
    }

    auto lines = runEngine(engineFor(languages, request.usesLanguageCorrection), pix.get());
    // Script detection fails on little or small text; then all languages ran together and
    // the script of what they read picks the one model to read it again.
    if (lines && !lines->empty() && languages.find('+') != std::string::npos &&
        request.automaticallyDetectsLanguage) {
        std::string all;
        for (const auto& line : *lines) {
            if (!line.candidates.empty())
                all += line.candidates.front();
        }
        const std::string code = languageOfScript(all);
        if (std::find(codes.begin(), codes.end(), code) != codes.end()) {
            auto again = runEngine(engineFor(code, request.usesLanguageCorrection), pix.get());
            if (again && !again->empty())
                lines = std::move(again);
        }
    }
    return lines;
}

std::optional<std::vector<RecognizedLine>> TextRecognizer::runEngine(Engine* engine, PIX* pix) {
    if (!engine)
        return std::nullopt;
    std::lock_guard lock(engine->mutex);
    tesseract::TessBaseAPI& api = engine->api;
    api.SetImage(pix);
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return std::nullopt;
    }
    const double width = pixGetWidth(pix);
    const double height = pixGetHeight(pix);
    std::vector<RecognizedLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_TEXTLINE))
                continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue;
            RecognizedLine line;
            line.boundingBox = Rect(left / width, (height - bottom) / height,
                                    (right - left) / width, (bottom - top) / height);
            TesseractText text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            std::string candidate = lineText(text.get());
            // Tesseract also reports "lines" of specks it read as nothing; they are not text
            // lines, and passing them on would split paragraphs.
            if (trimmed(candidate).empty())
                continue;
            line.candidates.push_back(std::move(candidate));
            lines.push_back(std::move(line));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api.Clear();
    return lines;
}

}  // namespace vela
