// The records the simulated library hands out, their lifecycle, the
// contract's status codes and the call log.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

using Records = SimTest;

// Reads a member of the record at its byte offset, as the vendor's consumers do.
template <typename T> T atOffset(const void *record, std::size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char *>(record) + offset, sizeof value);
    return value;
}

TEST_F(Records, OpenListsOneRecordPerCameraWithItsFullWindow) {
    ASSERT_EQ(midsim_Configure("cameras=3 sensor=1,2,3"), 0);
    CameraRecord *array[kMiMaxCameras];
    for (auto &entry : array) {
        entry = reinterpret_cast<CameraRecord *>(&array); // anything but null
    }
    std::uint16_t count = 0;
    ASSERT_EQ(mi_OpenCameras(array, &count, "C:\\windows\\system32\\MI-1300-ES0.sdat"), kMiSuccess);
    ASSERT_EQ(count, 3);
    const int sizes[3][2] = {{1280, 1024}, {1600, 1200}, {2048, 1536}};
    for (int i = 0; i < 3; ++i) {
        const CameraRecord *record = array[i];
        ASSERT_NE(record, nullptr);
        ASSERT_NE(record->sensor, nullptr);
        EXPECT_EQ(record->sensor->rawWidth, sizes[i][0]);
        EXPECT_EQ(record->sensor->rawHeight, sizes[i][1]);
        EXPECT_EQ(record->sensor->frameBufferSize, static_cast<std::uint32_t>(sizes[i][0] * sizes[i][1]));
        EXPECT_EQ(record->sensor->busAddress, kBus);
        EXPECT_TRUE(record->StartCamera && record->StopCamera && record->GetSensorRegister &&
                    record->SetSensorRegister && record->AcquireFrame && record->SetFrameFormat);
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(array[j], record);
            EXPECT_NE(array[j]->sensor, record->sensor);
        }
    }
    for (int i = 3; i < kMiMaxCameras; ++i) {
        EXPECT_EQ(array[i], nullptr) << i;
    }
    EXPECT_EQ(midsim_OpenRecords(), 3);
    EXPECT_EQ(mi_CloseCameras(), kMiSuccess);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(Records, MembersSitAtTheirByteOffsets) {
    open("");
    const CameraRecord *record = camera();
    EXPECT_EQ(atOffset<SensorRecord *>(record, offsetof(CameraRecord, sensor)), record->sensor);
    EXPECT_EQ(atOffset<MiAcquireFrame>(record, offsetof(CameraRecord, AcquireFrame)), record->AcquireFrame);
    EXPECT_EQ(atOffset<std::int32_t>(record->sensor, offsetof(SensorRecord, rawWidth)), 1280);
    EXPECT_EQ(atOffset<std::uint8_t>(record->sensor, offsetof(SensorRecord, busAddress)), kBus);
#if defined(_WIN32) && !defined(_WIN64)
    // The vendor's 32-bit layout, byte for byte.
    EXPECT_EQ(atOffset<SensorRecord *>(record, 0x19C), record->sensor);
    EXPECT_EQ(atOffset<MiStartCamera>(record, 0x256448), record->StartCamera);
    EXPECT_EQ(atOffset<MiStopCamera>(record, 0x25644C), record->StopCamera);
    EXPECT_EQ(atOffset<MiGetSensorRegister>(record, 0x256450), record->GetSensorRegister);
    EXPECT_EQ(atOffset<MiSetSensorRegister>(record, 0x256454), record->SetSensorRegister);
    EXPECT_EQ(atOffset<MiAcquireFrame>(record, 0x256460), record->AcquireFrame);
    EXPECT_EQ(atOffset<MiSetFrameFormat>(record, 0x256468), record->SetFrameFormat);
    EXPECT_EQ(atOffset<std::int32_t>(record->sensor, 0xD4), 1280);
    EXPECT_EQ(atOffset<std::int32_t>(record->sensor, 0xD8), 1024);
    EXPECT_EQ(atOffset<std::uint32_t>(record->sensor, 0xE8), 1280u * 1024u);
    EXPECT_EQ(atOffset<std::uint8_t>(record->sensor, 0xF0), kBus);
#endif
}

TEST_F(Records, ReopeningWithoutCloseKeepsTheSameLiveRecords) {
    open("cameras=2");
    CameraRecord *first = camera(0);
    CameraRecord *second = camera(1);
    write(0x35, 0x55);
    reopen();
    EXPECT_EQ(count_, 2);
    EXPECT_EQ(camera(0), first);
    EXPECT_EQ(camera(1), second);
    EXPECT_EQ(midsim_OpenRecords(), 2);
    EXPECT_EQ(read(0x35), 0x55) << "a second open must not power-cycle the sensor";

    mi_CloseCameras();
    EXPECT_EQ(midsim_OpenRecords(), 0);
    reopen();
    EXPECT_EQ(midsim_OpenRecords(), 2);
    EXPECT_EQ(read(0x35), 0x40) << "a fresh open powers the sensor on";
    mi_CloseCameras();
    EXPECT_EQ(mi_CloseCameras(), kMiSuccess) << "closing twice is harmless";
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

TEST_F(Records, OpenFailureAndMissingCamera) {
    CameraRecord *array[kMiMaxCameras] = {};
    std::uint16_t count = 7;
    ASSERT_EQ(midsim_Configure("fail=open"), 0);
    EXPECT_NE(mi_OpenCameras(array, &count, "x"), kMiSuccess);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    midsim_SetOpenFailure(0);
    EXPECT_EQ(mi_OpenCameras(array, &count, "x"), kMiSuccess);
    EXPECT_EQ(count, 1);

    ASSERT_EQ(midsim_Configure("fail=nocamera"), 0);
    count = 7;
    EXPECT_EQ(mi_OpenCameras(array, &count, "x"), kMiSuccess);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(array[0], nullptr);
    midsim_SetNoCamera(0);
    EXPECT_EQ(mi_OpenCameras(array, &count, "x"), kMiSuccess);
    EXPECT_EQ(count, 1);

    ASSERT_EQ(midsim_Configure("cameras=0"), 0);
    EXPECT_EQ(mi_OpenCameras(array, &count, "x"), kMiSuccess);
    EXPECT_EQ(count, 0);

    EXPECT_NE(mi_OpenCameras(nullptr, &count, "x"), kMiSuccess);
    EXPECT_NE(mi_OpenCameras(array, nullptr, "x"), kMiSuccess);
}

TEST_F(Records, ForeignRecordsAreRefused) {
    open("pace=free");
    auto foreign = std::make_unique<CameraRecord>();
    CameraRecord *real = camera();
    std::uint16_t value = 0x1234;
    std::uint8_t buffer[16] = {};
    EXPECT_NE(real->StartCamera(foreign.get()), kMiSuccess);
    EXPECT_NE(real->GetSensorRegister(foreign.get(), kBus, 0, &value), kMiSuccess);
    EXPECT_EQ(value, 0x1234);
    EXPECT_NE(real->SetSensorRegister(foreign.get(), kBus, 0x35, 0x50), kMiSuccess);
    EXPECT_NE(real->SetFrameFormat(foreign.get(), 4, 4, 8, 0), kMiSuccess);
    EXPECT_EQ(real->AcquireFrame(foreign.get(), buffer, sizeof buffer), kMiCameraGone);
    EXPECT_EQ(read(0x35), 0x40);
}

TEST_F(Records, SensorDataPathIsKeptUpToTheContractLength) {
    open("");
    const std::string given = "C:\\windows\\system32\\MI-1300-ES0.sdat";
    char path[300] = {};
    EXPECT_EQ(midsim_LastSensorDataPath(path, sizeof path), static_cast<int>(given.size()));
    EXPECT_EQ(path, given);
    char shortCopy[8];
    EXPECT_EQ(midsim_LastSensorDataPath(shortCopy, sizeof shortCopy), static_cast<int>(given.size()));
    EXPECT_STREQ(shortCopy, "C:\\wind");

    const std::string longPath(400, 'p');
    std::uint16_t count = 0;
    ASSERT_EQ(mi_OpenCameras(cameras_, &count, longPath.c_str()), kMiSuccess);
    EXPECT_EQ(midsim_LastSensorDataPath(nullptr, 0), kMiMaxPath);
}

TEST_F(Records, StartAndStopToggleTheStartedFlag) {
    open("cameras=2");
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    camera(0)->StartCamera(camera(0));
    EXPECT_EQ(midsim_CameraStarted(0), 1);
    EXPECT_EQ(midsim_CameraStarted(1), 0);
    camera(0)->StopCamera(camera(0));
    EXPECT_EQ(midsim_CameraStarted(0), 0);
    EXPECT_EQ(midsim_CameraStarted(5), 0);
}

TEST_F(Records, LogListsEveryCallInOrder) {
    ASSERT_EQ(midsim_Configure("pace=free"), 0);
    midsim_LogAcquires(1);
    std::uint16_t count = 0;
    ASSERT_EQ(mi_OpenCameras(cameras_, &count, "path"), kMiSuccess);
    CameraRecord *c = camera();
    c->StartCamera(c);
    std::uint16_t value = 0;
    c->GetSensorRegister(c, kBus, 0x00, &value);
    c->SetSensorRegister(c, kBus, 0x35, 0x4B);
    c->GetSensorRegister(c, 0x90, 0x35, &value);
    c->SetFrameFormat(c, 640, 512, 8, 0);
    std::vector<std::uint8_t> buffer(640 * 512);
    c->AcquireFrame(c, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    c->StopCamera(c);
    mi_CloseCameras();

    const std::vector<MidsimEvent> log = events();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0].kind, MIDSIM_OPEN);
    EXPECT_EQ(log[0].camera, -1);
    EXPECT_EQ(log[0].value, 1);
    EXPECT_EQ(log[1].kind, MIDSIM_START);
    EXPECT_EQ(log[1].camera, 0);
    EXPECT_EQ(log[2].kind, MIDSIM_READ);
    EXPECT_EQ(log[2].reg, 0x00);
    EXPECT_EQ(log[2].value, 0x8411);
    EXPECT_EQ(log[2].busAddress, kBus);
    EXPECT_EQ(log[2].status, 0);
    EXPECT_EQ(log[3].kind, MIDSIM_WRITE);
    EXPECT_EQ(log[3].reg, 0x35);
    EXPECT_EQ(log[3].value, 0x4B);
    EXPECT_EQ(log[4].kind, MIDSIM_READ);
    EXPECT_EQ(log[4].busAddress, 0x90);
    EXPECT_NE(log[4].status, 0) << "nothing answers at another bus address";
    EXPECT_EQ(log[5].kind, MIDSIM_FORMAT);
    EXPECT_EQ(log[5].width, 640);
    EXPECT_EQ(log[5].height, 512);
    EXPECT_EQ(log[6].kind, MIDSIM_ACQUIRE);
    EXPECT_EQ(log[6].status, 0);
    EXPECT_EQ(log[7].kind, MIDSIM_STOP);
    EXPECT_EQ(log[8].kind, MIDSIM_CLOSE);

    MidsimEvent event{};
    EXPECT_EQ(midsim_GetEvent(9, &event), 0);
    EXPECT_EQ(midsim_GetEvent(-1, &event), 0);
    midsim_ClearLog();
    EXPECT_EQ(midsim_EventCount(), 0);
}

TEST_F(Records, AcquiresAreLoggedOnlyWhenAsked) {
    openStarted("pace=free");
    setFormat(8, 8);
    midsim_ClearLog();
    frame();
    EXPECT_EQ(midsim_EventCount(), 0);
    midsim_LogAcquires(1);
    frame();
    EXPECT_EQ(midsim_EventCount(), 1);
}

} // namespace
} // namespace simtest
