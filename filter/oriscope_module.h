// The Oriscope module's class table and its registration data: what the
// exported entry points (DllGetClassObject, DllRegisterServer, ...) work from.
#pragma once

#include "filter/framework/framework.h"

// The class table: the filter, then its property page.
const FactoryTemplate *ModuleClassTable();
int ModuleClassCount();

// The filter's pin as the filter mapper records it: one RGB32 video output.
const REGFILTERPINS &FilterPinRecord();
// The filter's video-input-device registration (REGFILTER2 version 1, MERIT_NORMAL).
const REGFILTER2 &DeviceRegistration();
