// Class IDs, names and fixed values of the Oriscope filter module.
#pragma once

#include "filter/framework/directshow.h"

// {CB83D662-33A5-4DBF-830C-25E52627C1C3}
inline constexpr CLSID kClsidOriscopeFilter = {
    0xcb83d662, 0x33a5, 0x4dbf, {0x83, 0x0c, 0x25, 0xe5, 0x26, 0x27, 0xc1, 0xc3}};
// {971785AE-451F-449C-810C-53A0DD222E5D}
inline constexpr CLSID kClsidCameraPropertyPage = {
    0x971785ae, 0x451f, 0x449c, {0x81, 0x0c, 0x53, 0xa0, 0xdd, 0x22, 0x2e, 0x5d}};

// The filter's name in the class table, the filter mapper and the device list.
inline constexpr const wchar_t *kFilterName = L"Orvex Oriscope capture";
// The property page's class name.
inline constexpr const wchar_t *kPageName = L"Orvex Camera Properties";

inline constexpr const wchar_t *kCapturePinName = L"~Capture";
inline constexpr const wchar_t *kPreviewPinName = L"Preview";
inline constexpr const wchar_t *kStillPinName = L"Still";

// Dialog and title string resources of the property page.
inline constexpr int kPageDialogId = 102;
inline constexpr int kPageTitleStringId = 1;
