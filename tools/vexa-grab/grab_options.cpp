// vexa-grab's command line: options, values and usage.
#include "grab_options.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool ParseInt(const char *text, int low, int high, int &value) {
    char *end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool ParseRegion(const char *text, int (&region)[4]) {
    return std::sscanf(text, "%d,%d,%d,%d", &region[0], &region[1], &region[2], &region[3]) == 4;
}

// Options with a value; false when the name is not one of them or the value is bad.
bool ParseValueOption(const std::string &name, const char *value, Options &o) {
    if (name == "--camera") {
        return ParseInt(value, 1, 20, o.camera);
    }
    if (name == "--mode") {
        return ParseInt(value, 0, 3, o.mode);
    }
    if (name == "--region") {
        o.regionGiven = true;
        o.mode = 3;
        return ParseRegion(value, o.region);
    }
    if (name == "--gain") {
        return ParseInt(value, 0, 99, o.gain);
    }
    if (name == "--shutter-delay") {
        return ParseInt(value, 0, 2000, o.shutterDelay);
    }
    if (name == "--shutter-width") {
        return ParseInt(value, 0, 15000, o.shutterWidth);
    }
    if (name == "--frames") {
        return ParseInt(value, 1, 100000, o.frames);
    }
    if (name == "--measure") {
        return ParseInt(value, 0, 3600, o.measureSeconds);
    }
    if (name == "--out") {
        o.directory = value;
        return !o.directory.empty();
    }
    return false;
}

} // namespace

int Usage() {
    std::fprintf(stderr,
                 "usage: vexa-grab [options]\n"
                 "  --camera N          camera number, from 1 (default 1)\n"
                 "  --no-detect         skip sensor detection (the library then assumes 1280 x 1024)\n"
                 "  --mode M            0 full, 1 half, 2 quarter, 3 custom region (default 0)\n"
                 "  --region X,Y,W,H    custom region (sets --mode 3)\n"
                 "  --gain G            gain 0 to 99\n"
                 "  --shutter-delay D   shutter delay, 0 to 2000 (sensor register 0x0C)\n"
                 "  --shutter-width W   shutter width, 0 to 15000 (sensor register 0x09)\n"
                 "  --hflip, --vflip    mirror the colour frames left to right, top to bottom\n"
                 "  --frames N          frames to save (default 5)\n"
                 "  --raw               save raw 8-bit Bayer frames (.raw) instead of colour BMP files\n"
                 "  --single            grab each frame with VexaGetSingleBitmap, without the acquisition thread\n"
                 "  --still             also save one still with VexaCaptureStillImage\n"
                 "  --measure S         measure the frame rate for S seconds first (default 2, 0 skips)\n"
                 "  --out DIR           directory for the files (default vexa-frames)\n");
    return 2;
}

bool ParseOptions(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            return false;
        }
        bool *flag = name == "--no-detect" ? &o.detect
                     : name == "--hflip"   ? &o.horizontalFlip
                     : name == "--vflip"   ? &o.verticalFlip
                     : name == "--raw"     ? &o.raw
                     : name == "--single"  ? &o.single
                     : name == "--still"   ? &o.still
                                           : nullptr;
        if (flag != nullptr) {
            *flag = name != "--no-detect";
        } else if (i + 1 >= argc || !ParseValueOption(name, argv[++i], o)) {
            std::fprintf(stderr, "vexa-grab: bad or incomplete option %s\n", name.c_str());
            return false;
        }
    }
    return true;
}
