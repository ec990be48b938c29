// The camera record's operations: start and stop, register access, frame
// format, and frame acquisition with pacing and injected faults.
#include "sim/midlib/sim_library.h"

#include <algorithm>

namespace midsim {
namespace {

constexpr std::int32_t kMaxFormatSide = 16384;

} // namespace

std::uint16_t SimLibrary::startCamera(CameraRecord *record) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kStatusFailed;
    }
    camera->started = true;
    // The sensor starts its first exposure now.
    camera->nextFrame = Clock::now() + framePeriod(*camera);
    log(MIDSIM_START, camera->index, 0, kMiSuccess);
    return kMiSuccess;
}

std::uint16_t SimLibrary::stopCamera(CameraRecord *record) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kStatusFailed;
    }
    camera->started = false;
    wake_.notify_all();
    log(MIDSIM_STOP, camera->index, 0, kMiSuccess);
    return kMiSuccess;
}

std::uint16_t SimLibrary::getRegister(CameraRecord *record, std::uint8_t busAddress, std::uint8_t number,
                                      std::uint16_t *value) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kStatusFailed;
    }
    const CameraControl &control = controls_[static_cast<std::size_t>(camera->index)];
    std::uint16_t status = kMiSuccess;
    int read = 0;
    if (value == nullptr) {
        status = kStatusFailed;
    } else if (busAddress != kBusAddress || control.failAllReads || control.failReads.test(number)) {
        status = kStatusNoAcknowledge;
    } else {
        *value = camera->model.read(number);
        read = *value;
    }
    log(MIDSIM_READ, camera->index, read, status, number, busAddress);
    return status;
}

std::uint16_t SimLibrary::setRegister(CameraRecord *record, std::uint8_t busAddress, std::uint8_t number,
                                      std::uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kStatusFailed;
    }
    const CameraControl &control = controls_[static_cast<std::size_t>(camera->index)];
    std::uint16_t status = kMiSuccess;
    if (busAddress != kBusAddress || control.failAllWrites || control.failWrites.test(number)) {
        status = kStatusNoAcknowledge;
    } else {
        camera->model.write(number, value);
    }
    log(MIDSIM_WRITE, camera->index, value, status, number, busAddress);
    return status;
}

std::uint16_t SimLibrary::setFrameFormat(CameraRecord *record, std::int32_t width, std::int32_t height,
                                         std::int32_t bitDepth) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kStatusFailed;
    }
    camera->formatWidth = std::clamp(width, 1, kMaxFormatSide);
    camera->formatHeight = std::clamp(height, 1, kMaxFormatSide);
    camera->sensor->rawWidth = camera->formatWidth;
    camera->sensor->rawHeight = camera->formatHeight;
    camera->sensor->frameBufferSize =
        static_cast<std::uint32_t>(camera->formatWidth) * static_cast<std::uint32_t>(camera->formatHeight);
    // Only 8-bit samples exist; another depth is reported but still gives 8 bits.
    const std::uint16_t status = bitDepth == 8 ? kMiSuccess : kStatusFailed;
    log(MIDSIM_FORMAT, camera->index, bitDepth, status);
    return status;
}

Clock::duration SimLibrary::framePeriod(const SimCamera &camera) const {
    const int pace = controls_[static_cast<std::size_t>(camera.index)].pace;
    if (pace == 0) {
        return Clock::duration::zero();
    }
    if (pace > 0) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(1000000000 / pace));
    }
    return std::chrono::duration_cast<Clock::duration>(camera.model.frameTime(camera.formatWidth));
}

// The time the next frame is complete. The sensor streams from StartCamera
// on; a caller that comes late gets the newest finished frame at once, and
// the cadence continues from there.
Clock::time_point SimLibrary::scheduleFrame(SimCamera &camera) {
    const Clock::duration period = framePeriod(camera);
    const Clock::time_point now = Clock::now();
    if (period == Clock::duration::zero()) {
        camera.nextFrame = now;
        return now;
    }
    if (camera.nextFrame >= now) {
        const Clock::time_point due = camera.nextFrame;
        camera.nextFrame += period;
        return due;
    }
    const auto missed = (now - camera.nextFrame) / period;
    camera.nextFrame += period * (missed + 1);
    return now;
}

std::uint16_t SimLibrary::refuseAcquire(SimCamera &camera, const std::uint8_t *buffer) {
    CameraControl &control = controls_[static_cast<std::size_t>(camera.index)];
    if (camera.unplugAt >= 0 && camera.framesDelivered >= camera.unplugAt) {
        camera.unplugged = true;
    }
    if (camera.unplugged) {
        return kMiCameraGone;
    }
    if (buffer == nullptr) {
        return kStatusFailed;
    }
    if (!camera.started) {
        return kStatusNotStreaming;
    }
    if (control.failAcquires > 0) {
        --control.failAcquires;
        return control.failStatus;
    }
    return kMiSuccess;
}

RenderParams SimLibrary::renderParams(const SimCamera &camera, std::uint64_t frameIndex) const {
    RenderParams params;
    params.formatWidth = camera.formatWidth;
    params.formatHeight = camera.formatHeight;
    params.window = camera.model.window();
    params.mirrored = camera.model.mirrored();
    params.brightness = camera.model.brightness();
    params.frameIndex = camera.config.staticScene ? 0 : frameIndex;
    return params;
}

// Prepares the renderer with the library mutex released, like renderOutside.
void SimLibrary::prepareOutside(std::unique_lock<std::mutex> &lock, SimCamera &camera, const RenderParams &params) {
    ++camera.busy;
    lock.unlock();
    {
        std::lock_guard<std::mutex> renderLock(camera.renderMutex);
        camera.renderer.prepare(params);
    }
    lock.lock();
    --camera.busy;
    wake_.notify_all();
}

// Renders with the library mutex released; the camera stays alive meanwhile
// because close waits for `busy` to return to zero.
std::size_t SimLibrary::renderOutside(std::unique_lock<std::mutex> &lock, SimCamera &camera, const RenderParams &params,
                                      std::uint8_t *buffer, std::size_t size) {
    ++camera.busy;
    lock.unlock();
    std::size_t written = 0;
    {
        std::lock_guard<std::mutex> renderLock(camera.renderMutex);
        written = camera.renderer.render(params, buffer, size);
    }
    lock.lock();
    --camera.busy;
    wake_.notify_all();
    return written;
}

std::uint16_t SimLibrary::acquireFrame(CameraRecord *record, std::uint8_t *buffer, std::uint32_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    SimCamera *camera = find(record);
    if (camera == nullptr) {
        return kMiCameraGone;
    }
    std::uint16_t status = refuseAcquire(*camera, buffer);
    if (status == kMiSuccess) {
        const Clock::time_point due = scheduleFrame(*camera);
        // The scene of a new format is built while the sensor exposes: a
        // camera's first frame does not wait on the simulator's own set-up.
        prepareOutside(lock, *camera, renderParams(*camera, camera->frameIndex));
        ++camera->busy;
        wake_.wait_until(lock, due, [camera] { return camera->closing || !camera->started; });
        --camera->busy;
        wake_.notify_all();
        if (camera->closing) {
            status = kMiCameraGone;
        } else if (!camera->started) {
            status = kStatusNotStreaming;
        }
    }
    if (status == kMiSuccess) {
        const RenderParams params = renderParams(*camera, camera->frameIndex++);
        const std::size_t bytes = std::min<std::size_t>(size, camera->sensor->frameBufferSize);
        renderOutside(lock, *camera, params, buffer, bytes);
        ++camera->framesDelivered;
    }
    if (logAcquires_) {
        log(MIDSIM_ACQUIRE, camera->index, static_cast<int>(camera->framesDelivered), status);
    }
    return status;
}

std::size_t SimLibrary::renderFrame(int camera, std::uint8_t *buffer, std::uint32_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    SimCamera *sim = byIndex(camera);
    if (sim == nullptr || buffer == nullptr) {
        return 0;
    }
    const RenderParams params = renderParams(*sim, sim->frameIndex);
    const std::size_t bytes = std::min<std::size_t>(size, sim->sensor->frameBufferSize);
    return renderOutside(lock, *sim, params, buffer, bytes);
}

} // namespace midsim
