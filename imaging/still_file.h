// Still files: 24-bit BMP (bottom-up rows padded to four bytes, after 54
// bytes of headers) and headerless raw files, written over an existing file
// in place; and the packing of 32-bit pixels into 24-bit ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "engine/camera_engine.h"
#include "imaging/frame_converter.h"

// The pixels of a still file and how to read them.
struct StillFileSource {
    const std::uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;                    // elements (pixels or raw samples) per buffer row
    bool raw = false;                  // raw samples: no header, one byte per pixel
    bool monochrome = false;           // 8-bit grey pixels, written three times each
    ChannelLayout layout = kBgrLayout; // byte positions in 32-bit pixels
    int sampleStep = 1;                // raw only: every sampleStep-th sample and row
    int rowOffset = 0;                 // raw only
    int columnOffset = 0;              // raw only
};

// Writes a 24-bit BMP (or raw) file. False when it cannot be opened or
// written completely: a short write (a full disk) is no good still.
bool WriteStillFile(const char *path, const StillFileSource &source);

// Converts the frame with the given settings (the caller sets the still's
// flip, mode and convertingStill) a band of rows at a time and writes it as
// a 24-bit BMP, without a picture of the full size. False as WriteStillFile,
// and when the band cannot be allocated.
bool WriteConvertedStill(CameraEngine &engine, const ConversionSettings &settings, std::uint8_t *raw, int width,
                         int height, int rawStride, const char *path);

// Size of the BMP file of a width x height still (54-byte headers + rows).
std::uint64_t BmpFileSize(int width, int height);

// Packs width x height 32-bit pixels into 24-bit pixels in place.
void PackPixels24(std::uint8_t *buffer, int width, int height);
// Packs `count` 32-bit pixels into 24-bit pixels at `out` (3 x count bytes;
// nothing after them is written), for a picture too large for the cache:
// where the processor has AVX2, whole 32-byte lines of `out` are written past
// the cache (without reading what they held) and fenced before it returns.
// `out` must not overlap `pixels`.
void PackPixels24Streaming(const std::uint8_t *pixels, std::size_t count, std::uint8_t *out);

// Writes one still file: the BMP headers (none for a raw file), then blocks
// of file rows in any order, each at its place. An existing file is written
// over in place and cut to its new length at the end: a host saving its
// stills to one path again and again then overwrites pages the system
// already holds, where truncating first makes the file system free and
// allocate every page again (ext4 also starts writing the whole file back on
// close), which costs several times the conversion.
class StillFileWriter {
public:
    StillFileWriter(const char *path, int width, int height, bool raw);
    ~StillFileWriter();
    StillFileWriter(const StillFileWriter &) = delete;
    StillFileWriter &operator=(const StillFileWriter &) = delete;

    bool opened() const { return file != nullptr; }
    // Bytes of one file row: the samples of a raw file, or three bytes per
    // pixel padded to a multiple of four.
    std::size_t rowBytes() const { return fileRowBytes; }
    // File rows firstRow .. firstRow + count - 1 from `rows`, rowBytes() apart.
    void writeRows(int firstRow, int count, const std::uint8_t *rows);
    // Cuts off what an earlier, longer file left and closes the file; true
    // when every byte was written.
    bool finish();

private:
    std::FILE *file = nullptr;
    std::size_t fileRowBytes = 0;
    std::uint64_t headerBytes = 0;
    std::uint64_t endOfRows = 0;    // file size once every row is written
    std::uint64_t previousSize = 0; // what the file held before
    std::uint64_t position = 0;     // where the next write lands
    bool ok = false;
};

// One BMP row from 32-bit pixels in `layout` (or 8-bit grey ones): blue,
// green and red per pixel, then zeros up to a multiple of four bytes.
void PackBmpRow(const std::uint8_t *pixels, int width, bool monochrome, ChannelLayout layout, std::uint8_t *out);
