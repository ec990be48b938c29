// CameraPropertyPage: filling the dialog from ICameraSettings and acting on
// its commands.
#include "control/camera_property_page.h"

#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <new>

#include "control/camera_page_resource.h"
#include "control/public/filter_controls.h"

namespace {
constexpr int kResolutionButtons[4] = {IDC_RESOLUTION_FULL, IDC_RESOLUTION_HALF, IDC_RESOLUTION_QUARTER,
                                       IDC_RESOLUTION_CUSTOM};
constexpr int kStillButtons[4] = {IDC_STILL_FULL, IDC_STILL_HALF, IDC_STILL_QUARTER, IDC_STILL_CUSTOM};

constexpr const wchar_t *kCameraIdCaption = L"Orvex Camera ID";

// Index of `control` in `buttons`, or -1.
int ModeOf(const int (&buttons)[4], int control) {
    for (int mode = 0; mode < 4; ++mode)
        if (buttons[mode] == control)
            return mode;
    return -1;
}
} // namespace

CameraPropertyPage::CameraPropertyPage(IUnknown *outer)
    : PropertyPageBase(L"CameraPropertyPage", outer, IDD_CAMERA_PAGE, IDS_CAMERA_PAGE_TITLE) {}

NonDelegatingUnknown *CameraPropertyPage::Create(IUnknown *outer, HRESULT *result) {
    auto *page = new (std::nothrow) CameraPropertyPage(outer);
    if (page == nullptr && result != nullptr)
        *result = E_OUTOFMEMORY;
    return page;
}

NonDelegatingUnknown *CreateCameraPropertyPage(IUnknown *outer, HRESULT *result) {
    return CameraPropertyPage::Create(outer, result);
}

// --- Objects ----------------------------------------------------------------------------------------

HRESULT CameraPropertyPage::OnConnect(IUnknown *object) {
    if (object == nullptr)
        return E_POINTER;
    return object->QueryInterface(IID_ICameraSettings, settings.putVoid());
}

HRESULT CameraPropertyPage::OnDisconnect() {
    settings.reset();
    return S_OK;
}

// --- Controls ---------------------------------------------------------------------------------------

int CameraPropertyPage::ReadNumber(int control) const {
    wchar_t text[30] = {};
    GetDlgItemTextW(dialog, control, text, static_cast<int>(std::size(text)));
    return _wtoi(text);
}

void CameraPropertyPage::WriteNumber(int control, int value) {
    wchar_t text[16] = {};
    std::swprintf(text, std::size(text), L"%d", value);
    SetDlgItemTextW(dialog, control, text);
}

bool CameraPropertyPage::IsChecked(int control) const {
    return IsDlgButtonChecked(dialog, control) == BST_CHECKED;
}

void CameraPropertyPage::Check(int control, bool checked) {
    CheckDlgButton(dialog, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CameraPropertyPage::CheckMode(const int (&controls)[4], int mode) {
    for (int index = 0; index < 4; ++index)
        Check(controls[index], index == mode);
}

HRESULT CameraPropertyPage::OnActivate() {
    if (!settings)
        return E_UNEXPECTED;
    // Each control shows what the filter reports; a failed call leaves it as it is.
    int number = 0;
    if (SUCCEEDED(settings->GetCameraNumber(&number))) {
        Check(IDC_CAMERA_1, number == 1);
        Check(IDC_CAMERA_2, number == 2);
    }
    CameraFlag flag = false;
    if (SUCCEEDED(settings->GetQualityMode(&flag))) {
        Check(IDC_QUALITY, flag);
        Check(IDC_SPEED, !flag);
    }
    if (SUCCEEDED(settings->GetCaptureResolution(&number)))
        CheckMode(kResolutionButtons, number);
    if (SUCCEEDED(settings->GetStillResolution(&number)))
        CheckMode(kStillButtons, number);
    if (SUCCEEDED(settings->GetFlipHorizontal(&flag)))
        Check(IDC_FLIP_HORIZONTAL, flag);
    if (SUCCEEDED(settings->GetFlipVertical(&flag)))
        Check(IDC_FLIP_VERTICAL, flag);
    int columns = 0, rows = 0;
    if (SUCCEEDED(settings->GetGrid(&flag, &columns, &rows)))
        Check(IDC_GRID, flag);
    if (SUCCEEDED(settings->GetRawStill(&flag)))
        Check(IDC_RAW_STILL, flag);
    if (SUCCEEDED(settings->GetGain(&number)))
        WriteNumber(IDC_GAIN, number);
    if (SUCCEEDED(settings->GetShutterDelay(&number)))
        WriteNumber(IDC_SHUTTER, number);
    int x = 0, y = 0, width = 0, height = 0;
    if (SUCCEEDED(settings->GetRegion(&x, &y, &width, &height))) {
        WriteNumber(IDC_REGION_X, x);
        WriteNumber(IDC_REGION_Y, y);
        WriteNumber(IDC_REGION_WIDTH, width);
        WriteNumber(IDC_REGION_HEIGHT, height);
    }
    const HRESULT autoColor = settings->GetAutoColor(&flag);
    if (SUCCEEDED(autoColor))
        Check(IDC_AUTO_COLOR, flag);
    SetDlgItemTextW(dialog, IDC_REGISTER_ADDRESS, L" ");
    SetDlgItemTextW(dialog, IDC_REGISTER_VALUE, L" ");
    return autoColor;
}

// --- Commands ---------------------------------------------------------------------------------------

INT_PTR CameraPropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && settings) {
        // Any notification of a control triggers its action.
        switch (RunCommand(LOWORD(wParam))) {
        case Outcome::kChanged:
            SetDirty();
            return 1;
        case Outcome::kUnchanged:
            return 1;
        case Outcome::kPassOn:
        case Outcome::kNotHandled:
            break;
        }
    }
    return PropertyPageBase::OnReceiveMessage(window, message, wParam, lParam);
}

CameraPropertyPage::Outcome CameraPropertyPage::RunCommand(int control) {
    if (const int mode = ModeOf(kResolutionButtons, control); mode >= 0) {
        settings->SetCaptureResolution(mode);
        return Outcome::kChanged;
    }
    if (const int mode = ModeOf(kStillButtons, control); mode >= 0) {
        settings->SetStillResolution(mode);
        return Outcome::kChanged;
    }
    switch (control) {
    case IDC_CAMERA_1:
    case IDC_CAMERA_2:
        settings->SetCameraNumber(control == IDC_CAMERA_1 ? 1 : 2);
        break;
    case IDC_FLIP_HORIZONTAL:
        settings->SetFlipHorizontal(IsChecked(control));
        break;
    case IDC_FLIP_VERTICAL:
        settings->SetFlipVertical(IsChecked(control));
        break;
    case IDC_GRID:
        settings->SetGrid(IsChecked(control), 2, 2);
        break;
    case IDC_GAIN_SET:
        settings->SetGain(ReadNumber(IDC_GAIN));
        break;
    case IDC_SHUTTER_SET:
        settings->SetShutterDelay(ReadNumber(IDC_SHUTTER));
        break;
    case IDC_REGISTER_GET:
        ReadRegisterIntoBox();
        return Outcome::kPassOn;
    case IDC_REGISTER_SET:
        settings->SetRegVal(ReadNumber(IDC_REGISTER_ADDRESS), ReadNumber(IDC_REGISTER_VALUE));
        break;
    case IDC_CAPTURE:
        return CaptureToFile();
    case IDC_RAW_STILL:
        settings->SetRawStill(IsChecked(control));
        break;
    case IDC_REGION_SET:
        return SetRegionFromBoxes();
    case IDC_SPEED:
    case IDC_QUALITY:
        settings->SetQualityMode(control == IDC_QUALITY);
        break;
    case IDC_CAMERA_ID:
        return ShowCameraId();
    case IDC_AUTO_COLOR:
        settings->SetAutoColor(IsChecked(control));
        break;
    default:
        return Outcome::kNotHandled;
    }
    return Outcome::kChanged;
}

void CameraPropertyPage::ReadRegisterIntoBox() {
    int value = 0;
    settings->GetRegVal(&value, ReadNumber(IDC_REGISTER_ADDRESS));
    WriteNumber(IDC_REGISTER_VALUE, value);
}

CameraPropertyPage::Outcome CameraPropertyPage::SetRegionFromBoxes() {
    const HRESULT result = settings->SetRegion(ReadNumber(IDC_REGION_X), ReadNumber(IDC_REGION_Y),
                                               ReadNumber(IDC_REGION_WIDTH), ReadNumber(IDC_REGION_HEIGHT), nullptr);
    if (result == E_INVALIDARG) {
        MessageBoxW(nullptr, L"Invalid Region Parameters!", L"Error", MB_OK);
        return Outcome::kUnchanged;
    }
    return Outcome::kChanged;
}

CameraPropertyPage::Outcome CameraPropertyPage::CaptureToFile() {
    wchar_t name[256] = {};
    GetDlgItemTextW(dialog, IDC_STILL_FILE, name, static_cast<int>(std::size(name)));
    char path[256] = {};
    const std::size_t length = std::wcstombs(path, name, sizeof path - 1);
    // A name the code page cannot express becomes an empty path, which no file gets.
    path[length == static_cast<std::size_t>(-1) ? 0 : length] = '\0';
    settings->CaptureStillImage(path);
    return Outcome::kChanged;
}

CameraPropertyPage::Outcome CameraPropertyPage::ShowCameraId() {
    int serialNumber = 0;
    settings->GetCamSN(&serialNumber);
    if (serialNumber != 0) {
        wchar_t text[16] = {};
        std::swprintf(text, std::size(text), L"%d", serialNumber);
        MessageBoxW(nullptr, text, kCameraIdCaption, MB_OK);
    } else {
        MessageBoxW(nullptr, L"This feature is valid only during live video stream", kCameraIdCaption, MB_OK);
    }
    return Outcome::kChanged;
}
