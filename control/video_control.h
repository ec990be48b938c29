// IAMVideoControl on the capture filter: the still pin's trigger and the
// frame rates of the pins. Only the still pin has a mode (the trigger); the
// video pins report no capabilities, since the flips belong to the camera's
// settings (ICameraSettings, the property page) and not to one pin.
//
// Frame rates are frame times in 100-ns units. The current one is the
// engine's measured average; the maximum available and the list (of one)
// are the sensor's frame time as it is now programmed, which every format
// of every pin shares, as all pins convert the same sensor frames. Sensors
// without frame-time arithmetic answer with the measured average there too.
//
// Threading: as CameraSettingsImpl: out-pointers are checked first, then each
// method holds the filter's settingsLock for its whole body. SetMode only
// queues the trigger: it never waits for the still to be delivered.
#pragma once

#include "control/filter_interface.h"

class VideoControlImpl final : public FilterInterface<IAMVideoControl> {
public:
    using FilterInterface::FilterInterface;

    // VideoControlFlag_Trigger for the still pin, 0 for the video pins;
    // E_INVALIDARG for a pin of another filter.
    HRESULT STDMETHODCALLTYPE GetCaps(IPin *pin, LONG *flags) override;
    // Flags outside the pin's caps: E_INVALIDARG. The trigger queues one
    // still (see StillPin::RequestStill for its refusals).
    HRESULT STDMETHODCALLTYPE SetMode(IPin *pin, LONG mode) override;
    // The still pin reports the trigger while a triggered still is pending.
    HRESULT STDMETHODCALLTYPE GetMode(IPin *pin, LONG *mode) override;
    // VFW_E_NOT_CONNECTED for an unconnected pin, VFW_E_NOT_RUNNING while no
    // frame is being measured (filter stopped).
    HRESULT STDMETHODCALLTYPE GetCurrentActualFrameRate(IPin *pin, LONGLONG *frameRate) override;
    // `index` and `dimensions` name one of the pin's formats: the capture
    // pin's IAMStreamConfig capability 0 to 2, or format 0 (its current type)
    // of the preview and still pins; anything else is E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE GetMaxAvailableFrameRate(IPin *pin, LONG index, SIZE dimensions,
                                                       LONGLONG *frameRate) override;
    // One rate, task-allocated; a null list pointer asks only for the count.
    HRESULT STDMETHODCALLTYPE GetFrameRateList(IPin *pin, LONG index, SIZE dimensions, LONG *listSize,
                                               LONGLONG **frameRates) override;

private:
    // E_INVALIDARG for a foreign pin or format, VFW_E_NOT_CONNECTED
    // unconnected; S_OK when the pin's format may be asked about.
    HRESULT CheckFormat(IPin *pin, LONG index, SIZE dimensions);
    // The sensor's frame time; settingsLock is held.
    HRESULT SensorFrameTime(LONGLONG &frameTime);
    // The measured average frame time; settingsLock is held.
    HRESULT MeasuredFrameTime(LONGLONG &frameTime);
};
