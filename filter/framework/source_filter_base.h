// SourceFilterBase: FilterBase with a growable pin array and the `stateLock`
// critical section that guards filter state, pin activation and the pins'
// format operations. Pins add themselves in their constructor and remove
// themselves in their destructor; pins still present when the filter is
// destroyed are deleted by it.
//
// Threading: the pin array changes only under stateLock (pins are created and
// destroyed by the filter's constructor and destructor).
#pragma once

#include "filter/framework/filter_base.h"

class SourceFilterBase : public FilterBase {
public:
    SourceFilterBase(const wchar_t *objectName, IUnknown *outer, REFCLSID classId);
    ~SourceFilterBase() override;

    int GetPinCount() override;
    PinBase *GetPin(int n) override;

    // Appends a pin; E_OUTOFMEMORY when the array cannot grow.
    HRESULT AddPin(PinBase *pin);
    // Removes a pin (no delete); false when it is not in the array.
    bool RemovePin(PinBase *pin);
    // 0-based index of the pin with identifier `id` ("1" is the first pin), or -1.
    int FindPinNumber(const wchar_t *id);

protected:
    platform::CriticalSection stateLock;

private:
    PinBase **pins = nullptr;
    int pinCount = 0;
    int pinCapacity = 0;
};
