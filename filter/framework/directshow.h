// The Windows, COM and DirectShow SDK headers, included in one place so every
// framework file sees the same configuration.
#pragma once

// The SDK's dshow.h otherwise poisons wcscpy, swprintf and friends.
#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE
#endif

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <cguid.h>
#include <dshow.h>
#include <evcode.h>
#include <vfwmsgs.h>
