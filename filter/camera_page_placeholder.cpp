// Stands in for the camera property page until the page exists: its class is
// registered and its factory handed out, but creating it reports that the
// class is not available yet.
#include "filter/oriscope_module.h"

NonDelegatingUnknown *CreateCameraPropertyPage(IUnknown *, HRESULT *result) {
    if (result != nullptr)
        *result = CLASS_E_CLASSNOTAVAILABLE;
    return nullptr;
}
