// The filter's and the pins' COM interfaces: pin categories through
// IKsPropertySet, IAMStreamConfig on the capture pin, the QueryInterface
// rules, the property page list, pin names and identifiers, aggregation.
#include <cstring>

#include "tests/filter/filter_test_support.h"

namespace {

constexpr HRESULT kPropSetUnsupported = static_cast<HRESULT>(0x80070492);
constexpr HRESULT kPropIdUnsupported = static_cast<HRESULT>(0x80070490);

class PinInterfacesTest : public FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        filter = NewFilter();
    }
    // The pin at 1-based identifier `id` through the filter's IBaseFilter.
    IPin *Pin(const wchar_t *id) {
        IPin *pin = nullptr;
        EXPECT_EQ(BaseFilter(filter)->FindPin(id, &pin), S_OK);
        return pin;
    }
    template <typename T> T *Query(IUnknown *object, REFIID iid) {
        T *result = nullptr;
        EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void **>(&result)), S_OK);
        return result;
    }

    CaptureSourceFilter *filter = nullptr;
};

TEST_F(PinInterfacesTest, PinsAreCaptureThenPreviewThenStillWithTheirNames) {
    IEnumPins *pins = nullptr;
    ASSERT_EQ(BaseFilter(filter)->EnumPins(&pins), S_OK);
    IPin *got[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    const wchar_t *names[] = {L"~Capture", L"Preview", L"Still"};
    const wchar_t *ids[] = {L"1", L"2", L"3"};
    for (ULONG i = 0; i < fetched; ++i) {
        PIN_INFO info{};
        ASSERT_EQ(got[i]->QueryPinInfo(&info), S_OK);
        EXPECT_STREQ(info.achName, names[i]);
        EXPECT_EQ(info.dir, PINDIR_OUTPUT);
        EXPECT_EQ(info.pFilter, BaseFilter(filter));
        info.pFilter->Release();
        LPWSTR id = nullptr;
        ASSERT_EQ(got[i]->QueryId(&id), S_OK);
        EXPECT_STREQ(id, ids[i]);
        CoTaskMemFree(id);
        got[i]->Release();
    }
    pins->Release();
    EXPECT_EQ(static_cast<IPin *>(filter->capturePin), Pin(L"1"));
    filter->capturePin->Release();
}

TEST_F(PinInterfacesTest, PropertySetReportsEachPinsCategory) {
    struct Case {
        const wchar_t *id;
        GUID category;
    };
    for (const Case &c :
         {Case{L"1", kPinCategoryCapture}, Case{L"2", kPinCategoryPreview}, Case{L"3", kPinCategoryStill}}) {
        IPin *pin = Pin(c.id);
        auto *properties = Query<IKsPropertySet>(pin, IID_IKsPropertySet);
        ASSERT_NE(properties, nullptr);
        GUID category{};
        DWORD returned = 0;
        EXPECT_EQ(properties->Get(kPropSetPin, 0, nullptr, 0, &category, sizeof category, &returned), S_OK);
        EXPECT_TRUE(IsEqualGUID(category, c.category));
        EXPECT_EQ(returned, 16u);

        // Size query, short buffer, missing pointers, wrong set or id.
        returned = 0;
        EXPECT_EQ(properties->Get(kPropSetPin, 0, nullptr, 0, nullptr, 0, &returned), S_OK);
        EXPECT_EQ(returned, 16u);
        BYTE shortBuffer[15] = {};
        EXPECT_EQ(properties->Get(kPropSetPin, 0, nullptr, 0, shortBuffer, 15, &returned), E_UNEXPECTED);
        EXPECT_EQ(properties->Get(kPropSetPin, 0, nullptr, 0, &category, 16, nullptr), S_OK);
        EXPECT_EQ(properties->Get(kPropSetPin, 0, nullptr, 0, nullptr, 16, nullptr), E_POINTER);
        EXPECT_EQ(properties->Get(kPinCategoryCapture, 0, nullptr, 0, &category, 16, &returned), kPropSetUnsupported);
        EXPECT_EQ(properties->Get(kPropSetPin, 1, nullptr, 0, &category, 16, &returned), kPropIdUnsupported);

        DWORD support = 0;
        EXPECT_EQ(properties->QuerySupported(kPropSetPin, 0, &support), S_OK);
        EXPECT_EQ(support, 1u); // get only
        EXPECT_EQ(properties->QuerySupported(kPropSetPin, 0, nullptr), S_OK);
        EXPECT_EQ(properties->QuerySupported(GUID_NULL, 0, &support), kPropSetUnsupported);
        EXPECT_EQ(properties->QuerySupported(kPropSetPin, 7, &support), kPropIdUnsupported);
        EXPECT_EQ(properties->Set(kPropSetPin, 0, nullptr, 0, &category, 16), E_NOTIMPL);
        properties->Release();
        pin->Release();
    }
}

TEST_F(PinInterfacesTest, QueryInterfaceRules) {
    IPin *capture = Pin(L"1");
    IPin *preview = Pin(L"2");
    void *result = reinterpret_cast<void *>(1);
    EXPECT_EQ(capture->QueryInterface(IID_IAMStreamConfig, &result), S_OK);
    EXPECT_EQ(result, static_cast<IAMStreamConfig *>(filter->capturePin));
    static_cast<IUnknown *>(result)->Release();
    EXPECT_EQ(preview->QueryInterface(IID_IAMStreamConfig, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    for (IPin *pin : {capture, preview}) {
        EXPECT_EQ(pin->QueryInterface(IID_IKsPropertySet, nullptr), E_POINTER);
        EXPECT_EQ(pin->QueryInterface(IID_IAMStreamConfig, nullptr), E_POINTER);
        // IUnknown is the pin's IKsPropertySet.
        IUnknown *unknown = Query<IUnknown>(pin, IID_IUnknown);
        IKsPropertySet *properties = Query<IKsPropertySet>(pin, IID_IKsPropertySet);
        EXPECT_EQ(static_cast<void *>(unknown), static_cast<void *>(properties));
        unknown->Release();
        properties->Release();
        IQualityControl *quality = Query<IQualityControl>(pin, IID_IQualityControl);
        EXPECT_EQ(quality->Notify(BaseFilter(filter), Quality{}), E_FAIL);
        quality->Release();
        result = reinterpret_cast<void *>(1);
        EXPECT_EQ(pin->QueryInterface(IID_IBaseFilter, &result), E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
        IPin *pins[1] = {};
        ULONG count = 1;
        EXPECT_EQ(pin->QueryInternalConnections(pins, &count), E_NOTIMPL);
    }
    // Pin references are the filter's.
    const ULONG before = filter->ReferenceCount();
    IKsPropertySet *properties = Query<IKsPropertySet>(preview, IID_IKsPropertySet);
    EXPECT_EQ(filter->ReferenceCount(), LONG(before) + 1);
    properties->Release();
    capture->Release();
    preview->Release();
    EXPECT_EQ(filter->ReferenceCount(), LONG(before) - 2);
}

TEST_F(PinInterfacesTest, StreamConfigCountsThreeFormatsAndDescribesAFixedOne) {
    IPin *pin = Pin(L"1");
    auto *config = Query<IAMStreamConfig>(pin, IID_IAMStreamConfig);
    ASSERT_NE(config, nullptr);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, 128);
    EXPECT_EQ(config->GetNumberOfCapabilities(nullptr, &size), E_POINTER);

    // The capabilities themselves: stream_config_test.cpp.
    AM_MEDIA_TYPE *type = reinterpret_cast<AM_MEDIA_TYPE *>(1);
    BYTE caps[128];
    EXPECT_EQ(config->GetStreamCaps(3, &type, caps), S_FALSE);
    EXPECT_EQ(config->GetStreamCaps(-1, &type, caps), E_INVALIDARG);
    EXPECT_EQ(config->GetStreamCaps(0, nullptr, caps), E_POINTER);
    EXPECT_EQ(config->GetStreamCaps(0, &type, nullptr), E_POINTER);

    // GetFormat: a fixed 1280 x 1024 description at 1,400,000 per frame,
    // while the pin itself offers 1600 x 1200.
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    EXPECT_TRUE(IsEqualGUID(format->majortype, kMediaTypeVideo));
    EXPECT_TRUE(IsEqualGUID(format->subtype, kSubtypeRgb32));
    EXPECT_TRUE(IsEqualGUID(format->formattype, kFormatVideoInfo));
    EXPECT_TRUE(format->bFixedSizeSamples);
    EXPECT_FALSE(format->bTemporalCompression);
    EXPECT_EQ(format->lSampleSize, 5242880u);
    EXPECT_EQ(format->pUnk, nullptr);
    ASSERT_EQ(format->cbFormat, 88u);
    const auto *h = reinterpret_cast<const VIDEOINFOHEADER *>(format->pbFormat);
    const RECT full{0, 0, 1280, 1024};
    EXPECT_EQ(std::memcmp(&h->rcSource, &full, sizeof full), 0);
    EXPECT_EQ(std::memcmp(&h->rcTarget, &full, sizeof full), 0);
    EXPECT_EQ(h->dwBitRate, 293601280u);
    EXPECT_EQ(h->dwBitErrorRate, 0u);
    EXPECT_EQ(h->AvgTimePerFrame, 1400000);
    EXPECT_EQ(h->bmiHeader.biSize, 40u);
    EXPECT_EQ(h->bmiHeader.biWidth, 1280);
    EXPECT_EQ(h->bmiHeader.biHeight, 1024);
    EXPECT_EQ(h->bmiHeader.biPlanes, 1);
    EXPECT_EQ(h->bmiHeader.biBitCount, 32);
    EXPECT_EQ(h->bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(h->bmiHeader.biSizeImage, 5242880u);
    EXPECT_EQ(h->bmiHeader.biClrUsed, 0u);
    DeleteMediaType(format);
    EXPECT_EQ(config->GetFormat(nullptr), E_POINTER);

    config->Release();
    pin->Release();
}

TEST_F(PinInterfacesTest, FilterInterfaces) {
    IBaseFilter *base = BaseFilter(filter);
    auto *pages = Query<ISpecifyPropertyPages>(base, IID_ISpecifyPropertyPages);
    ASSERT_NE(pages, nullptr);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], kClsidPage));
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
    pages->Release();

    CLSID classId{};
    ASSERT_EQ(base->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, kClsidFilter));
    auto *setup = Query<IAMovieSetup>(base, IID_IAMovieSetup);
    EXPECT_EQ(setup->Register(), S_FALSE);
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    setup->Release();
    for (REFIID iid : {IID_IMediaFilter, IID_IPersist, IID_IUnknown}) {
        IUnknown *other = Query<IUnknown>(base, iid);
        ASSERT_NE(other, nullptr);
        other->Release();
    }
    void *none = reinterpret_cast<void *>(1);
    EXPECT_EQ(base->QueryInterface(IID_IAMStreamConfig, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(base->QueryInterface(IID_ISpecifyPropertyPages, nullptr), E_POINTER);
}

// A controlling unknown that counts its own references and hands out only itself.
class OuterUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        ++queries;
        *result = IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown *>(this) : nullptr;
        return *result != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return ULONG(--references); }
    long references = 1;
    int queries = 0;
};

TEST_F(PinInterfacesTest, AggregatedFilterDelegatesToItsOuterUnknown) {
    OuterUnknown outer;
    HRESULT result = S_OK;
    auto *inner = new CaptureSourceFilter(&outer, &result);
    ASSERT_EQ(result, S_OK);
    inner->NonDelegatingAddRef();
    IBaseFilter *base = nullptr;
    ASSERT_EQ(inner->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&base)), S_OK);
    EXPECT_EQ(outer.references, 2) << "references on an inner interface go to the outer object";
    EXPECT_EQ(inner->ReferenceCount(), 1);
    ISpecifyPropertyPages *pages = nullptr;
    EXPECT_EQ(base->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void **>(&pages)), E_NOINTERFACE)
        << "queries go to the outer object";
    EXPECT_EQ(outer.queries, 1);
    base->Release();
    EXPECT_EQ(outer.references, 1);
    inner->NonDelegatingRelease();
}

} // namespace
