// Still images through the engine's hand-shake, served by a preview-like
// consumer thread from the simulated camera's frames: file sizes and bytes,
// raw files, buffer stills, refusals, and files read back by a real decoder.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "engine/camera_engine.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "imaging/still_image.h"
#include "sim/midlib/midlib_sim.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Le32(const Bytes &b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// The preview pin's part: take the newest frame, convert it for the live
// picture, then serve a still from the same raw frame.
class PreviewConsumer {
public:
    PreviewConsumer(CameraEngine &target, StillPinState pinState) : engine(target), pin(pinState) {
        live.resize(std::size_t(engine.frameWidth) * engine.frameHeight * 4);
        worker = std::thread([this] { Run(); });
    }
    ~PreviewConsumer() {
        stop = true;
        worker.join();
    }
    // Stills taken so far. The count goes up just after the requester has
    // been released, so tests wait for it (bounded) rather than read it.
    bool StillsReach(int count) const {
        const std::uint32_t start = platform::tickCount();
        while (stills < count) {
            if (platform::tickCount() - start > 2000) {
                return false;
            }
            platform::sleepMs(1);
        }
        return stills == count;
    }
    std::atomic<int> stills{0};

private:
    void Run() {
        while (!stop) {
            platform::Lock lock(engine.consumerLock);
            if (!engine.ExchangeFrame(engine.consumerBuffer, false)) {
                platform::sleepMs(1);
                continue;
            }
            FrameConverter::convert(engine, engine.consumerBuffer, live.data(), engine.frameWidth, engine.frameHeight,
                                    engine.RawStride());
            stills += TakeStill(engine, pin) ? 1 : 0;
        }
    }
    CameraEngine &engine;
    StillPinState pin;
    Bytes live;
    std::atomic<bool> stop{false};
    std::thread worker;
};

class StillTest : public ::testing::Test {
protected:
    void SetUp() override { dir = ::testing::TempDir(); }
    void TearDown() override {
        if (engine) {
            engine->StopAcquisition();
        }
        EXPECT_EQ(SharedCameraTable().openCount, 0);
    }
    // Static scene without hot pixels: every delivered frame is identical.
    void Start(const char *config, bool quality, int mode, int stillMode) {
        ASSERT_EQ(midsim_Configure(config), 0);
        engine = std::make_unique<CameraEngine>();
        engine->DetectSensorType();
        engine->qualityMode = quality;
        engine->SetResolutionMode(mode);
        engine->SetStillResolutionMode(stillMode);
        ASSERT_TRUE(engine->Initialize());
        engine->StartAcquisition();
        ASSERT_TRUE(engine->IsRunning());
    }
    // The raw frame the camera delivers (the sensor's current format).
    Bytes RawFrame() {
        Bytes raw(engine->BufferBytes());
        EXPECT_NE(midsim_RenderFrame(0, raw.data(), engine->FrameBufferSize()), 0);
        return raw;
    }
    // What a still of these settings must hold: the converter's output for
    // the still's mode, flipped vertically, in the still's layout, from the
    // raw frame as the live conversion before it left it (its defect
    // correction writes into the frame).
    Bytes ExpectedStill(int mode, int width, int height, ChannelLayout layout) {
        Bytes raw = RawFrame();
        Bytes live(std::size_t(engine->frameWidth) * engine->frameHeight * 4);
        FrameConverter::convert(*engine, raw.data(), live.data(), engine->frameWidth, engine->frameHeight,
                                engine->RawStride());
        ConversionSettings settings = ConversionSettings::FromEngine(*engine);
        settings.resolutionMode = mode;
        settings.convertingStill = true;
        settings.verticalFlip = !settings.verticalFlip;
        settings.layout = layout;
        Bytes out(std::size_t(width) * height * (settings.monochrome ? 1 : 4), 0);
        FrameConverter::convert(*engine, settings, raw.data(), out.data(), width, height, engine->RawStride());
        return out;
    }
    std::string Path(const char *name) const { return dir + name; }

    std::string dir;
    std::unique_ptr<CameraEngine> engine;
};

const char *kStatic = "pace=free static=1 scene=bars";

TEST_F(StillTest, FullColourFileStillOfTheSmallSensor) {
    Start(kStatic, true, kModeFull, kModeFull);
    PreviewConsumer consumer(*engine, {1, false});
    const std::string path = Path("full.bmp");
    engine->CaptureStillToFile(path.c_str());
    EXPECT_TRUE(consumer.StillsReach(1));
    const Bytes file = ReadFile(path);
    ASSERT_EQ(file.size(), 3932214u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 3932214u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 1280u);
    EXPECT_EQ(Le32(file, 22), 1024u);
    EXPECT_EQ(file[26] | file[27] << 8, 1);
    EXPECT_EQ(file[28] | file[29] << 8, 24);
    for (std::size_t at = 30; at < 54; at += 4) {
        EXPECT_EQ(Le32(file, at), 0u) << at;
    }
    // Pixel rows: the still buffer's rows, three bytes each.
    const Bytes still = ExpectedStill(kModeFull, 1280, 1024, kBgrLayout);
    std::size_t mismatches = 0;
    for (std::size_t p = 0; p < 1280u * 1024u; ++p) {
        for (int c = 0; c < 3; ++c) {
            mismatches += file[54 + 3 * p + c] != still[4 * p + c];
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST_F(StillTest, HalfStillOfTheMiddleSensorAndOddWidthPadding) {
    Start("pace=free static=1 sensor=2", true, kModeFull, kModeHalf);
    PreviewConsumer consumer(*engine, {2, false});
    const std::string half = Path("half.bmp");
    engine->CaptureStillToFile(half.c_str());
    const Bytes file = ReadFile(half);
    ASSERT_EQ(file.size(), 1440054u);
    EXPECT_EQ(Le32(file, 18), 800u);
    EXPECT_EQ(Le32(file, 22), 600u);

    // A custom still 101 pixels wide: 303 pixel bytes and one zero per row.
    ASSERT_TRUE(engine->SetRegion(40, 30, 101, 20, nullptr));
    engine->SetStillResolutionMode(kModeCustom);
    const std::string custom = Path("custom.bmp");
    engine->CaptureStillToFile(custom.c_str());
    const Bytes small = ReadFile(custom);
    ASSERT_EQ(small.size(), 54u + 20 * 304);
    for (int row = 0; row < 20; ++row) {
        EXPECT_EQ(small[54 + row * 304 + 303], 0) << row;
    }
    EXPECT_TRUE(consumer.StillsReach(2));
}

TEST_F(StillTest, RawStillFiles) {
    Start(kStatic, true, kModeFull, kModeFull);
    StillPinState pin{1, true};
    PreviewConsumer consumer(*engine, pin);
    const Bytes raw = RawFrame();
    const std::string full = Path("full.raw");
    engine->CaptureStillToFile(full.c_str());
    const Bytes fullFile = ReadFile(full);
    ASSERT_EQ(fullFile.size(), 1310720u);
    EXPECT_TRUE(std::equal(fullFile.begin(), fullFile.end(), raw.begin()));

    engine->SetStillResolutionMode(kModeHalf);
    const std::string half = Path("half.raw");
    engine->CaptureStillToFile(half.c_str());
    const Bytes halfFile = ReadFile(half);
    ASSERT_EQ(halfFile.size(), 640u * 512u);
    std::size_t mismatches = 0;
    for (std::size_t r = 0; r < 512; ++r) {
        for (std::size_t x = 0; x < 640; ++x) {
            mismatches += halfFile[r * 640 + x] != raw[(2 * r) * 1280 + 2 * x];
        }
    }
    EXPECT_EQ(mismatches, 0u);

    // Custom: the region's samples at step 1, whatever the step.
    ASSERT_TRUE(engine->SetRegionEx(7, 9, 50, 40, 3, nullptr));
    engine->SetStillResolutionMode(kModeCustom);
    const std::string custom = Path("custom.raw");
    engine->CaptureStillToFile(custom.c_str());
    const Bytes customFile = ReadFile(custom);
    ASSERT_EQ(customFile.size(), 50u * 40u);
    EXPECT_EQ(customFile[0], raw[9 * 1280 + 7]);
    EXPECT_EQ(customFile[39 * 50 + 49], raw[(9 + 39) * 1280 + 7 + 49]);
}

// Stills are written over an existing file in place: whatever the file
// held before, longer or shorter, BMP or raw, none of it may remain.
TEST_F(StillTest, StillsOverExistingFilesLeaveNothingOfThem) {
    Start(kStatic, true, kModeFull, kModeHalf);
    StillPinState pin{1, false};
    PreviewConsumer consumer(*engine, pin);
    const std::string fresh = Path("fresh.bmp");
    std::remove(fresh.c_str());
    engine->CaptureStillToFile(fresh.c_str());
    const Bytes expected = ReadFile(fresh);
    ASSERT_EQ(expected.size(), BmpFileSize(640, 512));

    const std::string reused = Path("reused.bmp");
    for (std::size_t before : {std::size_t(3000000), std::size_t(10), expected.size()}) {
        std::ofstream(reused, std::ios::binary | std::ios::trunc) << std::string(before, '\xAB');
        engine->CaptureStillToFile(reused.c_str());
        EXPECT_TRUE(ReadFile(reused) == expected) << "over a file of " << before << " bytes";
    }
    // A raw still over that BMP: only its own samples remain.
    StillFileSource source;
    const Bytes samples{1, 2, 3, 4, 5, 6};
    source.pixels = samples.data();
    source.width = 3;
    source.height = 2;
    source.stride = 3;
    source.raw = true;
    ASSERT_TRUE(WriteStillFile(reused.c_str(), source));
    EXPECT_TRUE(ReadFile(reused) == samples);
    EXPECT_TRUE(consumer.StillsReach(4));
}

TEST_F(StillTest, BufferStills) {
    Start("pace=free static=1 sensor=3", true, kModeFull, kModeQuarter);
    PreviewConsumer consumer(*engine, {3, false});
    engine->monochrome = true;
    Bytes buffer(196608 + 16, 0x5A);
    EXPECT_FALSE(engine->CaptureStillToBuffer(buffer.data(), 196607, true, false));
    EXPECT_EQ(buffer[0], 0x5A); // refused: untouched
    EXPECT_TRUE(engine->CaptureStillToBuffer(buffer.data(), 196608, true, false));
    EXPECT_EQ(buffer[196608], 0x5A); // nothing past the still
    const Bytes grey = ExpectedStill(kModeQuarter, 512, 384, kBgrLayout);
    EXPECT_TRUE(std::equal(grey.begin(), grey.end(), buffer.begin()));
    EXPECT_TRUE(consumer.StillsReach(2));
}

TEST_F(StillTest, RgbOrderAffectsBuffersButNotFiles) {
    Start(kStatic, true, kModeFull, kModeQuarter);
    PreviewConsumer consumer(*engine, {1, false});
    engine->stillRgbOrder = true;
    Bytes buffer(320 * 256 * 4, 0);
    ASSERT_TRUE(engine->CaptureStillToBuffer(buffer.data(), std::uint32_t(buffer.size()), true, false));
    const Bytes rgb = ExpectedStill(kModeQuarter, 320, 256, kRgbLayout);
    const Bytes bgr = ExpectedStill(kModeQuarter, 320, 256, kBgrLayout);
    EXPECT_EQ(buffer, rgb);
    EXPECT_NE(rgb, bgr);                       // the scene has colour, so the swap shows
    EXPECT_EQ(CurrentChannelLayout().blue, 0); // restored after the still

    const std::string path = Path("rgb.bmp");
    engine->CaptureStillToFile(path.c_str());
    const Bytes file = ReadFile(path);
    ASSERT_EQ(file.size(), BmpFileSize(320, 256));
    std::size_t mismatches = 0;
    for (std::size_t p = 0; p < 320u * 256u; ++p) {
        mismatches += file[54 + 3 * p] != bgr[4 * p] || file[54 + 3 * p + 2] != bgr[4 * p + 2];
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST_F(StillTest, UnwritableFileLeavesNothingAndTheStreamGoesOn) {
    Start(kStatic, true, kModeHalf, kModeHalf);
    PreviewConsumer consumer(*engine, {1, false});
    const std::string path = Path("no-such-folder/still.bmp");
    engine->CaptureStillToFile(path.c_str());
    EXPECT_TRUE(consumer.StillsReach(1)); // the request completed
    EXPECT_FALSE(std::ifstream(path).good());
    std::uint8_t buffer[64];
    engine->monochrome = true;
    engine->SetStillResolutionMode(kModeCustom);
    ASSERT_TRUE(engine->SetRegion(0, 0, 8, 8, nullptr));
    EXPECT_TRUE(engine->CaptureStillToBuffer(buffer, sizeof buffer, true, false));
}

TEST_F(StillTest, SpeedReadoutStillsKeepTheDeliveredGeometry) {
    // Live Half in speed readout: the sensor delivers 640 x 512 only, so a
    // Full still is the delivered frame, never a read past it.
    Start(kStatic, false, kModeHalf, kModeFull);
    PreviewConsumer consumer(*engine, {1, false});
    const StillGeometry g = StillGeometryFor(*engine, {1, false});
    EXPECT_EQ(g.width, 640);
    EXPECT_EQ(g.height, 512);
    const std::string path = Path("speed.bmp");
    engine->CaptureStillToFile(path.c_str());
    EXPECT_EQ(ReadFile(path).size(), BmpFileSize(640, 512));
    Bytes buffer(640 * 512 * 4);
    EXPECT_TRUE(engine->CaptureStillToBuffer(buffer.data(), std::uint32_t(buffer.size()), true, false));
    Bytes small(1280 * 1024 * 4 - 1);
    EXPECT_TRUE(engine->CaptureStillToBuffer(small.data(), std::uint32_t(small.size()), true, false));
}

TEST_F(StillTest, CustomStillWhileTheLiveStreamIsNotCustom) {
    Start(kStatic, true, kModeQuarter, kModeCustom);
    ASSERT_TRUE(engine->SetRegionEx(100, 50, 64, 32, 2, nullptr));
    PreviewConsumer consumer(*engine, {1, false});
    const StillGeometry g = StillGeometryFor(*engine, {1, false});
    EXPECT_EQ(g.width, 64);
    EXPECT_EQ(g.height, 32);
    Bytes buffer(64 * 32 * 4 + 4, 0xEE);
    ASSERT_TRUE(engine->CaptureStillToBuffer(buffer.data(), 64 * 32 * 4, true, false));
    EXPECT_EQ(buffer[64 * 32 * 4], 0xEE);
    const Bytes expected = ExpectedStill(kModeCustom, 64, 32, kBgrLayout);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        mismatches += i % 4 != 3 && expected[i] != buffer[i];
        mismatches += i % 4 == 3 && buffer[i] != 0xEE; // the fourth byte is never written
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST_F(StillTest, RawBufferStillCopiesTheFrameStartUpToTheNeededSize) {
    Start(kStatic, true, kModeFull, kModeQuarter);
    PreviewConsumer consumer(*engine, {1, true});
    const Bytes raw = RawFrame();
    // Colour Quarter still: 320 x 256 x 4 bytes needed, all of them raw samples.
    Bytes buffer(320 * 256 * 4 + 8, 0x11);
    ASSERT_TRUE(engine->CaptureStillToBuffer(buffer.data(), 320 * 256 * 4, true, false));
    EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 320 * 256 * 4, buffer.begin()));
    EXPECT_EQ(buffer[320 * 256 * 4], 0x11);
    // A Full colour still needs more than the raw frame holds: the frame only.
    engine->SetStillResolutionMode(kModeFull);
    Bytes big(1280 * 1024 * 4, 0x22);
    ASSERT_TRUE(engine->CaptureStillToBuffer(big.data(), std::uint32_t(big.size()), true, false));
    EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 1280 * 1024, big.begin()));
    EXPECT_EQ(big[1280 * 1024], 0x22);
}

// Packing in place, with every byte shuffle the processor offers, for
// counts that leave remainders after every vector width.
TEST(PackPixels24, PacksInPlaceAndLeavesTheRestAtEveryLevel) {
    const imaging::KernelLevel previous = imaging::ActiveKernelLevel();
    for (int level = 0; level <= static_cast<int>(imaging::BestKernelLevel()); ++level) {
        imaging::SetKernelLevel(static_cast<imaging::KernelLevel>(level));
        const char *name = imaging::KernelLevelName(imaging::ActiveKernelLevel());
        for (int width : {640, 1, 3, 7, 9, 13, 15, 17, 31, 33, 63}) {
            const int height = width == 640 ? 512 : 3;
            Bytes buffer(std::size_t(4) * width * height);
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                buffer[i] = std::uint8_t(i * 7 + 3);
            }
            const Bytes original = buffer;
            PackPixels24(buffer.data(), width, height);
            const std::size_t pixels = std::size_t(width) * height;
            std::size_t mismatches = 0;
            for (std::size_t k = 0; k < pixels; ++k) {
                for (int c = 0; c < 3; ++c) {
                    mismatches += buffer[3 * k + c] != original[4 * k + c];
                }
            }
            EXPECT_EQ(mismatches, 0u) << name << " width " << width;
            EXPECT_TRUE(std::equal(buffer.begin() + 3 * pixels, buffer.end(), original.begin() + 3 * pixels))
                << name << " width " << width;
        }
    }
    imaging::SetKernelLevel(previous);
}

// Packing into a separate picture at every alignment of its start (the
// streaming stores need 32-byte lines), for counts that leave remainders:
// exactly 3 x count bytes written, none before or after them.
TEST(PackPixels24, PacksIntoAnotherPictureAtEveryAlignmentAndLevel) {
    const imaging::KernelLevel previous = imaging::ActiveKernelLevel();
    constexpr std::uint8_t kGuard = 0x5A;
    for (int level = 0; level <= static_cast<int>(imaging::BestKernelLevel()); ++level) {
        imaging::SetKernelLevel(static_cast<imaging::KernelLevel>(level));
        const char *name = imaging::KernelLevelName(imaging::ActiveKernelLevel());
        for (std::size_t count : {std::size_t(0), std::size_t(1), std::size_t(31), std::size_t(32), std::size_t(33),
                                  std::size_t(95), std::size_t(2048 * 3 + 5)}) {
            Bytes pixels(4 * count);
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                pixels[i] = std::uint8_t(i * 13 + 1);
            }
            Bytes expected;
            for (std::size_t k = 0; k < count; ++k) {
                expected.insert(expected.end(), pixels.begin() + std::ptrdiff_t(4 * k),
                                pixels.begin() + std::ptrdiff_t(4 * k + 3));
            }
            for (std::size_t offset = 0; offset < 32; ++offset) {
                Bytes storage(3 * count + 128, kGuard);
                const auto base = reinterpret_cast<std::uintptr_t>(storage.data());
                const std::size_t start = (32 - base % 32) % 32 + offset; // `offset` past a 32-byte boundary
                PackPixels24Streaming(pixels.data(), count, storage.data() + start);
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), storage.begin() + std::ptrdiff_t(start)))
                    << name << " count " << count << " offset " << offset;
                const auto untouched = [&](std::size_t from, std::size_t to) {
                    return std::all_of(storage.begin() + std::ptrdiff_t(from), storage.begin() + std::ptrdiff_t(to),
                                       [&](std::uint8_t b) { return b == kGuard; });
                };
                EXPECT_TRUE(untouched(0, start) && untouched(start + 3 * count, storage.size()))
                    << name << " count " << count << " offset " << offset;
            }
        }
    }
    imaging::SetKernelLevel(previous);
}

#if !defined(_WIN32)
// Decodes a BMP with Pillow into "W H" and packed RGB bytes.
bool DecodeWithPillow(const std::string &bmp, int &width, int &height, Bytes &rgb) {
    const std::string out = bmp + ".rgb";
    const std::string command =
        "/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "im.load(); open(sys.argv[2], 'wb').write(im.convert('RGB').tobytes()); "
        "print(im.size[0], im.size[1], im.format, im.mode)\" '" +
        bmp + "' '" + out + "' > '" + out + ".txt'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::ifstream info(out + ".txt");
    std::string format, mode;
    info >> width >> height >> format >> mode;
    rgb = ReadFile(out);
    return format == "BMP" && mode == "RGB";
}

TEST_F(StillTest, FilesReadBackWithARealDecoder) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
        GTEST_SKIP() << "Pillow is not installed (scripts/install-deps.sh installs python3-pil)";
    }
    Start(kStatic, true, kModeFull, kModeCustom);
    ASSERT_TRUE(engine->SetRegion(10, 20, 101, 37, nullptr));
    PreviewConsumer consumer(*engine, {1, false});
    for (bool mono : {false, true}) {
        SCOPED_TRACE(mono ? "monochrome" : "colour");
        engine->monochrome = mono;
        const std::string path = Path(mono ? "decoded-grey.bmp" : "decoded.bmp");
        engine->CaptureStillToFile(path.c_str());
        int width = 0, height = 0;
        Bytes rgb;
        ASSERT_TRUE(DecodeWithPillow(path, width, height, rgb));
        ASSERT_EQ(width, 101);
        ASSERT_EQ(height, 37);
        ASSERT_EQ(rgb.size(), 101u * 37u * 3u);
        // BMP rows are stored bottom-up: decoded row y is still buffer row 36 - y.
        const Bytes still = ExpectedStill(kModeCustom, 101, 37, kBgrLayout);
        std::size_t mismatches = 0;
        for (std::size_t y = 0; y < 37; ++y) {
            for (std::size_t x = 0; x < 101; ++x) {
                const std::uint8_t *d = &rgb[(y * 101 + x) * 3];
                const std::size_t p = (36 - y) * 101 + x;
                if (mono) {
                    mismatches += d[0] != still[p] || d[1] != still[p] || d[2] != still[p];
                } else {
                    mismatches += d[0] != still[4 * p + 2] || d[1] != still[4 * p + 1] || d[2] != still[4 * p];
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
    }
}
#endif

} // namespace
