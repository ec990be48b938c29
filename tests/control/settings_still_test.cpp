// Stills through ICameraSettings while the graph runs: to a buffer and to
// files read back by our own decoder (and afterwards by PIL, see
// CMakeLists.txt), raw stills, RGB order, weighted grey, and requests that no
// preview frame serves returning in bounded time with settingsLock released.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/control/control_test_support.h"

namespace {

constexpr int kStillWidth = 1280, kStillHeight = 1024;

class StillTest : public ControlTest {
protected:
    void TearDown() override {
        graph.Release();
        ControlTest::TearDown();
    }
    // A filter at Quarter live resolution with the pin `pinName` running into a grabber.
    void Start(const wchar_t *pinName = L"Preview") {
        filter = NewFilter(&settings);
        ASSERT_NE(settings, nullptr);
        ASSERT_EQ(settings->SetCaptureResolution(2), S_OK);
        ASSERT_TRUE(graph.Build(filter, pinName));
        ASSERT_TRUE(graph.Run());
        ASSERT_TRUE(graph.collector.WaitForSamples(2, 10000));
    }
    // A still into a new buffer of `bytes`; the call's result in `result`.
    std::vector<unsigned char> BufferStill(std::size_t bytes, HRESULT &result) {
        std::vector<unsigned char> buffer(bytes, 0xCD);
        result = settings->CaptureStillToBuffer(buffer.data(), static_cast<int>(buffer.size()), true, false);
        return buffer;
    }

    IBaseFilter *filter = nullptr;
    ICameraSettings *settings = nullptr;
    GrabberGraph graph;
};

TEST_F(StillTest, BufferStillsInColourRgbOrderAndWeightedGrey) {
    Start();
    ASSERT_EQ(settings->SetStillResolution(2), S_OK);
    const int width = kStillWidth / 4, height = kStillHeight / 4;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    HRESULT result = E_FAIL;
    const std::vector<unsigned char> colour = BufferStill(pixels * 4, result);
    ASSERT_EQ(result, S_OK);
    // One byte short is refused and leaves the buffer alone.
    std::vector<unsigned char> small = BufferStill(pixels * 4 - 1, result);
    EXPECT_EQ(result, S_FALSE);
    EXPECT_EQ(small[0], 0xCD);

    ASSERT_EQ(settings->SetStillRgbOrder(true), S_OK);
    const std::vector<unsigned char> swapped = BufferStill(pixels * 4, result);
    ASSERT_EQ(result, S_OK);
    ASSERT_EQ(settings->SetStillRgbOrder(false), S_OK);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < pixels; ++i)
        mismatches += swapped[4 * i] != colour[4 * i + 2] || swapped[4 * i + 1] != colour[4 * i + 1] ||
                      swapped[4 * i + 2] != colour[4 * i];
    EXPECT_EQ(mismatches, 0u) << "RGB-order still is not the colour still with red and blue swapped";

    // Monochrome stills are one grey byte per pixel: the mean, or the weights.
    ASSERT_EQ(settings->SetMonochrome(true), S_OK);
    const std::vector<unsigned char> mean = BufferStill(pixels, result);
    ASSERT_EQ(result, S_OK);
    ASSERT_EQ(settings->SetWeightedGray(true, 0, 100, 0), S_OK);
    const std::vector<unsigned char> green = BufferStill(pixels, result);
    ASSERT_EQ(result, S_OK);
    std::size_t badMean = 0, badGreen = 0;
    for (int r = 1; r < height - 1; ++r)
        for (int c = 1; c < width - 1; ++c) {
            const std::size_t i = std::size_t(r) * std::size_t(width) + std::size_t(c);
            badMean += mean[i] != (colour[4 * i] + colour[4 * i + 1] + colour[4 * i + 2]) / 3;
            badGreen += green[i] != colour[4 * i + 1];
        }
    EXPECT_EQ(badMean, 0u);
    EXPECT_EQ(badGreen, 0u) << "weighted grey 0/100/0 is not the green channel";
}

TEST_F(StillTest, FileStillsAreWholeBitmapsAndRawFiles) {
    Start();
    // Same frame (every frame is the same) as a buffer still and as a file.
    HRESULT result = E_FAIL;
    const std::vector<unsigned char> colour = BufferStill(std::size_t(kStillWidth) * kStillHeight * 4, result);
    ASSERT_EQ(result, S_OK);
    const std::string path = "control_still_full.bmp";
    DeleteFileA(path.c_str());
    ASSERT_EQ(settings->CaptureStillImage(path.c_str()), S_OK);
    BmpFile bmp;
    std::string problem;
    ASSERT_TRUE(ReadBmp(path, bmp, problem)) << problem;
    EXPECT_EQ(bmp.fileSize, 3932214u);
    EXPECT_EQ(bmp.declaredSize, 3932214u);
    EXPECT_EQ(bmp.dataOffset, 54u);
    EXPECT_EQ(bmp.infoSize, 40u);
    EXPECT_EQ(bmp.width, kStillWidth);
    EXPECT_EQ(bmp.height, kStillHeight);
    EXPECT_EQ(bmp.planes, 1);
    EXPECT_EQ(bmp.compression, 0u);
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < std::size_t(kStillWidth) * kStillHeight; ++i)
        mismatches += bmp.pixels[3 * i] != colour[4 * i] || bmp.pixels[3 * i + 1] != colour[4 * i + 1] ||
                      bmp.pixels[3 * i + 2] != colour[4 * i + 2];
    EXPECT_EQ(mismatches, 0u) << "the file's pixels are not the buffer still's";

    // Raw: the raw samples, no header, and the preview pin's copy of the flag chose it.
    ASSERT_EQ(settings->SetRawStill(true), S_OK);
    const std::string rawPath = "control_still_full.raw";
    DeleteFileA(rawPath.c_str());
    ASSERT_EQ(settings->CaptureStillImage(rawPath.c_str()), S_OK);
    EXPECT_EQ(FileSize(rawPath), 1310720);
    // Half: a smaller bitmap.
    ASSERT_EQ(settings->SetRawStill(false), S_OK);
    ASSERT_EQ(settings->SetStillResolution(1), S_OK);
    const std::string halfPath = "control_still_half.bmp";
    DeleteFileA(halfPath.c_str());
    ASSERT_EQ(settings->CaptureStillImage(halfPath.c_str()), S_OK);
    ASSERT_TRUE(ReadBmp(halfPath, bmp, problem)) << problem;
    EXPECT_EQ(bmp.width, 640);
    EXPECT_EQ(bmp.height, 512);
    EXPECT_EQ(bmp.fileSize, 54u + 512u * 1920u);
}

// A buffer still requested on its own thread.
// A still requested on its own thread: to `path` when given, else to a buffer.
struct StillRequest {
    ICameraSettings *settings;
    const char *path = nullptr;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(1280 * 1024 * 4);
    HRESULT result = E_FAIL;
    std::atomic<bool> done{false};

    static DWORD WINAPI Run(void *argument) {
        auto *self = static_cast<StillRequest *>(argument);
        if (self->path != nullptr)
            self->result = self->settings->CaptureStillImage(self->path);
        else
            self->result = self->settings->CaptureStillToBuffer(self->buffer.data(),
                                                                static_cast<int>(self->buffer.size()), true, false);
        self->done = true;
        return 0;
    }
};

// Waits for `count` threads at most timeoutMs; on a timeout the test cannot
// clean up (the threads still use the filter), so the program ends.
void JoinOrEnd(HANDLE *threads, DWORD count, DWORD timeoutMs) {
    const DWORD waited = WaitForMultipleObjects(count, threads, TRUE, timeoutMs);
    for (DWORD i = 0; i < count; ++i)
        CloseHandle(threads[i]);
    if (waited >= WAIT_OBJECT_0 + count) {
        ADD_FAILURE() << "a still request or a call waiting for it did not return within " << timeoutMs << " ms";
        std::fflush(stdout);
        ExitProcess(3);
    }
}

// A call that needs the settings lock while the request holds it.
struct LockWaiter {
    ICameraSettings *settings;
    StillRequest *request;
    HRESULT result = E_FAIL;
    DWORD blockedMs = 0;

    static DWORD WINAPI Run(void *argument) {
        auto *self = static_cast<LockWaiter *>(argument);
        int gain = 0;
        const DWORD begin = GetTickCount();
        self->result = self->settings->GetGain(&gain);
        self->blockedMs = GetTickCount() - begin;
        return 0;
    }
};

// A request no preview frame serves: it returns with the failure result in
// bounded time, holds every other call (except the null-pointer check) until
// then, and leaves the interface usable.
TEST_F(StillTest, UnservedRequestsReturnInBoundedTime) {
    Start(L"~Capture"); // the preview pin stays unconnected
    StillRequest request{settings};
    LockWaiter waiter{settings, &request};
    HANDLE threads[2] = {};
    threads[0] = CreateThread(nullptr, 0, &StillRequest::Run, &request, 0, nullptr);
    ASSERT_NE(threads[0], nullptr);
    Sleep(500);                                       // the request is waiting with the lock by now
    EXPECT_EQ(settings->GetGain(nullptr), E_POINTER); // checked before the lock: no wait
    EXPECT_FALSE(request.done) << "the request was served without a preview pin";
    threads[1] = CreateThread(nullptr, 0, &LockWaiter::Run, &waiter, 0, nullptr);
    ASSERT_NE(threads[1], nullptr);
    JoinOrEnd(threads, 2, 20000);
    EXPECT_EQ(waiter.result, S_OK);
    // The request keeps the lock for its whole wait (about 5 s, 4.5 s of it
    // after GetGain began); a GetGain that got through much sooner did not wait for it.
    EXPECT_GE(waiter.blockedMs, 2000u) << "GetGain ran while a still request held the lock";
    EXPECT_EQ(request.result, S_FALSE);

    StillRequest fileRequest{settings, "control_unserved_still.bmp"};
    DeleteFileA(fileRequest.path);
    HANDLE fileThread = CreateThread(nullptr, 0, &StillRequest::Run, &fileRequest, 0, nullptr);
    ASSERT_NE(fileThread, nullptr);
    JoinOrEnd(&fileThread, 1, 20000);
    EXPECT_EQ(fileRequest.result, S_OK);
    EXPECT_EQ(FileSize(fileRequest.path), -1);
    EXPECT_EQ(settings->SetGain(30), S_OK);
}

// Stopping the filter while a still request waits for a preview frame ends
// the request at once, so the stop is not held up by the request's time limit.
TEST_F(StillTest, StopEndsAWaitingStillRequest) {
    Start(L"~Capture"); // the preview pin stays unconnected
    StillRequest request{settings};
    HANDLE thread = CreateThread(nullptr, 0, &StillRequest::Run, &request, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    Sleep(300); // the request is waiting with the lock by now
    const DWORD begin = GetTickCount();
    EXPECT_TRUE(SUCCEEDED(graph.control->Stop()));
    const DWORD stopMs = GetTickCount() - begin;
    JoinOrEnd(&thread, 1, 20000);
    EXPECT_LT(stopMs, 2500u) << "the stop waited for the still request's time limit";
    EXPECT_EQ(request.result, S_FALSE);
}

} // namespace
