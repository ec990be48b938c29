// Shared helpers for the simulated imaging library's tests: a fixture that
// configures and opens the library through its real contract, frame access,
// and small BMP files written for file scenes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/midlib.h"
#include "sim/midlib/midlib_sim.h"

namespace simtest {

inline constexpr std::uint8_t kBus = 0xBA;

struct Rgb {
    std::uint8_t r, g, b;
};

// Writes a 24-bit BMP whose pixels come from `pixel(x, y)` (y = 0 at the top),
// bottom-up as usual or top-down with a negative height.
template <typename PixelFn>
std::string writeBmp(const std::string &name, int width, int height, PixelFn pixel, bool topDown = false) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / ("oriscope-sim-" + name + ".bmp");
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t dataSize = stride * static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> file(54 + dataSize, 0);
    auto put32 = [&file](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(topDown ? -height : height));
    file[26] = 1;
    file[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        const int fileRow = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            std::uint8_t *at = file.data() + 54 + static_cast<std::size_t>(fileRow) * stride + 3 * x;
            at[0] = c.b;
            at[1] = c.g;
            at[2] = c.r;
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));
    return path.string();
}

inline std::string writeUniformBmp(const std::string &name, Rgb colour) {
    return writeBmp(name, 8, 8, [colour](int, int) { return colour; });
}

inline std::vector<MidsimEvent> events() {
    std::vector<MidsimEvent> all;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event)) {
            all.push_back(event);
        }
    }
    return all;
}

class SimTest : public ::testing::Test {
protected:
    void TearDown() override { midsim_Configure(nullptr); }

    // Configures (expecting every key to be understood) and opens the library.
    void open(const std::string &config) {
        ASSERT_EQ(midsim_Configure(config.c_str()), 0) << config;
        reopen();
    }

    void reopen() {
        count_ = 0;
        ASSERT_EQ(mi_OpenCameras(cameras_, &count_, "C:\\windows\\system32\\MI-1300-ES0.sdat"), kMiSuccess);
        ASSERT_GT(count_, 0);
    }

    // Opens and starts camera 0 with nominal brightness (gain 1x, shutter 0).
    void openStarted(const std::string &config) {
        open(config);
        camera()->StartCamera(camera());
        write(0x35, 0x40);
        write(0x09, 0);
    }

    CameraRecord *camera(int index = 0) const { return cameras_[index]; }

    std::uint16_t read(int reg, int index = 0) const {
        std::uint16_t value = 0xDEAD;
        EXPECT_EQ(camera(index)->GetSensorRegister(camera(index), kBus, static_cast<std::uint8_t>(reg), &value),
                  kMiSuccess);
        return value;
    }

    void write(int reg, int value, int index = 0) const {
        EXPECT_EQ(camera(index)->SetSensorRegister(camera(index), kBus, static_cast<std::uint8_t>(reg),
                                                   static_cast<std::uint16_t>(value)),
                  kMiSuccess);
    }

    void setFormat(int width, int height, int index = 0) const {
        camera(index)->SetFrameFormat(camera(index), width, height, 8, 0);
    }

    int width(int index = 0) const { return camera(index)->sensor->rawWidth; }
    int height(int index = 0) const { return camera(index)->sensor->rawHeight; }

    // Acquires one frame of the current format; expects success.
    std::vector<std::uint8_t> frame(int index = 0) const {
        std::vector<std::uint8_t> buffer(camera(index)->sensor->frameBufferSize);
        EXPECT_EQ(camera(index)->AcquireFrame(camera(index), buffer.data(), static_cast<std::uint32_t>(buffer.size())),
                  kMiSuccess);
        return buffer;
    }

    CameraRecord *cameras_[kMiMaxCameras] = {};
    std::uint16_t count_ = 0;
};

} // namespace simtest
