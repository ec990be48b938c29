// Parsing of the configuration text shared by MIDLIB_SIM and midsim_Configure.
#include <string>

#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

using Config = SimTest;

int countLines(const std::string &text) {
    int lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

TEST_F(Config, DefaultsAreOneVariant12CameraOfType1) {
    for (const char *text : {static_cast<const char *>(nullptr), "", "   "}) {
        EXPECT_EQ(midsim_Configure(text), 0);
        reopen();
        EXPECT_EQ(count_, 1);
        EXPECT_EQ(read(0x00) >> 8, 0x84);
        EXPECT_NE(read(0xD7), 0x30);
        EXPECT_EQ(read(0xD9), 0);
        EXPECT_EQ(width(), 1280);
    }
}

TEST_F(Config, PerCameraListsAndSingleValues) {
    open("cameras=2 sensor=1,3 variant=48 addressmode=1 serial=1234567");
    ASSERT_EQ(count_, 2);
    EXPECT_EQ(read(0x00, 0) >> 8, 0x84);
    EXPECT_EQ(read(0x00, 1) >> 8, 0x16);
    EXPECT_EQ(width(1), 2048);
    EXPECT_EQ(height(1), 1536);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(read(0xD7, i), 0x30);
        EXPECT_EQ(read(0xD9, i), 3);
        EXPECT_EQ(read(0xCD, i), 123);
        EXPECT_EQ(read(0xCF, i), 4567);
    }
}

TEST_F(Config, ListLengthGivesTheCameraCountAndTheLastItemRepeats) {
    open("sensor=2,3");
    EXPECT_EQ(count_, 2);
    EXPECT_EQ(read(0x00, 0) >> 8, 0x85);
    EXPECT_EQ(width(0), 1600);

    open("cameras=3 sensor=1,2");
    ASSERT_EQ(count_, 3);
    EXPECT_EQ(read(0x00, 2) >> 8, 0x85);

    open("cameras=3 sensor=2");
    ASSERT_EQ(count_, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read(0x00, i) >> 8, 0x85);
    }
}

TEST_F(Config, TheLargestChipDefaultsToVariant48InAddressMode) {
    open("sensor=3,1");
    EXPECT_EQ(read(0xD7, 0), 0x30);
    EXPECT_EQ(read(0xD9, 0), 3);
    EXPECT_NE(read(0xD7, 1), 0x30);
    EXPECT_EQ(read(0xD9, 1), 0);
    open("sensor=3 variant=12 addressmode=0");
    EXPECT_NE(read(0xD7), 0x30);
    EXPECT_EQ(read(0xD9), 0);
}

TEST_F(Config, SerialNumbersDifferPerCameraByDefault) {
    open("cameras=2");
    const int first = read(0xCD, 0) * 10000 + read(0xCF, 0);
    const int second = read(0xCD, 1) * 10000 + read(0xCF, 1);
    EXPECT_GT(first, 0);
    EXPECT_NE(first, second);
    open("serial=0,655359999");
    EXPECT_EQ(read(0xCD, 0), 0);
    EXPECT_EQ(read(0xCF, 0), 0);
    EXPECT_EQ(read(0xCD, 1), 65535);
    EXPECT_EQ(read(0xCF, 1), 9999);
}

// Each bad entry costs one stderr line and leaves its key at the default.
TEST_F(Config, BadEntriesAreReportedOnceAndFallBackToDefaults) {
    const char *const bad[] = {"sensor=7",       "sensor=1,9",    "sensor=",
                               "variant=13",     "addressmode=2", "cameras=21",
                               "cameras=1,2",    "serial=-1",     "noise=x",
                               "noise=256",      "hotpixels=-3",  "pace=0",
                               "pace=fast",      "static=yes",    "unplug_after=a",
                               "fail=sometimes", "scene=plasma",  "scene=file:/no/such/file.bmp",
                               "bogus=1",        "novalue",       "=3"};
    for (const char *entry : bad) {
        testing::internal::CaptureStderr();
        const int problems = midsim_Configure(entry);
        const std::string output = testing::internal::GetCapturedStderr();
        EXPECT_EQ(problems, 1) << entry;
        EXPECT_EQ(countLines(output), 1) << entry << ": " << output;
        EXPECT_EQ(output.rfind("midlib-sim: ", 0), 0u) << output;
        reopen();
        EXPECT_EQ(count_, 1) << entry;
        EXPECT_EQ(width(), 1280) << entry;
        mi_CloseCameras();
    }
}

TEST_F(Config, MessagesNameTheKeyAndTheValue) {
    testing::internal::CaptureStderr();
    midsim_Configure("sensor=9 colour=blue");
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("\"9\" for sensor"), std::string::npos) << output;
    EXPECT_NE(output.find("unknown key \"colour\""), std::string::npos) << output;
}

TEST_F(Config, GoodKeysSurviveBadNeighbours) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(midsim_Configure("cameras=2 bogus=1 sensor=3 noise=300"), 2);
    testing::internal::GetCapturedStderr();
    reopen();
    EXPECT_EQ(count_, 2);
    EXPECT_EQ(width(1), 2048);
}

TEST_F(Config, QuotedFilePathsMayContainSpaces) {
    const std::string path = writeUniformBmp("quoted path", {0, 0, 200});
    open("scene=\"file:" + path + "\" static=1 pace=free");
    camera()->StartCamera(camera());
    write(0x35, 0x40);
    write(0x09, 0);
    const std::vector<std::uint8_t> raw = frame();
    EXPECT_EQ(raw[static_cast<std::size_t>(width())], 200) << "blue at row 1, column 0";
    EXPECT_EQ(raw[1], 0) << "no red";
}

TEST_F(Config, ConfigureClosesOpenRecordsAndClearsTheLog) {
    open("cameras=2");
    EXPECT_EQ(midsim_OpenRecords(), 2);
    EXPECT_GT(midsim_EventCount(), 0);
    EXPECT_EQ(midsim_Configure(""), 0);
    EXPECT_EQ(midsim_OpenRecords(), 0);
    EXPECT_EQ(midsim_EventCount(), 0);
}

} // namespace
} // namespace simtest
