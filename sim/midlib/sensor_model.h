// The simulated image sensor: its register file with power-on values, the
// window it reads, its frame time and the brightness its gain and shutter give.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "sim/midlib/sim_config.h"

namespace midsim {

namespace reg {
inline constexpr std::uint8_t kChipVersion = 0x00;
inline constexpr std::uint8_t kRowStart = 0x01;
inline constexpr std::uint8_t kColumnStart = 0x02;
inline constexpr std::uint8_t kWindowHeight = 0x03; // rows - 1
inline constexpr std::uint8_t kWindowWidth = 0x04;  // columns - 1
inline constexpr std::uint8_t kHorizontalBlank = 0x05;
inline constexpr std::uint8_t kVerticalBlank = 0x06;
inline constexpr std::uint8_t kShutterWidth = 0x09;
inline constexpr std::uint8_t kReadMode3 = 0x0A;
inline constexpr std::uint8_t kShutterDelay = 0x0C;
inline constexpr std::uint8_t kReset = 0x0D;
inline constexpr std::uint8_t kReadMode1 = 0x1E;
inline constexpr std::uint8_t kReadMode2 = 0x20;
inline constexpr std::uint8_t kRowAddressMode = 0x22;
inline constexpr std::uint8_t kColumnAddressMode = 0x23;
inline constexpr std::uint8_t kGlobalGain = 0x35;
inline constexpr std::uint8_t kSerialHigh = 0xCD;
inline constexpr std::uint8_t kSerialLow = 0xCF;
inline constexpr std::uint8_t kVariant = 0xD7;
inline constexpr std::uint8_t kAddressMode = 0xD9;
} // namespace reg

// Where the power-on window starts on the pixel array; the scene's field
// begins there, so the power-on window shows the whole field.
inline constexpr int kFirstRow = 0x0C;
inline constexpr int kFirstColumn = 0x14;
inline constexpr std::uint16_t kNominalGain = 0x40;
inline constexpr std::uint16_t kColumnMirrorBit = 0x4000; // in register 0x20

// The part of the field the window registers select, in field coordinates.
struct Window {
    int x = 0;
    int y = 0;
    int width = 1;
    int height = 1;
};

class SensorModel {
public:
    // Powers the sensor on as camera `index` of `config`.
    void powerOn(const CameraConfig &config, int index);

    std::uint16_t read(std::uint8_t number) const { return registers_[number]; }
    // A write as the sensor takes it: the chip version is read-only, and a
    // reset (bit 0 of register 0x0D) returns the settings to power-on values.
    void write(std::uint8_t number, std::uint16_t value);
    // Plain storage without side effects.
    void poke(std::uint8_t number, std::uint16_t value) { registers_[number] = value; }

    int sensorType() const { return sensorType_; }
    int fullWidth() const { return fullWidth_; }
    int fullHeight() const { return fullHeight_; }

    Window window() const;
    bool mirrored() const { return (registers_[reg::kReadMode2] & kColumnMirrorBit) != 0; }
    // Pixel clocks per frame when `formatWidth` samples per row are delivered.
    std::int64_t frameClocks(int formatWidth) const;
    std::chrono::nanoseconds frameTime(int formatWidth) const;
    // Scale applied to the scene's levels, 256 = 1x: gain register 0x35
    // (0x40 = 1x) times an exposure factor growing with the shutter width.
    std::uint32_t brightness() const;

private:
    std::array<std::uint16_t, 256> registers_{};
    std::array<std::uint16_t, 256> powerOnValues_{};
    int sensorType_ = 1;
    int fullWidth_ = 1280;
    int fullHeight_ = 1024;
};

// The sensor's full size for a type (1, 2 or 3).
void fullSize(int sensorType, int &width, int &height);

} // namespace midsim
