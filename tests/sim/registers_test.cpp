// The simulated sensor's register file: power-on values, storage, reset,
// bus addressing and injected register failures.
#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

using Registers = SimTest;

struct PowerOn {
    int sensor;
    int chipHigh;
    int width;
    int height;
};

TEST_F(Registers, PowerOnValuesDescribeTheFullWindow) {
    for (const PowerOn &p :
         {PowerOn{1, 0x84, 1280, 1024}, PowerOn{2, 0x85, 1600, 1200}, PowerOn{3, 0x16, 2048, 1536}}) {
        SCOPED_TRACE(p.sensor);
        open("sensor=" + std::to_string(p.sensor));
        EXPECT_EQ(read(0x00) >> 8, p.chipHigh);
        EXPECT_EQ(read(0x01), 0x0C);
        EXPECT_EQ(read(0x02), 0x14);
        EXPECT_EQ(read(0x03), p.height - 1);
        EXPECT_EQ(read(0x04), p.width - 1);
        EXPECT_GT(read(0x05), 0);
        EXPECT_GT(read(0x06), 0);
        EXPECT_GT(read(0x09), 0);
        EXPECT_EQ(read(0x0C), 0);
        EXPECT_EQ(read(0x0D), 0);
        EXPECT_EQ(read(0x1E), 0x8000);
        EXPECT_EQ(read(0x20), 0x1104);
        EXPECT_EQ(read(0x22), 0);
        EXPECT_EQ(read(0x23), 0);
        EXPECT_EQ(read(0x0A), 0);
        EXPECT_EQ(read(0x35), 0x40);
    }
}

TEST_F(Registers, VariantAndAddressModeRegisters) {
    open("cameras=4 variant=12,48,12,48 addressmode=0,0,1,1");
    EXPECT_NE(read(0xD7, 0), 0x30);
    EXPECT_EQ(read(0xD7, 1), 0x30);
    EXPECT_EQ(read(0xD9, 1), 0);
    EXPECT_EQ(read(0xD9, 2), 3);
    EXPECT_EQ(read(0xD7, 3), 0x30);
    EXPECT_EQ(read(0xD9, 3), 3);
}

TEST_F(Registers, WritesAreStoredAndReadBackAnywhere) {
    open("");
    for (int reg : {0x01, 0x09, 0x0C, 0x20, 0x35, 0x77, 0xFF}) {
        write(reg, 0x1000 + reg);
        EXPECT_EQ(read(reg), 0x1000 + reg) << reg;
    }
}

TEST_F(Registers, ChipVersionIsReadOnly) {
    open("");
    write(0x00, 0x1234);
    EXPECT_EQ(read(0x00), 0x8411);
    midsim_PokeRegister(0, 0x00, 0x1234);
    EXPECT_EQ(read(0x00), 0x1234) << "the control API may change anything";
}

TEST_F(Registers, ResetPulseRestoresPowerOnSettingsButNotIdentity) {
    open("serial=4242");
    write(0x01, 0x30);
    write(0x35, 0x60);
    write(0x09, 2000);
    write(0x0D, 1);
    write(0x0D, 0);
    EXPECT_EQ(read(0x01), 0x0C);
    EXPECT_EQ(read(0x35), 0x40);
    EXPECT_NE(read(0x09), 2000);
    EXPECT_EQ(read(0xCF), 4242);
    EXPECT_EQ(read(0x00), 0x8411);
}

TEST_F(Registers, OtherBusAddressesDoNotAnswer) {
    open("");
    std::uint16_t value = 0x5555;
    EXPECT_NE(camera()->GetSensorRegister(camera(), 0x48, 0x35, &value), kMiSuccess);
    EXPECT_EQ(value, 0x5555);
    EXPECT_NE(camera()->SetSensorRegister(camera(), 0x48, 0x35, 0x60), kMiSuccess);
    EXPECT_EQ(read(0x35), 0x40);
    EXPECT_NE(camera()->GetSensorRegister(camera(), kBus, 0x35, nullptr), kMiSuccess);
}

TEST_F(Registers, InjectedReadFailures) {
    open("cameras=2");
    midsim_FailRegisterReads(0, 0x35, 1);
    std::uint16_t value = 0x5555;
    EXPECT_NE(camera()->GetSensorRegister(camera(), kBus, 0x35, &value), kMiSuccess);
    EXPECT_EQ(value, 0x5555);
    EXPECT_GT(read(0x09), 0);
    EXPECT_EQ(read(0x35, 1), 0x40) << "faults are per camera";

    midsim_FailRegisterReads(0, -1, 1);
    EXPECT_NE(camera()->GetSensorRegister(camera(), kBus, 0x00, &value), kMiSuccess);
    EXPECT_EQ(midsim_PeekRegister(0, 0x00), 0x8411) << "peeking bypasses faults";
    midsim_FailRegisterReads(0, -1, 0);
    EXPECT_EQ(read(0x35), 0x40);

    const std::vector<MidsimEvent> log = events();
    int failedReads = 0;
    for (const MidsimEvent &event : log) {
        failedReads += event.kind == MIDSIM_READ && event.status != 0 ? 1 : 0;
    }
    EXPECT_EQ(failedReads, 2);
}

TEST_F(Registers, InjectedWriteFailuresLeaveTheRegister) {
    open("");
    midsim_FailRegisterWrites(0, 0x09, 1);
    EXPECT_NE(camera()->SetSensorRegister(camera(), kBus, 0x09, 77), kMiSuccess);
    EXPECT_NE(read(0x09), 77);
    write(0x35, 0x50);
    midsim_FailRegisterWrites(0, -1, 1);
    EXPECT_NE(camera()->SetSensorRegister(camera(), kBus, 0x35, 0x60), kMiSuccess);
    EXPECT_EQ(read(0x35), 0x50);
    midsim_FailRegisterWrites(0, 0x09, 0);
    EXPECT_NE(camera()->SetSensorRegister(camera(), kBus, 0x09, 77), kMiSuccess) << "all still fail";
    midsim_FailRegisterWrites(0, -1, 0);
    write(0x09, 77);
    EXPECT_EQ(read(0x09), 77);
}

TEST_F(Registers, FaultsSetBeforeOpenApplyAndConfigureClearsThem) {
    ASSERT_EQ(midsim_Configure(""), 0);
    midsim_FailRegisterReads(0, 0x00, 1);
    reopen();
    std::uint16_t value = 0;
    EXPECT_NE(camera()->GetSensorRegister(camera(), kBus, 0x00, &value), kMiSuccess);
    mi_CloseCameras();
    reopen();
    EXPECT_NE(camera()->GetSensorRegister(camera(), kBus, 0x00, &value), kMiSuccess) << "faults outlive a close";
    open("");
    EXPECT_EQ(read(0x00), 0x8411);
}

TEST_F(Registers, PeekAndPokeBypassTheLog) {
    open("");
    midsim_ClearLog();
    midsim_PokeRegister(0, 0x35, 0x66);
    EXPECT_EQ(midsim_PeekRegister(0, 0x35), 0x66);
    EXPECT_EQ(midsim_EventCount(), 0);
    EXPECT_EQ(midsim_PeekRegister(1, 0x35), -1);
    EXPECT_EQ(midsim_PeekRegister(0, 256), -1);
    mi_CloseCameras();
    EXPECT_EQ(midsim_PeekRegister(0, 0x35), -1);
}

} // namespace
} // namespace simtest
