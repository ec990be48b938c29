// A minimal live source filter built on the framework layer, for the tests:
// one output pin offering 32 x 24 RGB32 video whose samples carry a counter
// pattern, with switches for how FillBuffer and the thread hooks behave.
#pragma once

#include <atomic>
#include <cstdint>

#include "filter/framework/framework.h"

// {6A1C93B2-5E7D-4F0A-9C1B-2D3E4F5A6B7C}
inline constexpr GUID kTestSourceClassId = {
    0x6a1c93b2, 0x5e7d, 0x4f0a, {0x9c, 0x1b, 0x2d, 0x3e, 0x4f, 0x5a, 0x6b, 0x7c}};

inline constexpr LONG kTestWidth = 32;
inline constexpr LONG kTestHeight = 24;
inline constexpr LONG kTestFrameBytes = kTestWidth * kTestHeight * 4;
inline constexpr REFERENCE_TIME kTestFrameTime = 100000; // 10 ms

// The byte at `offset` of sample number `index` (first four bytes: the index itself).
std::uint8_t TestPatternByte(std::uint32_t index, std::size_t offset);
// True when `data` holds exactly the pattern of some sample; gives its index.
bool CheckTestPattern(const BYTE *data, long length, std::uint32_t &index);

class TestSourceFilter;

class TestSourcePin : public SourceStreamPin {
public:
    TestSourcePin(HRESULT *result, TestSourceFilter *filter);

    HRESULT CheckMediaType(const AM_MEDIA_TYPE *type) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE *type) override;
    HRESULT DecideBufferSize(IMemAllocator *allocator, ALLOCATOR_PROPERTIES *request) override;
    HRESULT FillBuffer(IMediaSample *sample) override;
    HRESULT OnThreadCreate() override;
    HRESULT OnThreadDestroy() override;
    HRESULT OnThreadStartPlay() override;

    // --- Switches (set while stopped) ----------------------------------------------
    // FillBuffer returns S_FALSE after this many samples (-1: never).
    std::atomic<long> samplesBeforeEnd{-1};
    // FillBuffer returns this once samplesBeforeFailure samples were filled (S_OK: never).
    std::atomic<HRESULT> failure{S_OK};
    std::atomic<long> samplesBeforeFailure{0};
    std::atomic<HRESULT> threadCreateResult{S_OK};
    // Number of positions GetMediaType offers.
    int typeCount = 2;

    // --- Observations -----------------------------------------------------------------
    std::atomic<long> filled{0};           // FillBuffer calls with S_OK this run
    std::atomic<std::uint32_t> counter{0}; // next pattern index, never reset
    std::atomic<int> threadCreates{0}, threadDestroys{0}, startPlays{0};
    IMemAllocator *ownAllocator = nullptr; // the MemAllocator InitAllocator made last (no reference)
    int decideCalls = 0;
    ALLOCATOR_PROPERTIES lastRequest{};

protected:
    HRESULT InitAllocator(IMemAllocator **result) override;
};

class TestSourceFilter : public SourceFilterBase {
public:
    explicit TestSourceFilter(IUnknown *outer, HRESULT *result);
    ~TestSourceFilter() override;

    // Creation as a class table's create routine does it.
    static NonDelegatingUnknown *Create(IUnknown *outer, HRESULT *result);
    // A new filter with one reference on its IBaseFilter.
    static IBaseFilter *CreateReferenced();

    // Pause refuses to leave the stopped state (S_FALSE), as a source whose
    // device cannot be opened does.
    HRESULT STDMETHODCALLTYPE Pause() override;
    bool refusePause = false;

    TestSourcePin *pin = nullptr;
};

// Fills an empty AM_MEDIA_TYPE with the test format (width x height RGB32).
HRESULT MakeTestMediaType(AM_MEDIA_TYPE &type, LONG width = kTestWidth, LONG height = kTestHeight);
