// The simulated imaging library's state: configuration, opening and closing
// cameras, the call log and the control API.
#include "sim/midlib/sim_library.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace midsim {
namespace {

constexpr std::size_t kMaxLogEvents = 100000;

CameraControl controlFrom(const CameraConfig &config) {
    CameraControl control;
    control.pace = config.pace;
    control.unplugAfter = config.unplugAfter;
    return control;
}

} // namespace

SimCamera::SimCamera(int cameraIndex, const CameraConfig &cameraConfig)
    : index(cameraIndex), config(cameraConfig), record(std::make_unique<CameraRecord>()),
      sensor(std::make_unique<SensorRecord>()), renderer(cameraConfig) {
    model.powerOn(config, index);
    formatWidth = model.fullWidth();
    formatHeight = model.fullHeight();
    record->sensor = sensor.get();
    sensor->rawWidth = formatWidth;
    sensor->rawHeight = formatHeight;
    sensor->frameBufferSize = static_cast<std::uint32_t>(formatWidth * formatHeight);
    sensor->busAddress = kBusAddress;
    installOperations(*record);
}

SimLibrary &SimLibrary::instance() {
    static SimLibrary *const library = new SimLibrary();
    return *library;
}

SimLibrary::SimLibrary() {
    parseConfig(std::getenv("MIDLIB_SIM"), config_);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i] = controlFrom(config_.cameras[i]);
    }
}

SimCamera *SimLibrary::find(const CameraRecord *record) {
    for (const auto &camera : cameras_) {
        if (record != nullptr && camera->record.get() == record) {
            return camera.get();
        }
    }
    return nullptr;
}

SimCamera *SimLibrary::byIndex(int camera) {
    return camera >= 0 && camera < static_cast<int>(cameras_.size()) ? cameras_[camera].get() : nullptr;
}

CameraControl *SimLibrary::control(int camera) {
    return camera >= 0 && camera < kMaxCameras ? &controls_[camera] : nullptr;
}

void SimLibrary::log(int kind, int camera, int value, int status, int number, int busAddress) {
    MidsimEvent event{};
    event.kind = kind;
    event.camera = camera;
    event.busAddress = busAddress;
    event.reg = number;
    event.value = value;
    event.status = status;
    if (kind == MIDSIM_FORMAT) {
        const SimCamera *sim = byIndex(camera);
        event.width = sim != nullptr ? sim->formatWidth : 0;
        event.height = sim != nullptr ? sim->formatHeight : 0;
    }
    if (log_.size() == kMaxLogEvents) {
        log_.pop_front();
    }
    log_.push_back(event);
}

std::uint16_t SimLibrary::openCameras(CameraRecord **cameraArray, std::uint16_t *cameraCount, const char *path) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastPath_.clear();
    for (int i = 0; path != nullptr && i < kMiMaxPath && path[i] != '\0'; ++i) {
        lastPath_ += path[i];
    }
    if (cameraArray == nullptr || cameraCount == nullptr || config_.failOpen) {
        if (cameraCount != nullptr) {
            *cameraCount = 0;
        }
        log(MIDSIM_OPEN, -1, 0, kStatusFailed);
        return kStatusFailed;
    }
    // A second open hands out the same records: an engine may still hold them.
    if (cameras_.empty() && !config_.noCamera) {
        for (int i = 0; i < config_.cameraCount; ++i) {
            cameras_.push_back(std::make_unique<SimCamera>(i, config_.cameras[i]));
            cameras_.back()->unplugAt = controls_[i].unplugAfter;
        }
    }
    const int count = config_.noCamera ? 0 : static_cast<int>(cameras_.size());
    for (int i = 0; i < kMiMaxCameras; ++i) {
        cameraArray[i] = i < count ? cameras_[i]->record.get() : nullptr;
    }
    *cameraCount = static_cast<std::uint16_t>(count);
    log(MIDSIM_OPEN, -1, count, kMiSuccess);
    return kMiSuccess;
}

void SimLibrary::releaseCameras(std::unique_lock<std::mutex> &lock) {
    for (const auto &camera : cameras_) {
        camera->closing = true;
    }
    wake_.notify_all();
    wake_.wait(lock, [this] {
        return std::all_of(cameras_.begin(), cameras_.end(), [](const auto &camera) { return camera->busy == 0; });
    });
    cameras_.clear();
}

std::uint16_t SimLibrary::closeCameras() {
    std::unique_lock<std::mutex> lock(mutex_);
    releaseCameras(lock);
    log(MIDSIM_CLOSE, -1, 0, kMiSuccess);
    return kMiSuccess;
}

int SimLibrary::configure(const char *text) {
    SimConfig parsed;
    const int problems = parseConfig(text, parsed);
    std::unique_lock<std::mutex> lock(mutex_);
    releaseCameras(lock);
    config_ = parsed;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i] = controlFrom(config_.cameras[i]);
    }
    log_.clear();
    logAcquires_ = false;
    lastPath_.clear();
    return problems;
}

void SimLibrary::setOpenFailure(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_.failOpen = fail;
}

void SimLibrary::setNoCamera(bool none) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_.noCamera = none;
}

void SimLibrary::setUnplugAfter(int camera, int frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (CameraControl *c = control(camera)) {
        c->unplugAfter = frames < 0 ? -1 : frames;
    }
    // On an open camera the count starts now.
    if (SimCamera *sim = byIndex(camera)) {
        sim->unplugAt = frames < 0 ? -1 : sim->framesDelivered + frames;
    }
}

void SimLibrary::failNextAcquires(int camera, int count, std::uint16_t status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (CameraControl *c = control(camera)) {
        c->failAcquires = std::max(count, 0);
        c->failStatus = status == kMiSuccess || status == kMiCameraGone ? kStatusFailed : status;
    }
}

void SimLibrary::failRegisters(int camera, int number, bool enable, bool writes) {
    std::lock_guard<std::mutex> lock(mutex_);
    CameraControl *c = control(camera);
    if (c == nullptr || number < -1 || number > 255) {
        return;
    }
    bool &all = writes ? c->failAllWrites : c->failAllReads;
    std::bitset<256> &some = writes ? c->failWrites : c->failReads;
    if (number == -1) {
        all = enable;
        if (!enable) {
            some.reset();
        }
    } else {
        some.set(static_cast<std::size_t>(number), enable);
    }
}

void SimLibrary::setPace(int camera, int framesPerSecond) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (CameraControl *c = control(camera)) {
        c->pace = framesPerSecond < 0 ? -1 : framesPerSecond;
    }
}

int SimLibrary::peekRegister(int camera, int number) {
    std::lock_guard<std::mutex> lock(mutex_);
    const SimCamera *sim = byIndex(camera);
    if (sim == nullptr || number < 0 || number > 255) {
        return -1;
    }
    return sim->model.read(static_cast<std::uint8_t>(number));
}

void SimLibrary::pokeRegister(int camera, int number, std::uint16_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (SimCamera *sim = byIndex(camera); sim != nullptr && number >= 0 && number <= 255) {
        sim->model.poke(static_cast<std::uint8_t>(number), value);
    }
}

int SimLibrary::eventCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(log_.size());
}

bool SimLibrary::event(int index, MidsimEvent &event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(log_.size())) {
        return false;
    }
    event = log_[static_cast<std::size_t>(index)];
    return true;
}

void SimLibrary::clearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
}

void SimLibrary::logAcquires(bool enable) {
    std::lock_guard<std::mutex> lock(mutex_);
    logAcquires_ = enable;
}

int SimLibrary::lastSensorDataPath(char *path, int size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path != nullptr && size > 0) {
        const std::size_t count = std::min(lastPath_.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(path, lastPath_.data(), count);
        path[count] = '\0';
    }
    return static_cast<int>(lastPath_.size());
}

int SimLibrary::openRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(cameras_.size());
}

int SimLibrary::framesDelivered(int camera) {
    std::lock_guard<std::mutex> lock(mutex_);
    const SimCamera *sim = byIndex(camera);
    return sim != nullptr ? static_cast<int>(sim->framesDelivered) : 0;
}

bool SimLibrary::cameraStarted(int camera) {
    std::lock_guard<std::mutex> lock(mutex_);
    const SimCamera *sim = byIndex(camera);
    return sim != nullptr && sim->started;
}

} // namespace midsim
