// Self-registration of Oriscope.dll: the filter as a video input device
// through the system's filter mapper, and the COM class keys of the
// filter and its property page; unregistration removes all of it.
#pragma once

#include "filter/framework/framework.h"

// DllRegisterServer: creates the filter mapper (its failure is returned and
// nothing is written), writes each class's key ("CLSID\{...}" with
// InprocServer32 = this module, ThreadingModel "Both") and registers the
// filter under the video input device category as "Orvex Oriscope capture".
// A failure removes the class keys again.
HRESULT RegisterModule(const FactoryTemplate *table, int count);
// DllUnregisterServer: unregisters each filter class from the legacy filter
// category and from the video input device category (entries that are not
// there count as removed), then deletes every class key. Returns the first
// failure.
HRESULT UnregisterModule(const FactoryTemplate *table, int count);

// "CLSID\{...}" for `classId`, the key under HKEY_CLASSES_ROOT.
void ClassKeyName(REFCLSID classId, wchar_t (&key)[64]);
