// SourceFilterBase: the growable pin array and pin lookup by identifier.
#include "filter/framework/source_filter_base.h"

#include <cwchar>
#include <new>

#include "filter/framework/pin_base.h"

SourceFilterBase::SourceFilterBase(const wchar_t *objectName, IUnknown *outer, REFCLSID classId)
    : FilterBase(objectName, outer, classId, stateLock) {}

SourceFilterBase::~SourceFilterBase() {
    // Each pin's destructor takes itself out of the array.
    while (pinCount > 0) {
        PinBase *pin = pins[pinCount - 1];
        delete pin;
        if (pinCount > 0 && pins[pinCount - 1] == pin)
            --pinCount; // a pin that did not remove itself
    }
    delete[] pins;
}

int SourceFilterBase::GetPinCount() {
    return pinCount;
}

PinBase *SourceFilterBase::GetPin(int n) {
    platform::Lock guard(stateLock);
    return (n >= 0 && n < pinCount) ? pins[n] : nullptr;
}

HRESULT SourceFilterBase::AddPin(PinBase *pin) {
    platform::Lock guard(stateLock);
    if (pinCount == pinCapacity) {
        const int capacity = pinCapacity == 0 ? 2 : pinCapacity * 2;
        auto *grown = new (std::nothrow) PinBase *[capacity];
        if (grown == nullptr)
            return E_OUTOFMEMORY;
        for (int i = 0; i < pinCount; ++i)
            grown[i] = pins[i];
        delete[] pins;
        pins = grown;
        pinCapacity = capacity;
    }
    pins[pinCount++] = pin;
    PinsChanged();
    return S_OK;
}

bool SourceFilterBase::RemovePin(PinBase *pin) {
    platform::Lock guard(stateLock);
    for (int i = 0; i < pinCount; ++i) {
        if (pins[i] != pin)
            continue;
        for (int j = i + 1; j < pinCount; ++j)
            pins[j - 1] = pins[j];
        --pinCount;
        PinsChanged();
        return true;
    }
    return false;
}

int SourceFilterBase::FindPinNumber(const wchar_t *id) {
    if (id == nullptr)
        return -1;
    platform::Lock guard(stateLock);
    for (int i = 0; i < pinCount; ++i) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%d", i + 1);
        if (std::wcscmp(text, id) == 0)
            return i;
    }
    return -1;
}
