// Sensor controls: gain, shutter, flips, modes, the custom region, raw
// register access, the camera identification and the exposure timing.
#include "engine/camera_engine.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::uint32_t kFailureBeepHz = 300;
constexpr std::uint32_t kFailureBeepMs = 100;
constexpr int kShutterDelayLimit = 2000;
constexpr int kShutterWidthLimit = CameraEngine::kShutterWidthMax;
// Register 0x05 as the sensors power on; Initialize's reset pulse restores it
// and nothing of ours writes it.
constexpr long long kPowerOnHorizontalBlank = 9;

// |value| without overflow for the most negative int.
long long Magnitude(int value) {
    return std::llabs(static_cast<long long>(value));
}

int CappedMagnitude(int value, int cap) {
    return static_cast<int>(std::min<long long>(Magnitude(value), cap));
}

bool ValidMode(int mode) {
    return mode >= kModeFull && mode <= kModeCustom;
}

} // namespace

void CameraEngine::SetGain(int value) {
    const int g = static_cast<int>(Magnitude(value) % 100);
    gain = g;
    if (CameraOpen()) {
        WriteSensor(0x35, static_cast<std::uint16_t>(64 + 39 * g / 100));
    }
}

void CameraEngine::SetShutterDelay(int value) {
    int delay = 0;
    bool minimumApplied = false;
    if (!kLibraryBuild && sensorVariant == 48 && !addressModeSensor) {
        const int mode = resolutionMode;
        int minimum = 0;
        if (qualityMode || mode == kModeFull || mode == kModeCustom) {
            minimum = 550;
        } else if (mode == kModeHalf) {
            minimum = 110;
        }
        if (value < minimum) {
            delay = minimum;
            minimumApplied = true;
        }
    }
    if (!minimumApplied) {
        delay = CappedMagnitude(value, kShutterDelayLimit);
    }
    if constexpr (!kLibraryBuild) {
        shutterDelay = delay;
    }
    if (CameraOpen()) {
        WriteSensor(0x0C, static_cast<std::uint16_t>(delay));
    }
}

void CameraEngine::SetShutterWidth(int value) {
    const int width = CappedMagnitude(value, kShutterWidthLimit);
    if constexpr (!kLibraryBuild) {
        shutterWidth = width;
    }
    if (CameraOpen()) {
        WriteSensor(0x09, static_cast<std::uint16_t>(width));
    }
}

// The library keeps shutter values only in the sensor; a register that
// cannot be read (no camera, failed read) reports -1.
int CameraEngine::GetShutterDelay() {
    if constexpr (kLibraryBuild) {
        std::uint16_t value = 0;
        return ReadSensor(0x0C, value) ? value : -1;
    }
    return shutterDelay;
}

int CameraEngine::GetShutterWidth() {
    if constexpr (kLibraryBuild) {
        std::uint16_t value = 0;
        return ReadSensor(0x09, value) ? value : -1;
    }
    return shutterWidth;
}

// A variant-48 sensor without address mode mirrors its readout (Initialize
// sets bit 14 of register 0x20), so the converter's flag is the inverse.
void CameraEngine::SetHorizontalFlip(bool flip) {
    const bool inverted = !kLibraryBuild && sensorVariant == 48 && !addressModeSensor;
    horizontalFlip = inverted ? !flip : flip;
}

bool CameraEngine::GetHorizontalFlip() const {
    const bool inverted = !kLibraryBuild && sensorVariant == 48 && !addressModeSensor;
    return inverted ? !horizontalFlip : horizontalFlip.get();
}

void CameraEngine::SetResolutionMode(int mode) {
    if (ValidMode(mode)) {
        resolutionMode = mode;
    }
}

void CameraEngine::SetStillResolutionMode(int mode) {
    if (ValidMode(mode)) {
        stillResolutionMode = mode;
    }
}

namespace {

// The region check: inside the sensor (no size check for an unknown type),
// at least 5 x 5, not negative. 64-bit sums so huge values cannot wrap.
bool RegionFits(int sensorType, int x, int y, int width, int height, int step) {
    if (x < 0 || y < 0 || width < 5 || height < 5) {
        return false;
    }
    int fullWidth = 0;
    int fullHeight = 0;
    if (!SensorFullSize(sensorType, fullWidth, fullHeight)) {
        return true;
    }
    return static_cast<long long>(x) + static_cast<long long>(width) * step <= fullWidth &&
           static_cast<long long>(y) + static_cast<long long>(height) * step <= fullHeight;
}

} // namespace

bool CameraEngine::SetRegion(int x, int y, int width, int height, const std::int32_t *table) {
    regionStep = 1;
    if (!RegionFits(sensorType, x, y, width, height, 1)) {
        return false;
    }
    StoreRegion(x, y, width, height, table);
    return true;
}

bool CameraEngine::SetRegionEx(int x, int y, int width, int height, int step, const std::int32_t *table) {
    if (step < 1 || !RegionFits(sensorType, x, y, width, height, step)) {
        return false;
    }
    StoreRegion(x, y, width, height, table);
    regionStep = step;
    return true;
}

// An accepted region and its gain table: a table turns the live pixel gain
// on, no table turns both live and still pixel gain off.
void CameraEngine::StoreRegion(int x, int y, int width, int height, const std::int32_t *table) {
    regionX = x;
    regionY = y;
    regionWidth = width;
    regionHeight = height;
    pixelGainTable = table;
    pixelGainLive = table != nullptr;
    if (table == nullptr) {
        pixelGainStill = false;
    }
}

void CameraEngine::GetRegion(int &x, int &y, int &width, int &height) const {
    x = regionX;
    y = regionY;
    width = regionWidth;
    height = regionHeight;
}

void CameraEngine::GetRegionEx(int &x, int &y, int &width, int &height, int &step) const {
    GetRegion(x, y, width, height);
    step = regionStep;
}

int CameraEngine::ReadRegister(int reg) {
    std::uint16_t value = 0;
    if (ReadSensor(reg, value)) {
        return value;
    }
    platform::beep(kFailureBeepHz, kFailureBeepMs);
    return -1;
}

void CameraEngine::WriteRegister(int reg, int value) {
    if (!WriteSensor(reg, static_cast<std::uint16_t>(value))) {
        platform::beep(kFailureBeepHz, kFailureBeepMs);
    }
}

int CameraEngine::GetCameraId() {
    if (!CameraOpen()) {
        return 0;
    }
    std::uint16_t value = 0;
    const int number = ReadSensor(0xCD, value) ? value * 10000 : 0;
    if (!ReadSensor(0xCF, value)) {
        return 0;
    }
    return number + value;
}

namespace {

// Exposure clocks as a line in the shutter width R9: slope x R9 + offset,
// from the columns read per row N, the horizontal blank R5 and the delay R12.
void ExposureLineOf(int sensorType, long long n, long long r5, long long r12, long long &slope, long long &offset) {
    if (sensorType == 1) {
        const long long w = n + r5 + 226;
        slope = r12 > (w - 548) / 4 ? 4 * r12 + 548 : w;
        offset = -4 * r12 - 180;
        return;
    }
    const long long a = std::max(n + r5 - 16, 295LL);
    if (r12 > (a - 295) / 4) {
        slope = 4 * r12 + 617;
        offset = 439 - slope;
    } else {
        slope = a + 322;
        offset = -slope - 4 * r12 - 180;
    }
}

// Clocks of one frame: the rows read (window height R3 and vertical blank
// R6) or, when the shutter width R9 is longer, R9 + 1 rows.
long long FrameClocksOf(int sensorType, long long n, long long r3, long long r5, long long r6, long long r9) {
    const long long rows = r3 + r6 + 2;
    const long long rowClocks = sensorType == 1 ? n + r5 + 226 : std::max(n + r5 - 16, 295LL) + 332;
    return rowClocks * (r9 < rows ? rows : r9 + 1);
}

} // namespace

bool CameraEngine::FrameClocks(long long &clocks) {
    clocks = 0;
    if ((sensorType != 1 && sensorType != 2) || !CameraOpen()) {
        return false;
    }
    long long r[5] = {};
    const int registers[5] = {0x03, 0x04, 0x05, 0x06, 0x09};
    for (int i = 0; i < 5; ++i) {
        std::uint16_t value = 0;
        if (!ReadSensor(registers[i], value)) {
            return false;
        }
        r[i] = value;
    }
    clocks = FrameClocksOf(sensorType, ReadoutColumns(r[1]), r[0], r[2], r[3], r[4]);
    return clocks > 0;
}

// Columns read per row: Speed mode's Half and Quarter skip columns.
long long CameraEngine::ReadoutColumns(long long r4) const {
    if (!qualityMode && resolutionMode == kModeHalf) {
        return (r4 / 4) * 2 + 1;
    }
    if (!qualityMode && resolutionMode == kModeQuarter) {
        return (r4 / 8) * 2 + 1;
    }
    return r4;
}

void CameraEngine::GetExposureTiming(int &exposureMs, int &frameMs) {
    exposureMs = frameMs = 0;
    if (sensorType != 1 && sensorType != 2) {
        return;
    }
    const long long r3 = ReadRegister(0x03);
    const long long r4 = ReadRegister(0x04);
    const long long r5 = ReadRegister(0x05);
    const long long r6 = ReadRegister(0x06);
    const long long r9 = ReadRegister(0x09);
    const long long r12 = ReadRegister(0x0C);
    const long long n = ReadoutColumns(r4);
    long long slope = 0;
    long long offset = 0;
    ExposureLineOf(sensorType, n, r5, r12, slope, offset);
    const long long frame = FrameClocksOf(sensorType, n, r3, r5, r6, r9);
    exposureMs = static_cast<int>((slope * r9 + offset) * 1000 / kPixelClockHz);
    frameMs = static_cast<int>(frame * 1000 / kPixelClockHz);
}

bool CameraEngine::ExposureLine(long long &slope, long long &offset) {
    if (sensorType != 1 && sensorType != 2) {
        return false;
    }
    // The window the next Initialize programs, unless the sensor can tell.
    int fullWidth = 0;
    int fullHeight = 0;
    SensorFullSize(sensorType, fullWidth, fullHeight);
    long long r4 = !qualityMode && resolutionMode == kModeCustom ? regionWidth - 1 : fullWidth - 1;
    long long r5 = kPowerOnHorizontalBlank;
    long long r12 = shutterDelay;
    std::uint16_t value = 0;
    if (CameraOpen()) {
        if (ReadSensor(0x04, value)) {
            r4 = value;
        }
        if (ReadSensor(0x05, value)) {
            r5 = value;
        }
        if (ReadSensor(0x0C, value)) {
            r12 = value;
        }
    }
    ExposureLineOf(sensorType, ReadoutColumns(r4), r5, r12, slope, offset);
    return true;
}
