// The library reads MIDLIB_SIM itself at first use (ctest sets it for this
// program): "cameras=2 sensor=2,3 pace=free bogus=1".
#include <string>

#include "tests/sim/sim_test_support.h"

namespace simtest {
namespace {

TEST(Environment, ConfiguresTheLibraryAtFirstUse) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(midsim_OpenRecords(), 0);
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("unknown key \"bogus\""), std::string::npos) << output;

    CameraRecord *cameras[kMiMaxCameras] = {};
    std::uint16_t count = 0;
    ASSERT_EQ(mi_OpenCameras(cameras, &count, "path"), kMiSuccess);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(cameras[0]->sensor->rawWidth, 1600);
    EXPECT_EQ(cameras[1]->sensor->rawWidth, 2048);
    mi_CloseCameras();

    EXPECT_EQ(midsim_Configure(nullptr), 0);
    ASSERT_EQ(mi_OpenCameras(cameras, &count, "path"), kMiSuccess);
    EXPECT_EQ(count, 1) << "Configure replaces the environment's settings";
    mi_CloseCameras();
}

} // namespace
} // namespace simtest
