// The class table, registration records and exported entry points of Oriscope.dll.
#include "filter/oriscope_module.h"

#include "filter/capture_source_filter.h"
#include "filter/oriscope_ids.h"
#include "filter/registration.h"

namespace {

const REGPINTYPES kPinTypes = {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32};

const REGFILTERPINS kPinRecord = {const_cast<LPWSTR>(L"Output"), // name
                                  FALSE,                         // rendered
                                  TRUE,                          // output
                                  FALSE,                         // zero instances allowed
                                  FALSE,                         // many instances
                                  &CLSID_NULL,                   // connects to filter
                                  nullptr,                       // connects to pin
                                  1,
                                  &kPinTypes};

const FilterSetupData kFilterSetup = {&kClsidOriscopeFilter, kFilterName, MERIT_DO_NOT_USE, 1, &kPinRecord};

REGFILTER2 MakeDeviceRegistration() {
    REGFILTER2 record{};
    record.dwVersion = 1;
    record.dwMerit = MERIT_NORMAL;
    record.cPins = 1;
    record.rgPins = &kPinRecord;
    return record;
}
const REGFILTER2 kDeviceRegistration = MakeDeviceRegistration();

const FactoryTemplate kClassTable[] = {
    {kFilterName, &kClsidOriscopeFilter, &CaptureSourceFilter::Create, nullptr, &kFilterSetup},
    {kPageName, &kClsidCameraPropertyPage, &CreateCameraPropertyPage, nullptr, nullptr},
};

} // namespace

const FactoryTemplate *ModuleClassTable() {
    return kClassTable;
}

int ModuleClassCount() {
    return static_cast<int>(sizeof kClassTable / sizeof kClassTable[0]);
}

const REGFILTERPINS &FilterPinRecord() {
    return kPinRecord;
}

const REGFILTER2 &DeviceRegistration() {
    return kDeviceRegistration;
}

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void **result) {
    return GetClassObject(kClassTable, ModuleClassCount(), classId, iid, result);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return ComModule::CanUnloadNow();
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    return RegisterModule(kClassTable, ModuleClassCount());
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return UnregisterModule(kClassTable, ModuleClassCount());
}

} // extern "C"
