// Frame converter benchmark: each benchmarked setting on a 2048 x 1536 frame
// with about 1,500 hot pixels. Every iteration also runs the two baselines on
// the same frame, right after the conversion, so the ratios compare figures
// taken under the same machine load: OpenCV's single-threaded bilinear Bayer
// conversion (cv::COLOR_BayerGB2BGRA) for the same output size, and the
// memory floor (read the raw frame, write the output).
// Prints Google Benchmark's table, then a summary with ms per frame,
// Mpixel/s and the ratios (medians of the per-iteration ratios).
//
// --level=scalar|sse2|avx2|avx512 pins the converter's kernels (default: the best).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_frames.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "imaging/still_file.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::uint8_t> &SceneFrame() {
    static const std::vector<std::uint8_t> frame = MakeSceneFrame(kSensorWidth, kSensorHeight, 1500);
    return frame;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A buffer whose first byte is 64-byte aligned, as video sample buffers are.
class AlignedBuffer {
public:
    explicit AlignedBuffer(std::size_t size) : storage(size + 64) {
        const auto address = reinterpret_cast<std::uintptr_t>(storage.data());
        first = storage.data() + (64 - address % 64) % 64;
    }
    std::uint8_t *data() { return first; }

private:
    std::vector<std::uint8_t> storage;
    std::uint8_t *first = nullptr;
};

// OpenCV's conversion of the top-left width x height part of the scene,
// as a frame of its own.
class OpenCvBaseline {
public:
    OpenCvBaseline(int width, int height) : raw(static_cast<std::size_t>(width) * height) {
        for (int y = 0; y < height; ++y) {
            std::memcpy(&raw[static_cast<std::size_t>(y) * width],
                        &SceneFrame()[static_cast<std::size_t>(y) * kSensorWidth], width);
        }
        src = cv::Mat(height, width, CV_8UC1, raw.data());
        dst = cv::Mat(height, width, CV_8UC4);
    }
    void run() { cv::cvtColor(src, dst, cv::COLOR_BayerGB2BGRA); }

private:
    std::vector<std::uint8_t> raw;
    cv::Mat src, dst;
};

template <class Body> double Seconds(Body body) {
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct CaseResult {
    std::string name;
    int width = 0, height = 0;
    double ms = 0, opencvMs = 0, vsOpenCv = 0, floorMs = 0, vsFloor = 0;
};

struct StillResult {
    double ms = 0, conversionMs = 0, vsConversion = 0, newFileMs = 0, plainWriteMs = 0;
} fileStill;

std::vector<CaseResult> &Results() {
    static std::vector<CaseResult> results;
    return results;
}

void BenchConverter(benchmark::State &state, const ConverterCase &c) {
    cv::setNumThreads(1);
    CameraEngine engine;
    c.configure(engine);
    const std::size_t pixels = static_cast<std::size_t>(c.width) * c.height;
    std::vector<std::uint8_t> raw(SceneFrame());
    AlignedBuffer out(static_cast<std::size_t>(c.width) * c.height * 4);
    OpenCvBaseline opencv(c.width, c.height);
    std::vector<std::uint32_t> floorOut(pixels);
    std::vector<double> ours, theirs, floor, vsOpenCv, vsFloor;
    for (auto _ : state) {
        // Defect correction repairs the frame in place, so each frame starts from the original.
        std::memcpy(raw.data(), SceneFrame().data(), raw.size());
        const double t =
            Seconds([&] { FrameConverter::convert(engine, raw.data(), out.data(), c.width, c.height, kSensorWidth); });
        state.SetIterationTime(t);
        const double o = Seconds([&] { opencv.run(); });
        ours.push_back(t);
        theirs.push_back(o);
        vsOpenCv.push_back(t / o);
        const double f =
            Seconds([&] { MemoryFloorPass(SceneFrame().data(), raw.size(), floorOut.data(), floorOut.size()); });
        floor.push_back(f);
        vsFloor.push_back(t / f);
    }
    CaseResult r{c.name, c.width, c.height, Median(ours) * 1e3, Median(theirs) * 1e3, Median(vsOpenCv)};
    r.floorMs = Median(floor) * 1e3;
    r.vsFloor = Median(vsFloor);
    state.counters["ms_per_frame"] = r.ms;
    state.counters["Mpixel_per_s"] = c.width * c.height / r.ms / 1e3;
    state.counters["x_opencv"] = r.vsOpenCv;
    // Google Benchmark calls this more than once while it sizes the run; the last call counts.
    auto &results = Results();
    auto same = std::find_if(results.begin(), results.end(), [&](const CaseResult &e) { return e.name == r.name; });
    if (same != results.end()) {
        *same = r;
    } else {
        results.push_back(r);
    }
}

// A full-resolution colour file still as the preview pin takes it: the
// conversion with the still's flip, a band of rows at a time, packed into the
// 24-bit BMP written over the previous still at the same path. Compared with the default
// live conversion of the same frame, timed in the same iteration. Two file
// system figures go with it: the same still written to a file that does not
// exist yet, and the plain write of as many bytes to a truncated file.
void BenchFileStill(benchmark::State &state) {
    CameraEngine engine;
    std::vector<std::uint8_t> raw(SceneFrame());
    AlignedBuffer live(static_cast<std::size_t>(kSensorWidth) * kSensorHeight * 4);
    const auto directory = std::filesystem::temp_directory_path();
    const std::string path = (directory / "oriscope-bench-still.bmp").string();
    const std::string newPath = (directory / "oriscope-bench-new-still.bmp").string();
    const std::string plainPath = (directory / "oriscope-bench-plain.bmp").string();
    std::vector<double> ours, conversions, ratios, newFiles, writes;
    const std::vector<std::uint8_t> fileImage(BmpFileSize(kSensorWidth, kSensorHeight), 0x80);
    auto takeStill = [&](const std::string &target) {
        std::memcpy(raw.data(), SceneFrame().data(), raw.size());
        return Seconds([&] { WriteFullFileStill(engine, raw.data(), target); });
    };
    for (auto _ : state) {
        const double t = takeStill(path);
        state.SetIterationTime(t);
        std::memcpy(raw.data(), SceneFrame().data(), raw.size());
        const double c = Seconds([&] {
            FrameConverter::convert(engine, raw.data(), live.data(), kSensorWidth, kSensorHeight, kSensorWidth);
        });
        std::filesystem::remove(newPath);
        const double n = takeStill(newPath);
        const double w = Seconds([&] {
            std::FILE *file = std::fopen(plainPath.c_str(), "wb");
            std::fwrite(fileImage.data(), 1, fileImage.size(), file);
            std::fclose(file);
        });
        ours.push_back(t);
        conversions.push_back(c);
        newFiles.push_back(n);
        writes.push_back(w);
        ratios.push_back(t / c);
    }
    for (const std::string &p : {path, newPath, plainPath}) {
        std::filesystem::remove(p);
    }
    fileStill = {Median(ours) * 1e3, Median(conversions) * 1e3, Median(ratios), Median(newFiles) * 1e3,
                 Median(writes) * 1e3};
    state.counters["ms_per_still"] = fileStill.ms;
    state.counters["x_conversion"] = fileStill.vsConversion;
}

void PrintSummary() {
    std::printf("\nConverter summary (medians, single thread, kernels: %s)\n",
                imaging::KernelLevelName(imaging::ActiveKernelLevel()));
    std::printf("%-14s %10s %9s %9s %10s %9s %9s %9s\n", "case", "output", "ms/frame", "Mpixel/s", "OpenCV ms",
                "x OpenCV", "floor ms", "x floor");
    for (const CaseResult &r : Results()) {
        const std::string size = std::to_string(r.width) + "x" + std::to_string(r.height);
        char floorMs[16] = "-", vsFloor[16] = "-";
        if (r.floorMs > 0) {
            std::snprintf(floorMs, sizeof floorMs, "%.3f", r.floorMs);
            std::snprintf(vsFloor, sizeof vsFloor, "%.2f", r.vsFloor);
        }
        std::printf("%-14s %10s %9.3f %9.1f %10.3f %9.2f %9s %9s\n", r.name.c_str(), size.c_str(), r.ms,
                    r.width * r.height / r.ms / 1e3, r.opencvMs, r.vsOpenCv, floorMs, vsFloor);
    }
    if (fileStill.ms > 0) {
        std::printf("%-14s %10s %9.3f %9.1f   full file still (convert + 24-bit BMP over the last still): %.2f x "
                    "the default conversion (%.3f ms)\n",
                    "file_still", "2048x1536", fileStill.ms, kSensorWidth * kSensorHeight / fileStill.ms / 1e3,
                    fileStill.vsConversion, fileStill.conversionMs);
        std::printf("%-14s %10s %9.3f %9s   the same still to a new file; writing its bytes alone to a truncated "
                    "file takes %.3f ms\n",
                    "  to new file", "", fileStill.newFileMs, "", fileStill.plainWriteMs);
    }
    // For converter_timing runs elsewhere (the Windows build under Wine) to compare with.
    std::printf("opencv-times:");
    for (std::size_t i = 0; i < Results().size(); ++i) {
        std::printf("%s%s:%.4f", i == 0 ? " " : ",", Results()[i].name.c_str(), Results()[i].opencvMs);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--level=", 8) == 0) {
            const std::string level = argv[i] + 8;
            imaging::SetKernelLevel(level == "scalar" ? imaging::KernelLevel::kScalar
                                    : level == "sse2" ? imaging::KernelLevel::kSse2
                                    : level == "avx2" ? imaging::KernelLevel::kAvx2
                                                      : imaging::KernelLevel::kAvx512);
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    for (const auto &c : ConverterCases()) {
        benchmark::RegisterBenchmark(c.name.c_str(), BenchConverter, c)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("file_still", BenchFileStill)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
