// Graph benchmark (Windows only, runs under Wine): the filter in a real graph
// built by the capture graph builder, the preview and capture pins each
// rendered into a Sample Grabber (a counting callback, no copy) and a Null
// Renderer, with the simulated camera paced at 30 frames per second. For each
// sensor at Full resolution it measures, per pin, the samples delivered
// against the frames the camera produced, the time from IMediaControl::Run to
// the first sample, the time Stop takes, and the process's CPU time per
// camera frame; beside them the time of one default conversion of a frame of
// that size in this process, and the ratio of the two. A table with PASS or
// MISS against each target ends each sensor.
//
// Oriscope.dll is loaded from beside this program through its class factory
// (no registration needed); the simulated camera library it loads is the
// same midlib.dll this program drives through midsim_Configure.
//
// --seconds=N (default 10) streaming time per sensor; --sensors=1,2,3;
// --capture-cpu adds a run with the preview pin alone, so the capture pin's
// share of the CPU per frame shows as the difference.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE
#endif
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include "bench_frames.h"
#include "filter/oriscope_ids.h"
#include "imaging/convert_plan.h"
#include "imaging/frame_converter.h"
#include "sim/midlib/midlib_sim.h"
#include "tools/common/grabber_ids.h"
#include "tools/common/graph_clock.h"

namespace {

constexpr int kFramesPerSecond = 30;
constexpr double kFrameMs = 1000.0 / kFramesPerSecond;
constexpr double kFirstSampleSlackMs = 50.0;
constexpr double kStopTargetMs = 100.0;
constexpr double kPreviewShareTarget = 0.99;
constexpr double kCpuRatioTarget = 1.5;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// User plus kernel time of this process in milliseconds.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0.0;
    auto ticks = [](const FILETIME &t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return double(ticks(kernel) + ticks(user)) / 10000.0;
}

// Counts the samples of one grabber and notes when the first came. Lives on
// the stack of the run, so its reference count is fixed.
class SampleCounter : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        if (result == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidSampleGrabberCB)) {
            *result = static_cast<ISampleGrabberCB *>(this);
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample *) override {
        if (samples.fetch_add(1) == 0)
            firstSampleMs = MsSince(origin);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

    // When Run is called; set just before it.
    Clock::time_point origin = Clock::now();
    std::atomic<long> samples{0};
    std::atomic<double> firstSampleMs{-1.0};
};

// A Sample Grabber (RGB32 video, callback, no buffering) and a Null Renderer.
struct Branch {
    IBaseFilter *grabber = nullptr;
    IBaseFilter *renderer = nullptr;

    HRESULT Add(IGraphBuilder *graph, ISampleGrabberCB *callback, const wchar_t *name) {
        HRESULT hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                      reinterpret_cast<void **>(&grabber));
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void **>(&renderer));
        ISampleGrabber *control = nullptr;
        if (SUCCEEDED(hr))
            hr = grabber->QueryInterface(kIidSampleGrabber, reinterpret_cast<void **>(&control));
        if (SUCCEEDED(hr)) {
            AM_MEDIA_TYPE type{};
            type.majortype = MEDIATYPE_Video;
            type.subtype = MEDIASUBTYPE_RGB32;
            control->SetMediaType(&type);
            control->SetBufferSamples(FALSE);
            control->SetOneShot(FALSE);
            hr = control->SetCallback(callback, 0);
        }
        SafeRelease(control);
        if (SUCCEEDED(hr))
            hr = graph->AddFilter(grabber, (std::wstring(name) + L" grabber").c_str());
        if (SUCCEEDED(hr))
            hr = graph->AddFilter(renderer, (std::wstring(name) + L" renderer").c_str());
        return hr;
    }
    void Release() {
        SafeRelease(grabber);
        SafeRelease(renderer);
    }
};

// Oriscope.dll from beside this program, through its class factory.
IBaseFilter *CreateCameraFilter() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, length);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"Oriscope.dll";
    static HMODULE module = LoadLibraryW(dll.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "graph_bench: cannot load %ls\n", dll.c_str());
        return nullptr;
    }
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    const auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void *>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory *factory = nullptr;
    IBaseFilter *filter = nullptr;
    if (getClassObject != nullptr &&
        SUCCEEDED(getClassObject(kClsidOriscopeFilter, IID_IClassFactory, reinterpret_cast<void **>(&factory)))) {
        factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter));
        factory->Release();
    }
    return filter;
}

// The capture pin's first capability (Full of the attached sensor), so its
// samples hold the whole frame rather than the default type's crop.
HRESULT SelectFullCaptureFormat(ICaptureGraphBuilder2 *builder, IBaseFilter *source) {
    IAMStreamConfig *config = nullptr;
    HRESULT hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, IID_IAMStreamConfig,
                                        reinterpret_cast<void **>(&config));
    AM_MEDIA_TYPE *type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    if (SUCCEEDED(hr))
        hr = config->GetStreamCaps(0, &type, reinterpret_cast<BYTE *>(&caps));
    if (hr == S_OK)
        hr = config->SetFormat(type);
    if (type != nullptr) {
        if (type->cbFormat != 0)
            CoTaskMemFree(type->pbFormat);
        if (type->pUnk != nullptr)
            type->pUnk->Release();
        CoTaskMemFree(type);
    }
    SafeRelease(config);
    return hr;
}

// Median time of one conversion of a frame of this size at the filter's
// default settings, single-threaded, the raw frame restored before each.
double DefaultConversionMs(int width, int height) {
    const std::vector<std::uint8_t> scene = MakeSceneFrame(width, height, 1500);
    std::vector<std::uint8_t> raw(scene.size());
    std::vector<std::uint8_t> out(scene.size() * 4);
    CameraEngine engine;
    std::vector<double> times;
    for (int i = 0; i < 40; ++i) {
        std::memcpy(raw.data(), scene.data(), raw.size());
        const Clock::time_point start = Clock::now();
        FrameConverter::convert(engine, raw.data(), out.data(), width, height, width);
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median time the simulated camera takes to render one frame of its open
// camera (its share of the process's CPU, which a real camera does not
// cost); negative when it renders nothing.
double SimulatedFrameMs(int width, int height) {
    std::vector<std::uint8_t> raw(std::size_t(width) * std::size_t(height) * 2);
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        const Clock::time_point start = Clock::now();
        if (midsim_RenderFrame(0, raw.data(), std::uint32_t(raw.size())) <= 0)
            return -1.0;
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median time of copying one 32-bit picture of this size with memcpy (the
// capture pin's own copy of a repeated picture is cheaper: its stores
// bypass the cache).
double PictureCopyMs(int width, int height) {
    std::vector<std::uint8_t> from(std::size_t(width) * std::size_t(height) * 4, 1);
    std::vector<std::uint8_t> to(from.size());
    std::vector<double> times;
    for (int i = 0; i < 40; ++i) {
        const Clock::time_point start = Clock::now();
        std::memcpy(to.data(), from.data(), from.size());
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct PinFigures {
    long samples = 0;
    double firstSampleMs = -1.0;
};

struct RunFigures {
    bool ok = false;
    long produced = 0;
    PinFigures preview, capture;
    long captureNewFrames = -1; // IAMDroppedFrames::GetNumNotDropped
    double runMs = 0.0;         // IMediaControl::Run itself (the filter opens the camera in it)
    double firstFrameMs = 0.0;  // Run to the camera's first frame (polled: within a millisecond or two)
    double stopMs = 0.0;
    double cpuMsPerFrame = 0.0;
    double cameraMs = -1.0; // SimulatedFrameMs
};

// Builds the graph, runs it for `seconds`, stops it and takes the figures.
RunFigures RunGraph(int seconds, int width, int height, bool withCapture) {
    RunFigures figures;
    IGraphBuilder *graph = nullptr;
    ICaptureGraphBuilder2 *builder = nullptr;
    IMediaControl *control = nullptr;
    IBaseFilter *source = CreateCameraFilter();
    IAMDroppedFrames *dropped = nullptr;
    Branch preview, capture;
    SampleCounter previewCounter, captureCounter;
    HRESULT hr = source != nullptr ? S_OK : E_FAIL;
    if (SUCCEEDED(hr))
        hr = CreateCaptureGraph(source, L"Oriscope", graph, builder);
    if (SUCCEEDED(hr))
        hr = SelectFullCaptureFormat(builder, source);
    if (SUCCEEDED(hr))
        hr = preview.Add(graph, &previewCounter, L"Preview");
    if (SUCCEEDED(hr) && withCapture)
        hr = capture.Add(graph, &captureCounter, L"Capture");
    if (SUCCEEDED(hr))
        hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source, preview.grabber, preview.renderer);
    if (SUCCEEDED(hr) && withCapture)
        hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, capture.grabber, capture.renderer);
    if (SUCCEEDED(hr) && withCapture)
        hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, IID_IAMDroppedFrames,
                                    reinterpret_cast<void **>(&dropped));
    if (SUCCEEDED(hr))
        hr = graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control));
    if (FAILED(hr)) {
        std::fprintf(stderr, "graph_bench: building the graph failed (0x%08lx)\n", static_cast<unsigned long>(hr));
    } else {
        const long producedBefore = midsim_FramesDelivered(0);
        const double cpuBefore = ProcessCpuMs();
        previewCounter.origin = captureCounter.origin = Clock::now();
        hr = control->Run();
        figures.runMs = MsSince(previewCounter.origin);
        if (FAILED(hr)) {
            std::fprintf(stderr, "graph_bench: Run failed (0x%08lx)\n", static_cast<unsigned long>(hr));
        } else {
            // The camera's first frame, polled, to tell its start from the pins' delivery.
            while (midsim_FramesDelivered(0) <= producedBefore && MsSince(previewCounter.origin) < 2000.0)
                Sleep(1);
            figures.firstFrameMs = MsSince(previewCounter.origin);
            Sleep(DWORD(seconds) * 1000u);
            const long producedAfter = midsim_FramesDelivered(0);
            const double cpuAfter = ProcessCpuMs();
            figures.preview = {previewCounter.samples.load(), previewCounter.firstSampleMs.load()};
            figures.capture = {captureCounter.samples.load(), captureCounter.firstSampleMs.load()};
            LONG newFrames = 0;
            if (dropped != nullptr && SUCCEEDED(dropped->GetNumNotDropped(&newFrames)))
                figures.captureNewFrames = newFrames;
            figures.cameraMs = SimulatedFrameMs(width, height);
            const Clock::time_point stopStart = Clock::now();
            control->Stop();
            figures.stopMs = MsSince(stopStart);
            figures.produced = producedAfter >= producedBefore ? producedAfter - producedBefore : producedAfter;
            figures.cpuMsPerFrame = figures.produced > 0 ? (cpuAfter - cpuBefore) / double(figures.produced) : 0.0;
            figures.ok = true;
        }
    }
    // The clock outlives the graph and its filters (Wine 8.0's clock race).
    IReferenceClock *clock = TakeGraphClock(graph);
    SafeRelease(dropped);
    SafeRelease(control);
    SafeRelease(builder);
    SafeRelease(graph);
    preview.Release();
    capture.Release();
    SafeRelease(source);
    ReleaseClockWhenIdle(clock);
    return figures;
}

const char *Verdict(bool met) {
    return met ? "PASS" : "MISS";
}

// `previewOnly`: the same camera with the capture pin unconnected (not run: ok is false).
void PrintTable(int sensor, int width, int height, const RunFigures &f, const RunFigures &previewOnly,
                double conversionMs) {
    const double cameraMs = f.cameraMs;
    const double firstTarget = kFrameMs + kFirstSampleSlackMs;
    const double previewShare = f.produced > 0 ? double(f.preview.samples) / double(f.produced) : 0.0;
    // Each camera frame is converted once by the preview pin and once by the capture pin.
    constexpr int kConvertingPins = 2;
    // The filter's share: the process's CPU less the simulated camera's rendering.
    const double filterMs = f.cpuMsPerFrame - std::max(0.0, cameraMs);
    const double rawRatio = conversionMs > 0 ? f.cpuMsPerFrame / (conversionMs * kConvertingPins) : 0.0;
    const double ratio = conversionMs > 0 ? filterMs / (conversionMs * kConvertingPins) : 0.0;
    std::printf("\nsensor %d, %d x %d, Full, camera at %d frames/s\n", sensor, width, height, kFramesPerSecond);
    std::printf("| figure | value | target | |\n| --- | --- | --- | --- |\n");
    std::printf("| frames produced | %ld | | |\n", f.produced);
    std::printf("| preview delivered | %ld (%.1f %%) | >= %.0f %% | %s |\n", f.preview.samples, previewShare * 100.0,
                kPreviewShareTarget * 100.0, Verdict(previewShare >= kPreviewShareTarget));
    std::printf("| capture delivered | %ld samples, %ld with a new frame | downstream pace | |\n", f.capture.samples,
                f.captureNewFrames);
    std::printf("| preview first sample | %.1f ms | <= %.1f ms | %s |\n", f.preview.firstSampleMs, firstTarget,
                Verdict(f.preview.firstSampleMs >= 0 && f.preview.firstSampleMs <= firstTarget));
    std::printf("| capture first sample | %.1f ms | <= %.1f ms | %s |\n", f.capture.firstSampleMs, firstTarget,
                Verdict(f.capture.firstSampleMs >= 0 && f.capture.firstSampleMs <= firstTarget));
    std::printf("| Run itself | %.1f ms | | |\n", f.runMs);
    std::printf("| camera's first frame after Run | %.1f ms | | |\n", f.firstFrameMs);
    std::printf("| Stop | %.1f ms | <= %.0f ms | %s |\n", f.stopMs, kStopTargetMs, Verdict(f.stopMs <= kStopTargetMs));
    std::printf("| process CPU per camera frame | %.2f ms | | |\n", f.cpuMsPerFrame);
    if (previewOnly.ok && previewOnly.produced > 0)
        std::printf("| of which the capture pin (less a run with the preview pin alone) | %.2f ms | | |\n",
                    f.cpuMsPerFrame - previewOnly.cpuMsPerFrame);
    std::printf("| simulated camera's rendering of a frame | %.2f ms | | |\n", cameraMs);
    std::printf("| one default conversion | %.2f ms | | |\n", conversionMs);
    std::printf("| one memcpy of the picture | %.2f ms | | |\n", PictureCopyMs(width, height));
    std::printf("| process CPU / (conversion x %d pins) | %.2f | | |\n", kConvertingPins, rawRatio);
    std::printf("| (CPU - camera) / (conversion x %d pins) | %.2f | <= %.1f | %s |\n", kConvertingPins, ratio,
                kCpuRatioTarget, Verdict(ratio > 0 && ratio <= kCpuRatioTarget));
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    int seconds = 10;
    std::vector<int> sensors = {1, 2, 3};
    bool captureCpu = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--seconds=", 0) == 0) {
            seconds = std::max(1, std::atoi(arg.c_str() + 10));
        } else if (arg == "--capture-cpu") {
            captureCpu = true;
        } else if (arg.rfind("--sensors=", 0) == 0) {
            sensors.clear();
            for (const char *p = arg.c_str() + 10; *p != '\0'; ++p)
                if (*p >= '1' && *p <= '3')
                    sensors.push_back(*p - '0');
        } else {
            std::fprintf(stderr, "usage: graph_bench [--seconds=N] [--sensors=1,2,3] [--capture-cpu]\n");
            return 2;
        }
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    std::printf("graph benchmark: %d s per sensor, %s kernels for the conversion timing\n", seconds,
                imaging::KernelLevelName(imaging::ActiveKernelLevel()));
    int failures = 0;
    for (const int sensor : sensors) {
        int width = 0, height = 0;
        SensorFullSize(sensor, width, height);
        const std::string config = "sensor=" + std::to_string(sensor) + " pace=" + std::to_string(kFramesPerSecond);
        if (midsim_Configure(config.c_str()) != 0) {
            std::fprintf(stderr, "graph_bench: the simulated camera refused \"%s\"\n", config.c_str());
            ++failures;
            continue;
        }
        const RunFigures figures = RunGraph(seconds, width, height, true);
        RunFigures previewOnly;
        if (captureCpu && figures.ok && midsim_Configure(config.c_str()) == 0)
            previewOnly = RunGraph(seconds, width, height, false);
        if (!figures.ok) {
            ++failures;
            continue;
        }
        PrintTable(sensor, width, height, figures, previewOnly, DefaultConversionMs(width, height));
    }
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
