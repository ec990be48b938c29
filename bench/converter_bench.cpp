// Frame converter benchmark: each benchmarked setting on a 2048 x 1536 frame
// with about 1,500 hot pixels, against two baselines measured in the same run
// on the same frame: OpenCV's single-threaded bilinear Bayer conversion for
// the same output size, and the memory floor. Prints Google Benchmark's
// table, then a summary with ms per frame, Mpixel/s and the ratios.
//
// --level=scalar|sse2|avx2 pins the converter's kernels (default: the best).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_frames.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::uint8_t> &SceneFrame() {
    static const std::vector<std::uint8_t> frame = MakeSceneFrame(kSensorWidth, kSensorHeight, 1500);
    return frame;
}

// Median seconds per frame of every finished benchmark, by name.
std::map<std::string, double> &Medians() {
    static std::map<std::string, double> medians;
    return medians;
}

// Fastest frame of every finished benchmark, by name.
std::map<std::string, double> &Bests() {
    static std::map<std::string, double> bests;
    return bests;
}

// Times `body` once per iteration after `prepare` (untimed), and records the median.
template <class Prepare, class Body>
void TimeFrames(benchmark::State &state, const std::string &name, std::size_t outputPixels, Prepare prepare,
                Body body) {
    std::vector<double> seconds;
    for (auto _ : state) {
        prepare();
        const auto start = Clock::now();
        body();
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds.push_back(elapsed);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    Medians()[name] = median;
    Bests()[name] = seconds.front();
    state.counters["ms_per_frame"] = median * 1e3;
    state.counters["Mpixel_per_s"] = static_cast<double>(outputPixels) / median / 1e6;
}

std::string OpenCvName(int width, int height) {
    return "opencv_" + std::to_string(width) + "x" + std::to_string(height);
}

void BenchOpenCv(benchmark::State &state, int width, int height) {
    cv::setNumThreads(1);
    // The top-left part of the scene as a frame of its own, starting on a green sample.
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&raw[static_cast<std::size_t>(y) * width],
                    &SceneFrame()[static_cast<std::size_t>(y) * kSensorWidth], width);
    }
    cv::Mat src(height, width, CV_8UC1, raw.data());
    cv::Mat dst(height, width, CV_8UC4);
    TimeFrames(
        state, OpenCvName(width, height), static_cast<std::size_t>(width) * height, [] {},
        [&] { cv::cvtColor(src, dst, cv::COLOR_BayerGB2BGRA); });
    benchmark::DoNotOptimize(dst.data);
}

void BenchMemoryFloor(benchmark::State &state) {
    const std::size_t pixels = static_cast<std::size_t>(kSensorWidth) * kSensorHeight;
    std::vector<std::uint32_t> out(pixels);
    TimeFrames(
        state, "memory_floor", pixels, [] {}, [&] { MemoryFloorPass(SceneFrame().data(), out.data(), pixels); });
    benchmark::DoNotOptimize(out.data());
}

void BenchConverter(benchmark::State &state, const ConverterCase &c) {
    CameraEngine engine;
    c.configure(engine);
    std::vector<std::uint8_t> raw(SceneFrame());
    std::vector<std::uint8_t> out(static_cast<std::size_t>(c.width) * c.height * 4);
    // Defect correction repairs the frame in place, so each frame starts from the original.
    TimeFrames(
        state, c.name, static_cast<std::size_t>(c.width) * c.height,
        [&] { std::memcpy(raw.data(), SceneFrame().data(), raw.size()); },
        [&] { FrameConverter::convert(engine, raw.data(), out.data(), c.width, c.height, kSensorWidth); });
    benchmark::DoNotOptimize(out.data());
}

void PrintSummary() {
    const auto &m = Medians();
    const auto level = imaging::ActiveKernelLevel();
    std::printf("\nConverter summary (median of the iterations, single thread, kernels: %s)\n",
                imaging::KernelLevelName(level));
    std::printf("%-16s %10s %10s %9s %12s %10s %9s %9s\n", "case", "output", "ms/frame", "best ms", "Mpixel/s",
                "x OpenCV", "best x", "x floor");
    auto row = [&](const std::string &name, int width, int height, const std::string &opencv) {
        if (m.count(name) == 0) {
            return;
        }
        const double t = m.at(name);
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const double pixels = static_cast<double>(width) * height;
        const double best = Bests().at(name);
        char vsOpenCv[32] = "-", bestVsOpenCv[32] = "-", vsFloor[32] = "-";
        if (!opencv.empty() && m.count(opencv) != 0) {
            std::snprintf(vsOpenCv, sizeof vsOpenCv, "%.2f", t / m.at(opencv));
            std::snprintf(bestVsOpenCv, sizeof bestVsOpenCv, "%.2f", best / Bests().at(opencv));
        }
        if (width == kSensorWidth && height == kSensorHeight && m.count("memory_floor") != 0) {
            std::snprintf(vsFloor, sizeof vsFloor, "%.2f", t / m.at("memory_floor"));
        }
        std::printf("%-16s %10s %10.3f %9.3f %12.1f %10s %9s %9s\n", name.c_str(), size.c_str(), t * 1e3, best * 1e3,
                    pixels / t / 1e6, vsOpenCv, bestVsOpenCv, vsFloor);
    };
    row("memory_floor", kSensorWidth, kSensorHeight, "");
    std::map<std::string, bool> printed;
    for (const auto &c : ConverterCases()) {
        if (!printed[OpenCvName(c.width, c.height)]) {
            printed[OpenCvName(c.width, c.height)] = true;
            row(OpenCvName(c.width, c.height), c.width, c.height, "");
        }
    }
    for (const auto &c : ConverterCases()) {
        row(c.name, c.width, c.height, OpenCvName(c.width, c.height));
    }
}

void RegisterAll() {
    // Baselines first, so every ratio compares figures of the same run.
    benchmark::RegisterBenchmark("memory_floor", BenchMemoryFloor)->UseManualTime()->Unit(benchmark::kMillisecond);
    std::map<std::string, bool> seen;
    for (const auto &c : ConverterCases()) {
        const std::string name = OpenCvName(c.width, c.height);
        if (!seen[name]) {
            seen[name] = true;
            benchmark::RegisterBenchmark(name.c_str(), BenchOpenCv, c.width, c.height)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    for (const auto &c : ConverterCases()) {
        benchmark::RegisterBenchmark(c.name.c_str(), BenchConverter, c)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv) {
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--level=", 8) == 0) {
            const std::string level = argv[i] + 8;
            imaging::SetKernelLevel(level == "scalar" ? imaging::KernelLevel::kScalar
                                    : level == "sse2" ? imaging::KernelLevel::kSse2
                                                      : imaging::KernelLevel::kAvx2);
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
