// IAMVideoProcAmp and IAMCameraControl on a stopped filter made through COM:
// argument checks, unsupported properties, the gain and exposure ranges of
// each sensor, and values that agree with ICameraSettings both ways.
#include "tests/control/control_test_support.h"

namespace {

constexpr HRESULT kPropIdUnsupported = static_cast<HRESULT>(0x80070490);

class StandardControlsTest : public ControlTest {
protected:
    // A new filter on `config` and its three control interfaces.
    void Make(const char *config) {
        ConfigureCamera(config);
        IBaseFilter *filter = NewFilter(&settings);
        ASSERT_NE(filter, nullptr);
        ASSERT_EQ(filter->QueryInterface(IID_IAMVideoProcAmp, procAmp.putVoid()), S_OK);
        ASSERT_EQ(filter->QueryInterface(IID_IAMCameraControl, cameraControl.putVoid()), S_OK);
    }
    void TearDown() override {
        procAmp.reset();
        cameraControl.reset();
        ControlTest::TearDown();
    }

    ICameraSettings *settings = nullptr;
    ComPtr<IAMVideoProcAmp> procAmp;
    ComPtr<IAMCameraControl> cameraControl;
};

// Both interfaces have the same three methods: one table drives both.
struct Control {
    const char *name;
    LONG supported;
    LONG lastProperty;
    LONG autoFlag;
};
constexpr Control kControls[] = {
    {"IAMVideoProcAmp", VideoProcAmp_Gain, VideoProcAmp_Gain, VideoProcAmp_Flags_Auto},
    {"IAMCameraControl", CameraControl_Exposure, CameraControl_Focus, CameraControl_Flags_Auto}};

template <typename Interface> void CheckArguments(Interface *control, const Control &c) {
    SCOPED_TRACE(c.name);
    LONG a = 7, b = 7, d = 7, e = 7, f = 7;
    EXPECT_EQ(control->GetRange(c.supported, nullptr, &b, &d, &e, &f), E_POINTER);
    EXPECT_EQ(control->GetRange(c.supported, &a, &b, &d, &e, nullptr), E_POINTER);
    EXPECT_EQ(control->Get(c.supported, nullptr, &b), E_POINTER);
    EXPECT_EQ(control->Get(c.supported, &a, nullptr), E_POINTER);
    EXPECT_EQ(a + b + d + e + f, 35); // nothing written
    for (LONG property = -1; property <= c.lastProperty + 1; ++property) {
        if (property == c.supported)
            continue;
        SCOPED_TRACE(property);
        EXPECT_EQ(control->GetRange(property, &a, &b, &d, &e, &f), kPropIdUnsupported);
        EXPECT_EQ(control->Get(property, &a, &b), kPropIdUnsupported);
        EXPECT_EQ(control->Set(property, 1, 2), kPropIdUnsupported);
    }
    ASSERT_EQ(control->Get(c.supported, &a, &b), S_OK);
    EXPECT_EQ(b, 2); // manual
    EXPECT_EQ(control->Set(c.supported, a + 1, c.autoFlag), E_INVALIDARG);
    EXPECT_EQ(control->Set(c.supported, a + 1, c.autoFlag | 2), E_INVALIDARG);
    ASSERT_EQ(control->Get(c.supported, &d, &b), S_OK);
    EXPECT_EQ(d, a);
}

TEST_F(StandardControlsTest, ArgumentsAndUnsupportedProperties) {
    Make("sensor=1");
    CheckArguments(procAmp.get(), kControls[0]);
    CheckArguments(cameraControl.get(), kControls[1]);
}

TEST_F(StandardControlsTest, GainAgreesWithTheControlInterface) {
    Make("sensor=1");
    LONG minimum = 0, maximum = 0, step = 0, byDefault = 0, caps = 0, value = 0, flags = 0;
    ASSERT_EQ(procAmp->GetRange(VideoProcAmp_Gain, &minimum, &maximum, &step, &byDefault, &caps), S_OK);
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, 99);
    EXPECT_EQ(step, 1);
    EXPECT_EQ(byDefault, 25);
    EXPECT_EQ(caps, VideoProcAmp_Flags_Manual);
    ASSERT_EQ(procAmp->Get(VideoProcAmp_Gain, &value, &flags), S_OK);
    EXPECT_EQ(value, 25);
    // Set here, read there; the engine's own arithmetic for values outside.
    const struct { LONG set, stored; } cases[] = {{40, 40}, {0, 0}, {99, 99}, {100, 0}, {142, 42}, {-130, 30}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.set);
        ASSERT_EQ(procAmp->Set(VideoProcAmp_Gain, c.set, VideoProcAmp_Flags_Manual), S_OK);
        int gain = -1;
        ASSERT_EQ(settings->GetGain(&gain), S_OK);
        EXPECT_EQ(gain, c.stored);
        ASSERT_EQ(settings->SetGain(c.set), S_OK);
        ASSERT_EQ(procAmp->Get(VideoProcAmp_Gain, &value, &flags), S_OK);
        EXPECT_EQ(value, c.stored);
    }
}

// Exposure in log2 seconds: a row of the full window takes about 125 us (2^-13 s)
// on both sensors, 8000 rows about one second; every value in the range comes
// back as set, and the shutter width it chose reads back the same way.
TEST_F(StandardControlsTest, ExposureRangeAndRoundTrips) {
    for (const char *config : {"sensor=1", "sensor=2"}) {
        SCOPED_TRACE(config);
        Make(config);
        LONG minimum = 0, maximum = 0, step = 0, byDefault = 0, caps = 0, value = 0, flags = 0;
        ASSERT_EQ(cameraControl->GetRange(CameraControl_Exposure, &minimum, &maximum, &step, &byDefault, &caps), S_OK);
        EXPECT_EQ(minimum, -13);
        EXPECT_EQ(maximum, 0);
        EXPECT_EQ(step, 1);
        EXPECT_EQ(byDefault, minimum); // shutter width 0
        EXPECT_EQ(caps, CameraControl_Flags_Manual);
        int previousWidth = 0;
        for (LONG exposure = minimum; exposure <= maximum; ++exposure) {
            SCOPED_TRACE(exposure);
            ASSERT_EQ(cameraControl->Set(CameraControl_Exposure, exposure, CameraControl_Flags_Manual), S_OK);
            ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
            EXPECT_EQ(value, exposure);
            int width = 0;
            ASSERT_EQ(settings->GetShutterWidth(&width), S_OK);
            EXPECT_GT(width, previousWidth);
            EXPECT_LE(width, 8000);
            previousWidth = width;
            ASSERT_EQ(settings->SetShutterWidth(0), S_OK);
            ASSERT_EQ(settings->SetShutterWidth(width), S_OK);
            ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
            EXPECT_EQ(value, exposure);
        }
        // Outside the range: its ends.
        ASSERT_EQ(cameraControl->Set(CameraControl_Exposure, 40, CameraControl_Flags_Manual), S_OK);
        ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
        EXPECT_EQ(value, maximum);
        ASSERT_EQ(cameraControl->Set(CameraControl_Exposure, -2147483647 - 1, CameraControl_Flags_Manual), S_OK);
        ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
        EXPECT_EQ(value, minimum);
        ASSERT_EQ(settings->SetShutterWidth(8000), S_OK);
        ASSERT_EQ(cameraControl->Get(CameraControl_Exposure, &value, &flags), S_OK);
        EXPECT_EQ(value, maximum);
        procAmp.reset();
        cameraControl.reset();
    }
}

TEST_F(StandardControlsTest, NoExposureArithmeticForTheLargestSensor) {
    Make("sensor=3");
    LONG a = 0, b = 0, c = 0, d = 0, e = 0;
    EXPECT_EQ(cameraControl->GetRange(CameraControl_Exposure, &a, &b, &c, &d, &e), kPropIdUnsupported);
    EXPECT_EQ(cameraControl->Get(CameraControl_Exposure, &a, &b), kPropIdUnsupported);
    EXPECT_EQ(cameraControl->Set(CameraControl_Exposure, -5, CameraControl_Flags_Manual), kPropIdUnsupported);
    EXPECT_EQ(procAmp->GetRange(VideoProcAmp_Gain, &a, &b, &c, &d, &e), S_OK);
}

} // namespace
