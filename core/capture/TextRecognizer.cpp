#include "core/capture/TextRecognizer.h"

#include <dlfcn.h>
#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

#include "core/support/EastAsianScript.h"
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

// How far a pixel's grey must lie from the background to count as ink: text bands for
// sizing and probing need clear ink; the check for an image without any text accepts
// faint text too.
constexpr int kClearInk = 80;
constexpr int kFaintInk = 40;

struct Band {
    int top = 0;
    int height = 0;
};

// The horizontal bands of rows that hold ink, top to bottom; bands thinner than 4 rows are
// rules and specks. For single-column text each band is one line; columns whose lines are
// offset merge into taller bands.
std::vector<Band> inkBands(const PixelImage& image, int threshold) {
    std::vector<Band> bands;
    if (image.empty())
        return bands;
    const int background = backgroundGrey(image);
    int run = 0;
    for (int y = 0; y <= image.height; ++y) {
        bool ink = false;
        if (y < image.height) {
            for (int x = 0; x < image.width && !ink; ++x) {
                ink = std::abs(static_cast<int>(greyOf(image.at(x, y))) - background) > threshold;
            }
        }
        if (ink) {
            ++run;
        } else {
            if (run >= 4)
                bands.push_back({y - run, run});
            run = 0;
        }
    }
    return bands;
}

// True when a row of the image holds one unbroken run of ink, even faint, across half its
// width: a border or rule of a window's controls rather than text. A text row breaks between
// glyphs, however dense its strokes (a line of CJK text can be mostly ink).
bool hasRuledRows(const PixelImage& image) {
    const int background = backgroundGrey(image);
    for (int y = 0; y < image.height; ++y) {
        int run = 0;
        for (int x = 0; x < image.width; ++x) {
            run =
                std::abs(static_cast<int>(greyOf(image.at(x, y))) - background) > 16 ? run + 1 : 0;
            if (run * 2 > image.width)
                return true;
        }
    }
    return false;
}

// Median band height, a cheap stand-in for the line height (0 without ink).
double medianBandHeight(const std::vector<Band>& bands) {
    if (bands.empty())
        return 0;
    std::vector<int> heights;
    for (const Band& band : bands)
        heights.push_back(band.height);
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    return *middle;
}

// A short image of one text line (rows `top` to `bottom` of the prepared image) with a
// little space around it: enough text to tell the script at a fraction of a page's cost.
PixPtr lineProbe(PIX* pix, int top, int bottom) {
    const int width = pixGetWidth(pix);
    const int margin = (bottom - top) / 3;
    top = std::max(0, top - margin);
    bottom = std::min(pixGetHeight(pix), bottom + margin);
    const int strip = bottom - top;
    PixPtr probe(strip > 0 ? pixCreate(width, 2 * strip, 8) : nullptr);
    if (!probe)
        return nullptr;
    pixSetAllArbitrary(probe.get(), 255);
    pixRasterop(probe.get(), 0, strip / 2, width, strip, PIX_SRC, pix, 0, top);
    return probe;
}

double upscaleFactor(const TextRecognizer::Options& options, const PixelImage& image,
                     const std::vector<Band>& bands) {
    if (!options.upscaleSmallText || image.empty())
        return 1;
    const double band = medianBandHeight(bands);
    if (band <= 0 || band >= options.smallTextHeight)
        return 1;
    double factor = std::min(kMaxUpscale, options.targetTextHeight / band);
    const double pixels = static_cast<double>(image.width) * image.height;
    factor = std::min(factor, std::sqrt(kMaxUpscaledPixels / pixels));
    return factor > 1.05 ? factor : 1;
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

// The language whose script dominates recognised text: Hangul means Korean, kana among
// the ideographs Japanese (Chinese misread by the Japanese model gains the odd kana, so
// one in ten is needed), ideographs alone Chinese or Japanese (`kIdeographs`: the script
// does not tell them apart), anything else English.
constexpr std::string_view kIdeographs = "chi_sim";
std::string languageOfScript(std::string_view text) {
    std::size_t hangul = 0, kana = 0, han = 0;
    for (char32_t c : toScalars(text)) {
        switch (eastAsianScriptOf(c)) {
            case EastAsianScript::hangul:
            case EastAsianScript::hangulCompatibilityJamo:
                ++hangul;
                break;
            case EastAsianScript::kana:
                ++kana;
                break;
            case EastAsianScript::han:
                ++han;
                break;
            case EastAsianScript::none:
                break;
        }
    }
    if (hangul > 0 && hangul >= kana + han)
        return "kor";
    if (kana > 0 && kana * 10 >= kana + han)
        return "jpn";
    if (han > 0)
        return std::string(kIdeographs);
    return "eng";
}

// Tesseract's name of a language set: "jpn+eng".
std::string joined(const std::vector<std::string>& codes) {
    std::string languages;
    for (const auto& code : codes)
        languages += (languages.empty() ? "" : "+") + code;
    return languages;
}

bool isWideScalar(char32_t c) {
    return isKana(c) || isHan(c) || isCJKPunctuationOrWidthForm(c);
}

// Tesseract's CJK models sometimes put spaces between ideographs; printed Japanese and
// Chinese have none, so a space between two wide characters is dropped. So is a space
// beside full-width punctuation, or between a curly quotation mark and a wide character:
// it is the blank of the mark's own cell ("Preferences （首选项）", "点击 “重置”").
std::string withoutSpacesBetweenWideCharacters(std::string_view text) {
    const std::u32string in = toScalars(text);
    std::u32string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == U' ' && !out.empty()) {
            std::size_t next = i;
            while (next < in.size() && in[next] == U' ')
                ++next;
            const char32_t after = next < in.size() ? in[next] : U' ';
            const auto wideOrQuote = [](char32_t c) {
                return isWideScalar(c) || c == U'“' || c == U'”';
            };
            if ((wideOrQuote(out.back()) && wideOrQuote(after) &&
                 (isWideScalar(out.back()) || isWideScalar(after))) ||
                isCJKPunctuationOrWidthForm(out.back()) || isCJKPunctuationOrWidthForm(after)) {
                i = next - 1;
                continue;
            }
        }
        out.push_back(in[i]);
    }
    return fromScalars(out);
}

// Full-width punctuation fills a whole character cell, and the CJK models read it as the
// ASCII mark with blanks around it ("注意 : 本当ですか ?", "、 (例) です"): a mark set apart
// from the wide character before it is the full-width one, and so is the parenthesis after
// a wide character that closes a full-width one, ends the line or is set apart from the
// wide character after it. ASCII marks follow their word directly ("エラー: ファイル",
// "表示(V)") and stay.
std::string withFullWidthMarks(std::string_view text) {
    std::u32string scalars = toScalars(text);
    const auto at = [&](std::size_t i) { return i < scalars.size() ? scalars[i] : U' '; };
    constexpr std::size_t none = std::u32string::npos;
    std::size_t open = none;       // the last opening parenthesis
    bool openSpaced = false;       // set apart from a wide character before it
    std::size_t quoteOpen = none;  // an opening quotation mark not yet closed
    bool quotesWide = false;       // and followed by a wide character
    // The Chinese model reads "（" as "〈" or "《"; such a bracket closed by a parenthesis
    // was one.
    std::size_t angle = none;
    for (std::size_t i = 0; i < scalars.size(); ++i) {
        const char32_t mark = scalars[i];
        std::size_t before = i, after = i + 1;
        while (before > 0 && scalars[before - 1] == U' ')
            --before;
        while (after < scalars.size() && scalars[after] == U' ')
            ++after;
        const bool spacedFromWide = before > 0 && before < i && isWideScalar(scalars[before - 1]);
        bool fullWidth = false;
        if (mark == U'〈' || mark == U'《') {
            angle = i;
        } else if (mark == U'〉' || mark == U'》') {
            angle = none;
        } else if (mark == U'"' || mark == U'“' || mark == U'”') {
            // A pair of quotation marks is of one kind: curly when the model reads one half
            // curly, or when it quotes CJK text ("点击“确定"按钮", "请点击"重置密码"链接");
            // ASCII quotes around Latin words stay.
            if (quoteOpen == none) {
                quoteOpen = i;
                quotesWide = isWideScalar(at(after));
            } else {
                if (scalars[quoteOpen] != U'"' || mark != U'"' ||
                    (quotesWide && before > 0 && isWideScalar(scalars[before - 1]))) {
                    scalars[quoteOpen] = U'“';
                    scalars[i] = U'”';
                }
                quoteOpen = none;
            }
        } else if (mark == U':' || mark == U';' || mark == U'!' || mark == U'?') {
            fullWidth = spacedFromWide && (at(i + 1) == U' ' || isWideScalar(at(i + 1)));
        } else if (mark == U'(') {
            open = i;
            openSpaced = spacedFromWide;
            fullWidth = spacedFromWide && isWideScalar(at(i + 1));
        } else if ((mark == U')' || mark == U'）') && i > 0) {
            if (angle != none)
                scalars[angle] = U'（';
            // A pair is of one kind: the parenthesis that one of its halves shows
            // full-width makes the other full-width too, and so do blanks on both outer
            // sides ("サイト (https://example.com) を").
            const bool openFullWidth = open != none && scalars[open] == U'（';
            const bool spacedOut =
                after == scalars.size() || (after > i + 1 && isWideScalar(at(after)));
            fullWidth =
                mark == U')' &&
                (openFullWidth || angle != none ||
                 (spacedOut && (isWideScalar(scalars[i - 1]) || (open != none && openSpaced))));
            if (open != none && (fullWidth || mark == U'）'))
                scalars[open] = U'（';
            open = angle = none;
        }
        if (fullWidth)
            scalars[i] = mark - U'!' + U'\uFF01';
    }
    return fromScalars(scalars);
}

std::string lineText(const char* raw) {
    std::string text = raw ? raw : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return withoutSpacesBetweenWideCharacters(withFullWidthMarks(text));
}

bool isCJKScalar(char32_t c) {
    return eastAsianScriptOf(c) != EastAsianScript::none;
}

// Text that is mostly CJK, counting ideographic and full-width punctuation: the CJK
// model's reading of a Latin word is mostly digits and symbols around a stray syllable.
bool isMostlyCJK(std::string_view text) {
    const std::u32string scalars = toScalars(text);
    const auto cjk = std::count_if(scalars.begin(), scalars.end(), [](char32_t c) {
        return isCJKScalar(c) || isCJKPunctuationOrWidthForm(c);
    });
    return !scalars.empty() && cjk * 4 >= static_cast<std::ptrdiff_t>(scalars.size()) * 3;
}

// A word in Latin letters (with digits and punctuation) only.
bool isLatinWord(std::string_view text) {
    bool letter = false;
    for (char32_t c : toScalars(text)) {
        if (c >= 0x250)
            return false;
        letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    return letter;
}

}  // namespace

struct TextRecognizer::PixelBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
    // Whether the centre of `o` lies in this box: the CJK model's boxes of single pieces
    // stray, their centres much less.
    bool holdsCentreOf(const PixelBox& o) const {
        return contains((o.left + o.right) / 2, (o.top + o.bottom) / 2);
    }
    bool overlaps(const PixelBox& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

struct TextRecognizer::ReadWord {
    PixelBox box;
    std::string text;
    float confidence = 0;  // the engine's, 0 to 100
};

struct TextRecognizer::ReadLine {
    PixelBox box;
    std::string text;  // as the engine spaces it
    std::vector<ReadWord> words;
};

double TextRecognizer::meanConfidence(std::span<const ReadLine> lines) {
    double sum = 0, words = 0;
    for (const ReadLine& line : lines) {
        for (const ReadWord& word : line.words) {
            sum += word.confidence;
            ++words;
        }
    }
    return words > 0 ? sum / words : 0;
}

// A line read with less confidence than this is in another script than the model's: the
// models read their own script at 75 and more (small text included), and turn other
// scripts' lines into letters at 25 and less.
constexpr double kForeignScriptConfidence = 50;
constexpr double kSureReading = 75;

// A blank between two words at least this part of the line height is a space: glyphs set
// side by side leave far less, a space in a CJK font's Latin about 0.3.
constexpr double kSpaceGap = 0.2;

void TextRecognizer::spaceLatinFromCJK(std::vector<ReadLine>& lines, PIX* pix) {
    const int width = pixGetWidth(pix);
    const int imageHeight = pixGetHeight(pix);
    // The longest run of blank columns of the line's rows between `from` and `to`.
    const auto widestBlank = [&](const PixelBox& line, int from, int to) {
        int run = 0, widest = 0;
        for (int x = std::max(0, from); x < std::min(width, to); ++x) {
            bool ink = false;
            for (int y = std::max(0, line.top); y <= std::min(imageHeight - 1, line.bottom) && !ink;
                 ++y) {
                l_uint32 grey = 255;
                pixGetPixel(pix, x, y, &grey);
                ink = grey < 128;
            }
            run = ink ? 0 : run + 1;
            widest = std::max(widest, run);
        }
        return widest;
    };
    for (ReadLine& line : lines) {
        const int height = line.box.bottom - line.box.top;
        std::size_t cursor = 0;
        const ReadWord* previous = nullptr;
        for (const ReadWord& word : line.words) {
            const std::size_t at = line.text.find(word.text, cursor);
            if (at == std::string::npos)
                break;
            bool spaced = false;
            if (previous && at == cursor && at > 0) {
                const std::u32string before = toScalars(previous->text);
                const std::u32string after = toScalars(word.text);
                const auto isLetter = [](char32_t c) {
                    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9');
                };
                const bool boundary = (isLatinWord(word.text) && isLetter(after.front()) &&
                                       isWideScalar(before.back())) ||
                                      (isLatinWord(previous->text) && isLetter(before.back()) &&
                                       isWideScalar(after.front()));
                const int near = std::min(previous->box.right, word.box.left);
                const int far = std::max(previous->box.right, word.box.left);
                const int run =
                    boundary
                        ? widestBlank(line.box, std::max(previous->box.left, near - height / 2),
                                      std::min(word.box.right, far + height / 2))
                        : 0;
                spaced = boundary && run >= kSpaceGap * height;
            }
            if (spaced)
                line.text.insert(at, " ");
            cursor = at + (spaced ? 1 : 0) + word.text.size();
            previous = &word;
        }
    }
}

bool TextRecognizer::mayBeTakenOver(const ReadWord& word) {
    const std::u32string scalars = toScalars(word.text);
    return std::all_of(scalars.begin(), scalars.end(), [](char32_t c) { return c < 0x250; });
}

bool TextRecognizer::hasWordTakenOver(const std::vector<ReadLine>& lines) {
    for (const ReadLine& line : lines) {
        if (std::any_of(line.words.begin(), line.words.end(), [](const ReadWord& word) {
                return isLatinWord(word.text) ||
                       (mayBeTakenOver(word) && word.confidence < kSureReading);
            }))
            return true;
    }
    return false;
}

void TextRecognizer::restoreCJKWords(std::vector<ReadLine>& lines,
                                     const std::vector<ReadLine>& alone) {
    std::unordered_set<const ReadWord*> used;  // pieces of the CJK reading already in the text
    for (ReadLine& line : lines) {
        // A line the English model took over as a whole ("AA MATRA RH" for a Chinese
        // sentence, digits for a date) comes back whole from the script's own model.
        const auto whole = std::find_if(alone.begin(), alone.end(), [&](const ReadLine& other) {
            return other.box.holdsCentreOf(line.box) && line.box.holdsCentreOf(other.box);
        });
        if (!line.words.empty() && whole != alone.end() &&
            meanConfidence({&line, 1}) < kForeignScriptConfidence &&
            meanConfidence({&*whole, 1}) >= kSureReading) {
            line = *whole;
            continue;
        }
        // Pieces that a CJK word of the line already reads are not restored again, however
        // far their boxes stray ("第 ]段" would become "第第段").
        for (const ReadWord& word : line.words) {
            if (mayBeTakenOver(word))
                continue;
            for (const ReadLine& other : alone) {
                for (const ReadWord& w : other.words) {
                    if (word.box.holdsCentreOf(w.box) &&
                        word.text.find(w.text) != std::string::npos)
                        used.insert(&w);
                }
            }
        }
        std::size_t cursor = 0;                       // words appear in the line's text in order
        std::size_t restoredEnd = std::string::npos;  // of the last word restored
        for (const ReadWord& word : line.words) {
            std::size_t at = line.text.find(word.text, cursor);
            if (at == std::string::npos)
                continue;
            cursor = at + word.text.size();
            if (!mayBeTakenOver(word))
                continue;
            // The CJK model splits its reading into pieces of one word; they join directly.
            // Where it reads Latin over part of the word too, the word is Latin: its boxes
            // of ideographs next to Latin letters can stray into the Latin word.
            std::string own;
            double sureness = 0;
            std::vector<const ReadWord*> pieces;
            bool latinToo = false;
            for (const ReadLine& other : alone) {
                for (const ReadWord& w : other.words) {
                    if (word.box.holdsCentreOf(w.box) && !used.contains(&w)) {
                        pieces.push_back(&w);
                        own += w.text;
                        sureness += w.confidence;
                    } else {
                        latinToo = latinToo || (isLatinWord(w.text) && word.box.overlaps(w.box));
                    }
                }
            }
            // A CJK reading wins when it is mostly CJK, or when it holds CJK characters and
            // is surer (a date the English model read as digits: "2026415128").
            const auto scalars = toScalars(own);
            const bool holdsCJK = std::any_of(scalars.begin(), scalars.end(), isCJKScalar);
            if (!latinToo &&
                (isMostlyCJK(own) ||
                 (holdsCJK && sureness > word.confidence * static_cast<double>(pieces.size())))) {
                used.insert(pieces.begin(), pieces.end());
                // Between two restored words the English model's space goes too: the CJK
                // reading runs on ("2026年5月 20日").
                if (restoredEnd < at && line.text.find_first_not_of(' ', restoredEnd) == at) {
                    line.text.erase(restoredEnd, at - restoredEnd);
                    at = restoredEnd;
                }
                line.text.replace(at, word.text.size(), own);
                cursor = restoredEnd = at + own.size();
            }
        }
    }
}

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

std::shared_ptr<TextRecognizer::Engine> TextRecognizer::engineFor(const std::string& languages,
                                                                  bool languageCorrection) {
    std::shared_ptr<Engine> engine;
    {
        std::lock_guard lock(enginesMutex_);
        auto& slot = engines_[languages + (languageCorrection ? "" : "#plain")];
        if (!slot)
            slot = std::make_shared<Engine>();
        engine = slot;
    }
    std::lock_guard lock(engine->mutex);
    if (!engine->initialised) {
        engine->initialised = true;
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
                             tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) == 0;
        if (engine->usable) {
            engine->api.SetVariable("debug_file", "/dev/null");
            engine->api.SetVariable("tessedit_do_invert", "0");
        }
    }
    return engine->usable ? engine : nullptr;
}

void TextRecognizer::releaseEngines() {
    {
        std::lock_guard lock(enginesMutex_);
        std::erase_if(engines_, [](const auto& entry) { return entry.second.use_count() == 1; });
    }
    // Dictionaries stay in Tesseract's process-wide cache until no engine uses them.
    tesseract::TessBaseAPI::ClearPersistentCache();
}

double TextRecognizer::upscaleFactorFor(const PixelImage& image) const {
    return upscaleFactor(options_, image, inkBands(image, kClearInk));
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
    // Without ink there is no text: no engine needs to look (every pass of a blank
    // selection would otherwise cost a full recognition).
    if (image.empty() || inkBands(image, kFaintInk).empty())
        return std::vector<RecognizedLine>{};
    allowOpenMpThreads(options_.parallelRecognition);

    PixPtr pix = greyPix(image);
    if (!pix)
        return std::nullopt;
    const std::vector<Band> bands = inkBands(image, kClearInk);
    // Text alone (a selection of a page or a dialog's message) reads best as one block of
    // lines: the page layout analysis cuts CJK lines into pieces and reads them apart, and
    // side-by-side columns come out as one line per row, as the reading order wants them.
    // Windows whose controls are drawn with borders and rules need that analysis to find
    // the text inside each control.
    const int layout = hasRuledRows(image) ? tesseract::PSM_AUTO : tesseract::PSM_SINGLE_BLOCK;
    const double factor = upscaleFactor(options_, image, bands);
    if (factor > 1) {
        PixPtr scaled(pixScaleGrayLI(pix.get(), static_cast<l_float32>(factor),
                                     static_cast<l_float32>(factor)));
        if (scaled)
            pix = std::move(scaled);
    }

    const bool correction = request.usesLanguageCorrection;
    if (request.automaticallyDetectsLanguage && codes.size() > 1 && !bands.empty()) {
        // All listed languages read the middle line to tell the script; then the script's
        // own model reads the whole image, with English beside it for the Latin words that
        // CJK screens mix in (names, labels, versions). One engine with all four models reads
        // single-language text worse and slower, and the models of other scripts turn Latin
        // words into ideographs. (Probing a second line made the probe of a Japanese
        // paragraph cost more than reading it.)
        const Band& middle = bands[bands.size() / 2];
        std::string script =
            scriptOf(codes,
                     lineProbe(pix.get(), static_cast<int>(middle.top * factor),
                               static_cast<int>((middle.top + middle.height) * factor))
                         .get(),
                     correction);
        const auto listed = [&](const std::string& code) {
            return std::find(codes.begin(), codes.end(), code) != codes.end();
        };
        const bool hasEnglish = listed("eng");
        const auto withEnglish = [&](const std::string& code) {
            return code == "eng" || !hasEnglish ? code : code + "+eng";
        };
        std::optional<std::vector<ReadLine>> lines;
        if (listed(script)) {
            lines = read(engineFor(withEnglish(script), correction).get(), pix.get(), layout);
            if (!lines)
                return std::nullopt;
            // The middle line may not show the page's script (a Latin heading, a version or a
            // date among CJK lines). Another model turns a line into letters it is unsure of,
            // so the least sure line is probed too, and the surer reading of the two wins.
            // Lines without words (the rules of a window's controls) tell nothing.
            const auto sureness = [](const ReadLine& line) {
                return line.words.empty() ? kSureReading : meanConfidence({&line, 1});
            };
            const auto doubtful = std::min_element(
                lines->begin(), lines->end(),
                [&](const ReadLine& a, const ReadLine& b) { return sureness(a) < sureness(b); });
            if (doubtful != lines->end() && sureness(*doubtful) < kForeignScriptConfidence) {
                const std::string other = scriptOf(
                    codes, lineProbe(pix.get(), doubtful->box.top, doubtful->box.bottom).get(),
                    correction);
                auto again =
                    other != script && listed(other)
                        ? read(engineFor(withEnglish(other), correction).get(), pix.get(), layout)
                        : std::nullopt;
                if (again && meanConfidence(*again) > meanConfidence(*lines)) {
                    lines = std::move(again);
                    script = other;
                }
            }
        }
        if (lines && withEnglish(script) != script) {
            if (hasWordTakenOver(*lines)) {
                // After a Latin word the engine tries English first and keeps misreadings
                // such as "HES" for the Korean word that follows; where the script's own
                // model reads CJK text, that reading wins.
                const auto alone = read(engineFor(script, correction).get(), pix.get(), layout);
                if (alone)
                    restoreCJKWords(*lines, *alone);
            }
            spaceLatinFromCJK(*lines, pix.get());
        }
        if (lines)
            return recognizedLines(*lines, pix.get());
    }
    const auto lines = read(engineFor(joined(codes), correction).get(), pix.get(), layout);
    if (!lines)
        return std::nullopt;
    return recognizedLines(*lines, pix.get());
}

std::string TextRecognizer::scriptOf(const std::vector<std::string>& codes, PIX* probe,
                                     bool languageCorrection) {
    if (!probe)
        return "";
    std::string text;
    // The engine of all languages only probes; one with the dictionaries serves every pass.
    for (const ReadLine& line :
         read(engineFor(joined(codes), true).get(), probe, tesseract::PSM_SINGLE_BLOCK)
             .value_or(std::vector<ReadLine>{}))
        text += line.text;
    std::string script = languageOfScript(text);
    if (script != kIdeographs)
        return script;
    // Ideographs without kana may be Chinese or Japanese (a kanji label, two words in an
    // English sentence); the model that reads them more surely wins. Each model misreads
    // the other's characters with clearly lower confidence.
    double best = -1;
    for (const char* code : {"chi_sim", "jpn"}) {
        if (std::find(codes.begin(), codes.end(), code) == codes.end())
            continue;
        const auto lines =
            read(engineFor(code, languageCorrection).get(), probe, tesseract::PSM_SINGLE_BLOCK);
        for (const ReadLine& line : lines.value_or(std::vector<ReadLine>{})) {
            if (!line.words.empty() && meanConfidence({&line, 1}) > best) {
                best = meanConfidence({&line, 1});
                script = code;
            }
        }
    }
    return script;
}

std::optional<std::vector<TextRecognizer::ReadLine>> TextRecognizer::read(Engine* engine, PIX* pix,
                                                                          int layout) {
    if (!engine)
        return std::nullopt;
    std::lock_guard lock(engine->mutex);
    tesseract::TessBaseAPI& api = engine->api;
    api.SetPageSegMode(static_cast<tesseract::PageSegMode>(layout));
    api.SetImage(pix);
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return std::nullopt;
    }
    std::vector<ReadLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it && !it->Empty(tesseract::RIL_WORD)) {
        do {
            if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || lines.empty()) {
                lines.emplace_back();
                it->BoundingBox(tesseract::RIL_TEXTLINE, &lines.back().box.left,
                                &lines.back().box.top, &lines.back().box.right,
                                &lines.back().box.bottom);
                TesseractText line(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
                lines.back().text = line ? line.get() : "";
            }
            ReadWord word;
            it->BoundingBox(tesseract::RIL_WORD, &word.box.left, &word.box.top, &word.box.right,
                            &word.box.bottom);
            TesseractText text(it->GetUTF8Text(tesseract::RIL_WORD));
            word.text = text ? text.get() : "";
            word.confidence = it->Confidence(tesseract::RIL_WORD);
            if (!trimmed(word.text).empty())
                lines.back().words.push_back(std::move(word));
        } while (it->Next(tesseract::RIL_WORD));
    }
    api.Clear();
    return lines;
}

std::vector<RecognizedLine> TextRecognizer::recognizedLines(const std::vector<ReadLine>& lines,
                                                            PIX* pix) {
    const double width = pixGetWidth(pix);
    const double height = pixGetHeight(pix);
    std::vector<RecognizedLine> out;
    for (const ReadLine& read : lines) {
        std::string text = lineText(read.text.c_str());
        // Tesseract also reports "lines" of specks it read as nothing; they are not text
        // lines, and passing them on would split paragraphs.
        if (trimmed(text).empty())
            continue;
        const PixelBox& b = read.box;
        out.push_back({Rect(b.left / width, (height - b.bottom) / height,
                            (b.right - b.left) / width, (b.bottom - b.top) / height),
                       {std::move(text)}});
    }
    return out;
}

}  // namespace vela
