// IAMStreamConfig on the capture pin for each simulated sensor: the three
// capabilities, SetFormat's choice carried through the capture graph builder
// into the samples of a running Wine graph, its refusals, the state and
// reconnection rules, and GetFormat before and after a choice.
#include <cstdio>
#include <cstring>

#include "control/include/camera_settings.h"
#include "tests/filter/camera_graph.h"
#include "tests/filter/filter_test_support.h"

namespace {

struct Sensor {
    int type;
    LONG width, height; // full size
};
constexpr Sensor kSensors[] = {{1, 1280, 1024}, {2, 1600, 1200}, {3, 2048, 1536}};

VIDEOINFOHEADER &Header(const AM_MEDIA_TYPE &type) {
    return *reinterpret_cast<VIDEOINFOHEADER *>(type.pbFormat);
}

class StreamConfigTest : public FilterTest {
protected:
    void TearDown() override {
        streamConfig.reset();
        graph.Release();
        branch.Release();
        FilterTest::TearDown();
    }
    // A new filter on sensor `sensor` and its capture pin's IAMStreamConfig.
    void Make(int sensor) {
        char config[64];
        std::snprintf(config, sizeof config, "sensor=%d pace=free static=1", sensor);
        Configure(config);
        filter = NewFilter();
        ASSERT_EQ(filter->capturePin->QueryInterface(IID_IAMStreamConfig, streamConfig.putVoid()), S_OK);
    }
    void Caps(int index, MediaType &type, VIDEO_STREAM_CONFIG_CAPS &caps) {
        AM_MEDIA_TYPE *got = nullptr;
        BYTE bytes[128];
        ASSERT_EQ(streamConfig->GetStreamCaps(index, &got, bytes), S_OK);
        ASSERT_NE(got, nullptr);
        ASSERT_EQ(type.assign(*got), S_OK);
        DeleteMediaType(got);
        std::memcpy(&caps, bytes, sizeof caps);
    }
    MediaType Capability(int index) {
        MediaType type;
        VIDEO_STREAM_CONFIG_CAPS caps;
        Caps(index, type, caps);
        return type;
    }
    MediaType Format() {
        MediaType type;
        AM_MEDIA_TYPE *got = nullptr;
        EXPECT_EQ(streamConfig->GetFormat(&got), S_OK);
        if (got != nullptr) {
            EXPECT_EQ(type.assign(*got), S_OK);
            DeleteMediaType(got);
        }
        return type;
    }
    // The filter's control interface, as a host finds it.
    ComPtr<ICameraSettings> Settings() {
        ComPtr<ICameraSettings> settings;
        EXPECT_EQ(filter->QueryInterface(IID_ICameraSettings, settings.putVoid()), S_OK);
        return settings;
    }
    int Mode() {
        int mode = -1;
        EXPECT_EQ(Settings()->GetCaptureResolution(&mode), S_OK);
        return mode;
    }
    // The capture pin rendered by the capture graph builder into a grabber.
    void Render() {
        ASSERT_EQ(graph.Create(), S_OK);
        ASSERT_EQ(graph.AddSource(BaseFilter(filter)), S_OK);
        ASSERT_EQ(graph.AddBranch(branch, L"Capture grabber"), S_OK);
        ASSERT_EQ(graph.Render(kPinCategoryCapture, branch), S_OK);
    }
    // Runs the graph for a few samples: they hold exactly one w x h picture
    // of the camera's (static) frame.
    void ExpectSamplesOf(LONG width, LONG height) {
        branch.collector.Clear();
        ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
        // Samples before the camera's first frame hold no picture yet.
        ASSERT_TRUE(WaitUntil(
            [&] {
                LONG delivered = 0;
                filter->capturePin->GetNumNotDropped(&delivered);
                return delivered > 0;
            },
            10000));
        std::vector<std::uint8_t> copy;
        ASSERT_TRUE(branch.collector.CopyNextSample(copy, 10000));
        const std::vector<std::uint8_t> raw = CurrentRawFrame(); // while the camera is open
        ASSERT_EQ(graph.control->Stop(), S_OK);
        EXPECT_EQ(branch.collector.lastLength, width * height * 4);
        ASSERT_EQ(copy.size(), std::size_t(width * height * 4));
        CameraEngine &engine = filter->engine;
        ASSERT_EQ(engine.frameWidth, width);
        ASSERT_EQ(engine.frameHeight, height);
        EXPECT_EQ(filter->capturePin->CroppedSamples(), 0);
        const auto expected = ExpectedPicture(raw, width, height, engine.RawStride(), &engine);
        std::size_t bad = 0;
        EXPECT_TRUE(SamePixels(copy.data(), expected.data(), std::size_t(width * height), &bad)) << "pixel " << bad;
    }
    void ExpectConnectedAt(LONG width, LONG height) {
        const VIDEOINFOHEADER *header = filter->capturePin->ConnectionType().formatAs<VIDEOINFOHEADER>();
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->bmiHeader.biWidth, width);
        EXPECT_EQ(header->bmiHeader.biHeight, height);
    }

    CaptureSourceFilter *filter = nullptr;
    ComPtr<IAMStreamConfig> streamConfig;
    CameraGraph graph;
    GrabberBranch branch;
};

TEST_F(StreamConfigTest, CapabilitiesAreFullHalfAndQuarterOfTheAttachedSensor) {
    for (const Sensor &sensor : kSensors) {
        Make(sensor.type);
        for (int index = 0; index < 3; ++index) {
            SCOPED_TRACE(testing::Message() << "sensor " << sensor.type << " capability " << index);
            const LONG width = sensor.width >> index, height = sensor.height >> index;
            const DWORD bytes = DWORD(width * height * 4);
            MediaType type;
            VIDEO_STREAM_CONFIG_CAPS caps;
            Caps(index, type, caps);
            // Type GUIDs, bit count and compression: SetFormat accepts each type (next test).
            EXPECT_TRUE(type.bFixedSizeSamples);
            EXPECT_EQ(type.lSampleSize, bytes);
            ASSERT_EQ(type.cbFormat, 88u);
            const BITMAPINFOHEADER &bitmap = Header(type).bmiHeader;
            EXPECT_EQ(bitmap.biWidth, width);
            EXPECT_EQ(bitmap.biHeight, height);
            EXPECT_EQ(bitmap.biSizeImage, bytes);
            EXPECT_EQ(Header(type).AvgTimePerFrame, 142857);

            EXPECT_TRUE(IsEqualGUID(caps.guid, kFormatVideoInfo));
            for (const SIZE &size :
                 {caps.InputSize, caps.MinCroppingSize, caps.MaxCroppingSize, caps.MinOutputSize, caps.MaxOutputSize}) {
                EXPECT_EQ(size.cx, width);
                EXPECT_EQ(size.cy, height);
            }
            EXPECT_EQ(caps.MinFrameInterval, 142857);
            EXPECT_EQ(caps.MaxFrameInterval, 142857);
            EXPECT_GT(caps.MinBitsPerSecond, 0);
            EXPECT_EQ(caps.MinBitsPerSecond, caps.MaxBitsPerSecond);
        }
    }
}

TEST_F(StreamConfigTest, EachCapabilityReachesTheSamplesThroughACaptureGraph) {
    for (const Sensor &sensor : kSensors) {
        for (int index = 0; index < 3; ++index) {
            SCOPED_TRACE(testing::Message() << "sensor " << sensor.type << " capability " << index);
            const LONG width = sensor.width >> index, height = sensor.height >> index;
            graph.Release();
            branch.Release();
            Make(sensor.type);
            MediaType chosen = Capability(index);
            ASSERT_EQ(streamConfig->SetFormat(&chosen), S_OK);
            EXPECT_EQ(Mode(), index) << "ICameraSettings sees the choice";
            EXPECT_TRUE(MediaTypesEqual(Format(), chosen));
            Render();
            ExpectConnectedAt(width, height);
            ExpectSamplesOf(width, height);
        }
    }
}

TEST_F(StreamConfigTest, SetFormatRefusesWhatNoCapabilityDescribes) {
    Make(1);
    const MediaType before = Format();
    using Change = void (*)(MediaType &);
    const struct {
        const char *what;
        Change change;
    } cases[] = {
        {"wrong width", [](MediaType &t) { Header(t).bmiHeader.biWidth = 641; }},
        {"top-down", [](MediaType &t) { Header(t).bmiHeader.biHeight = -512; }},
        {"the default 1600 x 1200",
         [](MediaType &t) {
             Header(t).bmiHeader.biWidth = 1600;
             Header(t).bmiHeader.biHeight = 1200;
         }},
        {"RGB24 subtype", [](MediaType &t) { t.subtype = MEDIASUBTYPE_RGB24; }},
        {"audio", [](MediaType &t) { t.majortype = MEDIATYPE_Audio; }},
        {"other format type", [](MediaType &t) { t.formattype = FORMAT_VideoInfo2; }},
        {"no format block", [](MediaType &t) { FreeMediaTypeFields(t); }},
        {"short format block", [](MediaType &t) { t.cbFormat = sizeof(VIDEOINFOHEADER) - 1; }},
        {"24 bits", [](MediaType &t) { Header(t).bmiHeader.biBitCount = 24; }},
        {"compressed", [](MediaType &t) { Header(t).bmiHeader.biCompression = BI_BITFIELDS; }},
        {"other frame interval", [](MediaType &t) { Header(t).AvgTimePerFrame = 333333; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        MediaType type = Capability(1);
        c.change(type);
        EXPECT_EQ(streamConfig->SetFormat(&type), VFW_E_INVALIDMEDIATYPE);
        EXPECT_EQ(Mode(), 0);
        EXPECT_FALSE(filter->capturePin->OffersPictureTypes());
        EXPECT_TRUE(MediaTypesEqual(Format(), before));
    }
    EXPECT_EQ(streamConfig->SetFormat(nullptr), E_POINTER);

    // A frame interval of 0 leaves the rate to the pin.
    MediaType anyRate = Capability(2);
    Header(anyRate).AvgTimePerFrame = 0;
    EXPECT_EQ(streamConfig->SetFormat(&anyRate), S_OK);
    EXPECT_EQ(Mode(), 2);
}

TEST_F(StreamConfigTest, GetFormatRoundTripsAndFollowsTheSettingsOnceAFormatIsSet) {
    Make(1);
    // Before a choice: the fixed description, and writing it back changes nothing.
    MediaType fixed = Format();
    ASSERT_EQ(fixed.cbFormat, 88u);
    EXPECT_EQ(Header(fixed).bmiHeader.biWidth, 1280);
    EXPECT_EQ(Header(fixed).AvgTimePerFrame, 1400000);
    EXPECT_EQ(streamConfig->SetFormat(&fixed), S_OK);
    EXPECT_FALSE(filter->capturePin->OffersPictureTypes());
    MediaType offered;
    ASSERT_EQ(filter->capturePin->GetMediaType(0, &offered), S_OK);
    EXPECT_EQ(Header(offered).bmiHeader.biWidth, 1600) << "the default type stays";

    MediaType quarter = Capability(2);
    ASSERT_EQ(streamConfig->SetFormat(&quarter), S_OK);
    MediaType current = Format();
    EXPECT_TRUE(MediaTypesEqual(current, quarter));
    EXPECT_EQ(streamConfig->SetFormat(&current), S_OK);
    EXPECT_EQ(Mode(), 2);

    // From now on the pin's type is the real picture of the settings.
    ASSERT_EQ(Settings()->SetRegion(8, 8, 320, 240, nullptr), S_OK);
    const struct {
        int sensor, mode;
        LONG width, height;
    } cases[] = {{1, 0, 1280, 1024}, {1, 1, 640, 512}, {1, 3, 320, 240}, {3, 1, 1024, 768}, {2, 2, 400, 300}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "sensor " << c.sensor << " mode " << c.mode);
        filter->AdoptSensorType(c.sensor);
        ASSERT_EQ(Settings()->SetCaptureResolution(c.mode), S_OK);
        MediaType offeredNow;
        ASSERT_EQ(filter->capturePin->GetMediaType(1, &offeredNow), S_OK);
        for (const MediaType &type : {Format(), offeredNow}) {
            ASSERT_EQ(type.cbFormat, 88u);
            EXPECT_EQ(Header(type).bmiHeader.biWidth, c.width);
            EXPECT_EQ(Header(type).bmiHeader.biHeight, c.height);
            EXPECT_EQ(Header(type).bmiHeader.biSizeImage, DWORD(c.width * c.height * 4));
        }
    }
}

TEST_F(StreamConfigTest, ConnectedPinChangesOnlyWhenStoppedAndIsReconnected) {
    Make(2);
    Render();
    ExpectConnectedAt(1600, 1200);
    MediaType half = Capability(1);

    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(branch.collector.WaitForSamples(1, 10000));
    EXPECT_EQ(streamConfig->SetFormat(&half), VFW_E_WRONG_STATE);
    EXPECT_EQ(Mode(), 0);
    EXPECT_FALSE(filter->capturePin->OffersPictureTypes());
    ASSERT_EQ(graph.control->Stop(), S_OK);

    // The connected pin is asked first: a grabber set to RGB24 refuses.
    ComPtr<ISampleGrabber> grabber;
    ASSERT_EQ(branch.grabber.queryTo(kIidSampleGrabber, grabber), S_OK);
    MediaType wanted;
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = MEDIASUBTYPE_RGB24;
    ASSERT_EQ(grabber->SetMediaType(&wanted), S_OK);
    EXPECT_EQ(streamConfig->SetFormat(&half), VFW_E_INVALIDMEDIATYPE);
    EXPECT_EQ(Mode(), 0);
    ExpectConnectedAt(1600, 1200);
    wanted.subtype = MEDIASUBTYPE_RGB32;
    ASSERT_EQ(grabber->SetMediaType(&wanted), S_OK);

    ASSERT_EQ(streamConfig->SetFormat(&half), S_OK);
    EXPECT_EQ(Mode(), 1);
    ExpectConnectedAt(800, 600);
    ExpectSamplesOf(800, 600);
}

} // namespace
