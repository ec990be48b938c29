// Shared pieces of the filter tests: a fixture with COM, a fresh simulated
// camera and a leak check; a filter made in-process; media samples whose
// buffer ends at an inaccessible page; and the expected picture of a raw
// frame.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "filter/capture_pin.h"
#include "filter/capture_source_filter.h"
#include "filter/preview_pin.h"
#include "filter/still_pin.h"
#include "filter/video_formats.h"
#include "filter/framework/framework.h"
#include "sim/midlib/midlib_sim.h"
#include "tests/support/dshow_ids.h"
#include "tests/support/graph_helpers.h"

// The published identifiers, written out here so that a wrong constant in
// the code under test cannot agree with itself.
inline constexpr GUID kPinCategoryCapture = {
    0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
inline constexpr GUID kPinCategoryPreview = {
    0xfb6c4282, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
inline constexpr GUID kPinCategoryStill = {
    0xfb6c428a, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};
inline constexpr GUID kPropSetPin = {0x9b00f101, 0x1567, 0x11d1, {0xb3, 0xf1, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5}};
inline constexpr GUID kMediaTypeVideo = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
inline constexpr GUID kSubtypeRgb32 = {0xe436eb7e, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
inline constexpr GUID kFormatVideoInfo = {0x05589f80, 0xc356, 0x11ce, {0xbf, 0x01, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
inline constexpr GUID kVideoInputCategory = {
    0x860bb310, 0x5d01, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};

// COM for the test, a freshly configured simulated camera, and no framework
// object or open camera record left when the test ends.
class FilterTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Replaces the simulated camera's configuration.
    static void Configure(const char *config);
    // A new in-process filter held by the fixture until the test ends.
    CaptureSourceFilter *NewFilter();
    // The filter's IBaseFilter (no reference added).
    static IBaseFilter *BaseFilter(CaptureSourceFilter *filter) { return filter; }

private:
    std::vector<CaptureSourceFilter *> filters;
};

// An IMediaSample over `size` bytes that end exactly at an inaccessible page,
// so a write past the end faults at once. Not a framework object.
class GuardedSample : public IMediaSample {
public:
    explicit GuardedSample(LONG size);
    ~GuardedSample();
    GuardedSample(const GuardedSample &) = delete;
    GuardedSample &operator=(const GuardedSample &) = delete;

    BYTE *data() const { return bytes; }
    LONG size() const { return length; }
    bool timeSet = false;
    REFERENCE_TIME start = 0, stop = 0;
    bool syncPoint = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE **buffer) override;
    LONG STDMETHODCALLTYPE GetSize() override { return length; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME *startTime, REFERENCE_TIME *stopTime) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME *startTime, REFERENCE_TIME *stopTime) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return syncPoint ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL value) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return length; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE **type) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG *, LONGLONG *) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG *, LONGLONG *) override { return S_OK; }

private:
    BYTE *region = nullptr; // the whole reservation, guard page included
    BYTE *bytes = nullptr;
    LONG length = 0;
};

// The full frame the simulated camera delivers now, padded with zeros as the
// engine's buffers are, and the picture the converter makes of it with the
// settings of `settings` (a fresh engine when null).
std::vector<std::uint8_t> CurrentRawFrame(int camera = 0);
std::vector<std::uint8_t> ExpectedPicture(const std::vector<std::uint8_t> &raw, int width, int height, int rawStride,
                                          CameraEngine *settings = nullptr);

// Compares the blue, green and red bytes of `pixels` 32-bit pixels (the
// fourth byte is never written); gives the first differing pixel.
bool SamePixels(const BYTE *actual, const std::uint8_t *expected, std::size_t pixels, std::size_t *firstBad = nullptr);
