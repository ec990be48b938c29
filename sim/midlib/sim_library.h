// The simulated imaging library's process-wide state: the configuration, the
// open cameras with their records, injected faults and the call log.
//
// Threading model: one mutex guards everything here. AcquireFrame waits for
// its frame time on a condition variable (releasing the mutex) and renders
// outside the mutex under the camera's own render mutex, so register access
// and control calls from other threads never wait for a frame. Records are
// freed only after every call still inside AcquireFrame or RenderFrame for
// them has left.
#pragma once

#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/midlib.h"
#include "sim/midlib/frame_renderer.h"
#include "sim/midlib/midlib_sim.h"
#include "sim/midlib/sensor_model.h"
#include "sim/midlib/sim_config.h"

namespace midsim {

using Clock = std::chrono::steady_clock;

inline constexpr std::uint8_t kBusAddress = 0xBA;
// Results other than kMiSuccess and kMiCameraGone.
inline constexpr std::uint16_t kStatusFailed = 1;        // bad argument or record, open failure
inline constexpr std::uint16_t kStatusNoAcknowledge = 2; // the sensor did not answer the register access
inline constexpr std::uint16_t kStatusNotStreaming = 4;  // AcquireFrame outside StartCamera/StopCamera

// Fault and pacing settings per camera number; they outlive open and close
// and are reset by Configure.
struct CameraControl {
    int pace = -1;
    int unplugAfter = -1;
    int failAcquires = 0;
    std::uint16_t failStatus = 1;
    bool failAllReads = false;
    bool failAllWrites = false;
    std::bitset<256> failReads;
    std::bitset<256> failWrites;
};

struct SimCamera {
    SimCamera(int cameraIndex, const CameraConfig &cameraConfig);

    int index;
    CameraConfig config;
    std::unique_ptr<CameraRecord> record;
    std::unique_ptr<SensorRecord> sensor;
    SensorModel model;
    int formatWidth = 1;
    int formatHeight = 1;
    bool started = false;
    bool unplugged = false;
    bool closing = false;
    std::int64_t framesDelivered = 0;
    std::int64_t unplugAt = -1;
    std::uint64_t frameIndex = 0;
    Clock::time_point nextFrame{};
    int busy = 0; // calls rendering for this camera outside the library mutex

    std::mutex renderMutex;
    FrameRenderer renderer; // guarded by renderMutex
};

class SimLibrary {
public:
    // The one instance, created at first use with the MIDLIB_SIM configuration
    // and never destroyed, so engines closing from static destructors find it.
    static SimLibrary &instance();

    // The contract.
    std::uint16_t openCameras(CameraRecord **cameraArray, std::uint16_t *cameraCount, const char *path);
    std::uint16_t closeCameras();
    std::uint16_t startCamera(CameraRecord *record);
    std::uint16_t stopCamera(CameraRecord *record);
    std::uint16_t getRegister(CameraRecord *record, std::uint8_t busAddress, std::uint8_t number, std::uint16_t *value);
    std::uint16_t setRegister(CameraRecord *record, std::uint8_t busAddress, std::uint8_t number, std::uint16_t value);
    std::uint16_t setFrameFormat(CameraRecord *record, std::int32_t width, std::int32_t height, std::int32_t bitDepth);
    std::uint16_t acquireFrame(CameraRecord *record, std::uint8_t *buffer, std::uint32_t size);

    // The control API.
    int configure(const char *text);
    void setOpenFailure(bool fail);
    void setNoCamera(bool none);
    void setUnplugAfter(int camera, int frames);
    void failNextAcquires(int camera, int count, std::uint16_t status);
    void failRegisters(int camera, int number, bool enable, bool writes);
    void setPace(int camera, int framesPerSecond);
    int peekRegister(int camera, int number);
    void pokeRegister(int camera, int number, std::uint16_t value);
    int eventCount();
    bool event(int index, MidsimEvent &event);
    void clearLog();
    void logAcquires(bool enable);
    int lastSensorDataPath(char *path, int size);
    int openRecords();
    int framesDelivered(int camera);
    bool cameraStarted(int camera);
    std::size_t renderFrame(int camera, std::uint8_t *buffer, std::uint32_t size);

private:
    SimLibrary();

    SimCamera *find(const CameraRecord *record);
    SimCamera *byIndex(int camera);
    CameraControl *control(int camera);
    void releaseCameras(std::unique_lock<std::mutex> &lock);
    void log(int kind, int camera, int value, int status, int number = 0, int busAddress = 0);
    std::uint16_t refuseAcquire(SimCamera &camera, const std::uint8_t *buffer);
    Clock::duration framePeriod(const SimCamera &camera) const;
    Clock::time_point scheduleFrame(SimCamera &camera);
    RenderParams renderParams(const SimCamera &camera, std::uint64_t frameIndex) const;
    std::size_t renderOutside(std::unique_lock<std::mutex> &lock, SimCamera &camera, const RenderParams &params,
                              std::uint8_t *buffer, std::size_t size);
    void prepareOutside(std::unique_lock<std::mutex> &lock, SimCamera &camera, const RenderParams &params);

    std::mutex mutex_;
    std::condition_variable wake_;
    SimConfig config_;
    std::array<CameraControl, kMaxCameras> controls_{};
    std::vector<std::unique_ptr<SimCamera>> cameras_;
    std::deque<MidsimEvent> log_;
    bool logAcquires_ = false;
    std::string lastPath_;
};

// Points the record's operations at the library (defined with the exports).
void installOperations(CameraRecord &record);

} // namespace midsim
