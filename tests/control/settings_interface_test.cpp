// ICameraSettings on a stopped filter made through COM: identity, null
// out-pointers, stored values and results, the pins' format copies as the
// pins offer them, sensor detection and stills that cannot be served.
#include <cstring>

#include "tests/control/control_test_support.h"

extern "C" int CameraSettingsFromC(IUnknown *filter, char *problem, int problemSize);

namespace {

using SettingsTest = ControlTest;

TEST_F(SettingsTest, SharesTheFilterIdentity) {
    ICameraSettings *settings = nullptr;
    IBaseFilter *filter = NewFilter(&settings);
    ASSERT_NE(settings, nullptr);
    ComPtr<IUnknown> viaFilter, viaSettings;
    ASSERT_EQ(filter->QueryInterface(IID_IUnknown, viaFilter.putVoid()), S_OK);
    ASSERT_EQ(settings->QueryInterface(IID_IUnknown, viaSettings.putVoid()), S_OK);
    EXPECT_EQ(viaFilter.get(), viaSettings.get());
    ComPtr<IBaseFilter> back;
    EXPECT_EQ(settings->QueryInterface(IID_IBaseFilter, back.putVoid()), S_OK);
    EXPECT_EQ(back.get(), filter);
    // One count for the whole object: a reference taken through the interface
    // shows in the filter's count.
    const ULONG before = filter->AddRef();
    settings->AddRef();
    EXPECT_EQ(filter->Release(), before);
    EXPECT_EQ(settings->Release(), before - 1);
    ComPtr<ISpecifyPropertyPages> pages;
    EXPECT_EQ(settings->QueryInterface(IID_ISpecifyPropertyPages, pages.putVoid()), S_OK);
}

TEST_F(SettingsTest, NullOutPointersGiveEPointerAndChangeNothing) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int a = 11, b = 12, c = 13, d = 14;
    CameraFlag flag = true;
    EXPECT_EQ(s->GetCameraNumber(nullptr), E_POINTER);
    EXPECT_EQ(s->GetGain(nullptr), E_POINTER);
    EXPECT_EQ(s->GetCaptureResolution(nullptr), E_POINTER);
    EXPECT_EQ(s->GetStillResolution(nullptr), E_POINTER);
    EXPECT_EQ(s->GetShutterDelay(nullptr), E_POINTER);
    EXPECT_EQ(s->GetShutterWidth(nullptr), E_POINTER);
    EXPECT_EQ(s->GetRegVal(nullptr, 0), E_POINTER);
    EXPECT_EQ(s->GetFlipHorizontal(nullptr), E_POINTER);
    EXPECT_EQ(s->GetFlipVertical(nullptr), E_POINTER);
    EXPECT_EQ(s->GetSensorType(nullptr), E_POINTER);
    EXPECT_EQ(s->GetQualityMode(nullptr), E_POINTER);
    EXPECT_EQ(s->GetRawStill(nullptr), E_POINTER);
    EXPECT_EQ(s->GetCamSN(nullptr), E_POINTER);
    EXPECT_EQ(s->GetAutoColor(nullptr), E_POINTER);
    EXPECT_EQ(s->GetMonochrome(nullptr), E_POINTER);
    EXPECT_EQ(s->GetRawView(nullptr), E_POINTER);
    EXPECT_EQ(s->GetStillRgbOrder(nullptr), E_POINTER);
    EXPECT_EQ(s->GetFrameRate(nullptr), E_POINTER);
    // Several out-pointers: one null spoils the call, the others stay untouched.
    EXPECT_EQ(s->GetRegion(&a, &b, &c, nullptr), E_POINTER);
    EXPECT_EQ(s->GetRegionEx(&a, &b, nullptr, &c, &d), E_POINTER);
    EXPECT_EQ(s->GetGrid(&flag, nullptr, &a), E_POINTER);
    EXPECT_EQ(s->GetExposureTiming(&a, nullptr), E_POINTER);
    EXPECT_EQ(s->GetWeightedGray(&flag, &a, &b, nullptr), E_POINTER);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(b, 12);
    EXPECT_EQ(c, 13);
    EXPECT_EQ(d, 14);
    EXPECT_TRUE(flag);
    // The input pointers that would be dereferenced later are checked too.
    EXPECT_EQ(s->CaptureStillImage(nullptr), E_POINTER);
    EXPECT_EQ(s->CaptureStillToBuffer(nullptr, 100, true, false), E_POINTER);
    unsigned char byte = 0;
    EXPECT_EQ(s->CaptureStillToBuffer(&byte, -1, true, false), E_INVALIDARG);
}

TEST_F(SettingsTest, FreshFilterValues) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int value = -7;
    EXPECT_EQ(s->GetGain(&value), S_OK);
    EXPECT_EQ(value, 25);
    EXPECT_EQ(s->GetCameraNumber(&value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(s->GetCaptureResolution(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(s->GetStillResolution(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(s->GetShutterDelay(&value), S_OK);
    EXPECT_EQ(value, 0);
    CameraFlag quality = false;
    EXPECT_EQ(s->GetQualityMode(&quality), S_OK);
    EXPECT_TRUE(quality);
    int x = -1, y = -1, width = -1, height = -1, step = -1;
    EXPECT_EQ(s->GetRegionEx(&x, &y, &width, &height, &step), S_OK);
    EXPECT_EQ(x + y + width + height, 0);
    EXPECT_EQ(step, 1);
    CameraFlag weighted = true;
    int blue = 0, green = 0, red = 0;
    EXPECT_EQ(s->GetWeightedGray(&weighted, &blue, &green, &red), S_OK);
    EXPECT_FALSE(weighted);
    EXPECT_EQ(blue + green + red, 300);
    float rate = -1.0f;
    EXPECT_EQ(s->GetFrameRate(&rate), S_OK);
    EXPECT_EQ(rate, 0.0f);
}

TEST_F(SettingsTest, FlagGettersWriteExactlyOneByte) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->SetFlipHorizontal(true), S_OK);
    ASSERT_EQ(s->SetMonochrome(true), S_OK);
    unsigned char bytes[4];
    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(s->GetFlipHorizontal(reinterpret_cast<CameraFlag *>(bytes)), S_OK);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 0xAA);
    EXPECT_EQ(bytes[3], 0xAA);
    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(s->GetFlipVertical(reinterpret_cast<CameraFlag *>(bytes)), S_OK);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0xAA);
    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(s->GetMonochrome(reinterpret_cast<CameraFlag *>(bytes)), S_OK);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[2], 0xAA);
}

TEST_F(SettingsTest, ValuesComeBackAsStored) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int value = 0;
    CameraFlag flag = false;
    EXPECT_EQ(s->SetCameraNumber(7), S_OK); // unchecked, used at the next opening
    EXPECT_EQ(s->GetCameraNumber(&value), S_OK);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(s->SetGain(142), S_OK); // modulo 100
    EXPECT_EQ(s->GetGain(&value), S_OK);
    EXPECT_EQ(value, 42);
    EXPECT_EQ(s->SetStillResolution(2), S_OK);
    EXPECT_EQ(s->GetStillResolution(&value), S_OK);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(s->SetQualityMode(false), S_OK);
    EXPECT_EQ(s->GetQualityMode(&flag), S_OK);
    EXPECT_FALSE(flag);
    EXPECT_EQ(s->SetFlipVertical(true), S_OK);
    EXPECT_EQ(s->GetFlipVertical(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->SetAutoColor(true), S_OK);
    EXPECT_EQ(s->GetAutoColor(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->SetStillRgbOrder(true), S_OK);
    EXPECT_EQ(s->GetStillRgbOrder(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->SetRawStill(true), S_OK);
    EXPECT_EQ(s->GetRawStill(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->SetBlankOutput(true), S_OK);
    EXPECT_EQ(s->SetOverlay(nullptr, true, true), S_OK); // no image: nothing to draw

    // Raw view switches monochrome with it, both ways.
    EXPECT_EQ(s->SetRawView(true), S_OK);
    EXPECT_EQ(s->GetMonochrome(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->GetRawView(&flag), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(s->SetRawView(false), S_OK);
    EXPECT_EQ(s->GetMonochrome(&flag), S_OK);
    EXPECT_FALSE(flag);

    // Grid counts are stored as given, also the ones that draw nothing.
    int columns = 0, rows = 0;
    EXPECT_EQ(s->SetGrid(true, 0, -3), S_OK);
    EXPECT_EQ(s->GetGrid(&flag, &columns, &rows), S_OK);
    EXPECT_TRUE(flag);
    EXPECT_EQ(columns, 0);
    EXPECT_EQ(rows, -3);
}

TEST_F(SettingsTest, WeightedGrayAcceptsPercentagesOnly) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    CameraFlag enabled = true;
    int blue = 0, green = 0, red = 0;
    EXPECT_EQ(s->SetWeightedGray(true, 50, 101, 50), S_FALSE);
    EXPECT_EQ(s->SetWeightedGray(true, -1, 50, 50), S_FALSE);
    EXPECT_EQ(s->GetWeightedGray(&enabled, &blue, &green, &red), S_OK);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(blue, 100);
    EXPECT_EQ(green, 100);
    EXPECT_EQ(red, 100);
    EXPECT_EQ(s->SetWeightedGray(true, 0, 100, 30), S_OK);
    EXPECT_EQ(s->GetWeightedGray(&enabled, &blue, &green, &red), S_OK);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(blue, 0);
    EXPECT_EQ(green, 100);
    EXPECT_EQ(red, 30);
}

TEST_F(SettingsTest, RegionsAreCheckedAndSizeTheCustomFormat) {
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ComPtr<IPin> preview = PinNamed(filter, L"Preview");
    ASSERT_TRUE(preview);
    EXPECT_EQ(s->SetRegion(0, 0, 1280, 1024, nullptr), S_OK);
    // A region past the sensor's edge is refused: the region stays, the step goes back to 1.
    EXPECT_EQ(s->SetRegionEx(0, 0, 640, 512, 2, nullptr), S_OK);
    EXPECT_EQ(s->SetRegion(1, 0, 1280, 1024, nullptr), E_INVALIDARG);
    int x = -1, y = -1, width = -1, height = -1, step = -1;
    EXPECT_EQ(s->GetRegionEx(&x, &y, &width, &height, &step), S_OK);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 512);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(s->SetRegionEx(0, 0, 320, 240, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(s->GetRegion(&x, &y, &width, &height), S_OK);
    EXPECT_EQ(width, 640);

    // The custom mode offers the last accepted region's size.
    EXPECT_EQ(s->SetRegion(64, 32, 320, 240, nullptr), S_OK);
    EXPECT_EQ(s->SetCaptureResolution(3), S_OK);
    int offeredWidth = 0, offeredHeight = 0;
    ASSERT_TRUE(OfferedSize(preview.get(), offeredWidth, offeredHeight));
    EXPECT_EQ(offeredWidth, 320);
    EXPECT_EQ(offeredHeight, 240);
    EXPECT_EQ(s->SetRegion(64, 32, 4, 240, nullptr), E_INVALIDARG);
    ASSERT_TRUE(OfferedSize(preview.get(), offeredWidth, offeredHeight));
    EXPECT_EQ(offeredWidth, 320);
}

TEST_F(SettingsTest, ResolutionModeReachesBothPinsFormats) {
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ComPtr<IPin> preview = PinNamed(filter, L"Preview");
    ComPtr<IPin> capture = PinNamed(filter, L"~Capture");
    ASSERT_TRUE(preview && capture);
    int width = 0, height = 0;
    EXPECT_EQ(s->SetCaptureResolution(1), S_OK);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 512);
    ASSERT_TRUE(OfferedSize(capture.get(), width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 512);
    // A mode the engine ignores leaves the pins alone too.
    EXPECT_EQ(s->SetCaptureResolution(7), S_OK);
    int mode = -1;
    EXPECT_EQ(s->GetCaptureResolution(&mode), S_OK);
    EXPECT_EQ(mode, 1);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 640);
    ASSERT_TRUE(OfferedSize(capture.get(), width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(s->SetCaptureResolution(2), S_OK);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 256);
}

TEST_F(SettingsTest, SensorDetectionWhileStopped) {
    ConfigureCamera("sensor=2");
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ComPtr<IPin> preview = PinNamed(filter, L"Preview");
    int type = 0, width = 0, height = 0;
    EXPECT_EQ(s->GetSensorType(&type), S_OK);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(s->SetSensorType(), S_OK);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 1600);
    EXPECT_EQ(height, 1200);
}

// Without any call of ours the preview pin describes the attached sensor,
// the capture pin keeps its fixed types, and the probe leaves nothing open.
TEST_F(SettingsTest, PinsStartFromTheAttachedSensor) {
    const struct {
        const char *config;
        int previewWidth, previewHeight;
    } cases[] = {{"sensor=1", 1280, 1024},
                 {"sensor=2", 1600, 1200},
                 {"sensor=3", 2048, 1536},
                 {"fail=nocamera", 1280, 1024},
                 {"fail=open", 1280, 1024}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.config);
        ConfigureCamera(c.config);
        IBaseFilter *filter = NewFilter();
        int width = 0, height = 0;
        ASSERT_TRUE(OfferedSize(PinNamed(filter, L"Preview").get(), width, height));
        EXPECT_EQ(width, c.previewWidth);
        EXPECT_EQ(height, c.previewHeight);
        ASSERT_TRUE(OfferedSize(PinNamed(filter, L"~Capture").get(), width, height));
        EXPECT_EQ(width, 1600);
        EXPECT_EQ(height, 1200);
        EXPECT_EQ(midsim_OpenRecords(), 0);
        EXPECT_EQ(midsim_CameraStarted(0), 0);
    }
}

// Choosing another camera while stopped re-describes the pins at once; a
// region as large as that camera's sensor is then accepted.
TEST_F(SettingsTest, ChoosingACameraFollowsItsSensor) {
    ConfigureCamera("cameras=2 sensor=1,3");
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    ComPtr<IPin> preview = PinNamed(filter, L"Preview");
    int width = 0, height = 0;
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(s->SetCameraNumber(2), S_OK);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 2048);
    EXPECT_EQ(s->SetRegion(0, 0, 2048, 1536, nullptr), S_OK);
    EXPECT_EQ(s->SetCameraNumber(3), S_OK); // no such camera: the type stays
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 2048);
    EXPECT_EQ(s->SetCameraNumber(1), S_OK);
    ASSERT_TRUE(OfferedSize(preview.get(), width, height));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(SettingsTest, NoCameraDetectsZeroAndKeepsTheType) {
    ConfigureCamera("fail=nocamera");
    ICameraSettings *s = nullptr;
    IBaseFilter *filter = NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int type = -1, width = 0, height = 0;
    EXPECT_EQ(s->GetSensorType(&type), S_OK);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(s->SetSensorType(), S_OK);
    ASSERT_TRUE(OfferedSize(PinNamed(filter, L"Preview").get(), width, height));
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 1024);
    int serial = -1;
    EXPECT_EQ(s->GetCamSN(&serial), S_OK);
    EXPECT_EQ(serial, 0);
}

TEST_F(SettingsTest, FlipOnVariant48WithoutAddressModeReadsBack) {
    ConfigureCamera("variant=48 addressmode=0");
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int type = 0;
    ASSERT_EQ(s->GetSensorType(&type), S_OK); // learns the variant
    ASSERT_EQ(type, 1);
    CameraFlag flip = false;
    EXPECT_EQ(s->SetFlipHorizontal(true), S_OK);
    EXPECT_EQ(s->GetFlipHorizontal(&flip), S_OK);
    EXPECT_TRUE(flip);
    EXPECT_EQ(s->SetFlipHorizontal(false), S_OK);
    EXPECT_EQ(s->GetFlipHorizontal(&flip), S_OK);
    EXPECT_FALSE(flip);
}

TEST_F(SettingsTest, RegisterReadWithoutCameraGivesMinusOne) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    int value = 5;
    EXPECT_EQ(s->GetRegVal(&value, 0x35), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(s->SetRegVal(0x35, 0x20), S_OK); // nothing to write to, nothing breaks
}

TEST_F(SettingsTest, StillsWhileStoppedReturnAtOnce) {
    ICameraSettings *s = nullptr;
    NewFilter(&s);
    ASSERT_NE(s, nullptr);
    std::vector<unsigned char> buffer(1280 * 1024 * 4);
    const DWORD begin = GetTickCount();
    EXPECT_EQ(s->CaptureStillToBuffer(buffer.data(), static_cast<int>(buffer.size()), true, false), S_FALSE);
    const char *path = "stopped_still.bmp";
    DeleteFileA(path);
    EXPECT_EQ(s->CaptureStillImage(path), S_OK);
    EXPECT_EQ(FileSize(path), -1) << "a still was written while the filter was stopped";
    // Generous: only a request that waited for frames would take this long.
    EXPECT_LT(GetTickCount() - begin, 2000u);
}

TEST_F(SettingsTest, UsableFromC) {
    IBaseFilter *filter = NewFilter();
    ASSERT_NE(filter, nullptr);
    char problem[200] = {};
    EXPECT_EQ(CameraSettingsFromC(filter, problem, sizeof problem), 0) << problem;
}

} // namespace
