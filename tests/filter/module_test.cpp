// Oriscope.dll through its module boundary: exports, version resource,
// class factory rules, aggregation, DllCanUnloadNow, and a registration
// round trip that leaves nothing behind.
#include <cstring>
#include <vector>

#include "tests/filter/filter_test_support.h"
#include "tests/filter/oriscope_dll.h"

namespace {

constexpr HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111);
// {1C2B3D4E-0000-4000-8000-00AABBCCDDEE}: in no class table.
constexpr GUID kOtherClassId = {0x1c2b3d4e, 0x0000, 0x4000, {0x80, 0x00, 0x00, 0xaa, 0xbb, 0xcc, 0xdd, 0xee}};

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(midsim_Configure("pace=free static=1"), 0);
        ASSERT_TRUE(dll.Load());
        ASSERT_EQ(dll.DllCanUnloadNow(), S_OK);
    }
    void TearDown() override {
        if (dll.module != nullptr) {
            EXPECT_EQ(dll.DllCanUnloadNow(), S_OK) << "the module still has live objects or locks";
        }
        dll.Unload();
        CoUninitialize();
    }
    ComPtr<IClassFactory> Factory(REFCLSID classId) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(dll.DllGetClassObject(classId, IID_IClassFactory, factory.putVoid()), S_OK);
        return factory;
    }

    OriscopeDll dll;
};

TEST_F(ModuleTest, ExportsAreTheFiveEntryPointsByPlainName) {
    for (const char *name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer", "DllMain"})
        EXPECT_NE(GetProcAddress(dll.module, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(dll.module, "DllGetClassObject@12"), nullptr);
}

TEST_F(ModuleTest, VersionResourceMarksASelfRegisteringFilter) {
    const std::wstring path = OriscopeDllPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    struct Entry {
        const wchar_t *key;
        const wchar_t *value;
    };
    for (const Entry &e :
         {Entry{L"OLESelfRegister", L"AM20"}, Entry{L"ActiveMovie", L"Filter dll"}, Entry{L"FileVersion", L"1.99"},
          Entry{L"FileDescription", L"USB Camera Driver"}, Entry{L"Comments", L"Function SetRegionEx added"}}) {
        std::wstring query = L"\\StringFileInfo\\040904B0\\" + std::wstring(e.key);
        wchar_t *value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &length))
            << "no " << testing::PrintToString(std::wstring(e.key));
        EXPECT_STREQ(value, e.value);
    }
}

TEST_F(ModuleTest, ClassObjectRules) {
    ComPtr<IClassFactory> filterFactory = Factory(kClsidFilter);
    ComPtr<IClassFactory> pageFactory = Factory(kClsidPage);
    EXPECT_TRUE(filterFactory && pageFactory);
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "a factory is alive";

    void *result = reinterpret_cast<void *>(1);
    EXPECT_EQ(dll.DllGetClassObject(kOtherClassId, IID_IClassFactory, &result), kClassNotAvailable);
    EXPECT_EQ(result, nullptr);
    result = reinterpret_cast<void *>(1);
    EXPECT_EQ(dll.DllGetClassObject(kClsidFilter, IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(dll.DllGetClassObject(kOtherClassId, IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(dll.DllGetClassObject(kClsidFilter, IID_IClassFactory, nullptr), E_POINTER);
    ComPtr<IUnknown> asUnknown;
    EXPECT_EQ(dll.DllGetClassObject(kClsidFilter, IID_IUnknown, asUnknown.putVoid()), S_OK);

    // The factory answers IUnknown and IClassFactory with itself, nothing else.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(filterFactory.queryTo(IID_IUnknown, unknown), S_OK);
    EXPECT_EQ(static_cast<void *>(unknown.get()), static_cast<void *>(filterFactory.get()));
    result = reinterpret_cast<void *>(1);
    EXPECT_EQ(filterFactory->QueryInterface(IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(filterFactory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ModuleTest, CreateInstanceRulesAndAggregation) {
    ComPtr<IClassFactory> factory = Factory(kClsidFilter);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.putVoid()), S_OK);
    CLSID classId{};
    EXPECT_EQ(filter->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualGUID(classId, kClsidFilter));
    ComPtr<ISpecifyPropertyPages> pages;
    EXPECT_EQ(filter.queryTo(IID_ISpecifyPropertyPages, pages), S_OK);
    factory.reset();
    pages.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "a filter is alive";
    filter.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK);

    // An outer unknown may ask only for the inner IUnknown.
    factory = Factory(kClsidFilter);
    struct Outer : IUnknown {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **result) override {
            *result = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++count); }
        ULONG STDMETHODCALLTYPE Release() override { return ULONG(--count); }
        long count = 1;
    } outer;
    void *result = reinterpret_cast<void *>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    IUnknown *inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void **>(&inner)), S_OK);
    IBaseFilter *innerFilter = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&innerFilter)), S_OK);
    EXPECT_EQ(outer.count, 2) << "the inner filter's interfaces count on the outer object";
    innerFilter->Release();
    EXPECT_EQ(outer.count, 1);
    EXPECT_EQ(inner->Release(), 0u);
}

TEST_F(ModuleTest, PageClassIsHandedOutAndItsCreationLeavesNothingBehind) {
    ComPtr<IClassFactory> factory = Factory(kClsidPage);
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> page;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IUnknown, page.putVoid());
    EXPECT_EQ(SUCCEEDED(created), bool(page));
}

TEST_F(ModuleTest, ServerLocksHoldTheModule) {
    ComPtr<IClassFactory> factory = Factory(kClsidFilter);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "a server lock is held";
    factory = Factory(kClsidFilter);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK);
}

// The filter's entry in the video input device category, as the mapper stored it.
struct DeviceRecord {
    DWORD merit = 0;
    DWORD pins = 0;
    bool output = false;
    GUID major{}, minor{};
};

bool ReadDeviceRecord(IMoniker *device, DeviceRecord &record) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(device->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid())))
        return false;
    VARIANT data;
    VariantInit(&data);
    if (FAILED(bag->Read(L"FilterData", &data, nullptr)) || data.vt != (VT_ARRAY | VT_UI1))
        return false;
    BYTE *bytes = nullptr;
    SafeArrayAccessData(data.parray, reinterpret_cast<void **>(&bytes));
    const ULONG size = data.parray->rgsabound[0].cElements;
    // The mapper's binary form: a header (version, merit, pins, reserved),
    // then per pin "0pi3", flags, instances, types, mediums, category, each
    // type "0ty3", reserved, and offsets of its major and minor GUIDs.
    auto word = [&](ULONG at) {
        DWORD value = 0;
        if (at + 4 <= size)
            std::memcpy(&value, bytes + at, 4);
        return value;
    };
    record.merit = word(4);
    record.pins = word(8);
    record.output = (word(20) & 0x8) != 0; // REG_PINFLAG_B_OUTPUT
    const DWORD types = word(28);
    const ULONG typeAt = 16 + 24;
    if (types >= 1 && word(typeAt + 8) + 16 <= size && word(typeAt + 12) + 16 <= size) {
        std::memcpy(&record.major, bytes + word(typeAt + 8), 16);
        std::memcpy(&record.minor, bytes + word(typeAt + 12), 16);
    }
    SafeArrayUnaccessData(data.parray);
    VariantClear(&data);
    return true;
}

TEST_F(ModuleTest, RegistrationRoundTripLeavesNothingBehind) {
    ASSERT_EQ(dll.DllRegisterServer(), S_OK);
    for (REFCLSID classId : {kClsidFilter, kClsidPage}) {
        const std::wstring server = ClassKey(classId) + L"\\InprocServer32";
        EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, server, nullptr), OriscopeDllPath());
        EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, server, L"ThreadingModel"), L"Both");
    }
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, ClassKey(kClsidFilter), nullptr), L"Orvex Oriscope capture");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, ClassKey(kClsidPage), nullptr), L"Orvex Camera Properties");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, DeviceEntryKey()));
    if (sizeof(void *) == 8) {
        // The 64-bit filter lives in the 64-bit registry view only, so a 32-bit
        // filter can be registered beside it in its own.
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidFilter), KEY_WOW64_64KEY));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidFilter), KEY_WOW64_32KEY));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, DeviceEntryKey(), KEY_WOW64_32KEY));
    }

    ComPtr<IMoniker> device = FindVideoInputDevice(L"Orvex Oriscope capture");
    ASSERT_TRUE(device) << "not among the video input devices";
    DeviceRecord record;
    ASSERT_TRUE(ReadDeviceRecord(device.get(), record));
    EXPECT_EQ(record.merit, 0x600000u);
    EXPECT_EQ(record.pins, 1u);
    EXPECT_TRUE(record.output);
    EXPECT_TRUE(IsEqualGUID(record.major, kMediaTypeVideo));
    EXPECT_TRUE(IsEqualGUID(record.minor, kSubtypeRgb32));
    device.reset();

    // With the class keys in place COM itself can create both classes' factories.
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(kClsidFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.putVoid()), S_OK);
    filter.reset();

    ASSERT_EQ(dll.DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidFilter)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(kClsidPage)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, DeviceEntryKey()));
    EXPECT_FALSE(FindVideoInputDevice(L"Orvex Oriscope capture"));
    // Unregistering twice finds nothing to remove and still succeeds.
    EXPECT_EQ(dll.DllUnregisterServer(), S_OK);
    CoFreeUnusedLibraries();
}

} // namespace
