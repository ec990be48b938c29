// The capture filter's standard DirectShow controls, for hosts that never
// look for ICameraSettings: IAMVideoProcAmp (gain) and IAMCameraControl
// (exposure from the shutter width). The filter embeds one of each and hands
// them out from its QueryInterface; IUnknown goes to the filter's controlling
// unknown, as for ICameraSettings.
//
// Threading: as CameraSettingsImpl: out-pointers are checked first, then each
// method holds the filter's settingsLock for its whole body, so values set
// here and through ICameraSettings never interleave.
#pragma once

#include "control/filter_interface.h"

// VideoProcAmp_Gain: the engine's gain 0 to 99 (default 25), stored with the
// engine's own arithmetic (the magnitude modulo 100); manual only.
class VideoProcAmpImpl final : public FilterInterface<IAMVideoProcAmp> {
public:
    using FilterInterface::FilterInterface;

    HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG *minimum, LONG *maximum, LONG *step, LONG *byDefault,
                                       LONG *capsFlags) override;
    // E_INVALIDARG for the automatic flag.
    HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override;
    HRESULT STDMETHODCALLTYPE Get(LONG property, LONG *value, LONG *flags) override;
};

// CameraControl_Exposure in whole log2 seconds, both ways through the
// engine's exposure line (the sensor's row timing and shutter delay): a value
// picks the shutter width whose exposure is nearest to 2^value seconds,
// within the widths that give an exposure at all; widths below that shortest
// one (0 by default) count as it. Sensor types without exposure arithmetic
// answer E_PROP_ID_UNSUPPORTED, as do all other properties; manual only.
class CameraControlImpl final : public FilterInterface<IAMCameraControl> {
public:
    using FilterInterface::FilterInterface;

    HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG *minimum, LONG *maximum, LONG *step, LONG *byDefault,
                                       LONG *capsFlags) override;
    // Values outside the range are taken as its nearest end; E_INVALIDARG
    // for the automatic flag.
    HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override;
    HRESULT STDMETHODCALLTYPE Get(LONG property, LONG *value, LONG *flags) override;
};
