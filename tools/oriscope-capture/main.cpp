// oriscope-capture: a DirectShow host that finds "Orvex Oriscope capture"
// among the video input devices, renders its preview and capture pins
// through the capture graph builder into sample grabbers, runs for a few
// seconds, saves preview frames as BMP files and prints each pin's frame rate.
// It can list the filter's standard controls and capture formats, set gain
// and exposure through them, and pick the capture format before rendering.
// With --stills N it also renders the still pin, triggers N stills through
// IAMVideoControl spread over the run and saves them as BMP files.
//
// Usage: oriscope-capture [--seconds N] [--frames N] [--stills N] [--out DIR] [--list] [--controls]
//                         [--gain N] [--exposure N] [--format WxH|INDEX]
#define NO_DSHOW_STRSAFE
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include "tools/common/grabber_ids.h"
#include "tools/common/graph_clock.h"

namespace {

const wchar_t kDeviceName[] = L"Orvex Oriscope capture";

struct Options {
    int seconds = 3;
    int frames = 3;
    int stills = 0;
    std::string outputDirectory = ".";
    bool listOnly = false;
    bool listControls = false;
    std::optional<long> gain;
    std::optional<long> exposure; // log2 seconds
    std::string format;           // "WxH" or a capability index; empty: the pin's own
};

const char kUsage[] =
    "usage: oriscope-capture [--seconds N] [--frames N] [--stills N] [--out DIR] [--list] [--controls]\n"
    "                        [--gain N] [--exposure N] [--format WxH|INDEX]\n";

// A whole decimal number (a sign allowed), or nothing.
std::optional<long> ParseNumber(const char *text) {
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0')
        return std::nullopt;
    return value;
}

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
        else if (arg == "--controls")
            options.listControls = true;
        else if (arg == "--gain" && hasValue) {
            if (!(options.gain = ParseNumber(argv[++i])))
                return false;
        } else if (arg == "--exposure" && hasValue) {
            if (!(options.exposure = ParseNumber(argv[++i])))
                return false;
        } else if (arg == "--format" && hasValue)
            options.format = argv[++i];
        else
            return false;
    }
    return options.seconds > 0 && options.frames >= 0 && options.stills >= 0;
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
        const long length = sample->GetActualDataLength();
        sampleBytes = length;
        std::lock_guard<std::mutex> guard(lock);
        BYTE *data = nullptr;
        // The capture pin repeats an empty picture until the camera's first
        // frame arrives: those are not worth saving.
        if (int(kept.size()) < framesToKeep && SUCCEEDED(sample->GetPointer(&data)) && data != nullptr &&
            std::any_of(data, data + length, [](BYTE b) { return b != 0; }))
            kept.emplace_back(data, data + length);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE *, long) override { return E_NOTIMPL; }

    std::atomic<long> samples{0};
    std::atomic<long> sampleBytes{0}; // the last sample's
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

void DeleteType(AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return;
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk != nullptr)
        type->pUnk->Release();
    CoTaskMemFree(type);
}

// The IAMStreamConfig of the filter's capture pin (the pin that has one), or null.
IAMStreamConfig *FindStreamConfig(IBaseFilter *source) {
    IEnumPins *pins = nullptr;
    IAMStreamConfig *config = nullptr;
    if (FAILED(source->EnumPins(&pins)))
        return nullptr;
    IPin *pin = nullptr;
    while (config == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
        if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void **>(&config))))
            config = nullptr;
        pin->Release();
    }
    pins->Release();
    return config;
}

struct Capability {
    int index;
    LONG width, height;
};

std::vector<Capability> Capabilities(IAMStreamConfig *config) {
    std::vector<Capability> list;
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || size != int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
        return list;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE *type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (config->GetStreamCaps(i, &type, reinterpret_cast<BYTE *>(&caps)) != S_OK)
            continue;
        if (type->pbFormat != nullptr && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto *header = reinterpret_cast<const VIDEOINFOHEADER *>(type->pbFormat);
            list.push_back({i, header->bmiHeader.biWidth, header->bmiHeader.biHeight});
        }
        DeleteType(type);
    }
    return list;
}

void PrintCapabilities(FILE *out, const std::vector<Capability> &list) {
    for (const Capability &c : list)
        std::fprintf(out, "  %d: %ldx%ld\n", c.index, c.width, c.height);
}

// Picks the capture format `wanted` ("WxH" or an index) by IAMStreamConfig::SetFormat.
bool SelectFormat(IBaseFilter *source, const std::string &wanted) {
    IAMStreamConfig *config = FindStreamConfig(source);
    if (config == nullptr) {
        std::fprintf(stderr, "oriscope-capture: the filter has no IAMStreamConfig\n");
        return false;
    }
    const std::vector<Capability> list = Capabilities(config);
    const Capability *chosen = nullptr;
    long width = 0, height = 0;
    char end = 0;
    const bool bySize = std::sscanf(wanted.c_str(), "%ldx%ld%c", &width, &height, &end) == 2;
    const std::optional<long> index = bySize ? std::nullopt : ParseNumber(wanted.c_str());
    for (const Capability &c : list)
        if ((bySize && c.width == width && c.height == height) || (index && c.index == *index))
            chosen = &c;
    bool ok = chosen != nullptr;
    if (!ok) {
        std::fprintf(stderr, "oriscope-capture: no capture format \"%s\"; the capture pin offers:\n", wanted.c_str());
        PrintCapabilities(stderr, list);
    } else {
        AM_MEDIA_TYPE *type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        HRESULT hr = config->GetStreamCaps(chosen->index, &type, reinterpret_cast<BYTE *>(&caps));
        if (hr == S_OK)
            hr = config->SetFormat(type);
        DeleteType(type);
        ok = hr == S_OK;
        if (ok)
            std::printf("capture format %ld x %ld (capability %d)\n", chosen->width, chosen->height, chosen->index);
        else
            std::fprintf(stderr, "oriscope-capture: SetFormat %ldx%ld failed (0x%08lx)\n", chosen->width,
                         chosen->height, hr);
    }
    config->Release();
    return ok;
}

// IAMVideoProcAmp and IAMCameraControl share their three methods' shape.
const char *const kProcAmpNames[] = {"Brightness",  "Contrast",     "Hue",
                                     "Saturation",  "Sharpness",    "Gamma",
                                     "ColorEnable", "WhiteBalance", "BacklightCompensation",
                                     "Gain"};
const char *const kCameraNames[] = {"Pan", "Tilt", "Roll", "Zoom", "Exposure", "Iris", "Focus"};

const char *FlagsText(long flags) {
    const bool automatic = (flags & 1) != 0, manual = (flags & 2) != 0;
    return automatic && manual ? "auto|manual" : automatic ? "auto" : manual ? "manual" : "none";
}

// Lists every property `control` supports; the others are left out.
template <typename Control>
void PrintControls(Control *control, const char *title, const char *const *names, int count) {
    std::printf("%s:\n", title);
    int supported = 0;
    for (int property = 0; property < count; ++property) {
        long minimum = 0, maximum = 0, step = 0, byDefault = 0, caps = 0, value = 0, flags = 0;
        if (FAILED(control->GetRange(property, &minimum, &maximum, &step, &byDefault, &caps)))
            continue;
        ++supported;
        std::printf("  %-12s min %ld, max %ld, step %ld, default %ld, flags %s", names[property], minimum, maximum,
                    step, byDefault, FlagsText(caps));
        if (SUCCEEDED(control->Get(property, &value, &flags)))
            std::printf(", value %ld (%s)\n", value, FlagsText(flags));
        else
            std::printf(", value unreadable\n");
    }
    std::printf("  (%d of %d properties supported)\n", supported, count);
}

int ListControls(IBaseFilter *source) {
    IAMVideoProcAmp *procAmp = nullptr;
    IAMCameraControl *camera = nullptr;
    if (SUCCEEDED(source->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void **>(&procAmp))))
        PrintControls(procAmp, "IAMVideoProcAmp", kProcAmpNames, 10);
    else
        std::printf("IAMVideoProcAmp: not offered\n");
    if (SUCCEEDED(source->QueryInterface(IID_IAMCameraControl, reinterpret_cast<void **>(&camera))))
        PrintControls(camera, "IAMCameraControl (exposure in log2 seconds)", kCameraNames, 7);
    else
        std::printf("IAMCameraControl: not offered\n");
    SafeRelease(procAmp);
    SafeRelease(camera);
    IAMStreamConfig *config = FindStreamConfig(source);
    if (config == nullptr) {
        std::printf("capture pin: no IAMStreamConfig\n");
        return 1;
    }
    std::printf("capture pin formats (IAMStreamConfig):\n");
    PrintCapabilities(stdout, Capabilities(config));
    config->Release();
    return 0;
}

// Sets one property of `Control` to `value` (manual), within its range.
template <typename Control>
bool SetControl(IBaseFilter *source, REFIID iid, long property, long value, const char *what) {
    Control *control = nullptr;
    if (FAILED(source->QueryInterface(iid, reinterpret_cast<void **>(&control)))) {
        std::fprintf(stderr, "oriscope-capture: the filter has no control for %s\n", what);
        return false;
    }
    long minimum = 0, maximum = 0, step = 0, byDefault = 0, caps = 0, flags = 0, now = 0;
    HRESULT hr = control->GetRange(property, &minimum, &maximum, &step, &byDefault, &caps);
    bool ok = false;
    if (FAILED(hr))
        std::fprintf(stderr, "oriscope-capture: %s is not supported by this camera (0x%08lx)\n", what, hr);
    else if (value < minimum || value > maximum)
        std::fprintf(stderr, "oriscope-capture: %s %ld refused: the range is %ld to %ld\n", what, value, minimum,
                     maximum);
    else if (FAILED(hr = control->Set(property, value, 2 /* manual */)))
        std::fprintf(stderr, "oriscope-capture: %s %ld refused (0x%08lx)\n", what, value, hr);
    else if (SUCCEEDED(control->Get(property, &now, &flags)))
        ok = true, std::printf("%s set to %ld\n", what, now);
    else
        ok = true;
    control->Release();
    return ok;
}

// The settings the options ask for, before the graph is built.
bool PrepareFilter(IBaseFilter *source, const Options &options) {
    if (options.gain &&
        !SetControl<IAMVideoProcAmp>(source, IID_IAMVideoProcAmp, VideoProcAmp_Gain, *options.gain, "gain"))
        return false;
    if (options.exposure && !SetControl<IAMCameraControl>(source, IID_IAMCameraControl, CameraControl_Exposure,
                                                          *options.exposure, "exposure"))
        return false;
    return options.format.empty() || SelectFormat(source, options.format);
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
    // The capture pin's default types do not describe its pictures: save them
    // only once a format was chosen.
    Branch capture("Capture", &PIN_CATEGORY_CAPTURE, options.format.empty() ? 0 : options.frames);
    Branch still("Still", &PIN_CATEGORY_STILL, options.stills);
    StillTrigger trigger;
    HRESULT hr = CreateCaptureGraph(source, kDeviceName, graph, builder);
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
            std::printf("%-8s pin: %ld x %ld RGB32 (%ld-byte samples), %ld frames in %.1f s, %.1f frames per second\n",
                        branch->label, branch->width, branch->height, long(branch->counter.sampleBytes),
                        long(branch->counter.samples), elapsed,
                        double(branch == &preview ? previewSamples : captureSamples) / elapsed);
        for (Branch *branch : {&preview, &capture}) {
            std::lock_guard<std::mutex> guard(branch->counter.lock);
            for (std::size_t i = 0; i < branch->counter.kept.size(); ++i) {
                const std::string path = options.outputDirectory + "/" +
                                         (branch == &preview ? "preview-" : "capture-") + std::to_string(i + 1) +
                                         ".bmp";
                if (WriteBmp(path, branch->counter.kept[i], branch->width, branch->height))
                    std::printf("saved %s\n", path.c_str());
                else
                    std::fprintf(stderr, "oriscope-capture: cannot write %s\n", path.c_str());
            }
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
        std::fprintf(stderr, "%s", kUsage);
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
        } else if (options.listControls) {
            std::printf("found \"%ls\"\n", kDeviceName);
            status = ListControls(source);
            source->Release();
        } else {
            std::printf("found \"%ls\"; running for %d s\n", kDeviceName, options.seconds);
            status = PrepareFilter(source, options) ? RunCapture(source, options) : 1;
            source->Release();
        }
    }
    SafeRelease(device);
    CoUninitialize();
    return status;
}
