// The control layer as the capture filter uses it: the set of interfaces
// hosts change the camera through (ICameraSettings, IAMVideoProcAmp,
// IAMCameraControl, IAMVideoControl), which the filter embeds and hands out from its
// QueryInterface, and the camera property page's class-table entry.
#pragma once

#include <memory>

#include "filter/camera_filter.h"
#include "filter/framework/framework.h"

class FilterControls {
public:
    virtual ~FilterControls() = default;
    // S_OK with the interface (referenced through the filter's identity)
    // when the control layer implements `iid`; E_NOINTERFACE otherwise.
    virtual HRESULT QueryInterface(REFIID iid, void **result) = 0;
};

// The filter's controls, reaching it through `filter`; nullptr when out of memory.
std::unique_ptr<FilterControls> CreateFilterControls(CameraFilter &filter);

// Creates the camera property page (the module's class table lists it).
NonDelegatingUnknown *CreateCameraPropertyPage(IUnknown *outer, HRESULT *result);
