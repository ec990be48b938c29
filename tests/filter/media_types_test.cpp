// The pins' media types for every sensor type and mode, the type check,
// SetMediaType and DecideBufferSize, and the enumeration of a pin's types.
#include <cstring>

#include "tests/filter/filter_test_support.h"

namespace {

const VIDEOINFOHEADER &Header(const AM_MEDIA_TYPE &type) {
    return *reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
}

// What every type a pin builds has in common.
void ExpectPinTypeShape(const AM_MEDIA_TYPE &type, LONG width, LONG height, WORD bitCount, DWORD sizeImage,
                        DWORD colorsUsed, REFERENCE_TIME timePerFrame = 142857) {
    EXPECT_TRUE(IsEqualGUID(type.majortype, kMediaTypeVideo));
    EXPECT_TRUE(IsEqualGUID(type.formattype, kFormatVideoInfo));
    EXPECT_TRUE(IsEqualGUID(type.subtype, bitCount == 32 ? kSubtypeRgb32 : GUID_NULL));
    EXPECT_FALSE(type.bTemporalCompression);
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_EQ(type.lSampleSize, sizeImage);
    ASSERT_EQ(type.cbFormat, 88u);
    ASSERT_NE(type.pbFormat, nullptr);
    const VIDEOINFOHEADER &h = Header(type);
    const RECT empty{};
    EXPECT_EQ(std::memcmp(&h.rcSource, &empty, sizeof empty), 0);
    EXPECT_EQ(std::memcmp(&h.rcTarget, &empty, sizeof empty), 0);
    EXPECT_EQ(h.dwBitRate, 0u);
    EXPECT_EQ(h.dwBitErrorRate, 0u);
    EXPECT_EQ(h.AvgTimePerFrame, timePerFrame);
    EXPECT_EQ(h.bmiHeader.biSize, 40u);
    EXPECT_EQ(h.bmiHeader.biWidth, width);
    EXPECT_EQ(h.bmiHeader.biHeight, height);
    EXPECT_EQ(h.bmiHeader.biPlanes, 1);
    EXPECT_EQ(h.bmiHeader.biBitCount, bitCount);
    EXPECT_EQ(h.bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(h.bmiHeader.biSizeImage, sizeImage);
    EXPECT_EQ(h.bmiHeader.biXPelsPerMeter, 0);
    EXPECT_EQ(h.bmiHeader.biYPelsPerMeter, 0);
    EXPECT_EQ(h.bmiHeader.biClrUsed, colorsUsed);
    EXPECT_EQ(h.bmiHeader.biClrImportant, 0u);
}

// An RGB32 type of the given size that the pins accept.
void MakeRgb32(MediaType &type, LONG width, LONG height) {
    auto *h = reinterpret_cast<VIDEOINFOHEADER *>(AllocateFormatBlock(type, sizeof(VIDEOINFOHEADER)));
    ASSERT_NE(h, nullptr);
    h->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    h->bmiHeader.biWidth = width;
    h->bmiHeader.biHeight = height;
    h->bmiHeader.biPlanes = 1;
    h->bmiHeader.biBitCount = 32;
    h->bmiHeader.biSizeImage = DWORD(width * height * 4);
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB32;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = h->bmiHeader.biSizeImage;
}

// An IMemAllocator that grants `grantedSize` bytes per buffer whatever is asked.
class StingyAllocator : public IMemAllocator {
public:
    explicit StingyAllocator(LONG granted) : grantedSize(granted) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **result) override {
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES *request, ALLOCATOR_PROPERTIES *actual) override {
        asked = *request;
        *actual = *request;
        actual->cbBuffer = grantedSize;
        return refusal;
    }
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Decommit() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample **, REFERENCE_TIME *, REFERENCE_TIME *, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample *) override { return E_NOTIMPL; }

    LONG grantedSize;
    HRESULT refusal = S_OK;
    ALLOCATOR_PROPERTIES asked{};
};

class MediaTypesTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        filter = NewFilter();
        capture = filter->capturePin;
        preview = filter->previewPin;
    }
    // Stores a proposed type as the pin's connection type (what a connection does first).
    HRESULT Store(CameraOutputPin *pin, LONG width, LONG height) {
        MediaType type;
        MakeRgb32(type, width, height);
        return pin->SetMediaType(&type);
    }

    CaptureSourceFilter *filter = nullptr;
    CapturePin *capture = nullptr;
    PreviewPin *preview = nullptr;
};

TEST_F(MediaTypesTest, CapturePinSizesByModeWhateverTheSensor) {
    struct Case {
        int mode;
        LONG width, height;
        WORD bits;
        DWORD bytes;
    };
    const Case cases[] = {{0, 1600, 1200, 32, 7680000},
                          {1, 640, 512, 32, 1310720},
                          {2, 320, 256, 32, 327680},
                          {3, 0, 0, 0, 0},
                          {4, 0, 0, 0, 0},
                          {-1, 0, 0, 0, 0}};
    for (int sensor = 1; sensor <= 3; ++sensor) {
        filter->previewPin->SetFormatSensorType(sensor); // the capture pin ignores the sensor
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << "sensor " << sensor << " mode " << c.mode);
            capture->SetFormatMode(c.mode);
            MediaType type;
            ASSERT_EQ(capture->GetMediaType(0, &type), S_OK);
            ExpectPinTypeShape(type, c.width, c.height, c.bits, c.bytes, 0);
        }
    }
}

TEST_F(MediaTypesTest, PreviewPinSizesBySensorAndMode) {
    preview->SetFormatRegion(640, 480);
    const LONG full[4][2] = {{0, 0}, {1280, 1024}, {1600, 1200}, {2048, 1536}};
    for (int sensor = 0; sensor <= 4; ++sensor) {
        const LONG fullWidth = sensor >= 1 && sensor <= 3 ? full[sensor][0] : 0;
        const LONG fullHeight = sensor >= 1 && sensor <= 3 ? full[sensor][1] : 0;
        preview->SetFormatSensorType(sensor);
        const LONG sizes[6][2] = {{fullWidth, fullHeight},
                                  {fullWidth / 2, fullHeight / 2},
                                  {fullWidth / 4, fullHeight / 4},
                                  {640, 480},
                                  {0, 0},
                                  {0, 0}};
        const int modes[6] = {0, 1, 2, 3, 4, -1};
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE(testing::Message() << "sensor " << sensor << " mode " << modes[i]);
            preview->SetFormatMode(modes[i]);
            MediaType type;
            ASSERT_EQ(preview->GetMediaType(1, &type), S_OK);
            ExpectPinTypeShape(type, sizes[i][0], sizes[i][1], 32, DWORD(sizes[i][0] * sizes[i][1] * 4), 256);
        }
    }
}

TEST_F(MediaTypesTest, StillPinOffersTheFullSensorWhateverTheMode) {
    const LONG full[5][2] = {{0, 0}, {1280, 1024}, {1600, 1200}, {2048, 1536}, {0, 0}};
    for (int sensor = 0; sensor <= 4; ++sensor) {
        filter->stillPin->SetFormatSensorType(sensor);
        for (int mode : {0, 2, 3}) {
            SCOPED_TRACE(testing::Message() << "sensor " << sensor << " mode " << mode);
            filter->SetPinFormatMode(mode);
            MediaType type;
            ASSERT_EQ(filter->stillPin->GetMediaType(2, &type), S_OK);
            // Bottom-up like the video pins; no frame rate, stills come when triggered.
            ExpectPinTypeShape(type, full[sensor][0], full[sensor][1], 32, DWORD(full[sensor][0] * full[sensor][1] * 4),
                               0, 0);
        }
    }
}

TEST_F(MediaTypesTest, NamedCases) {
    preview->SetFormatSensorType(3);
    preview->SetFormatMode(2);
    MediaType quarter;
    ASSERT_EQ(preview->GetMediaType(0, &quarter), S_OK);
    ExpectPinTypeShape(quarter, 512, 384, 32, 786432, 256);

    preview->SetFormatSensorType(2);
    preview->SetFormatMode(1);
    MediaType half;
    ASSERT_EQ(preview->GetMediaType(0, &half), S_OK);
    ExpectPinTypeShape(half, 800, 600, 32, 1920000, 256);

    // The capture pin offers 1600 x 1200 in Full also on the 1280 x 1024 sensor.
    preview->SetFormatSensorType(1);
    MediaType captureFull;
    ASSERT_EQ(capture->GetMediaType(2, &captureFull), S_OK);
    ExpectPinTypeShape(captureFull, 1600, 1200, 32, 7680000, 0);
}

TEST_F(MediaTypesTest, PositionsAreThreeIdenticalTypes) {
    for (CameraOutputPin *pin : {static_cast<CameraOutputPin *>(capture), static_cast<CameraOutputPin *>(preview)}) {
        MediaType first;
        ASSERT_EQ(pin->GetMediaType(0, &first), S_OK);
        for (int position : {1, 2}) {
            MediaType other;
            ASSERT_EQ(pin->GetMediaType(position, &other), S_OK);
            EXPECT_TRUE(MediaTypesEqual(first, other)) << position;
        }
        MediaType none;
        EXPECT_EQ(pin->GetMediaType(3, &none), VFW_S_NO_MORE_ITEMS);
        EXPECT_EQ(pin->GetMediaType(-1, &none), E_INVALIDARG);
        EXPECT_EQ(pin->GetMediaType(0, nullptr), E_POINTER);

        // An unconnected pin enumerates its own three positions.
        IEnumMediaTypes *types = nullptr;
        ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);
        AM_MEDIA_TYPE *got[4] = {};
        ULONG fetched = 0;
        EXPECT_EQ(types->Next(4, got, &fetched), S_FALSE);
        EXPECT_EQ(fetched, 3u);
        for (ULONG i = 0; i < fetched; ++i) {
            EXPECT_TRUE(MediaTypesEqual(*got[i], first));
            DeleteMediaType(got[i]);
        }
        types->Release();
        EXPECT_EQ(pin->EnumMediaTypes(nullptr), E_POINTER);
    }
}

TEST_F(MediaTypesTest, CheckMediaTypeAcceptsOnlyWholeFixedSizeRgb32) {
    for (CameraOutputPin *pin : {static_cast<CameraOutputPin *>(capture), static_cast<CameraOutputPin *>(preview)}) {
        MediaType good;
        MakeRgb32(good, 123, 45); // size, format type and rate are not checked
        good.formattype = GUID_NULL;
        EXPECT_EQ(pin->CheckMediaType(&good), S_OK);
        EXPECT_EQ(pin->QueryAccept(&good), S_OK);
        EXPECT_EQ(pin->CheckMediaType(nullptr), E_POINTER);

        MediaType rgb24(good);
        rgb24.subtype = MEDIASUBTYPE_RGB24;
        EXPECT_EQ(pin->CheckMediaType(&rgb24), E_INVALIDARG);
        MediaType variable(good);
        variable.bFixedSizeSamples = FALSE;
        EXPECT_EQ(pin->CheckMediaType(&variable), E_INVALIDARG);
        MediaType audio(good);
        audio.majortype = MEDIATYPE_Audio;
        EXPECT_EQ(pin->CheckMediaType(&audio), E_INVALIDARG);
        MediaType topDown(good);
        reinterpret_cast<VIDEOINFOHEADER *>(topDown.pbFormat)->bmiHeader.biHeight = -45;
        EXPECT_EQ(pin->CheckMediaType(&topDown), E_INVALIDARG);
        EXPECT_EQ(pin->QueryAccept(&topDown), S_FALSE);

        // A block too short for a VIDEOINFOHEADER, or none at all, is refused.
        MediaType shortBlock;
        MakeRgb32(shortBlock, 8, 8);
        shortBlock.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
        EXPECT_EQ(pin->CheckMediaType(&shortBlock), E_INVALIDARG);
        shortBlock.cbFormat = sizeof(VIDEOINFOHEADER);
        MediaType noBlock(good);
        FreeMediaTypeFields(noBlock);
        EXPECT_EQ(pin->CheckMediaType(&noBlock), E_INVALIDARG);
    }
    // The capture pin's own Custom type has no subtype: it refuses it itself.
    capture->SetFormatMode(3);
    MediaType custom;
    ASSERT_EQ(capture->GetMediaType(0, &custom), S_OK);
    EXPECT_EQ(capture->CheckMediaType(&custom), E_INVALIDARG);
}

TEST_F(MediaTypesTest, SetMediaTypeStoresThenChecksTheBitCount) {
    EXPECT_EQ(Store(preview, 64, 48), S_OK);
    EXPECT_EQ(Header(preview->ConnectionType()).bmiHeader.biWidth, 64);

    MediaType bits24;
    MakeRgb32(bits24, 32, 16);
    reinterpret_cast<VIDEOINFOHEADER *>(bits24.pbFormat)->bmiHeader.biBitCount = 24;
    EXPECT_EQ(capture->SetMediaType(&bits24), E_INVALIDARG);
    EXPECT_EQ(Header(capture->ConnectionType()).bmiHeader.biWidth, 32) << "the type stays stored";

    MediaType noBlock;
    noBlock.majortype = MEDIATYPE_Video;
    EXPECT_EQ(capture->SetMediaType(&noBlock), E_UNEXPECTED);
    MediaType shortBlock;
    MakeRgb32(shortBlock, 8, 8);
    shortBlock.cbFormat = 40;
    EXPECT_EQ(capture->SetMediaType(&shortBlock), E_UNEXPECTED);
    shortBlock.cbFormat = sizeof(VIDEOINFOHEADER);
}

TEST_F(MediaTypesTest, DecideBufferSizeAsksForOnePictureOfTheConnectionType) {
    ASSERT_EQ(Store(preview, 640, 512), S_OK);
    StingyAllocator allocator(640 * 512 * 4);
    ALLOCATOR_PROPERTIES request{};
    request.cbAlign = 16;
    request.cbPrefix = 8;
    EXPECT_EQ(preview->DecideBufferSize(&allocator, &request), S_OK);
    EXPECT_EQ(allocator.asked.cBuffers, 2) << "no count asked: two buffers";
    EXPECT_EQ(allocator.asked.cbBuffer, 640 * 512 * 4);
    EXPECT_EQ(allocator.asked.cbAlign, 16);
    EXPECT_EQ(allocator.asked.cbPrefix, 8);

    request = {};
    request.cBuffers = 5;
    EXPECT_EQ(preview->DecideBufferSize(&allocator, &request), S_OK);
    EXPECT_EQ(allocator.asked.cBuffers, 5) << "the downstream count is kept";

    // Smaller buffers than one picture fail the connection; a refusal is passed on.
    StingyAllocator stingy(640 * 512 * 4 - 1);
    request = {};
    EXPECT_EQ(preview->DecideBufferSize(&stingy, &request), E_FAIL);
    stingy.refusal = VFW_E_BADALIGN;
    EXPECT_EQ(preview->DecideBufferSize(&stingy, &request), VFW_E_BADALIGN);

    EXPECT_EQ(preview->DecideBufferSize(nullptr, &request), E_POINTER);
    EXPECT_EQ(preview->DecideBufferSize(&allocator, nullptr), E_POINTER);
    // The capture pin has no connection type yet: nothing to size for.
    EXPECT_EQ(capture->DecideBufferSize(&allocator, &request), E_UNEXPECTED);
}

TEST_F(MediaTypesTest, DecideBufferSizeWithOurOwnAllocator) {
    ASSERT_EQ(Store(capture, 320, 256), S_OK);
    IMemAllocator *allocator = nullptr;
    ASSERT_EQ(MemAllocator::Create(&allocator), S_OK);
    ALLOCATOR_PROPERTIES request{};
    request.cbAlign = 1;
    EXPECT_EQ(capture->DecideBufferSize(allocator, &request), S_OK);
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(allocator->GetProperties(&actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 2);
    EXPECT_GE(actual.cbBuffer, 327680);
    allocator->Release();
}

} // namespace
