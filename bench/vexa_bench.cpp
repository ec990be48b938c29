// VEXALIB's colour frames in Google Benchmark: per sensor type, VexaGetBitmap
// of a new full frame in 24-bit colour (the packing included, the frame wait
// not) against FrameConverter::convert of the same frame with default
// settings, timed in the same iteration (vexa_bitmap_timing.h). The
// benchmark's time is the VexaGetBitmap call; the summary at the end shows
// the medians and the median of the per-iteration ratios.
//
// The iteration count is fixed: each iteration waits for the camera's next
// frame (10 ms apart), which minimum times would not count.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "vexa_bitmap_timing.h"

namespace {

constexpr int kIterations = 150;

struct SensorResult {
    int sensor = 0, width = 0, height = 0;
    double bitmapMs = 0, conversionMs = 0, ratio = 0;
};
std::vector<SensorResult> results;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BenchBitmap(benchmark::State &state, int sensor) {
    VexaBitmapTiming timing(sensor);
    std::vector<double> bitmaps, conversions, ratios;
    if (timing.picturesMatch()) {
        for (auto _ : state) {
            BitmapPair pair;
            if (!timing.measure(pair)) {
                break;
            }
            state.SetIterationTime(pair.bitmap);
            bitmaps.push_back(pair.bitmap);
            conversions.push_back(pair.conversion);
            ratios.push_back(pair.bitmap / pair.conversion);
        }
    }
    if (!timing.problem().empty()) {
        state.SkipWithError(timing.problem().c_str());
        return;
    }
    const SensorResult r{
        sensor, timing.width(), timing.height(), Median(bitmaps) * 1e3, Median(conversions) * 1e3, Median(ratios)};
    state.counters["ms_per_frame"] = r.bitmapMs;
    state.counters["x_convert"] = r.ratio;
    results.push_back(r);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    for (int sensor : {3, 1, 2}) {
        const std::string name = "vexa_bitmap24/sensor" + std::to_string(sensor);
        benchmark::RegisterBenchmark(name.c_str(), BenchBitmap, sensor)
            ->UseManualTime()
            ->Iterations(kIterations)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nVEXALIB 24-bit colour frame against the default conversion (medians of %d frames)\n", kIterations);
    std::printf("%-8s %10s %10s %12s %12s\n", "sensor", "frame", "bitmap ms", "convert ms", "x convert");
    for (const SensorResult &r : results) {
        const std::string size = std::to_string(r.width) + "x" + std::to_string(r.height);
        std::printf("%-8d %10s %10.3f %12.3f %12.2f\n", r.sensor, size.c_str(), r.bitmapMs, r.conversionMs, r.ratio);
    }
    return 0;
}
