// Reading 24-bit BMP files into an RGB image, for file scenes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace midsim {

// Pixels top row first, three bytes per pixel in the order red, green, blue.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Loads an uncompressed 24-bit BMP (bottom-up or top-down). On failure returns
// null and describes the problem in `error`.
std::shared_ptr<const RgbImage> loadBmp24(const std::string &path, std::string &error);

} // namespace midsim
