#pragma once
// On-device text recognition over Tesseract 5 (LSTM engine).
//
// A pass takes an image and an ordered language list ("ja-JP", "en-US", "zh-Hans",
// "ko-KR") and returns the text lines it found, each with a box normalised to the image
// (0 to 1, origin at the lower-left corner, y upwards) and its best candidate string.
// With automatic language detection on, all listed languages together read one of the
// image's lines to tell its script; that script's language then reads the whole image,
// with English beside it when listed (CJK screens mix in Latin names and labels); where
// that engine reads a Latin word over text that the script's own model reads as CJK, the
// CJK reading wins. Text alone is read as one block of lines; an image with the borders
// of controls goes through the page layout analysis. An image without ink costs no
// recognition.
//
// Engines are expensive (model loading takes hundreds of milliseconds), so each language
// set gets one engine, created lazily on first use and kept until `releaseEngines` or the
// recogniser's end.
// Thread-safety: `recognize` may be called from any thread; an engine serves one pass at a
// time, so concurrent passes needing the same engine wait for each other.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/PixelImage.h"
#include "core/support/Geometry.h"

struct Pix;  // Leptonica

namespace vela {

struct RecognizedLine {
    Rect boundingBox;                     // normalised to the image, origin lower-left
    std::vector<std::string> candidates;  // best first; Tesseract yields at most one
    friend bool operator==(const RecognizedLine&, const RecognizedLine&) = default;
};

struct RecognitionRequest {
    std::vector<std::string> recognitionLanguages;  // ordered, e.g. {"ja-JP", "en-US"}
    bool automaticallyDetectsLanguage = false;
    bool usesLanguageCorrection = true;  // dictionary-guided decoding
};

// "ja-JP" -> "jpn", "en-US" -> "eng", "zh-Hans" -> "chi_sim", "ko-KR" -> "kor"; none otherwise.
std::optional<std::string> tesseractLanguageCode(std::string_view language);

class TextRecognizer {
  public:
    struct Options {
        // Folder holding the *.traineddata files; empty for Tesseract's built-in default.
        std::filesystem::path dataPath;
        // Scale images with small text up before recognising: when the text bands of the
        // image are lower than `smallTextHeight` pixels, the image is scaled so they reach
        // `targetTextHeight` (at most 4 times). Boxes stay normalised to the original image.
        bool upscaleSmallText = true;
        double smallTextHeight = 20;
        double targetTextHeight = 32;
        // Let Tesseract spread one recognition over OpenMP worker threads. Off by default:
        // on a two-core machine with other work running, the workers' hand-offs cost more
        // than they save (see bench/ocr_bench.cpp). The setting is process-wide; the last
        // recogniser created decides it.
        bool parallelRecognition = false;
    };

    TextRecognizer();
    explicit TextRecognizer(Options options);
    ~TextRecognizer();
    TextRecognizer(const TextRecognizer&) = delete;
    TextRecognizer& operator=(const TextRecognizer&) = delete;

    // The process-wide recogniser with default options, created on first use.
    static TextRecognizer& shared();

    // One recognition pass. Lines come in the engine's own order. Fails (none) when no
    // listed language is known or its engine cannot be created (missing model files);
    // an image without text gives an empty list.
    std::optional<std::vector<RecognizedLine>> recognize(const PixelImage& image,
                                                         const RecognitionRequest& request);

    // The factor by which `recognize` scales this image before recognition (1 = none).
    double upscaleFactorFor(const PixelImage& image) const;

    // How many engines exist now (for measuring the lazy creation and the release).
    std::size_t engineCount() const;

    // Destroys every engine that is not in use; the next pass creates them again.
    void releaseEngines();

  private:
    struct Engine;
    // The engine for the language set, created on first use; none when it cannot be.
    std::shared_ptr<Engine> engineFor(const std::string& languages, bool languageCorrection);
    struct PixelBox;
    struct ReadWord;
    struct ReadLine;
    // The Tesseract language whose script the probe image of one line shows, read by all
    // of `codes` ("" for no probe); ideographs without kana go to whichever of Chinese and
    // Japanese reads them more surely.
    std::string scriptOf(const std::vector<std::string>& codes, Pix* probe,
                         bool languageCorrection);
    // The engine's mean confidence over the words of `lines` (0 without words).
    static double meanConfidence(std::span<const ReadLine> lines);
    // The lines and words the engine reads in the prepared image (none: no engine, or it
    // failed).
    // `layout` is Tesseract's page segmentation mode.
    static std::optional<std::vector<ReadLine>> read(Engine* engine, Pix* pix, int layout);
    static std::vector<RecognizedLine> recognizedLines(const std::vector<ReadLine>& lines,
                                                       Pix* pix);
    // A Latin word that the engine joined to a CJK one gets a space back where the image
    // shows one between them.
    static void spaceLatinFromCJK(std::vector<ReadLine>& lines, Pix* pix);
    // A word the English model may have taken over from the CJK one: Latin letters, digits
    // and marks only.
    static bool mayBeTakenOver(const ReadWord& word);
    // Whether `lines` hold a Latin word, or another word that may have been taken over and
    // was read unsurely.
    static bool hasWordTakenOver(const std::vector<ReadLine>& lines);
    // Words of `lines` that may have been taken over, under which `alone` read CJK text,
    // take that text instead.
    static void restoreCJKWords(std::vector<ReadLine>& lines, const std::vector<ReadLine>& alone);

    Options options_;
    mutable std::mutex enginesMutex_;
    std::map<std::string, std::shared_ptr<Engine>> engines_;
};

}  // namespace vela
