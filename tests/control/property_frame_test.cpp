// The camera property page in the system's property frame, used as a person
// would: OleCreatePropertyFrame shows it on the test's thread while a second
// thread finds the controls by identifier, types, clicks, answers the message
// boxes and checks each effect through ICameraSettings. The running-graph
// case also saves a screenshot of the frame (camera_page.bmp).
#include <cstdio>
#include <string>

#include "tests/control/page_test_support.h"

namespace {

// What the driving thread works with: the page's dialog inside the frame.
struct PageView {
    HWND frame = nullptr;
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::wstring Text(int id) const { return WindowText(Item(id)); }
    bool Checked(int id) const { return IsChecked(Item(id)); }
};

class PropertyFrameTest : public PageTest {
protected:
    void TearDown() override {
        graph.Release();
        PageTest::TearDown();
    }

    // Shows the frame for `filter` and runs `script` against it on a second
    // thread, which closes the frame when done. The script's findings are
    // reported here.
    void ShowAndDrive(IBaseFilter *filter, const std::function<void(PageView &, Findings &)> &script) {
        Findings findings;
        HelperThread driver([&] {
            PageView view;
            view.frame = WaitForWindowWithControl(IDC_GAIN, 15000);
            findings.Check(view.frame != nullptr, "the property frame with the camera page did not appear");
            if (view.frame == nullptr)
                return;
            view.dialog = GetParent(FindDescendant(view.frame, IDC_GAIN));
            script(view, findings);
            PostMessageW(view.frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        IUnknown *objects[] = {filter};
        CLSID pageClasses[] = {kClsidPage};
        const HRESULT shown =
            OleCreatePropertyFrame(nullptr, 40, 40, L"Oriscope", 1, objects, 1, pageClasses, 0, 0, nullptr);
        EXPECT_EQ(shown, S_OK);
        ASSERT_TRUE(driver.Join(60000)) << "the driving thread did not finish";
        for (const std::string &problem : findings.problems)
            ADD_FAILURE() << problem;
    }

    GrabberGraph graph;
};

// Sets a box's text, clicks a button, and reports the int a getter then gives.
template <typename Getter> int SetAndRead(PageView &view, int box, const wchar_t *text, int button, Getter get) {
    SetText(view.Item(box), text);
    Click(view.Item(button));
    int value = -12345;
    get(&value);
    return value;
}

TEST_F(PropertyFrameTest, EveryControlOnAStoppedFilter) {
    if (!HaveDisplay())
        GTEST_SKIP() << "needs a display";
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    DeleteFileA("page_stopped_still.bmp");
    ShowAndDrive(filter, [s](PageView &view, Findings &f) {
        f.Check(view.Checked(IDC_CAMERA_1) && view.Checked(IDC_QUALITY) && view.Checked(IDC_RESOLUTION_FULL) &&
                    view.Checked(IDC_STILL_FULL),
                "a fresh filter's radio buttons are not Camera #1, Quality, Full, Full");
        f.Check(view.Text(IDC_GAIN) == L"25" && view.Text(IDC_SHUTTER) == L"0" && view.Text(IDC_REGION_X) == L"0",
                "a fresh filter's numbers are not gain 25, shutter 0, region 0");

        // Typed digits only: the number boxes drop anything else.
        SetText(view.Item(IDC_GAIN), L"");
        Type(view.Item(IDC_GAIN), L"4x2");
        f.Check(view.Text(IDC_GAIN) == L"42", "the gain box took a letter: " + Narrow(view.Text(IDC_GAIN)));
        Click(view.Item(IDC_GAIN_SET));
        int value = 0;
        s->GetGain(&value);
        f.Check(value == 42, "gain after Set: " + std::to_string(value));
        value = SetAndRead(view, IDC_SHUTTER, L"100", IDC_SHUTTER_SET, [s](int *v) { s->GetShutterDelay(v); });
        f.Check(value == 100, "shutter after Set: " + std::to_string(value));

        CameraFlag flag = false;
        Click(view.Item(IDC_FLIP_HORIZONTAL));
        Click(view.Item(IDC_FLIP_VERTICAL));
        s->GetFlipVertical(&flag);
        f.Check(flag, "Vertical did not flip");
        s->GetFlipHorizontal(&flag);
        f.Check(flag, "Horizontal did not flip");
        Click(view.Item(IDC_FLIP_HORIZONTAL));
        s->GetFlipHorizontal(&flag);
        f.Check(!flag, "Horizontal did not flip back");
        Click(view.Item(IDC_GRID));
        int columns = 0, rows = 0;
        s->GetGrid(&flag, &columns, &rows);
        f.Check(flag && columns == 2 && rows == 2, "2 x 2 did not set a 2 x 2 grid");
        Click(view.Item(IDC_RAW_STILL));
        s->GetRawStill(&flag);
        f.Check(flag, "Raw did not set raw stills");
        Click(view.Item(IDC_AUTO_COLOR));
        s->GetAutoColor(&flag);
        f.Check(flag, "Enable did not switch on automatic colour correction");
        Click(view.Item(IDC_SPEED));
        s->GetQualityMode(&flag);
        f.Check(!flag, "Speed did not switch to speed readout");
        Click(view.Item(IDC_QUALITY));
        s->GetQualityMode(&flag);
        f.Check(flag, "Quality did not switch back");
        Click(view.Item(IDC_CAMERA_2));
        s->GetCameraNumber(&value);
        f.Check(value == 2 && !view.Checked(IDC_CAMERA_1), "Camera #2: camera " + std::to_string(value));
        Click(view.Item(IDC_CAMERA_1));
        s->GetCameraNumber(&value);
        f.Check(value == 1, "Camera #1: camera " + std::to_string(value));

        const int live[] = {IDC_RESOLUTION_HALF, IDC_RESOLUTION_CUSTOM, IDC_RESOLUTION_QUARTER, IDC_RESOLUTION_FULL};
        const int liveModes[] = {1, 3, 2, 0};
        for (int i = 0; i < 4; ++i) {
            Click(view.Item(live[i]));
            s->GetCaptureResolution(&value);
            f.Check(value == liveModes[i],
                    "resolution button " + std::to_string(live[i]) + " gave mode " + std::to_string(value));
        }
        Click(view.Item(IDC_STILL_QUARTER));
        s->GetStillResolution(&value);
        f.Check(value == 2 && !view.Checked(IDC_STILL_FULL), "still Quarter gave mode " + std::to_string(value));
        Click(view.Item(IDC_STILL_CUSTOM));
        s->GetStillResolution(&value);
        f.Check(value == 3, "still Custom gave mode " + std::to_string(value));

        // Region: accepted, then refused with the message and kept.
        SetText(view.Item(IDC_REGION_X), L"16");
        SetText(view.Item(IDC_REGION_Y), L"8");
        SetText(view.Item(IDC_REGION_WIDTH), L"640");
        SetText(view.Item(IDC_REGION_HEIGHT), L"480");
        Click(view.Item(IDC_REGION_SET));
        int x = 0, y = 0, width = 0, height = 0;
        s->GetRegion(&x, &y, &width, &height);
        f.Check(x == 16 && y == 8 && width == 640 && height == 480, "region after Set: " + std::to_string(width));
        SetText(view.Item(IDC_REGION_WIDTH), L"4");
        std::wstring text;
        f.Check(ClickExpectingMessageBox(view.Item(IDC_REGION_SET), L"Error", text), "region 4 wide: " + Narrow(text));
        f.Check(text == L"Invalid Region Parameters!", "region message: " + Narrow(text));
        s->GetRegion(&x, &y, &width, &height);
        f.Check(width == 640, "a refused region changed the region");

        // No camera is open while stopped.
        SetText(view.Item(IDC_REGISTER_ADDRESS), L"53");
        Click(view.Item(IDC_REGISTER_GET));
        f.Check(view.Text(IDC_REGISTER_VALUE) == L"-1",
                "register read while stopped: " + Narrow(view.Text(IDC_REGISTER_VALUE)));
        f.Check(ClickExpectingMessageBox(view.Item(IDC_CAMERA_ID), L"Orvex Camera ID", text),
                "camera ID: " + Narrow(text));
        f.Check(text == L"This feature is valid only during live video stream", "camera ID text: " + Narrow(text));
        SetText(view.Item(IDC_STILL_FILE), L"page_stopped_still.bmp");
        const DWORD begin = GetTickCount();
        Click(view.Item(IDC_CAPTURE));
        f.Check(GetTickCount() - begin < 2000, "Capture on a stopped filter did not return at once");
        f.Check(FileSize("page_stopped_still.bmp") == -1, "Capture on a stopped filter wrote a file");
    });
}

TEST_F(PropertyFrameTest, RegistersCameraIdAndCaptureWhileRunning) {
    DeleteFileA("camera_page.bmp"); // no stale picture for the screenshot check
    if (!HaveDisplay())
        GTEST_SKIP() << "needs a display";
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->SetCaptureResolution(2), S_OK);
    ASSERT_TRUE(graph.Build(filter));
    ASSERT_TRUE(graph.Run());
    ASSERT_TRUE(graph.collector.WaitForSamples(2, 10000));
    DeleteFileA("page_still.bmp");
    Screenshot shot;
    ShowAndDrive(filter, [s, &shot](PageView &view, Findings &f) {
        SetText(view.Item(IDC_REGISTER_ADDRESS), L"");
        Click(view.Item(IDC_REGISTER_GET));
        f.Check(view.Text(IDC_REGISTER_VALUE) == L"33809",
                "register 0 (chip version) read as " + Narrow(view.Text(IDC_REGISTER_VALUE)));
        SetText(view.Item(IDC_REGISTER_ADDRESS), L"96");
        SetText(view.Item(IDC_REGISTER_VALUE), L"1234");
        Click(view.Item(IDC_REGISTER_SET));
        f.Check(midsim_PeekRegister(0, 96) == 1234,
                "register 96 after Set: " + std::to_string(midsim_PeekRegister(0, 96)));
        SetText(view.Item(IDC_REGISTER_VALUE), L"");
        Click(view.Item(IDC_REGISTER_GET));
        f.Check(view.Text(IDC_REGISTER_VALUE) == L"1234",
                "register 96 read as " + Narrow(view.Text(IDC_REGISTER_VALUE)));
        std::wstring text;
        f.Check(ClickExpectingMessageBox(view.Item(IDC_CAMERA_ID), L"Orvex Camera ID", text),
                "camera ID: " + Narrow(text));
        f.Check(text == L"20240001", "camera ID text: " + Narrow(text));

        SetText(view.Item(IDC_STILL_FILE), L"page_still.bmp");
        Click(view.Item(IDC_CAPTURE)); // returns when the file is written
        BmpFile bmp;
        std::string problem;
        f.Check(ReadBmp("page_still.bmp", bmp, problem), "page still: " + problem);
        f.Check(bmp.width == 1280 && bmp.height == 1024 && bmp.fileSize == 3932214u, "page still is not a full still");

        SetText(view.Item(IDC_GAIN), L"37");
        Click(view.Item(IDC_GAIN_SET));
        int gain = 0;
        s->GetGain(&gain);
        f.Check(gain == 37, "gain while running: " + std::to_string(gain));

        Sleep(300); // let the frame finish painting
        f.Check(CaptureWindow(view.frame, shot), "no screenshot of the frame");
    });
    ASSERT_GT(shot.width, 0);
    // A drawn page has text, frames, buttons: far more than a handful of colours.
    EXPECT_GT(shot.DistinctColours(), 8) << "the screenshot of the page looks blank";
    EXPECT_TRUE(shot.SaveBmp("camera_page.bmp"));
    float rate = 0.0f;
    EXPECT_EQ(s->GetFrameRate(&rate), S_OK);
    EXPECT_GT(rate, 0.0f) << "the stream stopped while the page was open";
}

} // namespace
