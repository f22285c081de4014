#pragma once
// An image in memory: the pixels a screen source captured or an image file held.
// Each pixel is one 32-bit word 0x00RRGGBB (cairo's RGB24 layout on this machine), rows top
// to bottom without padding, so the overlay can draw it and the recogniser can read it.
// A value type; thread-safe as a value.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace vela {

struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // width * height words

    bool empty() const { return width <= 0 || height <= 0; }
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }

    // The part of the image inside the pixel rectangle (x, y from the top-left corner),
    // clipped to the image; empty when nothing of it lies inside.
    PixelImage cropped(int x, int y, int w, int h) const;
};

// Reads a PNG, JPEG, TIFF, BMP, GIF or WebP file; none when it cannot be read.
std::optional<PixelImage> readImageFile(const std::filesystem::path& path);

}  // namespace vela
