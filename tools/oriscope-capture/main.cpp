// oriscope-capture: a DirectShow host that finds "Orvex Oriscope capture"
// among the video input devices, renders its preview and capture pins
// through the capture graph builder into sample grabbers, runs for a few
// seconds, saves preview frames as BMP files and prints each pin's frame rate.
// With --stills N it also renders the still pin, triggers N stills through
// IAMVideoControl spread over the run and saves them as BMP files.
//
// Usage: oriscope-capture [--seconds N] [--frames N] [--stills N] [--out DIR] [--list]
#define NO_DSHOW_STRSAFE
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include "tools/common/graph_clock.h"

namespace {

// Not in the SDK headers the cross toolchain ships.
const GUID kClsidSampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const GUID kClsidNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const GUID kIidSampleGrabber = {0x6b652fff, 0x11fe, 0x4fce, {0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7, 0xc7, 0x8f}};
const GUID kIidSampleGrabberCB = {0x0579154a, 0x2b53, 0x4994, {0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e, 0xff, 0x85}};
const wchar_t kDeviceName[] = L"Orvex Oriscope capture";

struct Options {
    int seconds = 3;
    int frames = 3;
    int stills = 0;
    std::string outputDirectory = ".";
    bool listOnly = false;
};

bool ParseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue)
            options.seconds = std::atoi(argv[++i]);
        else if (arg == "--frames" && hasValue)
            options.frames = std::atoi(argv[++i]);
        else if (arg == "--stills" && hasValue)
            options.stills = std::atoi(argv[++i]);
        else if (arg == "--out" && hasValue)
            options.outputDirectory = argv[++i];
        else if (arg == "--list")
            options.listOnly = true;
        else
            return false;
    }
    return options.seconds > 0 && options.frames >= 0 && options.stills >= 0;
}

template <typename T> void SafeRelease(T *&object) {
    if (object != nullptr)
        object->Release();
    object = nullptr;
}

// Counts one pin's samples and keeps copies of the first few.
class FrameCounter : public ISampleGrabberCB {
public:
    explicit FrameCounter(int keep) : framesToKeep(keep) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        if (result == nullptr)
            return E_POINTER;
        *result = (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidSampleGrabberCB)) ? this : nullptr;
        return *result != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample *sample) override {
        ++samples;
        std::lock_guard<std::mutex> guard(lock);
        BYTE *data = nullptr;
        if (int(kept.size()) < framesToKeep && SUCCEEDED(sample->GetPointer(&data)) && data != nullptr)
            kept.emplace_back(data, data + sample->GetActualDataLength());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

    std::atomic<long> samples{0};
    std::mutex lock;
    std::vector<std::vector<BYTE>> kept;

private:
    int framesToKeep;
};

// One pin's branch: Sample Grabber, then Null Renderer.
struct Branch {
    const char *label;
    const GUID *category;
    IBaseFilter *grabber = nullptr;
    IBaseFilter *renderer = nullptr;
    FrameCounter counter;
    LONG width = 0, height = 0;

    Branch(const char *name, const GUID *pinCategory, int keep) : label(name), category(pinCategory), counter(keep) {}
    ~Branch() {
        SafeRelease(grabber);
        SafeRelease(renderer);
    }
};

// The device's moniker, or null; prints every video input device when `print`.
IMoniker *FindDevice(bool print) {
    ICreateDevEnum *devices = nullptr;
    IEnumMoniker *monikers = nullptr;
    IMoniker *found = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void **>(&devices))))
        return nullptr;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker *moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(
                    moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag))) &&
                SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
                if (print)
                    std::printf("video input device: %ls\n", name.bstrVal);
                if (found == nullptr && std::wcscmp(name.bstrVal, kDeviceName) == 0) {
                    found = moniker;
                    found->AddRef();
                }
            }
            VariantClear(&name);
            SafeRelease(bag);
            moniker->Release();
        }
    }
    SafeRelease(monikers);
    SafeRelease(devices);
    return found;
}

HRESULT AddBranch(IGraphBuilder *graph, Branch &branch) {
    HRESULT hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void **>(&branch.grabber));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void **>(&branch.renderer));
    wchar_t name[64];
    std::swprintf(name, 64, L"%hs grabber", branch.label);
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(branch.grabber, name);
    std::swprintf(name, 64, L"%hs renderer", branch.label);
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(branch.renderer, name);
    ISampleGrabber *sampleGrabber = nullptr;
    if (SUCCEEDED(hr))
        hr = branch.grabber->QueryInterface(kIidSampleGrabber, reinterpret_cast<void **>(&sampleGrabber));
    if (SUCCEEDED(hr))
        hr = sampleGrabber->SetCallback(&branch.counter, 0);
    SafeRelease(sampleGrabber);
    return hr;
}

// The picture size the branch's grabber was connected with.
void ReadConnectedSize(Branch &branch) {
    ISampleGrabber *sampleGrabber = nullptr;
    AM_MEDIA_TYPE type{};
    if (SUCCEEDED(branch.grabber->QueryInterface(kIidSampleGrabber, reinterpret_cast<void **>(&sampleGrabber))) &&
        SUCCEEDED(sampleGrabber->GetConnectedMediaType(&type))) {
        if (type.pbFormat != nullptr && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto *header = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
            branch.width = header->bmiHeader.biWidth;
            branch.height = header->bmiHeader.biHeight;
        }
        CoTaskMemFree(type.pbFormat);
        if (type.pUnk != nullptr)
            type.pUnk->Release();
    }
    SafeRelease(sampleGrabber);
}

// Size of the 24-bit BMP file of a width x height picture.
DWORD BmpFileBytes(LONG width, LONG height) {
    return DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) + ((DWORD(width) * 3 + 3) & ~3u) * DWORD(height);
}

// Writes 32-bit pixels (rows bottom-up, as the media type says) as a 24-bit BMP.
bool WriteBmp(const std::string &path, const std::vector<BYTE> &pixels, LONG width, LONG height) {
    if (width <= 0 || height <= 0 || pixels.size() < std::size_t(width) * std::size_t(height) * 4)
        return false;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const DWORD rowBytes = (DWORD(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER fileHeader{};
    BITMAPINFOHEADER info{};
    fileHeader.bfType = 0x4D42; // "BM"
    fileHeader.bfOffBits = sizeof fileHeader + sizeof info;
    fileHeader.bfSize = fileHeader.bfOffBits + rowBytes * DWORD(height);
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = rowBytes * DWORD(height);
    bool ok =
        std::fwrite(&fileHeader, sizeof fileHeader, 1, file) == 1 && std::fwrite(&info, sizeof info, 1, file) == 1;
    std::vector<BYTE> row(rowBytes, 0);
    for (LONG y = 0; ok && y < height; ++y) {
        const BYTE *source = pixels.data() + std::size_t(y) * std::size_t(width) * 4;
        for (LONG x = 0; x < width; ++x)
            std::memcpy(&row[std::size_t(x) * 3], source + std::size_t(x) * 4, 3);
        ok = std::fwrite(row.data(), rowBytes, 1, file) == 1;
    }
    return std::fclose(file) == 0 && ok;
}

// The still pin and the filter's IAMVideoControl that triggers it.
struct StillTrigger {
    IAMVideoControl *control = nullptr;
    IPin *pin = nullptr;
    int triggered = 0;
    ~StillTrigger() {
        SafeRelease(control);
        SafeRelease(pin);
    }
    HRESULT Find(ICaptureGraphBuilder2 *builder, IBaseFilter *source) {
        HRESULT hr = source->QueryInterface(IID_IAMVideoControl, reinterpret_cast<void **>(&control));
        if (SUCCEEDED(hr))
            hr = builder->FindPin(source, PINDIR_OUTPUT, &PIN_CATEGORY_STILL, nullptr, FALSE, 0, &pin);
        return hr;
    }
    void Trigger() {
        const HRESULT hr = control->SetMode(pin, VideoControlFlag_Trigger);
        if (SUCCEEDED(hr))
            ++triggered;
        else
            std::fprintf(stderr, "oriscope-capture: still trigger refused (0x%08lx)\n", hr);
    }
};

// Runs the graph for `seconds`, triggering `stills` stills at even spacing
// within the run; then waits (2 s at most) for the last stills to arrive.
void RunAndTrigger(int seconds, int stills, StillTrigger &trigger, const FrameCounter &stillCounter) {
    const DWORD slice = DWORD(seconds) * 1000 / DWORD(stills + 1);
    for (int i = 0; i < stills; ++i) {
        Sleep(slice);
        trigger.Trigger();
    }
    Sleep(DWORD(seconds) * 1000 - slice * DWORD(stills));
    for (int waited = 0; stillCounter.samples < trigger.triggered && waited < 2000; waited += 10)
        Sleep(10);
}

int RunCapture(IBaseFilter *source, const Options &options) {
    IGraphBuilder *graph = nullptr;
    ICaptureGraphBuilder2 *builder = nullptr;
    IMediaControl *control = nullptr;
    Branch preview("Preview", &PIN_CATEGORY_PREVIEW, options.frames);
    Branch capture("Capture", &PIN_CATEGORY_CAPTURE, 0);
    Branch still("Still", &PIN_CATEGORY_STILL, options.stills);
    StillTrigger trigger;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void **>(&graph));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void **>(&builder));
    if (SUCCEEDED(hr))
        hr = builder->SetFiltergraph(graph);
    if (SUCCEEDED(hr))
        hr = graph->AddFilter(source, kDeviceName);
    for (Branch *branch : {&preview, &capture, &still}) {
        if (branch == &still && options.stills == 0)
            break;
        if (SUCCEEDED(hr))
            hr = AddBranch(graph, *branch);
        if (SUCCEEDED(hr))
            hr = builder->RenderStream(branch->category, &MEDIATYPE_Video, source, branch->grabber, branch->renderer);
        if (FAILED(hr))
            std::fprintf(stderr, "oriscope-capture: cannot render the %s pin (0x%08lx)\n", branch->label, hr);
        else
            ReadConnectedSize(*branch);
    }
    if (SUCCEEDED(hr) && options.stills > 0 && FAILED(hr = trigger.Find(builder, source)))
        std::fprintf(stderr, "oriscope-capture: no still pin to trigger (0x%08lx)\n", hr);
    if (SUCCEEDED(hr))
        hr = graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control));
    int status = 1;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = control->Run())) {
        const DWORD begin = GetTickCount();
        if (options.stills > 0)
            RunAndTrigger(options.seconds, options.stills, trigger, still.counter);
        else
            Sleep(DWORD(options.seconds) * 1000);
        const double elapsed = (GetTickCount() - begin) / 1000.0;
        const long previewSamples = preview.counter.samples, captureSamples = capture.counter.samples;
        control->Stop();
        for (const Branch *branch : {&preview, &capture})
            std::printf("%-8s pin: %ld x %ld RGB32, %ld frames in %.1f s, %.1f frames per second\n", branch->label,
                        branch->width, branch->height, long(branch->counter.samples), elapsed,
                        double(branch == &preview ? previewSamples : captureSamples) / elapsed);
        std::lock_guard<std::mutex> guard(preview.counter.lock);
        for (std::size_t i = 0; i < preview.counter.kept.size(); ++i) {
            const std::string path = options.outputDirectory + "/preview-" + std::to_string(i + 1) + ".bmp";
            if (WriteBmp(path, preview.counter.kept[i], preview.width, preview.height))
                std::printf("saved %s\n", path.c_str());
            else
                std::fprintf(stderr, "oriscope-capture: cannot write %s\n", path.c_str());
        }
        status = (previewSamples > 0 && captureSamples > 0) ? 0 : 1;
        if (options.stills > 0) {
            std::printf("%-8s pin: %ld x %ld RGB32, %ld stills of %d triggered\n", still.label, still.width,
                        still.height, long(still.counter.samples), trigger.triggered);
            std::lock_guard<std::mutex> stillGuard(still.counter.lock);
            for (std::size_t i = 0; i < still.counter.kept.size(); ++i) {
                const std::string path = options.outputDirectory + "/still-" + std::to_string(i + 1) + ".bmp";
                if (WriteBmp(path, still.counter.kept[i], still.width, still.height))
                    std::printf("saved %s: %ld x %ld, %lu bytes\n", path.c_str(), still.width, still.height,
                                static_cast<unsigned long>(BmpFileBytes(still.width, still.height)));
                else
                    std::fprintf(stderr, "oriscope-capture: cannot write %s\n", path.c_str());
            }
            if (still.counter.samples != options.stills)
                status = 1;
        }
    } else {
        std::fprintf(stderr, "oriscope-capture: the graph did not run (0x%08lx)\n", hr);
    }
    // The graph's clock goes last, when its thread is idle (see graph_clock.h).
    IReferenceClock *clock = TakeGraphClock(graph);
    SafeRelease(control);
    SafeRelease(builder);
    SafeRelease(graph);
    ReleaseClockWhenIdle(clock);
    return status;
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: oriscope-capture [--seconds N] [--frames N] [--stills N] [--out DIR] [--list]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    int status = 0;
    IMoniker *device = FindDevice(options.listOnly);
    if (options.listOnly) {
        status = 0;
    } else if (device == nullptr) {
        std::fprintf(stderr,
                     "oriscope-capture: \"%ls\" is not a registered video input device; "
                     "register it with: regsvr32 Oriscope.dll\n",
                     kDeviceName);
        status = 3;
    } else {
        IBaseFilter *source = nullptr;
        const HRESULT hr = device->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&source));
        if (FAILED(hr)) {
            std::fprintf(stderr, "oriscope-capture: cannot create the filter (0x%08lx)\n", hr);
            status = 1;
        } else {
            std::printf("found \"%ls\"; running for %d s\n", kDeviceName, options.seconds);
            status = RunCapture(source, options);
            source->Release();
        }
    }
    SafeRelease(device);
    CoUninitialize();
    return status;
}
