// VEXALIB's colour frames without Google Benchmark, for the Windows builds
// under Wine: per sensor type, VexaGetBitmap of a new full frame in 24-bit
// colour against the default conversion of the same frame, paired in each
// iteration (vexa_bitmap_timing.h); medians of ms per frame and of the
// per-iteration ratio. The library picks its own kernels (the best).
//
// --frames=N (default 150) per sensor type. Exits with 1 when the library
// does not run or its picture differs from the packed default conversion.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vexa_bitmap_timing.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int frames = 150;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            frames = std::max(5, std::atoi(argv[i] + 9));
        }
    }
    std::printf("VEXALIB 24-bit colour frame (VexaGetBitmap, a frame pending) against the default conversion, "
                "medians of %d frames\n",
                frames);
    std::printf("%-8s %10s %10s %12s %12s\n", "sensor", "frame", "bitmap ms", "convert ms", "x convert");
    for (int sensor : {3, 1, 2}) {
        VexaBitmapTiming timing(sensor);
        std::vector<double> bitmaps, conversions, ratios;
        if (timing.picturesMatch()) {
            for (int i = 0; i < frames; ++i) {
                BitmapPair pair;
                if (!timing.measure(pair)) {
                    break;
                }
                bitmaps.push_back(pair.bitmap);
                conversions.push_back(pair.conversion);
                ratios.push_back(pair.bitmap / pair.conversion);
            }
        }
        if (!timing.problem().empty()) {
            std::printf("sensor %d: %s\n", sensor, timing.problem().c_str());
            return 1;
        }
        const std::string size = std::to_string(timing.width()) + "x" + std::to_string(timing.height());
        std::printf("%-8d %10s %10.3f %12.3f %12.2f\n", sensor, size.c_str(), Median(bitmaps) * 1e3,
                    Median(conversions) * 1e3, Median(ratios));
    }
    return 0;
}
