#include "core/capture/PixelImage.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <memory>

namespace vela {

PixelImage PixelImage::cropped(int x, int y, int w, int h) const {
    const int x0 = std::clamp(x, 0, std::max(width, 0));
    const int y0 = std::clamp(y, 0, std::max(height, 0));
    const int x1 = std::clamp(x + std::max(w, 0), x0, std::max(width, 0));
    const int y1 = std::clamp(y + std::max(h, 0), y0, std::max(height, 0));
    PixelImage out;
    if (x1 <= x0 || y1 <= y0)
        return out;
    out.width = x1 - x0;
    out.height = y1 - y0;
    out.pixels.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int row = y0; row < y1; ++row) {
        const auto begin = pixels.begin() + static_cast<std::ptrdiff_t>(row) * width + x0;
        out.pixels.insert(out.pixels.end(), begin, begin + out.width);
    }
    return out;
}

std::optional<PixelImage> readImageFile(const std::filesystem::path& path) {
    const auto destroy = [](PIX* p) { pixDestroy(&p); };
    std::unique_ptr<PIX, decltype(destroy)> raw(pixRead(path.c_str()), destroy);
    if (!raw)
        return std::nullopt;
    std::unique_ptr<PIX, decltype(destroy)> rgb(pixConvertTo32(raw.get()), destroy);
    if (!rgb)
        return std::nullopt;
    PixelImage image;
    image.width = static_cast<int>(pixGetWidth(rgb.get()));
    image.height = static_cast<int>(pixGetHeight(rgb.get()));
    image.pixels.resize(static_cast<std::size_t>(image.width) *
                        static_cast<std::size_t>(image.height));
    const l_uint32* data = pixGetData(rgb.get());
    const int wpl = pixGetWpl(rgb.get());
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            // Leptonica keeps 0xRRGGBBAA words.
            image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                         static_cast<std::size_t>(x)] = data[y * wpl + x] >> 8;
        }
    }
    return image;
}

}  // namespace vela
