// Still files: BMP headers, row packing, the in-place file writer, and the
// banded conversion of a still straight into its file.
#include "imaging/still_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <immintrin.h>

#include "imaging/convert_plan.h"
#include "platform/platform.h"

namespace {

// Packed file rows are written in blocks of about this many bytes: one call
// each, which the stream's own buffering would only copy again.
constexpr std::size_t kBlockBytes = 256 * 1024;

void PutLe(std::uint8_t *at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void BmpHeaders(std::uint8_t (&header)[54], int width, int height) {
    std::memset(header, 0, sizeof header);
    header[0] = 'B';
    header[1] = 'M';
    PutLe(header + 2, static_cast<std::uint32_t>(BmpFileSize(width, height)), 4);
    PutLe(header + 10, 54, 4);
    PutLe(header + 14, 40, 4);
    PutLe(header + 18, static_cast<std::uint32_t>(width), 4);
    PutLe(header + 22, static_cast<std::uint32_t>(height), 4);
    PutLe(header + 26, 1, 2);
    PutLe(header + 28, 24, 2);
}

// The first three bytes of each of `count` 4-byte pixels, packed, for
// processors without byte shuffles: eight pixels at a time through words the compiler keeps in registers (64-bit
// ones where the processor has them; the 32-bit build gets 32-bit words,
// since it would split every 64-bit shift). Little-endian. All eight are
// loaded before any is stored, so `out` may be `in` itself (the output never
// passes the input).
void PackWithWords(const std::uint8_t *in, std::uint8_t *out, std::size_t count) {
    static_assert(std::endian::native == std::endian::little);
    auto load = [](const std::uint8_t *at, auto word) {
        std::memcpy(&word, at, sizeof word);
        return word;
    };
    auto store = [](std::uint8_t *at, auto word) { std::memcpy(at, &word, sizeof word); };
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8, in += 32, out += 24) {
        if constexpr (sizeof(void *) >= 8) {
            auto pair = [&](const std::uint8_t *at) { // two pixels, as their six bytes
                const std::uint64_t q = load(at, std::uint64_t{});
                return (q & 0xFFFFFFu) | ((q >> 8) & 0xFFFFFF000000u);
            };
            const std::uint64_t a = pair(in), b = pair(in + 8), c = pair(in + 16), d = pair(in + 24);
            store(out, a | (b << 48));
            store(out + 8, (b >> 16) | (c << 32));
            store(out + 16, (c >> 32) | (d << 16));
        } else {
            std::uint32_t p[8];
            for (int i = 0; i < 8; ++i) {
                p[i] = load(in + 4 * i, std::uint32_t{});
            }
            for (int half = 0; half < 2; ++half) { // four pixels into three words
                const std::uint32_t *q = p + 4 * half;
                std::uint8_t *at = out + 12 * half;
                store(at, (q[0] & 0xFFFFFFu) | (q[1] << 24));
                store(at + 4, ((q[1] >> 8) & 0xFFFFu) | (q[2] << 16));
                store(at + 8, ((q[2] >> 16) & 0xFFu) | (q[3] << 8));
            }
        }
    }
    for (; k < count; ++k, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

// The vector packers below take whole groups and return how many pixels
// they packed; the rest go through PackWithWords. Each group is loaded
// before anything is stored and ends no later than the next group starts,
// so packing in place is safe.

// Sixteen pixels per byte permute, 48 bytes stored under a mask.
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) std::size_t
PackWithVbmi(const std::uint8_t *in, std::uint8_t *out, std::size_t count) {
    alignas(64) static constexpr auto kIndex = [] {
        std::array<std::uint8_t, 64> index{};
        for (int k = 0; k < 48; ++k) {
            index[std::size_t(k)] = std::uint8_t(4 * (k / 3) + k % 3);
        }
        return index;
    }();
    const __m512i index = _mm512_load_si512(kIndex.data());
    const __mmask64 first48 = 0x0000FFFFFFFFFFFFull;
    std::size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const __m512i pixels = _mm512_loadu_si512(in + 4 * k);
        _mm512_mask_storeu_epi8(out + 3 * k, first48, _mm512_maskz_permutexvar_epi8(first48, index, pixels));
    }
    return k;
}

// Four pixels per shuffle; each 16-byte store runs 4 bytes into the next
// group's place, so the last group is left to the caller.
__attribute__((target("ssse3"))) std::size_t PackWithSsse3(const std::uint8_t *in, std::uint8_t *out,
                                                           std::size_t count) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t k = 0;
    for (; k + 8 <= count; k += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 4 * k));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * k), _mm_shuffle_epi8(pixels, shuffle));
    }
    return k;
}

// Eight pixels packed by a shuffle in each lane (12 bytes at dwords 0 to 2
// and 4 to 6), those six dwords then placed by `place`.
__attribute__((target("avx2"))) inline __m256i PackedGroup(const std::uint8_t *in, __m256i shuffle, __m256i place) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, shuffle), place);
}

// Thirty-two pixels per round into three 32-byte stores that bypass the
// cache, `out` 32-byte aligned: four placed groups blended into whole
// stores. Fenced, so the stores are seen before any that follow.
__attribute__((target("avx2"))) std::size_t PackStreamingWithAvx2(const std::uint8_t *in, std::uint8_t *out,
                                                                  std::size_t count) {
    const __m256i shuffle = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                                             8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    // A group's packed dwords p0..p5, placed for the three stores.
    const __m256i first = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 0);  // p0..p5 at 0..5
    const __m256i second = _mm256_setr_epi32(2, 4, 5, 6, 0, 0, 0, 1); // p2..p5 at 0..3, p0 p1 at 6 7
    const __m256i third = _mm256_setr_epi32(5, 6, 0, 0, 0, 1, 2, 4);  // p4 p5 at 0 1, p0..p3 at 4..7
    const __m256i fourth = _mm256_setr_epi32(0, 0, 0, 1, 2, 4, 5, 6); // p0..p5 at 2..7
    std::size_t k = 0;
    for (; k + 32 <= count; k += 32) {
        const std::uint8_t *at = in + 4 * k;
        const __m256i a = PackedGroup(at, shuffle, first), b = PackedGroup(at + 32, shuffle, second),
                      c = PackedGroup(at + 64, shuffle, third), d = PackedGroup(at + 96, shuffle, fourth);
        __m256i *to = reinterpret_cast<__m256i *>(out + 3 * k);
        _mm256_stream_si256(to, _mm256_blend_epi32(a, b, 0xC0));
        _mm256_stream_si256(to + 1, _mm256_blend_epi32(b, c, 0xF0));
        _mm256_stream_si256(to + 2, _mm256_blend_epi32(c, d, 0xFC));
    }
    _mm_sfence();
    return k;
}

// The first three bytes of each of `count` 4-byte pixels, packed, with the
// widest byte shuffle the converter's kernel level allows.
void PackFirstThreeBytes(const std::uint8_t *in, std::uint8_t *out, std::size_t count) {
    std::size_t done = 0;
    switch (imaging::ActiveKernelLevel()) {
    case imaging::KernelLevel::kAvx512:
        done = PackWithVbmi(in, out, count);
        break;
    case imaging::KernelLevel::kAvx2: // every processor with AVX2 has SSSE3
        done = PackWithSsse3(in, out, count);
        break;
    default:
        break;
    }
    PackWithWords(in + 4 * done, out + 3 * done, count - done);
}

// One raw file row: every sampleStep-th sample of its raw row.
void PackRawRow(const StillFileSource &s, int row, std::uint8_t *out) {
    const std::uint8_t *src = s.pixels + (std::size_t(s.rowOffset) + std::size_t(row) * s.sampleStep) * s.stride +
                              std::size_t(s.columnOffset);
    for (int x = 0; x < s.width; ++x) {
        out[x] = src[std::size_t(x) * s.sampleStep];
    }
}

// Opens the file for writing from its start, keeping an existing file's
// pages; `previousSize` is what it held. A file whose length cannot be told
// (or is past what ftell reports) is replaced the plain way, so nothing of
// it can be left behind.
std::FILE *OpenForOverwrite(const char *path, std::uint64_t &previousSize) {
    previousSize = 0;
    std::FILE *file = std::fopen(path, "r+b");
    if (file == nullptr) {
        return std::fopen(path, "wb");
    }
    long end = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        end = std::ftell(file);
    }
    previousSize = end > 0 ? std::uint64_t(end) : 0;
    if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        previousSize = 0;
        return std::fopen(path, "wb");
    }
    return file;
}

// Packs the converter's bands into BMP rows and hands them to the writer.
class BmpBandSink : public RowBandSink {
public:
    BmpBandSink(StillFileWriter &target, int pixelsPerRow, std::uint8_t *blockRows)
        : writer(target), width(pixelsPerRow), block(blockRows) {}
    void takeRows(const RowBand &band) override {
        const std::size_t inBytes = std::size_t(width) * std::size_t(band.bytesPerPixel);
        for (int r = 0; r < band.count; ++r) {
            PackBmpRow(band.rows + std::size_t(r) * inBytes, width, band.bytesPerPixel == 1, band.layout,
                       block + std::size_t(r) * writer.rowBytes());
        }
        writer.writeRows(band.firstRow, band.count, block);
    }

private:
    StillFileWriter &writer;
    int width;
    std::uint8_t *block;
};

} // namespace

std::uint64_t BmpFileSize(int width, int height) {
    const std::uint64_t rowSize = (3 * std::uint64_t(std::max(0, width)) + 3) & ~std::uint64_t(3);
    return 54 + rowSize * std::uint64_t(std::max(0, height));
}

void PackBmpRow(const std::uint8_t *pixels, int width, bool monochrome, ChannelLayout layout, std::uint8_t *out) {
    const std::size_t count = std::size_t(std::max(0, width));
    std::uint8_t *at = out;
    if (monochrome) {
        for (std::size_t x = 0; x < count; ++x, at += 3) {
            at[0] = at[1] = at[2] = pixels[x];
        }
    } else if (layout.blue == 0 && layout.green == 1 && layout.red == 2) {
        PackFirstThreeBytes(pixels, at, count);
        at += 3 * count;
    } else {
        const std::uint8_t *src = pixels;
        for (std::size_t x = 0; x < count; ++x, at += 3, src += 4) {
            at[0] = src[layout.blue];
            at[1] = src[layout.green];
            at[2] = src[layout.red];
        }
    }
    const std::size_t rowSize = (3 * count + 3) & ~std::size_t(3);
    std::memset(at, 0, rowSize - 3 * count);
}

StillFileWriter::StillFileWriter(const char *path, int width, int height, bool raw) {
    const std::size_t w = std::size_t(std::max(0, width));
    fileRowBytes = raw ? w : (3 * w + 3) & ~std::size_t(3);
    headerBytes = raw ? 0 : 54;
    endOfRows = headerBytes + std::uint64_t(fileRowBytes) * std::uint64_t(std::max(0, height));
    file = OpenForOverwrite(path, previousSize);
    if (file == nullptr) {
        return;
    }
    std::setvbuf(file, nullptr, _IONBF, 0); // rows come in blocks; a stream buffer would only copy them
    ok = true;
    if (!raw) {
        std::uint8_t header[54];
        BmpHeaders(header, width, height);
        ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
        position = sizeof header;
    }
}

StillFileWriter::~StillFileWriter() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

void StillFileWriter::writeRows(int firstRow, int count, const std::uint8_t *rows) {
    if (!ok || count <= 0 || fileRowBytes == 0) {
        return;
    }
    const std::uint64_t at = headerBytes + std::uint64_t(fileRowBytes) * std::uint64_t(firstRow);
    if (at != position) {
        // Still files stay far below 2 GB, the most a long reaches everywhere.
        ok = std::fseek(file, static_cast<long>(at), SEEK_SET) == 0;
    }
    const std::size_t bytes = fileRowBytes * std::size_t(count);
    ok = ok && std::fwrite(rows, 1, bytes, file) == bytes;
    position = at + bytes;
}

bool StillFileWriter::finish() {
    if (file == nullptr) {
        return false;
    }
    if (ok && previousSize > endOfRows) {
        ok = platform::setFileSize(file, endOfRows);
    }
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    return closed && ok;
}

bool WriteStillFile(const char *path, const StillFileSource &source) {
    StillFileWriter writer(path, source.width, source.height, source.raw);
    if (!writer.opened()) {
        return false;
    }
    const int height = std::max(0, source.height);
    const std::size_t rowBytes = writer.rowBytes();
    const int rowsPerBlock = rowBytes == 0 ? 1 : int(std::max<std::size_t>(1, kBlockBytes / rowBytes));
    std::vector<std::uint8_t> block(rowBytes * std::size_t(std::min(rowsPerBlock, std::max(1, height))));
    for (int y = 0; y < height && rowBytes > 0; y += rowsPerBlock) {
        const int rows = std::min(rowsPerBlock, height - y);
        for (int r = 0; r < rows; ++r) {
            std::uint8_t *out = block.data() + std::size_t(r) * rowBytes;
            if (source.raw) {
                PackRawRow(source, y + r, out);
            } else {
                const std::size_t bytesPerPixel = source.monochrome ? 1 : 4;
                PackBmpRow(source.pixels + std::size_t(y + r) * std::size_t(source.stride) * bytesPerPixel,
                           source.width, source.monochrome, source.layout, out);
            }
        }
        writer.writeRows(y, rows, block.data());
    }
    return writer.finish();
}

bool WriteConvertedStill(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw, int width,
                         int height, int rawStride, const char *path) {
    StillFileWriter writer(path, width, height, false);
    if (!writer.opened()) {
        return false;
    }
    // A band of 32-bit rows small enough to stay in the cache while it is
    // packed, and the packed rows of one band.
    const std::size_t pixelRowBytes = 4 * std::size_t(std::max(1, width));
    const int bandRows = int(std::clamp<std::size_t>(kBlockBytes / pixelRowBytes, 1, std::size_t(std::max(1, height))));
    std::unique_ptr<std::uint8_t[]> band(new (std::nothrow) std::uint8_t[pixelRowBytes * std::size_t(bandRows)]());
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[writer.rowBytes() * std::size_t(bandRows)]);
    if (!band || !block) {
        writer.finish();
        return false;
    }
    BmpBandSink sink(writer, width, block.get());
    FrameConverter::convertInBands(engine, settings, raw, width, height, rawStride, band.get(), bandRows, sink);
    return writer.finish();
}

void PackPixels24(std::uint8_t *buffer, int width, int height) {
    PackFirstThreeBytes(buffer, buffer, std::size_t(std::max(0, width)) * std::size_t(std::max(0, height)));
}

void PackPixels24Streaming(const std::uint8_t *pixels, std::size_t count, std::uint8_t *out) {
    if (imaging::ActiveKernelLevel() < imaging::KernelLevel::kAvx2) {
        PackFirstThreeBytes(pixels, out, count);
        return;
    }
    // 3 is invertible modulo 32 (3 x 11 = 33): some head of fewer than 32
    // pixels brings `out` to a 32-byte boundary.
    const std::size_t misalignment = (32 - reinterpret_cast<std::uintptr_t>(out) % 32) % 32;
    const std::size_t head = std::min(count, misalignment * 11 % 32);
    PackFirstThreeBytes(pixels, out, head);
    const std::size_t done = head + PackStreamingWithAvx2(pixels + 4 * head, out + 3 * head, count - head);
    PackFirstThreeBytes(pixels + 4 * done, out + 3 * done, count - done);
}
