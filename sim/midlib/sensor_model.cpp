// The simulated image sensor: register file, window, frame time, brightness.
#include "sim/midlib/sensor_model.h"

#include <algorithm>

namespace midsim {
namespace {

constexpr std::int64_t kPixelClockHz = 12000000;
// Shutter rows that double the exposure of a zero-width shutter: the default
// picture (shutter 0) is nominal and the full range stays useful.
constexpr std::int64_t kExposureRows = 4096;

struct TypeTiming {
    std::uint16_t chipVersion;
    std::uint16_t horizontalBlank;
    std::uint16_t verticalBlank;
};

TypeTiming timingOf(int sensorType) {
    switch (sensorType) {
    case 2:
        return {0x8511, 0x0009, 0x0008};
    case 3:
        return {0x1611, 0x0009, 0x0019};
    default:
        return {0x8411, 0x0009, 0x0019};
    }
}

bool isIdentity(std::uint8_t number) {
    return number == reg::kChipVersion || number == reg::kVariant || number == reg::kAddressMode ||
           number == reg::kSerialHigh || number == reg::kSerialLow;
}

} // namespace

void fullSize(int sensorType, int &width, int &height) {
    switch (sensorType) {
    case 2:
        width = 1600;
        height = 1200;
        break;
    case 3:
        width = 2048;
        height = 1536;
        break;
    default:
        width = 1280;
        height = 1024;
        break;
    }
}

void SensorModel::powerOn(const CameraConfig &config, int index) {
    sensorType_ = config.sensorType;
    fullSize(sensorType_, fullWidth_, fullHeight_);
    const TypeTiming timing = timingOf(sensorType_);
    const std::int64_t serial = config.serial >= 0 ? config.serial : 20240001 + index;
    registers_.fill(0);
    registers_[reg::kChipVersion] = timing.chipVersion;
    registers_[reg::kRowStart] = kFirstRow;
    registers_[reg::kColumnStart] = kFirstColumn;
    registers_[reg::kWindowHeight] = static_cast<std::uint16_t>(fullHeight_ - 1);
    registers_[reg::kWindowWidth] = static_cast<std::uint16_t>(fullWidth_ - 1);
    registers_[reg::kHorizontalBlank] = timing.horizontalBlank;
    registers_[reg::kVerticalBlank] = timing.verticalBlank;
    registers_[reg::kShutterWidth] = static_cast<std::uint16_t>(fullHeight_ + timing.verticalBlank);
    registers_[reg::kReadMode1] = 0x8000;
    registers_[reg::kReadMode2] = 0x1104;
    registers_[reg::kGlobalGain] = kNominalGain;
    registers_[reg::kSerialHigh] = static_cast<std::uint16_t>(serial / 10000);
    registers_[reg::kSerialLow] = static_cast<std::uint16_t>(serial % 10000);
    registers_[reg::kVariant] = config.variant == 48 ? 0x30 : 0x0C;
    registers_[reg::kAddressMode] = config.addressMode ? 3 : 0;
    powerOnValues_ = registers_;
}

void SensorModel::write(std::uint8_t number, std::uint16_t value) {
    if (number == reg::kChipVersion) {
        return;
    }
    if (number == reg::kReset && (value & 1) != 0) {
        for (std::size_t i = 0; i < registers_.size(); ++i) {
            if (!isIdentity(static_cast<std::uint8_t>(i))) {
                registers_[i] = powerOnValues_[i];
            }
        }
    }
    registers_[number] = value;
}

Window SensorModel::window() const {
    Window w;
    w.x = registers_[reg::kColumnStart] - kFirstColumn;
    w.y = registers_[reg::kRowStart] - kFirstRow;
    w.width = registers_[reg::kWindowWidth] + 1;
    w.height = registers_[reg::kWindowHeight] + 1;
    return w;
}

std::int64_t SensorModel::frameClocks(int formatWidth) const {
    const std::int64_t r3 = registers_[reg::kWindowHeight];
    const std::int64_t r4 = registers_[reg::kWindowWidth];
    const std::int64_t r5 = registers_[reg::kHorizontalBlank];
    const std::int64_t r6 = registers_[reg::kVerticalBlank];
    const std::int64_t r9 = registers_[reg::kShutterWidth];
    // Skipping readouts deliver fewer columns per row and so shorten the row.
    const std::int64_t columns = std::min<std::int64_t>(r4, std::max(formatWidth, 1) - 1);
    const std::int64_t rows = r9 < r3 + r6 + 2 ? r3 + r6 + 2 : r9 + 1;
    if (sensorType_ == 2) {
        const std::int64_t active = std::max<std::int64_t>(columns + r5 - 16, 295);
        return (active + 332) * rows;
    }
    return (columns + r5 + 226) * rows;
}

std::chrono::nanoseconds SensorModel::frameTime(int formatWidth) const {
    return std::chrono::nanoseconds(frameClocks(formatWidth) * 1000000000 / kPixelClockHz);
}

std::uint32_t SensorModel::brightness() const {
    const std::int64_t gain = registers_[reg::kGlobalGain];
    const std::int64_t shutter = registers_[reg::kShutterWidth];
    const std::int64_t scale = gain * 256 * (kExposureRows + shutter) / (kNominalGain * kExposureRows);
    return static_cast<std::uint32_t>(std::min<std::int64_t>(scale, 256 * 256));
}

} // namespace midsim
