// Reading 24-bit BMP files into an RGB image, for file scenes.
#include "sim/midlib/bmp_file.h"

#include <fstream>
#include <iterator>

namespace midsim {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kMaxSide = 16384;

std::uint32_t readU32(const std::vector<std::uint8_t> &data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
           static_cast<std::uint32_t>(data[at + 2]) << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
}

std::uint16_t readU16(const std::vector<std::uint8_t> &data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

} // namespace

std::shared_ptr<const RgbImage> loadBmp24(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the file";
        return nullptr;
    }
    const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (data.size() < kFileHeaderSize + kInfoHeaderSize || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file";
        return nullptr;
    }
    const std::uint32_t pixelOffset = readU32(data, 10);
    const std::uint32_t infoSize = readU32(data, 14);
    const auto width = static_cast<std::int32_t>(readU32(data, 18));
    const auto rawHeight = static_cast<std::int32_t>(readU32(data, 22));
    const std::uint16_t bitCount = readU16(data, 28);
    const std::uint32_t compression = readU32(data, 30);
    if (infoSize < kInfoHeaderSize || bitCount != 24 || compression != 0) {
        error = "not an uncompressed 24-bit BMP";
        return nullptr;
    }
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        error = "unsupported image size";
        return nullptr;
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (pixelOffset > data.size() || data.size() - pixelOffset < stride * static_cast<std::size_t>(height)) {
        error = "the file is truncated";
        return nullptr;
    }
    // Not make_shared: its type tag would become an exported unique symbol.
    std::shared_ptr<RgbImage> image(new RgbImage);
    image->width = width;
    image->height = height;
    image->pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        const std::size_t fileRow = topDown ? static_cast<std::size_t>(y) : static_cast<std::size_t>(height - 1 - y);
        const std::uint8_t *src = data.data() + pixelOffset + fileRow * stride;
        std::uint8_t *dst = image->pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            dst[3 * x + 0] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x + 0];
        }
    }
    return image;
}

} // namespace midsim
