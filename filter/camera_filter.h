// CameraFilter: what the control layer (ICameraSettings, the standard control
// interfaces, the property page) may do with the capture filter. The filter
// implements it; the control layer sees nothing else of the filter, its pins
// or its states.
//
// Threading: the control layer holds SettingsLock() around every use of the
// engine and around the pin-format writes below, which keeps each write in
// step with the engine setting it mirrors. IsPausedOrRunning takes no lock.
#pragma once

#include "filter/framework/directshow.h"

class CameraEngine;
namespace platform {
class CriticalSection;
}

class CameraFilter {
public:
    // The filter's controlling unknown (the outer object when aggregated):
    // the identity and reference count of every interface it hands out.
    virtual IUnknown *Identity() = 0;
    // The camera connection with every user setting.
    virtual CameraEngine &Engine() = 0;
    // Serialises engine use between the control layer and the filter's own
    // state changes; the pins' streaming threads never take it.
    virtual platform::CriticalSection &SettingsLock() = 0;
    // Paused or running: the camera is in use.
    virtual bool IsPausedOrRunning() = 0;

    // --- The pins' format copies, written with the engine setting they mirror -----------
    // A new resolution mode for every pin.
    virtual void SetPinFormatMode(int mode) = 0;
    // The size of a region the engine accepted (the custom mode's picture).
    virtual void SetPinFormatRegion(int width, int height) = 0;
    // Whether stills are written raw.
    virtual void SetPinRawStill(bool raw) = 0;
    // A detected sensor type (1 to 3) becomes the engine's and the pins', for
    // the camera now chosen; 0 (no camera) changes nothing.
    virtual void AdoptSensorType(int detected) = 0;
    // Detects the chosen camera's sensor without keeping it open and adopts it.
    virtual void DetectAttachedSensor() = 0;

    // --- The pins, for IAMVideoControl ------------------------------------------------------
    enum class PinKind { kNone, kCapture, kPreview, kStill };
    // Which of the filter's pins `pin` is; kNone for any other pin.
    virtual PinKind KindOf(const IPin *pin) const = 0;
    virtual bool PinConnected(PinKind kind) const = 0;
    // Format `index` of the pin has this size: the capture pin's stream
    // capabilities 0 to 2, or the one current type (index 0) of the others.
    virtual bool PinOffersFormat(PinKind kind, long index, SIZE dimensions) const = 0;
    // Queues one still on the still pin; the HRESULT says why not.
    virtual HRESULT RequestStill() = 0;
    // Stills requested and not yet delivered.
    virtual int PendingStills() const = 0;

protected:
    ~CameraFilter() = default;
};
