// oriscope-view: the camera viewer. Lists the video input devices, shows the
// chosen one's preview, opens its property page and saves stills through
// ICameraSettings, and shows the frame rate.
//
// Usage: oriscope-view [--device N] [--resolution 0..3] [--seconds N] [--snapshots FOLDER]
//   --device N        start with the N-th device of the list (default: the first Oriscope camera)
//   --resolution M    live resolution before starting: 0 Full, 1 Half, 2 Quarter, 3 Custom
//   --seconds N       close after N seconds
//   --snapshots DIR   after 3 s save oriscope-view.bmp (the window), oriscope-page.bmp (the property
//                     page) and oriscope-still.bmp (a still) in DIR, then close
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "viewer_window.h"

namespace {

bool ParseOptions(ViewerOptions &options) {
    int count = 0;
    LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return false;
    bool good = true;
    for (int i = 1; i < count && good; ++i) {
        const std::wstring name = arguments[i];
        const bool hasValue = i + 1 < count;
        if (name == L"--device" && hasValue)
            options.device = _wtoi(arguments[++i]);
        else if (name == L"--resolution" && hasValue)
            options.resolution = _wtoi(arguments[++i]);
        else if (name == L"--seconds" && hasValue)
            options.seconds = _wtoi(arguments[++i]);
        else if (name == L"--snapshots" && hasValue)
            options.snapshots = arguments[++i];
        else
            good = false;
    }
    LocalFree(arguments);
    return good;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    ViewerOptions options;
    if (!ParseOptions(options)) {
        std::fprintf(stderr, "usage: oriscope-view [--device N] [--resolution 0..3] [--seconds N] "
                             "[--snapshots FOLDER]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int exitCode = 1;
    {
        ViewerWindow viewer(options);
        if (viewer.Create(instance)) {
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            exitCode = 0;
        }
    }
    CoUninitialize();
    return exitCode;
}
