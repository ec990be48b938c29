// ViewerWindow: controls, device choice, properties, stills and the frame rate.
#include "viewer_window.h"

#include <commdlg.h>

#include <cstdio>
#include <cwchar>
#include <thread>

#include "window_snapshot.h"

namespace {

constexpr int kDeviceListId = 101;
constexpr int kPropertiesId = 102;
constexpr int kStillId = 103;
constexpr UINT_PTR kRateTimer = 1;
constexpr UINT_PTR kQuitTimer = 2;
constexpr UINT_PTR kSnapshotTimer = 3;
constexpr int kBarHeight = 34;
constexpr int kStatusHeight = 22;
constexpr const wchar_t *kClassName = L"OriscopeViewWindow";
constexpr const wchar_t *kOriscopeName = L"Orvex Oriscope capture";

std::string Narrow(const std::wstring &text) {
    std::string out(text.size() * 2 + 1, '\0');
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), int(out.size()), nullptr, nullptr);
    out.resize(length > 0 ? std::size_t(length - 1) : 0);
    return out;
}

} // namespace

bool ViewerWindow::Create(HINSTANCE instance) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &ViewerWindow::WindowProc;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kClassName;
    RegisterClassExW(&type);
    // Room for a 640 x 512 picture (Half resolution of the smallest sensor).
    RECT frame{0, 0, 640, 512 + kBarHeight + kStatusHeight};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    window = CreateWindowExW(0, kClassName, L"Oriscope View", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 30, 30,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (window == nullptr)
        return false;
    CreateControls();
    Layout();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    devices = ListVideoDevices();
    int chosen = options.device;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SendMessageW(deviceList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(devices[i].name.c_str()));
        if (chosen < 0 && devices[i].name == kOriscopeName)
            chosen = int(i);
    }
    if (devices.empty())
        SetStatus(L"No video input device found. Register Oriscope.dll (regsvr32 Oriscope.dll).");
    else
        OpenDevice(chosen < 0 || chosen >= int(devices.size()) ? 0 : chosen);
    SetTimer(window, kRateTimer, 500, nullptr);
    if (options.seconds > 0)
        SetTimer(window, kQuitTimer, UINT(options.seconds) * 1000u, nullptr);
    if (!options.snapshots.empty())
        SetTimer(window, kSnapshotTimer, 3000, nullptr);
    return true;
}

void ViewerWindow::CreateControls() {
    auto control = [this](const wchar_t *type, const wchar_t *text, DWORD style, int id) {
        HWND created = CreateWindowExW(0, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        return created;
    };
    deviceList = control(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kDeviceListId);
    propertiesButton = control(L"BUTTON", L"Properties\u2026", BS_PUSHBUTTON | WS_TABSTOP, kPropertiesId);
    stillButton = control(L"BUTTON", L"Still\u2026", BS_PUSHBUTTON | WS_TABSTOP, kStillId);
    rateText = control(L"STATIC", L"", SS_RIGHT | SS_CENTERIMAGE, 0);
    statusText = control(L"STATIC", L"", SS_LEFT | SS_CENTERIMAGE, 0);
    videoArea = control(L"STATIC", L"", SS_BLACKRECT | WS_CLIPCHILDREN, 0);
}

void ViewerWindow::Layout() {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right;
    MoveWindow(deviceList, 6, 6, 230, 200, TRUE);
    MoveWindow(propertiesButton, 244, 5, 92, 24, TRUE);
    MoveWindow(stillButton, 342, 5, 72, 24, TRUE);
    MoveWindow(rateText, width - 136, 6, 130, 22, TRUE);
    MoveWindow(videoArea, 0, kBarHeight, width, client.bottom - kBarHeight - kStatusHeight, TRUE);
    MoveWindow(statusText, 6, client.bottom - kStatusHeight, width - 12, kStatusHeight, TRUE);
    session.FitVideo(videoArea);
}

void ViewerWindow::OpenDevice(int index) {
    current = index;
    SendMessageW(deviceList, CB_SETCURSEL, WPARAM(index), 0);
    const HRESULT result = session.Open(devices[std::size_t(index)].moniker.get(), videoArea, options.resolution);
    wchar_t text[200];
    if (FAILED(result))
        std::swprintf(text, 200, L"%ls: cannot start the preview (0x%08lX)", devices[std::size_t(index)].name.c_str(),
                      static_cast<unsigned long>(result));
    else
        std::swprintf(text, 200, L"%ls: preview running", devices[std::size_t(index)].name.c_str());
    SetStatus(text);
    EnableWindow(stillButton, session.Settings() != nullptr);
    EnableWindow(propertiesButton, session.Filter() != nullptr);
}

void ViewerWindow::ShowProperties() {
    if (current < 0)
        return;
    const HRESULT result = session.ShowProperties(window, devices[std::size_t(current)].name.c_str());
    if (FAILED(result))
        SetStatus(L"This device has no property pages.");
}

void ViewerWindow::TakeStill() {
    ICameraSettings *settings = session.Settings();
    if (settings == nullptr)
        return;
    wchar_t name[MAX_PATH] = L"still.bmp";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"Bitmap (*.bmp)\0*.bmp\0Raw samples (*.raw)\0*.raw\0All files\0*.*\0";
    dialog.lpstrFile = name;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"bmp";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!GetSaveFileNameW(&dialog))
        return;
    // The interface takes an 8-bit path; it returns once the file is written.
    settings->CaptureStillImage(Narrow(name).c_str());
    SetStatus(std::wstring(L"Still saved to ") + name);
}

void ViewerWindow::ShowFrameRate() {
    ICameraSettings *settings = session.Settings();
    float rate = 0.0f;
    wchar_t text[40] = L"";
    if (settings != nullptr && SUCCEEDED(settings->GetFrameRate(&rate)))
        std::swprintf(text, 40, L"%.1f frames/s", static_cast<double>(rate));
    SetWindowTextW(rateText, text);
}

void ViewerWindow::SetStatus(const std::wstring &text) {
    SetWindowTextW(statusText, text.c_str());
    std::fprintf(stderr, "oriscope-view: %s\n", Narrow(text).c_str());
}

void ViewerWindow::RunSnapshots() {
    const std::wstring folder = options.snapshots + L"\\";
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!SaveWindowPicture(window, folder + L"oriscope-view.bmp"))
        SetStatus(L"could not save the window picture");
    // The property frame is modal on this thread: a helper pictures and closes it.
    HWND main = window;
    std::thread pager([main, folder] {
        HWND frame = WaitForDialogWindow(main, 10000);
        if (frame == nullptr)
            return;
        Sleep(1000); // let it paint
        SaveWindowPicture(frame, folder + L"oriscope-page.bmp");
        PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    ShowProperties();
    pager.join();
    if (ICameraSettings *settings = session.Settings()) {
        settings->CaptureStillImage(Narrow(folder + L"oriscope-still.bmp").c_str());
        float rate = 0.0f;
        settings->GetFrameRate(&rate);
        std::fprintf(stderr, "oriscope-view: frame rate %.1f frames/s\n", static_cast<double>(rate));
    }
    SetStatus(L"Snapshots saved in " + options.snapshots);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK ViewerWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *self = static_cast<ViewerWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window = window;
    }
    auto *self = reinterpret_cast<ViewerWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ViewerWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (deviceList != nullptr)
            Layout();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDeviceListId && HIWORD(wParam) == CBN_SELCHANGE) {
            const auto index = static_cast<int>(SendMessageW(deviceList, CB_GETCURSEL, 0, 0));
            if (index >= 0 && index != current)
                OpenDevice(index);
        } else if (LOWORD(wParam) == kPropertiesId) {
            ShowProperties();
        } else if (LOWORD(wParam) == kStillId) {
            TakeStill();
        }
        return 0;
    case WM_TIMER:
        if (wParam == kRateTimer) {
            ShowFrameRate();
        } else {
            KillTimer(window, wParam);
            if (wParam == kSnapshotTimer)
                RunSnapshots();
            else
                PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_DESTROY:
        session.Close();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
