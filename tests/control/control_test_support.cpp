// Control test fixture, the grabber graph and the BMP decoder.
#include "tests/control/control_test_support.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/module_export.h"

namespace {
std::wstring ModuleBeside(const wchar_t *name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    directory.resize(directory.find_last_of(L"\\/") + 1);
    return directory + name;
}

using NoArgumentFn = HRESULT(STDAPICALLTYPE *)();

std::uint32_t Little32(const std::uint8_t *bytes) {
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}
std::uint16_t Little16(const std::uint8_t *bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
} // namespace

HMODULE OriscopeModule() {
    // Loaded for the life of the process, so CoCreateInstance finds the same
    // module and DllCanUnloadNow can be asked after every test.
    static HMODULE module = [] {
        HMODULE loaded = LoadLibraryW(ModuleBeside(L"Oriscope.dll").c_str());
        if (loaded == nullptr)
            return loaded;
        auto registerServer = ModuleExport<NoArgumentFn>(loaded, "DllRegisterServer");
        const HRESULT result = registerServer != nullptr ? registerServer() : E_FAIL;
        if (FAILED(result))
            std::fprintf(stderr, "DllRegisterServer failed: 0x%08lx\n", static_cast<unsigned long>(result));
        return loaded;
    }();
    return module;
}

HRESULT OriscopeCanUnloadNow() {
    auto canUnload = ModuleExport<NoArgumentFn>(OriscopeModule(), "DllCanUnloadNow");
    return canUnload != nullptr ? canUnload() : E_FAIL;
}

void ConfigureCamera(const char *config) {
    ASSERT_EQ(midsim_Configure(config), 0) << config;
}

// --- Fixture -----------------------------------------------------------------------------------------

void ControlTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, comModel)));
    ASSERT_NE(OriscopeModule(), nullptr) << "Oriscope.dll cannot be loaded from beside the test";
    ASSERT_EQ(OriscopeCanUnloadNow(), S_OK) << "an earlier test left objects of the module alive";
    ConfigureCamera(cameraConfig);
}

void ControlTest::TearDown() {
    interfaces.clear();
    filters.clear();
    EXPECT_EQ(OriscopeCanUnloadNow(), S_OK) << "objects of Oriscope.dll still alive after the test";
    EXPECT_EQ(midsim_OpenRecords(), 0) << "a camera record is still open";
    CoUninitialize();
}

IBaseFilter *ControlTest::NewFilter(ICameraSettings **settings) {
    ComPtr<IBaseFilter> filter;
    const HRESULT created =
        CoCreateInstance(kClsidFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.putVoid());
    EXPECT_EQ(created, S_OK) << "CoCreateInstance of the filter";
    if (FAILED(created))
        return nullptr;
    ComPtr<ICameraSettings> control;
    EXPECT_EQ(filter->QueryInterface(kIidCameraSettings, control.putVoid()), S_OK);
    if (settings != nullptr)
        *settings = control.get();
    interfaces.push_back(control);
    filters.push_back(filter);
    return filter.get();
}

// --- Frames ------------------------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE FrameCollector::SampleCB(double, IMediaSample *sample) {
    if (sample == nullptr)
        return S_OK;
    std::lock_guard<std::mutex> guard(lock);
    const long number = samples.load();
    BYTE *data = nullptr;
    const long length = sample->GetActualDataLength();
    if (copyAt >= 0 && number >= copyAt && SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) {
        copy.assign(data, data + length);
        copyAt = -1;
        copied = true;
    }
    ++samples;
    return S_OK;
}

bool FrameCollector::CopyAfter(long skip, std::vector<std::uint8_t> &bytes, std::uint32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> guard(lock);
        copyAt = samples.load() + skip;
        copied = false;
    }
    const bool done = WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(lock);
            return copied;
        },
        timeoutMs);
    std::lock_guard<std::mutex> guard(lock);
    copyAt = -1;
    if (done)
        bytes.swap(copy);
    copy.clear();
    return done;
}

bool FrameCollector::WaitForSamples(long count, std::uint32_t timeoutMs) const {
    return WaitUntil([&] { return samples.load() >= count; }, timeoutMs);
}

// --- Graph -------------------------------------------------------------------------------------------

namespace {
bool SizeOf(const AM_MEDIA_TYPE &type, int &width, int &height) {
    if (type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
    width = info->bmiHeader.biWidth;
    height = info->bmiHeader.biHeight;
    return true;
}

void FreeType(AM_MEDIA_TYPE *type) {
    if (type == nullptr)
        return;
    CoTaskMemFree(type->pbFormat);
    if (type->pUnk != nullptr)
        type->pUnk->Release();
    CoTaskMemFree(type);
}
} // namespace

bool OfferedSize(IPin *pin, int &width, int &height) {
    ComPtr<IEnumMediaTypes> types;
    if (pin == nullptr || FAILED(pin->EnumMediaTypes(types.put())))
        return false;
    AM_MEDIA_TYPE *type = nullptr;
    if (types->Next(1, &type, nullptr) != S_OK)
        return false;
    const bool known = SizeOf(*type, width, height);
    FreeType(type);
    return known;
}

bool GrabberGraph::Build(IBaseFilter *filter, const wchar_t *pinName) {
    source.reset(filter);
    if (FAILED(CreateClocklessGraph(graph)))
        return false;
    graph.queryTo(IID_IMediaControl, control);
    if (FAILED(CreateGrabberAndRenderer(grabber, renderer)))
        return false;
    ComPtr<ISampleGrabber> grab;
    if (FAILED(grabber.queryTo(kIidSampleGrabber, grab)))
        return false;
    AM_MEDIA_TYPE wanted{};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = MEDIASUBTYPE_RGB32;
    grab->SetMediaType(&wanted);
    grab->SetBufferSamples(FALSE);
    grab->SetOneShot(FALSE);
    grab->SetCallback(&collector, 0);
    if (FAILED(graph->AddFilter(filter, L"Oriscope")) || FAILED(graph->AddFilter(grabber.get(), L"Grabber")) ||
        FAILED(graph->AddFilter(renderer.get(), L"Null")))
        return false;
    ComPtr<IPin> out = PinNamed(filter, pinName);
    ComPtr<IPin> grabberIn = PinFacing(grabber.get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = PinFacing(grabber.get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = PinFacing(renderer.get(), PINDIR_INPUT);
    if (!out || FAILED(graph->ConnectDirect(out.get(), grabberIn.get(), nullptr)) ||
        FAILED(graph->ConnectDirect(grabberOut.get(), rendererIn.get(), nullptr)))
        return false;
    AM_MEDIA_TYPE connected{};
    if (FAILED(out->ConnectionMediaType(&connected)))
        return false;
    const bool sized = SizeOf(connected, width, height);
    CoTaskMemFree(connected.pbFormat);
    if (connected.pUnk != nullptr)
        connected.pUnk->Release();
    return sized;
}

bool GrabberGraph::Run() {
    if (!control)
        return false;
    const HRESULT result = control->Run();
    return result == S_OK || result == S_FALSE;
}

void GrabberGraph::Stop() {
    if (control)
        control->Stop();
}

void GrabberGraph::Release() {
    Stop();
    if (graph) {
        // Taking the filters out disconnects them, so no allocator outlives the test.
        if (source)
            graph->RemoveFilter(source.get());
        if (grabber)
            graph->RemoveFilter(grabber.get());
        if (renderer)
            graph->RemoveFilter(renderer.get());
    }
    control.reset();
    graph.reset();
    grabber.reset();
    renderer.reset();
    source.reset();
}

bool GrabberGraph::FreshFrame(Frame &frame, std::uint32_t timeoutMs) {
    frame.width = width;
    frame.height = height;
    // The sample in flight, and one whose conversion may have begun before
    // the caller's change, go by first.
    return collector.CopyAfter(2, frame.bytes, timeoutMs) &&
           frame.bytes.size() >= std::size_t(width) * std::size_t(height) * 4u;
}

// --- Files -------------------------------------------------------------------------------------------

long long FileSize(const std::string &path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<long long>(file.tellg()) : -1;
}

bool ReadBmp(const std::string &path, BmpFile &bmp, std::string &problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = "cannot open " + path;
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    bmp.fileSize = bytes.size();
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        problem = "no BMP signature";
        return false;
    }
    bmp.declaredSize = Little32(&bytes[2]);
    bmp.dataOffset = Little32(&bytes[10]);
    bmp.infoSize = Little32(&bytes[14]);
    bmp.width = static_cast<std::int32_t>(Little32(&bytes[18]));
    bmp.height = static_cast<std::int32_t>(Little32(&bytes[22]));
    bmp.planes = Little16(&bytes[26]);
    bmp.bitsPerPixel = Little16(&bytes[28]);
    bmp.compression = Little32(&bytes[30]);
    if (bmp.bitsPerPixel != 24 || bmp.width <= 0 || bmp.height <= 0) {
        problem = "not a bottom-up 24-bit bitmap";
        return false;
    }
    const std::size_t rowBytes = std::size_t(bmp.width) * 3u;
    const std::size_t rowSize = (rowBytes + 3u) & ~std::size_t(3);
    if (bmp.dataOffset + rowSize * std::size_t(bmp.height) > bytes.size()) {
        problem = "pixel rows missing";
        return false;
    }
    bmp.pixels.clear();
    for (int row = 0; row < bmp.height; ++row) {
        const std::uint8_t *start = bytes.data() + bmp.dataOffset + rowSize * std::size_t(row);
        for (std::size_t pad = rowBytes; pad < rowSize; ++pad)
            if (start[pad] != 0) {
                problem = "row padding not zero";
                return false;
            }
        bmp.pixels.insert(bmp.pixels.end(), start, start + rowBytes);
    }
    return true;
}
