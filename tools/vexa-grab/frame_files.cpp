// BMP and raw files for vexa-grab.
#include "frame_files.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void PutLe(std::uint8_t *at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Writes everything or reports failure, closing the file either way.
bool Finish(std::FILE *file, bool written) {
    return std::fclose(file) == 0 && written;
}

} // namespace

bool WriteBmp(const std::string &path, const std::uint8_t *pixels, int width, int height) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const std::size_t rowBytes = 3 * std::size_t(width);
    const std::size_t paddedRow = (rowBytes + 3) & ~std::size_t(3);
    std::uint8_t header[54] = {'B', 'M'};
    PutLe(header + 2, static_cast<std::uint32_t>(54 + paddedRow * std::size_t(height)), 4);
    PutLe(header + 10, 54, 4);
    PutLe(header + 14, 40, 4);
    PutLe(header + 18, static_cast<std::uint32_t>(width), 4);
    PutLe(header + 22, static_cast<std::uint32_t>(height), 4); // positive: rows stored bottom-up
    PutLe(header + 26, 1, 2);
    PutLe(header + 28, 24, 2);
    bool written = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    std::vector<std::uint8_t> row(paddedRow, 0);
    for (int y = height - 1; written && y >= 0; --y) {
        std::copy(pixels + std::size_t(y) * rowBytes, pixels + (std::size_t(y) + 1) * rowBytes, row.begin());
        written = std::fwrite(row.data(), 1, paddedRow, file) == paddedRow;
    }
    return Finish(file, written);
}

bool WriteRaw(const std::string &path, const std::uint8_t *samples, int width, int height) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const std::size_t bytes = std::size_t(width) * std::size_t(height);
    return Finish(file, std::fwrite(samples, 1, bytes, file) == bytes);
}
