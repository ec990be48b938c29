// Frame converter timing without Google Benchmark or OpenCV, for builds
// where neither exists (the 32-bit Windows build under Wine): the same cases
// and frame as converter_bench, each iteration paired with the memory-floor
// pass, medians of ms per frame, Mpixel/s and the ratio to the floor; then
// the full file still against the default conversion.
//
// --level=scalar|sse2|avx2|avx512 pins the converter's kernels;
// --opencv=case:ms,... adds a column comparing with OpenCV times measured
// elsewhere (scripts/bench.sh passes the native run's); --frames=N (default 200);
// --case=NAME times only that case (for profilers: no file still either).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_frames.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::map<std::string, double> ParseOpenCvTimes(const char *text) {
    std::map<std::string, double> times;
    std::string all(text);
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find(',', start);
        if (end == std::string::npos) {
            end = all.size();
        }
        const std::string item = all.substr(start, end - start);
        const std::size_t colon = item.find(':');
        if (colon != std::string::npos) {
            times[item.substr(0, colon)] = std::atof(item.c_str() + colon + 1);
        }
        start = end + 1;
    }
    return times;
}

imaging::KernelLevel LevelNamed(const std::string &name) {
    if (name == "scalar") {
        return imaging::KernelLevel::kScalar;
    }
    if (name == "sse2") {
        return imaging::KernelLevel::kSse2;
    }
    return name == "avx2" ? imaging::KernelLevel::kAvx2 : imaging::KernelLevel::kAvx512;
}

// The full file still over the previous one at the same path, against the
// default conversion of the same frame in the same iteration.
void TimeFileStill(const std::vector<std::uint8_t> &scene, int frames) {
    CameraEngine engine;
    std::vector<std::uint8_t> raw(scene.size());
    std::vector<std::uint8_t> live(scene.size() * 4);
    const std::string path = "oriscope-timing-still.bmp";
    std::vector<double> stills, conversions, ratios;
    for (int i = 0; i < std::max(5, frames / 4); ++i) {
        std::memcpy(raw.data(), scene.data(), raw.size());
        auto start = Clock::now();
        WriteFullFileStill(engine, raw.data(), path);
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        std::memcpy(raw.data(), scene.data(), raw.size());
        start = Clock::now();
        FrameConverter::convert(engine, raw.data(), live.data(), kSensorWidth, kSensorHeight, kSensorWidth);
        const double c = std::chrono::duration<double>(Clock::now() - start).count();
        stills.push_back(t);
        conversions.push_back(c);
        ratios.push_back(t / c);
    }
    std::remove(path.c_str());
    const double ms = Median(stills) * 1e3;
    std::printf("%-14s %10s %9.3f %9.1f   full file still (convert + 24-bit BMP over the last still): %.2f x the "
                "default conversion (%.3f ms)\n",
                "file_still", "2048x1536", ms, kSensorWidth * kSensorHeight / ms / 1e3, Median(ratios),
                Median(conversions) * 1e3);
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::map<std::string, double> opencv;
    int frames = 200;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--level=", 8) == 0) {
            imaging::SetKernelLevel(LevelNamed(argv[i] + 8));
        } else if (std::strncmp(argv[i], "--opencv=", 9) == 0) {
            opencv = ParseOpenCvTimes(argv[i] + 9);
        } else if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            frames = std::max(5, std::atoi(argv[i] + 9));
        } else if (std::strncmp(argv[i], "--case=", 7) == 0) {
            only = argv[i] + 7;
        }
    }
    const std::vector<std::uint8_t> scene = MakeSceneFrame(kSensorWidth, kSensorHeight, 1500);
    std::vector<std::uint8_t> raw(scene.size());
    std::vector<std::uint32_t> floorOut(scene.size());
    std::printf("Converter timing (medians of %d frames, single thread, kernels: %s)\n", frames,
                imaging::KernelLevelName(imaging::ActiveKernelLevel()));
    std::printf("%-14s %10s %9s %9s %9s %9s %10s %9s\n", "case", "output", "ms/frame", "Mpixel/s", "floor ms",
                "x floor", "OpenCV ms", "x OpenCV");
    for (const ConverterCase &c : ConverterCases()) {
        if (!only.empty() && c.name != only) {
            continue;
        }
        CameraEngine engine;
        c.configure(engine);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(c.width) * c.height * 4);
        std::vector<double> ours, floor, vsFloor;
        for (int i = 0; i < frames; ++i) {
            std::memcpy(raw.data(), scene.data(), raw.size()); // undo the defect corrections
            auto start = Clock::now();
            FrameConverter::convert(engine, raw.data(), out.data(), c.width, c.height, kSensorWidth);
            const double t = std::chrono::duration<double>(Clock::now() - start).count();
            start = Clock::now();
            MemoryFloorPass(scene.data(), scene.size(), floorOut.data(), out.size() / 4);
            const double f = std::chrono::duration<double>(Clock::now() - start).count();
            ours.push_back(t);
            floor.push_back(f);
            vsFloor.push_back(t / f);
        }
        const double ms = Median(ours) * 1e3;
        char floorMs[16] = "-", xFloor[16] = "-", opencvMs[16] = "-", xOpenCv[16] = "-";
        std::snprintf(floorMs, sizeof floorMs, "%.3f", Median(floor) * 1e3);
        std::snprintf(xFloor, sizeof xFloor, "%.2f", Median(vsFloor));
        if (opencv.count(c.name) != 0 && opencv[c.name] > 0) {
            std::snprintf(opencvMs, sizeof opencvMs, "%.3f", opencv[c.name]);
            std::snprintf(xOpenCv, sizeof xOpenCv, "%.2f", ms / opencv[c.name]);
        }
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        std::printf("%-14s %10s %9.3f %9.1f %9s %9s %10s %9s\n", c.name.c_str(), size.c_str(), ms,
                    c.width * c.height / ms / 1e3, floorMs, xFloor, opencvMs, xOpenCv);
    }
    if (only.empty()) {
        TimeFileStill(scene, frames);
    }
    return 0;
}
