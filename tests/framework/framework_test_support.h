// Shared fixture of the framework tests: COM initialised for the test, and
// every COM object of the framework gone again when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "filter/framework/framework.h"
#include "tests/framework/test_source.h"

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(ComModule::LiveObjectCount(), 0) << "an earlier test leaked framework objects";
    }
    void TearDown() override {
        EXPECT_EQ(ComModule::LiveObjectCount(), 0) << "framework objects still alive after the test";
        EXPECT_EQ(ComModule::ServerLockCount(), 0);
        CoUninitialize();
    }
};

// A FrameworkTest with a new test source filter, held through its
// IBaseFilter, which must be the last reference when the test ends.
class SourceFilterTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        HRESULT hr = S_OK;
        source = new TestSourceFilter(nullptr, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(source->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
    }
    void TearDown() override {
        if (filter != nullptr) {
            EXPECT_EQ(filter->Release(), 0u);
        }
        FrameworkTest::TearDown();
    }
    TestSourceFilter *source = nullptr;
    IBaseFilter *filter = nullptr;
};

// The object's current reference count, measured without changing it.
inline ULONG RefCount(IUnknown *object) {
    object->AddRef();
    return object->Release();
}

// An IUnknown that is garbage until a call writes it.
inline void *Garbage() {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(0xDEADBEEF));
}
