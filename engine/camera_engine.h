// CameraEngine: one camera connection with every user setting, shared by the
// DirectShow filter and the exported function library.
//
// Threading model
// - Callers serialise every operation except ExchangeFrame (the filter holds
//   its settings lock, the library has a single caller).
// - One acquisition thread per running engine grabs into grabBuffer and
//   publishes through ExchangeFrame; frameLock guards only that exchange.
// - Consumers (pins, the library's bitmap functions) take the newest frame
//   into consumerBuffer with ExchangeFrame. Two consumers that share
//   consumerBuffer hold consumerLock across the exchange and the conversion,
//   so the buffer is never refilled under a conversion.
// - Settings the converter reads on other threads are SharedValues: a change
//   is seen whole, from the next frame the converter starts.
//
// The library build (ORISCOPE_VEXALIB) compiles this same code with the
// differences of the exported library: speed mode and variant 48 by default,
// detection reading only the chip version, shutter values kept in the sensor
// rather than in the engine, flips stored as given, and no fatal message box.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "engine/midlib.h"
#include "engine/shared_value.h"

#if defined(ORISCOPE_VEXALIB)
inline constexpr bool kLibraryBuild = true;
#else
inline constexpr bool kLibraryBuild = false;
#endif

// Resolution modes.
enum ResolutionMode : int { kModeFull = 0, kModeHalf = 1, kModeQuarter = 2, kModeCustom = 3 };

// Full sensor size of a sensor type (1, 2, 3); false and 0 x 0 for any other.
bool SensorFullSize(int sensorType, int &width, int &height);

// Process-wide camera table shared by all engines of one deliverable.
// The table lock serialises engines of different filters that open or close
// at the same time; generation changes whenever the library releases its
// records, so an engine can tell that a record it kept is no longer valid.
struct CameraTable {
    CameraRecord *cameraArray[kMiMaxCameras] = {};
    std::uint16_t cameraCount = 0;
    int openCount = 0;
    unsigned generation = 0;
    platform::CriticalSection lock;
};
CameraTable &SharedCameraTable();

class CameraEngine {
public:
    CameraEngine();
    virtual ~CameraEngine();
    CameraEngine(const CameraEngine &) = delete;
    CameraEngine &operator=(const CameraEngine &) = delete;

    // --- Set-up -----------------------------------------------------------
    // Detected sensor type, or 0 when no camera can be opened (library build:
    // -1 when the system directory is missing).
    int DetectSensorType();
    // Detection for an engine that is not using the camera: like
    // DetectSensorType, but the library is closed again afterwards unless
    // other engines hold it, and a camera they hold is never started or
    // stopped (its identity registers are read as they are). 0 when no camera
    // answers; the engine's own type when it uses the camera itself.
    int ProbeSensorType();
    bool OpenCamera();
    bool Initialize();
    // Always true. Safe to call again: releases nothing twice.
    bool CloseCamera();
    // The path handed to mi_OpenCameras; false when the system directory is
    // missing (the filter build has then already shown the fatal message).
    bool SensorDataPath(std::string &path);

    // --- Acquisition ------------------------------------------------------
    // Starts the thread; refused (running stays false) without Initialize.
    void StartAcquisition();
    // Ends the thread if one was started, then CloseCamera.
    bool StopAcquisition();
    bool ExchangeFrame(std::uint8_t *&buffer, bool publish);
    bool IsRunning() const { return running; }
    // Raw row length of the frames in the buffers (the sensor record's
    // rawWidth after Initialize), kept so consumers never touch the record.
    int RawStride() const { return rawStride; }
    std::uint32_t FrameBufferSize() const { return frameBufferSize; }
    // Bytes each of the three buffers holds: at least frameBufferSize and at
    // least the full sensor frame, so a conversion or still sized from the
    // settings never reads past a buffer whatever the camera delivered.
    std::uint32_t BufferBytes() const { return bufferBytes; }
    // A camera record is held and still valid.
    bool CameraOpen() const;

    // --- Still hand-shake: requester side -----------------------------------
    void CaptureStillToFile(const char *path);
    bool CaptureStillToBuffer(std::uint8_t *buffer, std::uint32_t size, bool useStillResolution, bool pixelGainStill);
    // A request that no consumer takes within this time is withdrawn.
    std::uint32_t stillTimeoutMs = 5000;

    // --- Still hand-shake: consumer side (the preview pin's TakeStill) -------
    // Waits at most waitMs for a request and claims it; true when the caller
    // must now serve it and then call FinishStill.
    bool ClaimStillRequest(std::uint32_t waitMs);
    // Releases the requester; called last, after every temporary change is undone.
    void FinishStill();

    // --- Sensor controls --------------------------------------------------
    void SetGain(int value);
    int GetGain() const { return gain; }
    void SetShutterDelay(int value);
    int GetShutterDelay();
    void SetShutterWidth(int value);
    int GetShutterWidth();
    void SetHorizontalFlip(bool flip);
    bool GetHorizontalFlip() const;
    void SetVerticalFlip(bool flip) { verticalFlip = flip; }
    bool GetVerticalFlip() const { return verticalFlip; }
    void SetResolutionMode(int mode);
    int GetResolutionMode() const { return resolutionMode; }
    void SetStillResolutionMode(int mode);
    int GetStillResolutionMode() const { return stillResolutionMode; }
    void SetQualityMode(bool quality) { qualityMode = quality; }
    bool GetQualityMode() const { return qualityMode; }
    bool SetRegion(int x, int y, int width, int height, const std::int32_t *table);
    void GetRegion(int &x, int &y, int &width, int &height) const;
    bool SetRegionEx(int x, int y, int width, int height, int step, const std::int32_t *table);
    void GetRegionEx(int &x, int &y, int &width, int &height, int &step) const;
    int ReadRegister(int reg);
    void WriteRegister(int reg, int value);
    int GetCameraId();
    void GetExposureTiming(int &exposureMs, int &frameMs);
    // The exposure time as a line in the shutter width, in clocks of the
    // pixel clock: slope x width + offset. The row timing is the sensor's
    // while a camera is open, else that of the window the next Initialize
    // programs. False for a sensor type without exposure arithmetic (3).
    bool ExposureLine(long long &slope, long long &offset);
    // Clocks of the pixel clock per frame as the sensor is now programmed
    // (window, blanking, shutter width), read without a failure beep. False
    // while no camera is open, for a sensor type without frame arithmetic
    // (3) or when a register cannot be read.
    bool FrameClocks(long long &clocks);
    static constexpr long long kPixelClockHz = 12000000;
    static constexpr int kShutterWidthMax = kLibraryBuild ? 15000 : 8000;
    void SetAutoColor(bool on) { autoColor = on; }
    bool GetAutoColor() const { return autoColor; }
    void SetMonochrome(bool on) { monochrome = on; }
    bool GetMonochrome() const { return monochrome; }
    void SetRawView(bool on) { rawView = on; }
    bool GetRawView() const { return rawView; }
    void SetBlankOutput(bool on) { blankOutput = on; }

    // --- Settings and state -----------------------------------------------
    int sensorType = 1;
    int sensorVariant = kLibraryBuild ? 48 : 12;
    bool addressModeSensor = false;
    int cameraNumber = 1;
    CameraRecord *camera = nullptr;

    SharedValue<int> resolutionMode{kModeFull};
    SharedValue<int> stillResolutionMode{kModeFull};
    SharedValue<bool> useStillResolution{true};
    SharedValue<bool> qualityMode{!kLibraryBuild};
    SharedValue<int> regionX{0}, regionY{0}, regionWidth{0}, regionHeight{0};
    SharedValue<int> regionStep{1}; // never below 1, even before a region is set
    SharedValue<int> gain{25};
    int shutterDelay = 0;
    int shutterWidth = 0;
    SharedValue<int> frameWidth{0}, frameHeight{0};
    // The readout settings the camera was last opened with (written by
    // Initialize before any consumer runs): the camera delivers that readout
    // and the buffers are sized for it until the next Initialize, whatever
    // the settings say meanwhile.
    struct Readout {
        bool qualityMode = !kLibraryBuild;
        int resolutionMode = kModeFull;
        int regionX = 0, regionY = 0, regionStep = 1;
    };
    Readout openedReadout;

    // Three raw frame buffers of frameBufferSize bytes; only references move.
    std::uint8_t *grabBuffer = nullptr;
    std::uint8_t *latestFrame = nullptr;
    std::uint8_t *consumerBuffer = nullptr;
    bool newFrameAvailable = false;
    platform::CriticalSection frameLock;
    platform::CriticalSection consumerLock;

    SharedValue<bool> running{false};
    // Both events live as long as the engine, so a still requester polling
    // one can never see it destroyed by a concurrent stop; StartAcquisition
    // resets them.
    platform::Event threadEndedEvent;
    platform::Event stillRequestEvent;

    // Frame timing, written only by the acquisition thread.
    SharedValue<std::uint32_t> prevFrameTick{0}, lastFrameTick{0}, frameIntervalMs{0};
    float frameRateRing[10] = {};
    int frameRatePos = 0;
    SharedValue<float> frameRate{0.0f};

    // Still request, owned by the requester while it waits.
    const char *stillFilePath = nullptr;
    std::uint8_t *stillBuffer = nullptr;
    std::uint32_t stillBufferSize = 0;
    SharedValue<bool> stillToBufferPending{false};
    SharedValue<bool> rawStill{false};

    // Converter settings, read at the start of each frame.
    SharedValue<bool> horizontalFlip{false}, verticalFlip{false};
    SharedValue<bool> monochrome{false}, rawView{false}, autoColor{false};
    SharedValue<std::int8_t> blueOffset{0}, redOffset{0};
    SharedValue<bool> weightedGray{false};
    SharedValue<int> grayWeightBlue{100}, grayWeightGreen{100}, grayWeightRed{100};
    SharedValue<bool> gridEnabled{false};
    SharedValue<int> gridColumns{2}, gridRows{2};
    SharedValue<const std::uint8_t *> overlayImage{nullptr};
    SharedValue<bool> overlayEnabled{false}, overlayCopy{false};
    SharedValue<const std::int32_t *> pixelGainTable{nullptr};
    SharedValue<bool> pixelGainLive{false}, pixelGainStill{false};
    SharedValue<bool> blankOutput{false};
    SharedValue<bool> convertingStill{false};
    SharedValue<bool> stillRgbOrder{false};
    // Held by the converter for its end-of-frame offset update, so two
    // conversions of this engine never interleave it.
    platform::CriticalSection offsetLock;

private:
    static void AcquisitionThreadEntry(void *engine);
    void AcquisitionLoop();
    void RecordFrameTick();
    void JoinAcquisitionThread();
    bool ReadSensor(int reg, std::uint16_t &value);
    bool WriteSensor(int reg, std::uint16_t value);
    void ProgramFrameFormat();
    bool AllocateBuffers();
    void ProgramReadout();
    void ProgramVariant48();
    void ReleaseBuffers();
    void StoreRegion(int x, int y, int width, int height, const std::int32_t *table);
    bool TakeCameraFromTable();
    void ReadSensorIdentity();
    long long ReadoutColumns(long long r4) const;

    int rawStride = 0;
    std::uint32_t frameBufferSize = 0;
    std::uint32_t bufferBytes = 0;
    bool holdsLibrary = false;     // this engine counts in openCount
    unsigned cameraGeneration = 0; // table generation `camera` belongs to
    bool threadActive = false;     // a thread was started and not yet joined
    platform::Thread acquisitionThread;

    // Still request state: idle, requested (withdrawable), being served.
    enum StillState : int { kStillIdle, kStillRequested, kStillServing };
    std::atomic<int> stillState{kStillIdle};
    bool WaitForStill();
};
