// The framework's own memory allocator and media samples: properties,
// commit/decommit, waiting for a free sample, lifetime, and sample fields.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "platform/platform.h"
#include "tests/framework/framework_test_support.h"

namespace {

class AllocatorTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        ASSERT_EQ(MemAllocator::Create(&allocator), S_OK);
    }
    void TearDown() override {
        if (allocator != nullptr) {
            EXPECT_EQ(allocator->Release(), 0u);
        }
        FrameworkTest::TearDown();
    }
    HRESULT Configure(long buffers, long size, long align = 1, long prefix = 0) {
        ALLOCATOR_PROPERTIES request{buffers, size, align, prefix};
        return allocator->SetProperties(&request, &actual);
    }

    IMemAllocator *allocator = nullptr;
    ALLOCATOR_PROPERTIES actual{};
};

// A thread that asks for a buffer and reports what it got.
struct Waiter {
    IMemAllocator *allocator = nullptr;
    IMediaSample *sample = nullptr;
    HRESULT result = E_PENDING;
    platform::Event started, finished;
    platform::Thread thread;

    void Start(IMemAllocator *target) {
        allocator = target;
        ASSERT_TRUE(thread.start(
            [](void *self) {
                auto *waiter = static_cast<Waiter *>(self);
                waiter->started.set();
                waiter->result = waiter->allocator->GetBuffer(&waiter->sample, nullptr, nullptr, 0);
                waiter->finished.set();
            },
            this));
        ASSERT_TRUE(started.wait(5000));
    }
};

TEST_F(AllocatorTest, PropertiesAreCheckedAndRounded) {
    EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
    EXPECT_EQ(Configure(2, 100, 0), VFW_E_BADALIGN);
    EXPECT_EQ(Configure(2, 100, 3), VFW_E_BADALIGN);
    EXPECT_EQ(allocator->SetProperties(nullptr, &actual), E_POINTER);
    ASSERT_EQ(Configure(3, 100, 16, 8), S_OK);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ(actual.cbAlign, 16);
    EXPECT_EQ(actual.cbPrefix, 8);
    EXPECT_EQ((actual.cbBuffer + actual.cbPrefix) % 16, 0);
    EXPECT_GE(actual.cbBuffer, 100);
    ALLOCATOR_PROPERTIES read{};
    ASSERT_EQ(allocator->GetProperties(&read), S_OK);
    EXPECT_EQ(read.cbBuffer, actual.cbBuffer);

    IMediaSample *sample = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(sample, nullptr);
    ASSERT_EQ(allocator->Commit(), S_OK);
    EXPECT_EQ(Configure(1, 10), VFW_E_ALREADY_COMMITTED);

    // Three distinct buffers, each aligned after its prefix, then none left.
    IMediaSample *samples[3] = {};
    std::set<BYTE *> seen;
    for (auto &each : samples) {
        ASSERT_EQ(allocator->GetBuffer(&each, nullptr, nullptr, 0), S_OK);
        BYTE *data = nullptr;
        ASSERT_EQ(each->GetPointer(&data), S_OK);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data - 8) % 16, 0u);
        EXPECT_EQ(each->GetSize(), actual.cbBuffer);
        EXPECT_EQ(each->GetActualDataLength(), actual.cbBuffer);
        seen.insert(data);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    samples[1]->Release();
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    sample->Release();

    // Decommitted with samples out: the properties stay fixed until they are back.
    ASSERT_EQ(allocator->Decommit(), S_OK);
    EXPECT_EQ(Configure(1, 10), VFW_E_BUFFERS_OUTSTANDING);
    samples[0]->Release();
    samples[2]->Release();
    EXPECT_EQ(Configure(1, 10), S_OK);
}

TEST_F(AllocatorTest, DecommitReleasesAWaitingGetBuffer) {
    ASSERT_EQ(Configure(1, 64), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample *held = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&held, nullptr, nullptr, 0), S_OK);

    Waiter waiter;
    waiter.Start(allocator);
    EXPECT_FALSE(waiter.finished.wait(100)); // no free sample: it waits
    ASSERT_EQ(allocator->Decommit(), S_OK);
    ASSERT_TRUE(waiter.finished.wait(5000)) << "Decommit did not release GetBuffer";
    EXPECT_EQ(waiter.result, VFW_E_NOT_COMMITTED);
    EXPECT_EQ(waiter.sample, nullptr);
    EXPECT_TRUE(waiter.thread.join(5000));
    held->Release();

    // Commit again after decommit works as at first.
    ASSERT_EQ(allocator->Commit(), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    held->Release();
    ASSERT_EQ(allocator->Decommit(), S_OK);
}

TEST_F(AllocatorTest, ReturnedSampleWakesAWaitingGetBuffer) {
    ASSERT_EQ(Configure(1, 64), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample *held = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    Waiter waiter;
    waiter.Start(allocator);
    EXPECT_FALSE(waiter.finished.wait(50));
    held->Release();
    ASSERT_TRUE(waiter.finished.wait(5000)) << "a returned sample did not wake GetBuffer";
    EXPECT_EQ(waiter.result, S_OK);
    ASSERT_NE(waiter.sample, nullptr);
    EXPECT_TRUE(waiter.thread.join(5000));
    waiter.sample->Release();
    ASSERT_EQ(allocator->Decommit(), S_OK);
}

TEST_F(AllocatorTest, OutstandingSampleKeepsTheAllocator) {
    ASSERT_EQ(Configure(2, 32), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample *sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(allocator->Release(), 1u); // the sample's hold
    allocator = nullptr;
    BYTE *data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[0] = 1;
    data[31] = 2;
    EXPECT_EQ(sample->Release(), 0u); // last reference: the allocator goes too
}

TEST_F(AllocatorTest, SampleFieldsFollowTheInterface) {
    ASSERT_EQ(Configure(1, 100), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample *sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);

    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME setStart = 1000, setStop = 2000;
    ASSERT_EQ(sample->SetTime(&setStart, nullptr), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    ASSERT_EQ(sample->SetTime(&setStart, &setStop), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(stop, 2000);
    LONGLONG mediaStart = 0, mediaStop = 0;
    EXPECT_EQ(sample->GetMediaTime(&mediaStart, &mediaStop), VFW_E_MEDIA_TIME_NOT_SET);

    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(sample->SetSyncPoint(TRUE), S_OK);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->SetDiscontinuity(TRUE), S_OK);
    EXPECT_EQ(sample->IsPreroll(), S_FALSE);
    EXPECT_EQ(sample->SetActualDataLength(sample->GetSize() + 1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(10), S_OK);
    EXPECT_EQ(sample->GetActualDataLength(), 10);

    AM_MEDIA_TYPE *type = reinterpret_cast<AM_MEDIA_TYPE *>(Garbage());
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(type, nullptr);
    AM_MEDIA_TYPE video{};
    video.majortype = MEDIATYPE_Video;
    ASSERT_EQ(sample->SetMediaType(&video), S_OK);
    ASSERT_EQ(sample->GetMediaType(&type), S_OK);
    EXPECT_TRUE(IsEqualGUID(type->majortype, MEDIATYPE_Video));
    DeleteMediaType(type);

    IMediaSample2 *sample2 = nullptr;
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void **>(&sample2)), S_OK);
    AM_SAMPLE2_PROPERTIES properties{};
    ASSERT_EQ(sample2->GetProperties(sizeof properties, reinterpret_cast<BYTE *>(&properties)), S_OK);
    EXPECT_EQ(properties.lActual, 10);
    EXPECT_EQ(properties.tStart, 1000);
    EXPECT_TRUE(properties.dwSampleFlags & AM_SAMPLE_SPLICEPOINT);
    EXPECT_TRUE(properties.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
    sample2->Release();

    // A sample handed out again starts clean.
    EXPECT_EQ(sample->Release(), 0u);
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(sample->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(sample->GetActualDataLength(), sample->GetSize());
    EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
    sample->Release();
    ASSERT_EQ(allocator->Decommit(), S_OK);
}

} // namespace
