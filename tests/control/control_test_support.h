// Shared pieces of the control tests: Oriscope.dll registered in the test's
// Wine prefix, filters made through COM and reached through ICameraSettings as
// an application would, the simulated camera's configuration, a running
// graph whose preview frames arrive at a Sample Grabber, and a BMP decoder.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/framework/framework.h"
#include "camera_settings.h"
#include "sim/midlib/midlib_sim.h"
#include "tests/support/dshow_ids.h"
#include "tests/support/grabber_callback.h"
#include "tests/support/graph_helpers.h"

// Published identifier, written out here so that a wrong constant in the
// code under test cannot agree with itself.
inline constexpr GUID kIidCameraSettings = {
    0xe5d66f6d, 0x3d28, 0x4982, {0xaf, 0x6e, 0xd6, 0x4d, 0x29, 0x53, 0x38, 0x37}};

// Oriscope.dll beside the test program, loaded and registered once per process.
HMODULE OriscopeModule();
// The module's DllCanUnloadNow: S_OK once none of its objects is alive.
HRESULT OriscopeCanUnloadNow();

// Replaces the simulated camera's configuration (a test failure if not understood).
void ConfigureCamera(const char *config);

// One 32-bit picture as it arrived at the grabber.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    const std::uint8_t *Pixel(int row, int column) const {
        return bytes.data() + (std::size_t(row) * std::size_t(width) + std::size_t(column)) * 4u;
    }
    bool Interior(int row, int column) const { return row > 0 && column > 0 && row < height - 1 && column < width - 1; }
};

// Records the samples of one Sample Grabber and copies one on request.
class FrameCollector : public GrabberCallback {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample *sample) override;

    // Copies the sample that arrives after `skip` further samples; false when
    // they do not all come within timeoutMs.
    bool CopyAfter(long skip, std::vector<std::uint8_t> &bytes, std::uint32_t timeoutMs);
    bool WaitForSamples(long count, std::uint32_t timeoutMs) const;

    std::atomic<long> samples{0};

private:
    std::mutex lock;
    long copyAt = -1; // sample number to copy, -1: none wanted
    bool copied = false;
    std::vector<std::uint8_t> copy;
};

// Filter → Sample Grabber → Null Renderer in a Wine filter graph without a
// clock, built from the filter's "Preview" (or "~Capture") pin.
class GrabberGraph {
public:
    GrabberGraph() = default;
    GrabberGraph(const GrabberGraph &) = delete;
    GrabberGraph &operator=(const GrabberGraph &) = delete;
    ~GrabberGraph() { Release(); }

    // Builds the graph around `filter` and connects its pin `pinName`.
    bool Build(IBaseFilter *filter, const wchar_t *pinName = L"Preview");
    bool Run();
    void Stop();
    void Release();

    // A frame converted wholly after this call (two samples are let pass first).
    bool FreshFrame(Frame &frame, std::uint32_t timeoutMs = 10000);

    int width = 0;
    int height = 0;
    FrameCollector collector;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> source;
    ComPtr<IBaseFilter> grabber;
    ComPtr<IBaseFilter> renderer;
};

// Width and height of the first media type `pin` offers (the pin's own types while unconnected).
bool OfferedSize(IPin *pin, int &width, int &height);

// A decoded 24-bit BMP file: its headers' fields and its rows as stored.
struct BmpFile {
    std::uint64_t fileSize = 0;
    std::uint32_t declaredSize = 0, dataOffset = 0, infoSize = 0;
    std::int32_t width = 0, height = 0;
    std::uint16_t planes = 0, bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::vector<std::uint8_t> pixels; // width * 3 bytes per row, padding removed
};
// Reads and decodes `path`; false (with the reason) when it is no such BMP.
bool ReadBmp(const std::string &path, BmpFile &bmp, std::string &problem);
// Size of a file, -1 when missing.
long long FileSize(const std::string &path);

// COM, the registered module, a configured camera, and after each test no
// object of the module alive and no camera record open.
class ControlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new filter made by CoCreateInstance, held until the test ends, and its ICameraSettings.
    IBaseFilter *NewFilter(ICameraSettings **settings = nullptr);

    // Default: "pace=30 static=1", colour bars at 30 frames per second, every frame the same.
    const char *cameraConfig = "pace=30 static=1";
    DWORD comModel = COINIT_MULTITHREADED;

private:
    std::vector<ComPtr<IBaseFilter>> filters;
    std::vector<ComPtr<ICameraSettings>> interfaces;
};
