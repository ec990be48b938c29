// The camera property page driven through IPropertyPage in a window of the
// test's own: objects, the controls filled on activation, the dialog's layout
// and radio groups, the dirty state and Apply (which Wine's property frame
// never calls).
#include <cstring>
#include <cwchar>
#include <string>

#include "tests/control/page_test_support.h"

namespace {

// A group box's caption and rectangle in dialog units.
struct GroupLayout {
    const wchar_t *caption;
    RECT units; // left, top, width, height
};
constexpr GroupLayout kGroups[] = {
    {L"Select Camera", {7, 7, 61, 41}},
    {L"Image Flipping", {75, 7, 57, 41}},
    {L"Grid", {139, 7, 69, 41}},
    {L"Luminance", {7, 51, 72, 50}},
    {L"Sensor Registers", {84, 51, 80, 50}},
    {L"", {169, 51, 39, 50}},
    {L"Region Of Interest - [Custom]", {7, 104, 135, 54}},
    {L"Resolution", {150, 104, 58, 54}},
    {L"Capture Still Image", {7, 161, 135, 51}},
    {L"Performance", {149, 161, 59, 51}},
};

struct ControlCaption {
    int id;
    const wchar_t *caption;
};
constexpr ControlCaption kCaptions[] = {
    {IDC_CAMERA_1, L"Camera #1"},
    {IDC_CAMERA_2, L"Camera #2"},
    {IDC_FLIP_HORIZONTAL, L"Horizontal"},
    {IDC_FLIP_VERTICAL, L"Vertical"},
    {IDC_GRID, L"2 x 2"},
    {IDC_GAIN_SET, L"Set"},
    {IDC_SHUTTER_SET, L"Set"},
    {IDC_REGISTER_GET, L"Get"},
    {IDC_REGISTER_SET, L"Set"},
    {IDC_AUTO_COLOR, L"Enable"},
    {IDC_REGION_SET, L"Set"},
    {IDC_RESOLUTION_FULL, L"Full"},
    {IDC_RESOLUTION_HALF, L"Half"},
    {IDC_RESOLUTION_QUARTER, L"Quarter"},
    {IDC_RESOLUTION_CUSTOM, L"Custom"},
    {IDC_STILL_FULL, L"Full"},
    {IDC_STILL_HALF, L"Half"},
    {IDC_STILL_QUARTER, L"Quarter"},
    {IDC_STILL_CUSTOM, L"Custom"},
    {IDC_RAW_STILL, L"Raw"},
    {IDC_CAPTURE, L"Capture"},
    {IDC_SPEED, L"Speed"},
    {IDC_QUALITY, L"Quality"},
    {IDC_CAMERA_ID, L"Get Camera ID"},
};
constexpr int kNumberBoxes[] = {IDC_GAIN,     IDC_SHUTTER,  IDC_REGISTER_ADDRESS, IDC_REGISTER_VALUE,
                                IDC_REGION_X, IDC_REGION_Y, IDC_REGION_WIDTH,     IDC_REGION_HEIGHT};

// A page activated in a top-level window of the test, connected to a filter.
class HostedPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        if (HasFatalFailure())
            return;
        filter = NewFilter(&settings);
        page = NewPage();
        ASSERT_TRUE(filter != nullptr && page != nullptr);
    }
    void TearDown() override {
        if (dialog != nullptr)
            page->Deactivate();
        if (page != nullptr) {
            page->SetObjects(0, nullptr);
            if (siteSet)
                page->SetPageSite(nullptr);
        }
        if (host != nullptr)
            DestroyWindow(host);
        PageTest::TearDown();
    }
    // Connects and activates the page; false without a display.
    bool Activate() {
        if (!HaveDisplay())
            return false;
        IUnknown *objects[] = {filter};
        EXPECT_EQ(page->SetPageSite(&site), S_OK);
        siteSet = true;
        EXPECT_EQ(page->SetObjects(1, objects), S_OK);
        host = CreateWindowExW(0, L"STATIC", L"Page host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 520, 620, nullptr,
                               nullptr, nullptr, nullptr);
        RECT area{0, 0, 500, 580};
        EXPECT_EQ(page->Activate(host, &area, TRUE), S_OK);
        EXPECT_EQ(page->Show(SW_SHOW), S_OK);
        HWND gain = FindDescendant(host, IDC_GAIN);
        dialog = gain != nullptr ? GetParent(gain) : nullptr;
        return dialog != nullptr;
    }
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }
    bool Checked(int id) const { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

    IBaseFilter *filter = nullptr;
    ICameraSettings *settings = nullptr;
    IPropertyPage *page = nullptr;
    RecordingSite site;
    bool siteSet = false;
    HWND host = nullptr;
    HWND dialog = nullptr;
};

TEST_F(HostedPageTest, ConnectsOnlyToObjectsWithTheInterface) {
    ComPtr<IGraphBuilder> graph; // an object without ICameraSettings
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.putVoid()),
              S_OK);
    IUnknown *wrong[] = {graph.get()};
    EXPECT_EQ(page->SetObjects(1, wrong), E_NOINTERFACE);
    IUnknown *none[] = {nullptr};
    EXPECT_EQ(page->SetObjects(1, none), E_POINTER);

    // The page holds one reference while connected and gives it back.
    const ULONG before = filter->AddRef() - 1;
    filter->Release();
    IUnknown *objects[] = {filter};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    EXPECT_EQ(filter->AddRef() - 1, before + 1);
    filter->Release();
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(filter->AddRef() - 1, before);
    filter->Release();

    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Orvex Camera Properties");
    CoTaskMemFree(info.pszTitle);
}

TEST_F(HostedPageTest, FreshFilterFillsTheDefaults) {
    if (!Activate())
        GTEST_SKIP() << "needs a display";
    EXPECT_TRUE(Checked(IDC_CAMERA_1));
    EXPECT_FALSE(Checked(IDC_CAMERA_2));
    EXPECT_TRUE(Checked(IDC_QUALITY));
    EXPECT_FALSE(Checked(IDC_SPEED));
    EXPECT_TRUE(Checked(IDC_RESOLUTION_FULL));
    EXPECT_FALSE(Checked(IDC_RESOLUTION_HALF));
    EXPECT_TRUE(Checked(IDC_STILL_FULL));
    EXPECT_FALSE(Checked(IDC_STILL_CUSTOM));
    EXPECT_FALSE(Checked(IDC_FLIP_HORIZONTAL) || Checked(IDC_FLIP_VERTICAL) || Checked(IDC_GRID) ||
                 Checked(IDC_RAW_STILL) || Checked(IDC_AUTO_COLOR));
    EXPECT_EQ(Text(IDC_GAIN), L"25");
    EXPECT_EQ(Text(IDC_SHUTTER), L"0");
    for (int id : {IDC_REGION_X, IDC_REGION_Y, IDC_REGION_WIDTH, IDC_REGION_HEIGHT})
        EXPECT_EQ(Text(id), L"0") << id;
    EXPECT_EQ(Text(IDC_REGISTER_ADDRESS), L" ");
    EXPECT_EQ(Text(IDC_REGISTER_VALUE), L" ");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
}

TEST_F(HostedPageTest, ActivationShowsWhatTheFilterHolds) {
    ASSERT_EQ(settings->SetCameraNumber(2), S_OK);
    ASSERT_EQ(settings->SetQualityMode(false), S_OK);
    ASSERT_EQ(settings->SetCaptureResolution(2), S_OK);
    ASSERT_EQ(settings->SetStillResolution(3), S_OK);
    ASSERT_EQ(settings->SetFlipVertical(true), S_OK);
    ASSERT_EQ(settings->SetGrid(true, 5, 7), S_OK);
    ASSERT_EQ(settings->SetRawStill(true), S_OK);
    ASSERT_EQ(settings->SetGain(61), S_OK);
    ASSERT_EQ(settings->SetShutterDelay(300), S_OK);
    ASSERT_EQ(settings->SetRegion(8, 4, 100, 50, nullptr), S_OK);
    ASSERT_EQ(settings->SetAutoColor(true), S_OK);
    if (!Activate())
        GTEST_SKIP() << "needs a display";
    EXPECT_TRUE(Checked(IDC_CAMERA_2));
    EXPECT_FALSE(Checked(IDC_CAMERA_1));
    EXPECT_TRUE(Checked(IDC_SPEED));
    EXPECT_TRUE(Checked(IDC_RESOLUTION_QUARTER));
    EXPECT_FALSE(Checked(IDC_RESOLUTION_FULL));
    EXPECT_TRUE(Checked(IDC_STILL_CUSTOM));
    EXPECT_FALSE(Checked(IDC_FLIP_HORIZONTAL));
    EXPECT_TRUE(Checked(IDC_FLIP_VERTICAL));
    EXPECT_TRUE(Checked(IDC_GRID));
    EXPECT_TRUE(Checked(IDC_RAW_STILL));
    EXPECT_TRUE(Checked(IDC_AUTO_COLOR));
    EXPECT_EQ(Text(IDC_GAIN), L"61");
    EXPECT_EQ(Text(IDC_SHUTTER), L"300");
    EXPECT_EQ(Text(IDC_REGION_X), L"8");
    EXPECT_EQ(Text(IDC_REGION_Y), L"4");
    EXPECT_EQ(Text(IDC_REGION_WIDTH), L"100");
    EXPECT_EQ(Text(IDC_REGION_HEIGHT), L"50");
}

TEST_F(HostedPageTest, DialogLayout) {
    if (!Activate())
        GTEST_SKIP() << "needs a display";
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    CoTaskMemFree(info.pszTitle);
    RECT size{0, 0, 215, 253};
    MapDialogRect(dialog, &size);
    EXPECT_EQ(info.size.cx, size.right);
    EXPECT_EQ(info.size.cy, size.bottom);
    EXPECT_EQ(GetWindowLongW(dialog, GWL_STYLE) & (WS_CHILD | WS_CAPTION), LONG(WS_CHILD));

    // The font the template names.
    auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW logical{};
    ASSERT_NE(GetObjectW(font, sizeof logical, &logical), 0);
    EXPECT_STREQ(logical.lfFaceName, L"MS Sans Serif");

    // Group boxes in their order, at their rectangles.
    std::vector<HWND> groups;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && ClassName(child) == L"Button")
            groups.push_back(child);
    ASSERT_EQ(groups.size(), std::size(kGroups));
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const GroupLayout &want = kGroups[i];
        EXPECT_EQ(WindowText(groups[i]), want.caption) << "group " << i;
        // The dialog manager converts position and size separately.
        RECT mapped = want.units;
        MapDialogRect(dialog, &mapped);
        const RECT expected{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
        RECT actual{};
        GetWindowRect(groups[i], &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&actual), 2);
        EXPECT_TRUE(EqualRect(&actual, &expected)) << Narrow(want.caption) << ": (" << actual.left << ", " << actual.top
                                                   << ", " << actual.right << ", " << actual.bottom << ")";
    }
    for (const ControlCaption &control : kCaptions)
        EXPECT_EQ(Text(control.id), control.caption) << control.id;
    for (int id : kNumberBoxes) {
        const LONG style = GetWindowLongW(Item(id), GWL_STYLE);
        EXPECT_NE(style & ES_NUMBER, 0) << id;
        EXPECT_NE(style & ES_AUTOHSCROLL, 0) << id;
    }
    const LONG fileStyle = GetWindowLongW(Item(IDC_STILL_FILE), GWL_STYLE);
    EXPECT_EQ(fileStyle & ES_NUMBER, 0);
    EXPECT_NE(fileStyle & ES_AUTOHSCROLL, 0);
    // The maker's line at the bottom.
    bool makerLine = false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        makerLine = makerLine || WindowText(child) == L"Orvex --==| Capture Filter V1.97 |==--";
    EXPECT_TRUE(makerLine);
}

TEST_F(HostedPageTest, RadioButtonsUncheckEachOtherWithinTheirGroup) {
    if (!Activate())
        GTEST_SKIP() << "needs a display";
    Click(Item(IDC_RESOLUTION_HALF));
    EXPECT_TRUE(Checked(IDC_RESOLUTION_HALF));
    EXPECT_FALSE(Checked(IDC_RESOLUTION_FULL));
    EXPECT_TRUE(Checked(IDC_STILL_FULL)) << "the still group changed with the live one";
    Click(Item(IDC_RESOLUTION_FULL));
    EXPECT_FALSE(Checked(IDC_RESOLUTION_HALF));
    Click(Item(IDC_STILL_QUARTER));
    EXPECT_FALSE(Checked(IDC_STILL_FULL));
    EXPECT_TRUE(Checked(IDC_RESOLUTION_FULL));
    Click(Item(IDC_CAMERA_2));
    EXPECT_FALSE(Checked(IDC_CAMERA_1));
    Click(Item(IDC_SPEED));
    EXPECT_FALSE(Checked(IDC_QUALITY));
    int mode = -1, camera = -1;
    CameraFlag quality = true;
    EXPECT_EQ(settings->GetCaptureResolution(&mode), S_OK);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(settings->GetStillResolution(&mode), S_OK);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(settings->GetCameraNumber(&camera), S_OK);
    EXPECT_EQ(camera, 2);
    EXPECT_EQ(settings->GetQualityMode(&quality), S_OK);
    EXPECT_FALSE(quality);
}

TEST_F(HostedPageTest, CommandsMarkDirtyAndApplyChangesNothing) {
    if (!Activate())
        GTEST_SKIP() << "needs a display";
    // Reading a register changes nothing: the page stays clean.
    SetText(Item(IDC_REGISTER_ADDRESS), L"");
    Click(Item(IDC_REGISTER_GET));
    EXPECT_EQ(Text(IDC_REGISTER_VALUE), L"-1"); // no camera open
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    // A refused region: the message, and still clean.
    SetText(Item(IDC_REGION_WIDTH), L"4");
    SetText(Item(IDC_REGION_HEIGHT), L"100");
    EXPECT_EQ(ClickOnOwnThread(Item(IDC_REGION_SET), L"Error"), L"Invalid Region Parameters!");
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_TRUE(site.statusChanges.empty());

    SetText(Item(IDC_GAIN), L"40");
    Click(Item(IDC_GAIN_SET));
    EXPECT_EQ(page->IsPageDirty(), S_OK);
    EXPECT_EQ(site.statusChanges, std::vector<DWORD>{PROPPAGESTATUS_DIRTY});
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    int gain = 0;
    EXPECT_EQ(settings->GetGain(&gain), S_OK);
    EXPECT_EQ(gain, 40);

    // Any notification from a control runs its action.
    CheckDlgButton(dialog, IDC_FLIP_HORIZONTAL, BST_CHECKED);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FLIP_HORIZONTAL, BN_DOUBLECLICKED),
                 reinterpret_cast<LPARAM>(Item(IDC_FLIP_HORIZONTAL)));
    CameraFlag flip = false;
    EXPECT_EQ(settings->GetFlipHorizontal(&flip), S_OK);
    EXPECT_TRUE(flip);
    // Commands of other identifiers are not the page's.
    EXPECT_EQ(page->Apply(), S_OK);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(4321, BN_CLICKED), 0);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
}

} // namespace
