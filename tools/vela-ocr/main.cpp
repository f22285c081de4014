// vela-ocr IMAGE: recognises the text of an image file the way a screenshot capture does
// (the same passes, reading order and paragraph merge) and prints the merged text.
// Exit status: 0 with text, 1 when nothing was recognised, 2 on a usage or file error.
#include <cstdio>
#include <optional>
#include <string>

#include "core/capture/PixelImage.h"
#include "core/capture/TextProcessor.h"
#include "core/capture/VisionOCRService.h"

namespace {

// Image files need no screen: this source never captures.
class NoScreen : public vela::ScreenSource {
  public:
    bool preflightAccess() override { return false; }
    bool requestAccess() override { return false; }
    bool hasScreen() override { return false; }
    std::optional<vela::PixelImage> capture(const vela::Rect&, std::uint32_t) override {
        return std::nullopt;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(stderr, "usage: vela-ocr IMAGE\n");
        return 2;
    }
    const auto image = vela::readImageFile(argv[1]);
    if (!image) {
        std::fprintf(stderr, "vela-ocr: cannot read image %s\n", argv[1]);
        return 2;
    }
    NoScreen noScreen;
    vela::VisionOCRService service(noScreen);
    const std::string text =
        vela::TextProcessor::smartMergeParagraphLines(service.recognizeText(*image));
    if (text.empty())
        return 1;
    std::printf("%s\n", text.c_str());
    return 0;
}
