// Filter test fixture, guarded samples and expected pictures.
#include "tests/filter/filter_test_support.h"

#include <algorithm>

#include "imaging/frame_converter.h"

void FilterTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(ComModule::LiveObjectCount(), 0) << "an earlier test leaked framework objects";
    Configure("pace=free static=1");
}

void FilterTest::TearDown() {
    for (CaptureSourceFilter *filter : filters)
        filter->NonDelegatingRelease();
    filters.clear();
    EXPECT_EQ(ComModule::LiveObjectCount(), 0) << "framework objects still alive after the test";
    EXPECT_EQ(midsim_OpenRecords(), 0) << "a camera record is still open";
    CoUninitialize();
}

void FilterTest::Configure(const char *config) {
    ASSERT_EQ(midsim_Configure(config), 0) << config;
}

CaptureSourceFilter *FilterTest::NewFilter() {
    HRESULT result = S_OK;
    auto *filter = new CaptureSourceFilter(nullptr, &result);
    EXPECT_EQ(result, S_OK);
    filter->NonDelegatingAddRef();
    filters.push_back(filter);
    return filter;
}

GuardedSample::GuardedSample(LONG size) : length(size) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const SIZE_T page = info.dwPageSize;
    const SIZE_T dataPages = (SIZE_T(std::max<LONG>(size, 1)) + page - 1) / page;
    region =
        static_cast<BYTE *>(VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (region == nullptr)
        return;
    DWORD old = 0;
    VirtualProtect(region + dataPages * page, page, PAGE_NOACCESS, &old);
    bytes = region + dataPages * page - size;
    std::fill(bytes, bytes + size, BYTE(0xA5));
}

GuardedSample::~GuardedSample() {
    if (region != nullptr)
        VirtualFree(region, 0, MEM_RELEASE);
}

HRESULT STDMETHODCALLTYPE GuardedSample::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMediaSample)) {
        *result = static_cast<IMediaSample *>(this);
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE GuardedSample::GetPointer(BYTE **buffer) {
    if (buffer == nullptr)
        return E_POINTER;
    *buffer = bytes;
    return bytes != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE GuardedSample::GetTime(REFERENCE_TIME *startTime, REFERENCE_TIME *stopTime) {
    if (!timeSet)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *startTime = start;
    *stopTime = stop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE GuardedSample::SetTime(REFERENCE_TIME *startTime, REFERENCE_TIME *stopTime) {
    timeSet = startTime != nullptr;
    if (startTime != nullptr)
        start = *startTime;
    if (stopTime != nullptr)
        stop = *stopTime;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE GuardedSample::SetSyncPoint(BOOL value) {
    syncPoint = value != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE GuardedSample::GetMediaType(AM_MEDIA_TYPE **type) {
    *type = nullptr;
    return S_FALSE;
}

std::vector<std::uint8_t> CurrentRawFrame(int camera) {
    std::vector<std::uint8_t> raw(16u << 20, 0);
    const int bytes = midsim_RenderFrame(camera, raw.data(), static_cast<std::uint32_t>(raw.size()));
    EXPECT_GT(bytes, 0) << "the simulated camera rendered nothing";
    return raw;
}

std::vector<std::uint8_t> ExpectedPicture(const std::vector<std::uint8_t> &raw, int width, int height, int rawStride,
                                          CameraEngine *settings) {
    CameraEngine fresh;
    std::vector<std::uint8_t> copy = raw;
    std::vector<std::uint8_t> picture(std::size_t(width) * std::size_t(height) * 4u);
    FrameConverter::convert(settings != nullptr ? *settings : fresh, copy.data(), picture.data(), width, height,
                            rawStride);
    return picture;
}

bool SamePixels(const BYTE *actual, const std::uint8_t *expected, std::size_t pixels, std::size_t *firstBad) {
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::size_t at = i * 4;
        if (actual[at] != expected[at] || actual[at + 1] != expected[at + 1] || actual[at + 2] != expected[at + 2]) {
            if (firstBad != nullptr)
                *firstBad = i;
            return false;
        }
    }
    return true;
}
