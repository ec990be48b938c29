// Fuzz target: still files. One case writes a still of fuzzed size through
// one of the still paths (a 24-bit BMP from 32-bit pixels in either channel
// order, from 8-bit grey pixels, a raw file sampled with a fuzzed step and
// offsets, or a frame converted straight into its file in bands), over an
// existing file of fuzzed length, into a missing folder or onto a full disk.
// A written BMP is read back by OpenCV's decoder and must equal the picture;
// a raw file must hold exactly the samples; a failed write must say so.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "engine/camera_engine.h"
#include "fuzz_input.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "imaging/still_file.h"

namespace {

enum class Path { kColour, kGrey, kRaw, kConverted };
enum class Target { kFile, kMissingFolder, kFullDisk };

std::vector<std::uint8_t> ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

const std::string &ScratchFile() {
    static const std::string path = [] {
        const std::filesystem::path folder =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        return (folder / ("oriscope-fuzz-still-" + std::to_string(getpid()) + ".bmp")).string();
    }();
    return path;
}

// Checks a BMP against the picture: the decoder shows the last buffer row on
// top, blue, green and red from each pixel's layout positions.
void CheckBmp(const std::string &path, const std::vector<std::uint8_t> &picture, int width, int height,
              int bytesPerPixel, ChannelLayout layout) {
    const std::vector<std::uint8_t> file = ReadFile(path);
    FUZZ_CHECK(file.size() == BmpFileSize(width, height), "%dx%d BMP of %zu bytes, expected %llu", width, height,
               file.size(), static_cast<unsigned long long>(BmpFileSize(width, height)));
    if (width == 0 || height == 0)
        return; // no decoder takes an empty picture; the size says it all
    const cv::Mat decoded = cv::imdecode(cv::Mat(1, int(file.size()), CV_8UC1, const_cast<std::uint8_t *>(file.data())),
                                         cv::IMREAD_UNCHANGED);
    FUZZ_CHECK(!decoded.empty() && decoded.cols == width && decoded.rows == height && decoded.channels() == 3,
               "%dx%d BMP does not decode as such", width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *row = picture.data() + std::size_t(height - 1 - y) * std::size_t(width) * bytesPerPixel;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t *pixel = row + std::size_t(x) * bytesPerPixel;
            const cv::Vec3b got = decoded.at<cv::Vec3b>(y, x);
            const bool grey = bytesPerPixel == 1;
            const std::uint8_t blue = grey ? pixel[0] : pixel[layout.blue];
            const std::uint8_t green = grey ? pixel[0] : pixel[layout.green];
            const std::uint8_t red = grey ? pixel[0] : pixel[layout.red];
            FUZZ_CHECK(got[0] == blue && got[1] == green && got[2] == red, "%dx%d BMP pixel %d,%d", width, height, x,
                       y);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    const auto path = static_cast<Path>(in.Between(0, 3));
    const int targetPick = in.Between(0, 15);
    const auto target = targetPick == 0 ? Target::kMissingFolder : targetPick == 1 ? Target::kFullDisk : Target::kFile;
    const int width = in.Between(0, 70);
    const int height = in.Between(0, 50);
    const int extraStride = in.Between(0, 7);
    const ChannelLayout layout = in.Flag() ? kRgbLayout : kBgrLayout;
    const int step = in.Between(1, 4);
    const int rowOffset = in.Between(0, 3);
    const int columnOffset = in.Between(0, 3);
    const int existingBytes = in.Between(-1, 12000); // -1: no file there
    imaging::SetKernelLevel(static_cast<imaging::KernelLevel>(in.Between(0, 3)));

    std::string file = ScratchFile();
    if (target == Target::kMissingFolder)
        file = "/nonexistent-oriscope-folder/still.bmp";
    else if (target == Target::kFullDisk)
        file = "/dev/full";
    if (target == Target::kFile) {
        std::filesystem::remove(file);
        if (existingBytes >= 0) {
            std::ofstream old(file, std::ios::binary);
            const std::vector<char> junk(std::size_t(existingBytes), '\x5A');
            old.write(junk.data(), std::streamsize(junk.size()));
        }
    }

    // The source buffer: pixels (4 or 1 bytes), raw samples, or a raw frame to convert.
    const int bytesPerPixel = path == Path::kColour ? 4 : 1;
    int stride = width + extraStride;
    int rows = height;
    if (path == Path::kRaw) {
        stride = columnOffset + std::max(width - 1, 0) * step + 1 + extraStride;
        rows = rowOffset + std::max(height - 1, 0) * step + 1;
    } else if (path == Path::kConverted) {
        stride = std::max(width, 3) + 2 + extraStride; // room for the converter's border reads
        rows = std::max(height, 3) + 2;
    }
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(rows) * std::size_t(bytesPerPixel));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = in.RestSize() > 0 ? in.Byte() : static_cast<std::uint8_t>(i * 29u + 7u);

    bool written = false;
    std::vector<std::uint8_t> picture; // what a BMP must show, rows of width pixels
    int pictureBytesPerPixel = bytesPerPixel;
    ChannelLayout pictureLayout = layout;
    if (path == Path::kConverted) {
        CameraEngine engine;
        ConversionSettings settings = ConversionSettings::FromEngine(engine);
        settings.convertingStill = true;
        settings.layout = layout;
        std::vector<std::uint8_t> raw = pixels;
        written = WriteConvertedStill(engine, settings, pixels.data(), width, height, stride, file.c_str());
        CameraEngine referenceEngine;
        picture.assign(std::size_t(width) * std::size_t(height) * 4u, 0);
        FrameConverter::convert(referenceEngine, settings, raw.data(), picture.data(), width, height, stride);
        pictureBytesPerPixel = 4;
    } else {
        StillFileSource source;
        source.pixels = pixels.data();
        source.width = width;
        source.height = height;
        source.stride = stride;
        source.raw = path == Path::kRaw;
        source.monochrome = path == Path::kGrey;
        source.layout = layout;
        source.sampleStep = step;
        source.rowOffset = rowOffset;
        source.columnOffset = columnOffset;
        written = WriteStillFile(file.c_str(), source);
        for (int y = 0; y < height && path != Path::kRaw; ++y) {
            const auto *row = pixels.data() + std::size_t(y) * std::size_t(stride) * bytesPerPixel;
            picture.insert(picture.end(), row, row + std::size_t(width) * bytesPerPixel);
        }
    }

    if (target != Target::kFile) {
        // An empty raw still has nothing to write, so even a full disk takes it.
        const bool nothingToWrite = path == Path::kRaw && (width == 0 || height == 0);
        FUZZ_CHECK(!written || (nothingToWrite && target == Target::kFullDisk),
                   "a still written to %s reported success", file.c_str());
        return 0;
    }
    FUZZ_CHECK(written, "a %dx%d still to a writable file failed", width, height);
    if (path == Path::kRaw) {
        std::vector<std::uint8_t> expected;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                expected.push_back(pixels[std::size_t(rowOffset + y * step) * std::size_t(stride) +
                                          std::size_t(columnOffset + x * step)]);
        FUZZ_CHECK(ReadFile(file) == expected, "%dx%d raw file (step %d, offsets %d,%d) differs", width, height, step,
                   rowOffset, columnOffset);
        return 0;
    }
    CheckBmp(file, picture, width, height, pictureBytesPerPixel, pictureLayout);
    return 0;
}
