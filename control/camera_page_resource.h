// Resource identifiers of the camera property page: its dialog, its title
// string and its controls. Shared by the page's code, its .rc script and the
// tests, so it holds plain macros only (the resource compiler reads it too).
#ifndef ORISCOPE_CAMERA_PAGE_RESOURCE_H
#define ORISCOPE_CAMERA_PAGE_RESOURCE_H

#define IDD_CAMERA_PAGE 102
#define IDS_CAMERA_PAGE_TITLE 1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Select Camera
#define IDC_CAMERA_1 1000
#define IDC_CAMERA_2 1001
// Luminance
#define IDC_GAIN 1002
#define IDC_GAIN_SET 1003
#define IDC_SHUTTER 1006
#define IDC_SHUTTER_SET 1007
// Image Flipping
#define IDC_FLIP_HORIZONTAL 1004
#define IDC_FLIP_VERTICAL 1005
// Sensor Registers
#define IDC_REGISTER_ADDRESS 1008
#define IDC_REGISTER_GET 1009
#define IDC_REGISTER_VALUE 1010
#define IDC_REGISTER_SET 1011
// Resolution
#define IDC_RESOLUTION_FULL 1012
#define IDC_RESOLUTION_HALF 1013
#define IDC_RESOLUTION_QUARTER 1014
#define IDC_RESOLUTION_CUSTOM 1025
// Region Of Interest
#define IDC_REGION_X 1015
#define IDC_REGION_Y 1016
#define IDC_REGION_WIDTH 1017
#define IDC_REGION_HEIGHT 1018
#define IDC_REGION_SET 1021
// Capture Still Image
#define IDC_CAPTURE 1019
#define IDC_STILL_FILE 1020
#define IDC_STILL_HALF 1022
#define IDC_STILL_QUARTER 1023
#define IDC_STILL_FULL 1024
#define IDC_STILL_CUSTOM 1026
#define IDC_RAW_STILL 1034
// Grid
#define IDC_GRID 1027
// Performance
#define IDC_SPEED 1032
#define IDC_QUALITY 1033
// Below the groups
#define IDC_CAMERA_ID 1035
// Auto Color Correction
#define IDC_AUTO_COLOR 1036

#endif
