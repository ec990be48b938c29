// COM rules of the framework objects: QueryInterface identity and failures,
// reference counts, aggregation under an outer unknown, the class factory and
// the module's unload count.
#include <gtest/gtest.h>

#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_source.h"

namespace {

template <typename T> T *Query(IUnknown *object, REFIID iid) {
    void *result = nullptr;
    if (FAILED(object->QueryInterface(iid, &result)))
        return nullptr;
    return static_cast<T *>(result);
}

IUnknown *Identity(IUnknown *object) {
    IUnknown *unknown = Query<IUnknown>(object, IID_IUnknown);
    if (unknown != nullptr)
        unknown->Release();
    return unknown;
}

// The controlling object of an aggregate: it answers IUnknown itself and
// passes every other interface to the inner object.
class OuterObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        if (result == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *result = static_cast<IUnknown *>(this);
            AddRef();
            return S_OK;
        }
        return inner != nullptr ? inner->QueryInterface(iid, result) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long count = --references;
        if (count == 0) {
            references = 1; // guard, as an aggregate's final release does
            if (inner != nullptr)
                inner->Release();
            delete this;
        }
        return static_cast<ULONG>(count);
    }

    IUnknown *inner = nullptr; // the aggregated object's non-delegating unknown
    long references = 1;
};

NonDelegatingUnknown *FailingCreate(IUnknown *outer, HRESULT *result) {
    NonDelegatingUnknown *object = TestSourceFilter::Create(outer, result);
    *result = E_ACCESSDENIED;
    return object;
}

NonDelegatingUnknown *NothingCreate(IUnknown *, HRESULT *) {
    return nullptr;
}

NonDelegatingUnknown *RefusingCreate(IUnknown *, HRESULT *result) {
    *result = E_ABORT;
    return nullptr;
}

// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
constexpr GUID kOtherClassId = {0x0f1e2d3c, 0x4b5a, 0x6978, {0x87, 0x96, 0xa5, 0xb4, 0xc3, 0xd2, 0xe1, 0xf0}};

const FactoryTemplate kTable[] = {
    {L"Test source", &kTestSourceClassId, &TestSourceFilter::Create, nullptr, nullptr},
    {L"Failing", &kOtherClassId, &FailingCreate, nullptr, nullptr},
};

class ComRulesTest : public FrameworkTest {};

TEST_F(ComRulesTest, FilterAnswersItsInterfacesWithOneIdentity) {
    IBaseFilter *filter = TestSourceFilter::CreateReferenced();
    IUnknown *identity = Identity(filter);
    ASSERT_NE(identity, nullptr);
    for (const IID *iid : {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup, &IID_IUnknown}) {
        IUnknown *answer = Query<IUnknown>(filter, *iid);
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(Identity(answer), identity);
        answer->Release();
    }
    EXPECT_EQ(RefCount(filter), 1u);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(ComRulesTest, QueryInterfaceFailuresReportAndClear) {
    IBaseFilter *filter = TestSourceFilter::CreateReferenced();
    EXPECT_EQ(filter->QueryInterface(IID_IBaseFilter, nullptr), E_POINTER);
    void *result = Garbage();
    EXPECT_EQ(filter->QueryInterface(IID_IPin, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(RefCount(filter), 1u);

    IPin *pin = nullptr;
    ASSERT_EQ(filter->FindPin(L"1", &pin), S_OK);
    result = Garbage();
    EXPECT_EQ(pin->QueryInterface(IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(pin->QueryInterface(IID_IPin, nullptr), E_POINTER);
    IQualityControl *quality = Query<IQualityControl>(pin, IID_IQualityControl);
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(Identity(quality), Identity(pin));
    EXPECT_NE(Identity(pin), Identity(filter));
    quality->Release();
    pin->Release();
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(ComRulesTest, PinReferencesKeepTheFilterAlive) {
    IBaseFilter *filter = TestSourceFilter::CreateReferenced();
    IPin *pin = nullptr;
    ASSERT_EQ(filter->FindPin(L"1", &pin), S_OK);
    EXPECT_EQ(RefCount(filter), 2u);
    EXPECT_EQ(filter->Release(), 1u);
    // The pin's reference alone keeps the whole filter.
    PIN_INFO info{};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Out");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, filter);
    info.pFilter->Release();
    EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
    EXPECT_EQ(pin->Release(), 0u);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_OK);
}

TEST_F(ComRulesTest, FilterBasicsFollowTheInterfaces) {
    IBaseFilter *filter = TestSourceFilter::CreateReferenced();
    CLSID id{};
    EXPECT_EQ(filter->GetClassID(&id), S_OK);
    EXPECT_TRUE(IsEqualCLSID(id, kTestSourceClassId));
    EXPECT_EQ(filter->GetClassID(nullptr), E_POINTER);

    IAMovieSetup *setup = Query<IAMovieSetup>(filter, IID_IAMovieSetup);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->Register(), S_FALSE);
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    setup->Release();

    IPin *pin = reinterpret_cast<IPin *>(Garbage());
    EXPECT_EQ(filter->FindPin(L"2", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(filter->FindPin(L"0", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(filter->FindPin(L"1", nullptr), E_POINTER);
    ASSERT_EQ(filter->FindPin(L"1", &pin), S_OK);
    LPWSTR pinId = nullptr;
    ASSERT_EQ(pin->QueryId(&pinId), S_OK);
    EXPECT_STREQ(pinId, L"1");
    CoTaskMemFree(pinId);
    EXPECT_EQ(pin->QueryId(nullptr), E_POINTER);
    PIN_DIRECTION direction;
    EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_OUTPUT);
    pin->Release();

    FILTER_INFO info{};
    ASSERT_EQ(filter->JoinFilterGraph(nullptr, L"ignored"), S_OK);
    ASSERT_EQ(filter->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(filter->QueryFilterInfo(nullptr), E_POINTER);
    LPWSTR vendor = reinterpret_cast<LPWSTR>(Garbage());
    EXPECT_EQ(filter->QueryVendorInfo(&vendor), E_NOTIMPL);
    EXPECT_EQ(vendor, nullptr);
    IReferenceClock *clock = reinterpret_cast<IReferenceClock *>(Garbage());
    EXPECT_EQ(filter->GetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock, nullptr);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(ComRulesTest, LiveSourceCannotCueWhilePaused) {
    HRESULT hr = S_OK;
    auto *source = new TestSourceFilter(nullptr, &hr);
    IBaseFilter *filter = nullptr;
    ASSERT_EQ(source->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), VFW_S_CANT_CUE);
    EXPECT_EQ(state, State_Paused);
    // An unconnected pin gets no thread.
    EXPECT_FALSE(source->pin->ThreadExists());
    ASSERT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(filter->Pause(), S_OK);
    source->SetLiveSource(false);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // Run from stopped passes through paused.
    ASSERT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    // The last release of a running filter stops it first.
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(ComRulesTest, RunStaysStoppedWhenPauseRefuses) {
    HRESULT hr = S_OK;
    auto *source = new TestSourceFilter(nullptr, &hr);
    IBaseFilter *filter = nullptr;
    ASSERT_EQ(source->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
    source->refusePause = true;
    EXPECT_EQ(filter->Run(1234), S_FALSE);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    source->refusePause = false;
    ASSERT_EQ(filter->Run(1234), S_OK);
    EXPECT_EQ(source->StartTime(), 1234);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(ComRulesTest, AggregatedFilterDelegatesToItsOuterObject) {
    auto *outer = new OuterObject;
    HRESULT hr = S_OK;
    NonDelegatingUnknown *inner = TestSourceFilter::Create(outer, &hr);
    ASSERT_EQ(hr, S_OK);
    inner->NonDelegatingAddRef();
    outer->inner = reinterpret_cast<IUnknown *>(inner);

    IBaseFilter *filter = Query<IBaseFilter>(outer, IID_IBaseFilter);
    ASSERT_NE(filter, nullptr);
    // References through the inner object's interfaces count on the outer object.
    EXPECT_EQ(outer->references, 2);
    EXPECT_EQ(RefCount(outer->inner), 1u);
    // The identity of every interface is the outer object.
    EXPECT_EQ(Identity(filter), static_cast<IUnknown *>(outer));
    IPersist *persist = Query<IPersist>(filter, IID_IPersist);
    ASSERT_NE(persist, nullptr);
    EXPECT_EQ(outer->references, 3);
    persist->Release();
    // The inner unknown answers IUnknown with itself, not the outer object.
    IUnknown *innerUnknown = nullptr;
    ASSERT_EQ(inner->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void **>(&innerUnknown)), S_OK);
    EXPECT_EQ(innerUnknown, outer->inner);
    innerUnknown->Release();

    filter->Release();
    EXPECT_EQ(ComModule::LiveObjectCount(), 2); // the filter and its pin
    EXPECT_EQ(outer->Release(), 0u);
}

TEST_F(ComRulesTest, ClassObjectLookup) {
    void *result = Garbage();
    EXPECT_EQ(GetClassObject(kTable, 2, kTestSourceClassId, IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    result = Garbage();
    EXPECT_EQ(GetClassObject(kTable, 2, IID_IUnknown, IID_IClassFactory, &result), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(GetClassObject(kTable, 2, kTestSourceClassId, IID_IClassFactory, nullptr), E_POINTER);

    IClassFactory *factory = nullptr;
    ASSERT_EQ(GetClassObject(kTable, 2, kTestSourceClassId, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
              S_OK);
    EXPECT_EQ(RefCount(factory), 1u);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE); // a factory is a live object
    EXPECT_EQ(Identity(factory), static_cast<IUnknown *>(factory));
    result = Garbage();
    EXPECT_EQ(factory->QueryInterface(IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_OK);
}

TEST_F(ComRulesTest, FactoryCreatesAndQueriesTheObject) {
    IClassFactory *factory = nullptr;
    ASSERT_EQ(GetClassObject(kTable, 2, kTestSourceClassId, IID_IUnknown, reinterpret_cast<void **>(&factory)), S_OK);

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
    IBaseFilter *filter = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
    EXPECT_EQ(RefCount(filter), 1u);
    EXPECT_EQ(filter->Release(), 0u);

    // An interface the object lacks: no object survives.
    void *result = Garbage();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ComModule::LiveObjectCount(), 1); // the factory alone

    // Aggregation hands out IUnknown only.
    auto *outer = new OuterObject;
    result = Garbage();
    EXPECT_EQ(factory->CreateInstance(outer, IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ComModule::LiveObjectCount(), 1);
    ASSERT_EQ(factory->CreateInstance(outer, IID_IUnknown, reinterpret_cast<void **>(&outer->inner)), S_OK);
    EXPECT_EQ(outer->references, 1); // the inner object holds no reference on its outer object
    IMediaFilter *media = Query<IMediaFilter>(outer, IID_IMediaFilter);
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(Identity(media), static_cast<IUnknown *>(outer));
    media->Release();
    EXPECT_EQ(outer->Release(), 0u);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ComRulesTest, FactoryReportsConstructionFailures) {
    const FactoryTemplate table[] = {
        {L"Failing", &kOtherClassId, &FailingCreate, nullptr, nullptr},
        {L"Nothing", &kTestSourceClassId, &NothingCreate, nullptr, nullptr},
        {L"Refusing", &IID_IUnknown, &RefusingCreate, nullptr, nullptr},
    };
    const HRESULT expected[] = {E_ACCESSDENIED, E_OUTOFMEMORY, E_ABORT};
    for (int i = 0; i < 3; ++i) {
        IClassFactory *factory = nullptr;
        ASSERT_EQ(GetClassObject(table, 3, *table[i].classId, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
                  S_OK);
        void *result = Garbage();
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &result), expected[i]) << "entry " << i;
        EXPECT_EQ(result, nullptr);
        // The failed object was deleted: only the factory lives.
        EXPECT_EQ(ComModule::LiveObjectCount(), 1) << "entry " << i;
        factory->Release();
    }
}

TEST_F(ComRulesTest, LockServerHoldsTheModule) {
    IClassFactory *factory = nullptr;
    ASSERT_EQ(GetClassObject(kTable, 2, kTestSourceClassId, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(ComModule::ServerLockCount(), 2);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
    ComModule::LockServer(false);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
    ComModule::LockServer(false);
    EXPECT_EQ(ComModule::CanUnloadNow(), S_OK);
}

} // namespace
