// The acquisition thread, the three-buffer frame hand-off, the frame-rate
// average and the engine's side of the still-capture hand-shake.
#include "engine/camera_engine.h"

#include <utility>

void CameraEngine::StartAcquisition() {
    if (running) {
        return;
    }
    // A thread that ended on its own (the camera went away) is joined
    // before a new one starts.
    JoinAcquisitionThread();
    if (!CameraOpen() || grabBuffer == nullptr || latestFrame == nullptr || consumerBuffer == nullptr) {
        return; // nothing to acquire with: Initialize has not succeeded
    }
    threadEndedEvent.reset();
    stillRequestEvent.reset();
    running = true;
    if (!acquisitionThread.start(&CameraEngine::AcquisitionThreadEntry, this)) {
        running = false;
        return;
    }
    threadActive = true;
}

bool CameraEngine::StopAcquisition() {
    running = false;
    JoinAcquisitionThread();
    return CloseCamera();
}

void CameraEngine::JoinAcquisitionThread() {
    if (!threadActive) {
        return;
    }
    running = false;
    // The loop ends after the library's current AcquireFrame returns.
    threadEndedEvent.wait(platform::Event::kInfinite);
    acquisitionThread.join();
    threadActive = false;
}

void CameraEngine::AcquisitionThreadEntry(void *engine) {
    static_cast<CameraEngine *>(engine)->AcquisitionLoop();
}

void CameraEngine::AcquisitionLoop() {
    while (running) {
        const std::uint16_t status = camera->AcquireFrame(camera, grabBuffer, frameBufferSize);
        if (status == kMiSuccess) {
            ExchangeFrame(grabBuffer, true);
            RecordFrameTick();
        } else if (status == kMiCameraGone) {
            // The camera is gone: end the loop but leave the buffers and the
            // camera to the owner's StopAcquisition, since a consumer may be
            // converting one of the buffers right now and the thread cannot
            // wait on its own end.
            running = false;
        }
    }
    threadEndedEvent.set();
}

void CameraEngine::RecordFrameTick() {
    prevFrameTick = lastFrameTick.get();
    lastFrameTick = platform::tickCount();
    const std::uint32_t interval = lastFrameTick - prevFrameTick;
    frameIntervalMs = interval;
    if (interval != 0) {
        frameRateRing[frameRatePos] = static_cast<float>(1000.0 / interval);
    } else {
        // Two frames within one tick: double the previous slot's rate.
        const int previous = frameRatePos == 0 ? 9 : frameRatePos - 1;
        const float doubled = frameRateRing[previous] * 2.0f;
        frameRateRing[previous] = doubled;
        frameRateRing[frameRatePos] = doubled;
    }
    float sum = 0.0f;
    for (float rate : frameRateRing) {
        sum += rate;
    }
    frameRate = sum * 0.1f;
    frameRatePos = frameRatePos == 9 ? 0 : frameRatePos + 1;
}

bool CameraEngine::ExchangeFrame(std::uint8_t *&buffer, bool publish) {
    platform::Lock lock(frameLock);
    bool exchanged = false;
    if (publish || newFrameAvailable) {
        std::swap(buffer, latestFrame);
        exchanged = true;
    }
    newFrameAvailable = publish;
    return exchanged;
}

// --- Still hand-shake ---------------------------------------------------

void CameraEngine::CaptureStillToFile(const char *path) {
    if (!running) {
        return;
    }
    stillFilePath = path;
    stillToBufferPending = false;
    WaitForStill();
}

bool CameraEngine::CaptureStillToBuffer(std::uint8_t *buffer, std::uint32_t size, bool useStill, bool gainStill) {
    if (!running) {
        return false;
    }
    stillBuffer = buffer;
    useStillResolution = useStill;
    stillToBufferPending = true;
    stillBufferSize = size;
    pixelGainStill = gainStill;
    const bool served = WaitForStill();
    if (!served || stillToBufferPending) {
        stillToBufferPending = false;
        return false;
    }
    return true;
}

// Raises the request and polls until the consumer has served it. A request
// that no consumer claims within stillTimeoutMs, or that is pending when
// acquisition ends, is withdrawn; one that is being served is waited for,
// since serving takes one conversion and a write.
bool CameraEngine::WaitForStill() {
    stillState.store(kStillRequested, std::memory_order_release);
    stillRequestEvent.set();
    const std::uint32_t start = platform::tickCount();
    while (stillRequestEvent.wait(1)) {
        platform::sleepMs(1);
        const bool expired = platform::tickCount() - start >= stillTimeoutMs;
        if (expired || !running) {
            int expected = kStillRequested;
            if (stillState.compare_exchange_strong(expected, kStillIdle, std::memory_order_acq_rel)) {
                stillRequestEvent.reset();
                return false;
            }
        }
    }
    return true;
}

bool CameraEngine::ClaimStillRequest(std::uint32_t waitMs) {
    if (!stillRequestEvent.wait(waitMs)) {
        return false;
    }
    int expected = kStillRequested;
    return stillState.compare_exchange_strong(expected, kStillServing, std::memory_order_acq_rel);
}

void CameraEngine::FinishStill() {
    stillState.store(kStillIdle, std::memory_order_release);
    stillRequestEvent.reset();
}
