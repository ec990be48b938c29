// Shared fixture of the framework tests: COM initialised for the test, and
// every COM object of the framework gone again when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "filter/framework/framework.h"

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

// The object's current reference count, measured without changing it.
inline ULONG RefCount(IUnknown *object) {
    object->AddRef();
    return object->Release();
}

// An IUnknown that is garbage until a call writes it.
inline void *Garbage() {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(0xDEADBEEF));
}
