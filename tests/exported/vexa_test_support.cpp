// The VEXALIB test fixture and its helpers.
#include "vexa_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>

#include "imaging/frame_converter.h"
#include "imaging/still_image.h"

namespace vexatest {

std::vector<RegisterWrite> LoggedWrites() {
    std::vector<RegisterWrite> writes;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == MIDSIM_WRITE) {
            writes.emplace_back(event.reg, event.value);
        }
    }
    return writes;
}

int CountEvents(int kind) {
    int count = 0;
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == kind) {
            ++count;
        }
    }
    return count;
}

std::pair<int, int> LastFrameFormat() {
    std::pair<int, int> format{-1, -1};
    for (int i = 0; i < midsim_EventCount(); ++i) {
        MidsimEvent event{};
        if (midsim_GetEvent(i, &event) && event.kind == MIDSIM_FORMAT) {
            format = {event.width, event.height};
        }
    }
    return format;
}

FrameSize ExpectedFrameSize(int sensorType, int mode, int regionWidth, int regionHeight) {
    int width = 0;
    int height = 0;
    SensorFullSize(sensorType, width, height);
    switch (mode) {
    case kModeHalf:
        return {width / 2, height / 2};
    case kModeQuarter:
        return {width / 4, height / 4};
    case kModeCustom:
        return {regionWidth, regionHeight};
    default:
        return {width, height};
    }
}

std::vector<std::uint8_t> CameraFrame(int index, std::size_t bytes) {
    std::vector<std::uint8_t> frame(bytes);
    const int rendered = midsim_RenderFrame(index, frame.data(), static_cast<std::uint32_t>(bytes));
    EXPECT_EQ(static_cast<std::size_t>(rendered), bytes) << "the camera's format differs from the expected frame";
    return frame;
}

std::vector<std::uint8_t> ExpectedColour(const std::vector<std::uint8_t> &raw, FrameSize size, bool horizontalFlip,
                                         bool verticalFlip) {
    // The conversion reads a little past the frame's last row; the library's
    // buffers hold zeros there, and so does this copy.
    std::vector<std::uint8_t> padded(raw.size() + 4 * std::size_t(size.width) + 64, 0);
    std::copy(raw.begin(), raw.end(), padded.begin());
    CameraEngine settings; // the library build: only the flips matter
    settings.SetHorizontalFlip(horizontalFlip);
    settings.SetVerticalFlip(verticalFlip);
    std::vector<std::uint8_t> picture(size.pixels() * 4);
    FrameConverter::convert(settings, padded.data(), picture.data(), size.width, size.height, size.width);
    PackPixels24(picture.data(), size.width, size.height);
    picture.resize(size.pixels() * 3);
    return picture;
}

void RunBounded(const char *what, int limitMs, const std::function<void()> &call) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread worker([call, done] {
        call();
        done->set_value();
    });
    if (finished.wait_for(std::chrono::milliseconds(limitMs)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s did not return within %d ms; ending the test program\n", what, limitMs);
        std::fflush(stderr);
        std::_Exit(3);
    }
    worker.join();
}

void VexaTest::SetUp() {
    ASSERT_TRUE(VexaModule::instance().loaded()) << VexaModule::instance().loadError();
    ASSERT_NE(vexa.VexaSetRegion, nullptr) << "an export is missing";
    Configure("pace=free");
    // The library's settings outlive every test: put back the defaults.
    vexa.VexaSetCameraNumber(1);
    vexa.VexaSetSensorType(); // the default camera is 1280 x 1024
    vexa.VexaStop();
    vexa.VexaSetCaptureResolution(kModeFull);
    vexa.VexaSetFlipHorizontal(0);
    vexa.VexaSetFlipVertical(0);
    vexa.VexaSetGain(25);
    midsim_ClearLog();
}

void VexaTest::TearDown() {
    RunBounded("VexaStop", 10000, [this] { vexa.VexaStop(); });
    // Stopped: the library holds no camera and no thread any more.
    EXPECT_EQ(midsim_CameraStarted(0), 0);
}

void VexaTest::Configure(const char *config) {
    // Detection leaves the library's camera record in place; reconfiguring
    // frees the simulator's records, so the library lets go of it first.
    Vexa().VexaStop();
    ASSERT_EQ(midsim_Configure(config), 0) << config;
    midsim_ClearLog();
}

bool VexaTest::WaitForFrame(std::uint8_t *buffer, int format) {
    return Vexa().VexaGetBitmap(buffer, 0, format, 5000) == 1;
}

} // namespace vexatest
