// Frame content: the Bayer colour phase, windowing, 2x2-cell reduction,
// mirroring, brightness controls, static and moving scenes, noise, hot pixels
// and the bounds of the writes.
#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

using Frames = SimTest;

// The colour of a raw sample: rows G R G R ..., then B G B G ...
int channelAt(int x, int y) {
    if ((y & 1) == 0) {
        return (x & 1) == 0 ? 1 : 0;
    }
    return (x & 1) == 0 ? 2 : 1;
}

double mean(const std::vector<std::uint8_t> &frame) {
    return std::accumulate(frame.begin(), frame.end(), 0.0) / static_cast<double>(frame.size());
}

std::uint8_t at(const std::vector<std::uint8_t> &frame, int rowLength, int x, int y) {
    return frame[static_cast<std::size_t>(y) * rowLength + x];
}

// Every sample of a uniform field shows its own channel's level.
void expectUniformMosaic(const std::vector<std::uint8_t> &frame, int w, int h, const int levels[3]) {
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            wrong += at(frame, w, x, y) != levels[channelAt(x, y)] ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0) << "of " << w * h << " samples";
}

TEST_F(Frames, EachSampleCarriesItsBayerColour) {
    const Rgb colours[] = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}};
    for (const Rgb &c : colours) {
        SCOPED_TRACE(testing::Message() << int(c.r) << "," << int(c.g) << "," << int(c.b));
        const std::string path = writeUniformBmp("uniform", c);
        openStarted("scene=file:" + path + " static=1 pace=free");
        const int levels[3] = {c.r, c.g, c.b};
        expectUniformMosaic(frame(), width(), height(), levels);
    }
}

TEST_F(Frames, OddWindowStartsKeepTheColourPhase) {
    const std::string path = writeUniformBmp("red", {200, 0, 0});
    openStarted("scene=file:" + path + " static=1 pace=free");
    write(0x01, 0x0C + 3);
    write(0x02, 0x14 + 5);
    write(0x03, 600 - 1);
    write(0x04, 800 - 1);
    setFormat(800, 600);
    const int levels[3] = {200, 0, 0};
    expectUniformMosaic(frame(), 800, 600, levels);
    setFormat(400, 300);
    expectUniformMosaic(frame(), 400, 300, levels);
}

TEST_F(Frames, WindowRegistersSelectThePartOfTheField) {
    openStarted("scene=gradient static=1 pace=free");
    const std::vector<std::uint8_t> full = frame();
    write(0x01, 0x0C + 50);
    write(0x02, 0x14 + 100);
    write(0x03, 200 - 1);
    write(0x04, 320 - 1);
    setFormat(320, 200);
    const std::vector<std::uint8_t> part = frame();
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 320; ++x) {
            wrong += at(part, 320, x, y) != at(full, 1280, 100 + x, 50 + y) ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Frames, WindowBeyondTheFieldIsBlack) {
    openStarted("scene=file:" + writeUniformBmp("grey", {100, 100, 100}) + " static=1 pace=free");
    write(0x02, 0x14 + 1280 - 8);
    write(0x04, 15);
    write(0x03, 3);
    setFormat(16, 4);
    const std::vector<std::uint8_t> raw = frame();
    EXPECT_EQ(raw[7], 100);
    EXPECT_EQ(raw[8], 0);
    EXPECT_EQ(raw[15], 0);
}

TEST_F(Frames, SmallerFormatsPickWholeCells) {
    openStarted("scene=gradient static=1 pace=free");
    const std::vector<std::uint8_t> full = frame();
    for (const int factor : {2, 4}) {
        SCOPED_TRACE(factor);
        const int w = 1280 / factor;
        const int h = 1024 / factor;
        setFormat(w, h);
        ASSERT_EQ(camera()->sensor->frameBufferSize, static_cast<std::uint32_t>(w * h));
        const std::vector<std::uint8_t> reduced = frame();
        int wrong = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int fx = (x / 2) * 2 * factor + (x & 1);
                const int fy = (y / 2) * 2 * factor + (y & 1);
                wrong += at(reduced, w, x, y) != at(full, 1280, fx, fy) ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(Frames, ColumnMirrorBitReversesCells) {
    openStarted("scene=gradient static=1 pace=free");
    const std::vector<std::uint8_t> full = frame();
    write(0x20, 0x1104 | 0x4000);
    const std::vector<std::uint8_t> mirrored = frame();
    int wrong = 0;
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1280; ++x) {
            wrong += at(mirrored, 1280, x, y) != at(full, 1280, 1278 - (x & ~1) + (x & 1), y) ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Frames, GainAndShutterBrightenMonotonically) {
    openStarted("scene=gradient static=1 pace=free");
    setFormat(320, 256);
    double previous = -1;
    for (const int gain : {0x40, 0x49, 0x53, 0x5C, 0x66}) {
        write(0x35, gain);
        const double m = mean(frame());
        EXPECT_GT(m, previous) << "gain " << gain;
        previous = m;
    }
    write(0x35, 0x40);
    previous = -1;
    for (const int shutter : {0, 500, 1049, 4000, 8000}) {
        write(0x09, shutter);
        const double m = mean(frame());
        EXPECT_GT(m, previous) << "shutter " << shutter;
        previous = m;
    }
}

TEST_F(Frames, NominalBrightnessShowsTheSceneLevels) {
    openStarted("scene=file:" + writeUniformBmp("levels", {100, 50, 25}) + " static=1 pace=free");
    const int levels[3] = {100, 50, 25};
    expectUniformMosaic(frame(), width(), height(), levels);
}

TEST_F(Frames, StaticFramesAreIdentical) {
    openStarted("static=1 noise=20 hotpixels=5 pace=free");
    const std::vector<std::uint8_t> first = frame();
    EXPECT_EQ(frame(), first);
    EXPECT_EQ(frame(), first);
    std::vector<std::uint8_t> rendered(first.size());
    EXPECT_EQ(midsim_RenderFrame(0, rendered.data(), static_cast<std::uint32_t>(rendered.size())),
              static_cast<int>(first.size()));
    EXPECT_EQ(rendered, first);
    EXPECT_EQ(midsim_RenderFrame(3, rendered.data(), 4), 0);
}

TEST_F(Frames, BarsMoveOnlyInTheirLowerStrip) {
    openStarted("pace=free");
    const std::vector<std::uint8_t> first = frame();
    std::vector<std::uint8_t> later;
    for (int i = 0; i < 5; ++i) {
        later = frame();
    }
    EXPECT_NE(later, first);
    const std::size_t topRows = 1024 * 3 / 4;
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + topRows * 1280, later.begin()));
}

TEST_F(Frames, NoiseStaysWithinItsAmplitude) {
    openStarted("scene=gradient static=1 pace=free");
    const std::vector<std::uint8_t> clean = frame();
    openStarted("scene=gradient noise=8 pace=free");
    const std::vector<std::uint8_t> a = frame();
    const std::vector<std::uint8_t> b = frame();
    EXPECT_NE(a, clean);
    EXPECT_NE(a, b);
    int beyond = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        beyond += std::abs(a[i] - clean[i]) > 8 ? 1 : 0;
    }
    EXPECT_EQ(beyond, 0);
}

// Hot pixels: exactly N saturated samples, far from each other, at the same
// places in every frame.
void expectIsolatedHotPixels(const std::vector<std::uint8_t> &raw, int w, int count,
                             std::vector<std::size_t> &positions) {
    positions.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == 255) {
            positions.push_back(i);
        }
    }
    ASSERT_EQ(static_cast<int>(positions.size()), count);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const auto dx = std::abs(static_cast<long>(positions[i] % w) - static_cast<long>(positions[j] % w));
            const auto dy = std::abs(static_cast<long>(positions[i] / w) - static_cast<long>(positions[j] / w));
            EXPECT_GE(std::max(dx, dy), 3) << positions[i] << " and " << positions[j];
        }
    }
}

TEST_F(Frames, HotPixelsAreIsolatedAndStayPut) {
    openStarted("scene=file:" + writeUniformBmp("dark", {30, 30, 30}) + " hotpixels=50 pace=free");
    std::vector<std::size_t> first;
    std::vector<std::size_t> second;
    expectIsolatedHotPixels(frame(), 1280, 50, first);
    expectIsolatedHotPixels(frame(), 1280, 50, second);
    EXPECT_EQ(first, second);
    setFormat(320, 256);
    expectIsolatedHotPixels(frame(), 320, 50, second);
}

TEST_F(Frames, WritesStayWithinTheGivenSize) {
    openStarted("pace=free");
    setFormat(64, 32);
    constexpr std::size_t kFrame = 64 * 32;
    std::vector<std::uint8_t> buffer(kFrame + 64, 0xA5);
    ASSERT_EQ(camera()->AcquireFrame(camera(), buffer.data(), static_cast<std::uint32_t>(buffer.size())), kMiSuccess);
    EXPECT_TRUE(std::all_of(buffer.begin() + kFrame, buffer.end(), [](std::uint8_t v) { return v == 0xA5; }));
    std::fill(buffer.begin(), buffer.end(), 0xA5);
    ASSERT_EQ(camera()->AcquireFrame(camera(), buffer.data(), 100), kMiSuccess);
    EXPECT_TRUE(std::all_of(buffer.begin() + 100, buffer.end(), [](std::uint8_t v) { return v == 0xA5; }));
    std::fill(buffer.begin(), buffer.end(), 0xA5);
    EXPECT_EQ(midsim_RenderFrame(0, buffer.data(), 10), 10);
    EXPECT_TRUE(std::all_of(buffer.begin() + 10, buffer.end(), [](std::uint8_t v) { return v == 0xA5; }));
}

TEST_F(Frames, NonsenseFormatsAreClamped) {
    openStarted("pace=free");
    setFormat(0, -5);
    EXPECT_EQ(width(), 1);
    EXPECT_EQ(height(), 1);
    EXPECT_EQ(camera()->sensor->frameBufferSize, 1u);
    EXPECT_EQ(frame().size(), 1u);
    setFormat(100000, 3);
    EXPECT_EQ(width(), 16384);
    EXPECT_EQ(camera()->sensor->frameBufferSize, 16384u * 3u);
    EXPECT_NE(camera()->SetFrameFormat(camera(), 8, 8, 16, 0), kMiSuccess);
    EXPECT_EQ(camera()->sensor->frameBufferSize, 64u);
}

TEST_F(Frames, FileScenesKeepTheImageUpright) {
    const auto quadrants = [](int x, int y) {
        const Rgb colours[2][2] = {{{200, 0, 0}, {0, 200, 0}}, {{0, 0, 200}, {200, 200, 200}}};
        return colours[y][x];
    };
    for (const bool topDown : {false, true}) {
        SCOPED_TRACE(topDown);
        openStarted("scene=file:" + writeBmp("quadrants", 2, 2, quadrants, topDown) + " static=1 pace=free");
        const std::vector<std::uint8_t> raw = frame();
        EXPECT_EQ(at(raw, 1280, 101, 100), 200) << "red top left";
        EXPECT_EQ(at(raw, 1280, 700, 100), 200) << "green top right";
        EXPECT_EQ(at(raw, 1280, 701, 100), 0);
        EXPECT_EQ(at(raw, 1280, 100, 701), 200) << "blue bottom left";
        EXPECT_EQ(at(raw, 1280, 101, 701), 0);
        EXPECT_EQ(at(raw, 1280, 701, 701), 200) << "white bottom right";
    }
}

} // namespace
} // namespace simtest
