// VEXALIB's module boundary: the export table of the built module (names,
// ordinals 1 to 26, no decorations, nothing else exported), lookups by name,
// by ordinal and through the import library agreeing, and one session that
// calls all 26 exports the way a host does.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "vexa_test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace vexatest;

namespace {

struct ExpectedExport {
    int ordinal;
    const char *name;
};
const ExpectedExport kExports[kVexaExportCount] = {
#define VEXA_EXPECTED(number, name, type) {number, #name},
    VEXA_EXPORT_LIST(VEXA_EXPECTED)
#undef VEXA_EXPECTED
};

TEST(VexaExports, EveryNameResolvesAndNoDecoratedOrInternalNameDoes) {
    const VexaModule &module = VexaModule::instance();
    ASSERT_TRUE(module.loaded()) << module.loadError();
    for (const ExpectedExport &e : kExports) {
        EXPECT_NE(module.symbol(e.name), nullptr) << e.name;
    }
    for (const char *absent : {"VexaSetGain@4", "_VexaSetGain@4", "_VexaSetGain", "VexaGetBitmap@16",
                               "_ZN4vexa12globalEngineEv", "_ZN12CameraEngine10InitializeEv"}) {
        EXPECT_EQ(module.symbol(absent), nullptr) << absent;
    }
    VexaApi api;
    EXPECT_TRUE(module.resolve(Lookup::kByName, api));
}

#if defined(_WIN32)

TEST(VexaExports, OrdinalsOneToTwentySixMatchTheNames) {
    const VexaModule &module = VexaModule::instance();
    ASSERT_TRUE(module.loaded()) << module.loadError();
    for (const ExpectedExport &e : kExports) {
        EXPECT_EQ(module.ordinal(e.ordinal), module.symbol(e.name)) << e.name << " @" << e.ordinal;
    }
    EXPECT_EQ(module.ordinal(27), nullptr);
}

// The export directory of this build's PE file (32-bit or 64-bit), read from the file itself.
struct PeExports {
    std::string moduleName;
    std::uint32_t base = 0;
    std::vector<std::uint32_t> functions; // RVAs, index = ordinal - base
    std::map<std::string, std::uint32_t> ordinalByName;
};

class PeReader {
public:
    explicit PeReader(const std::string &path) {
        std::ifstream file(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    std::uint32_t u32(std::size_t at) const { return at + 4 <= bytes.size() ? u16(at) | (u16(at + 2) << 16) : 0; }
    std::uint32_t u16(std::size_t at) const { return at + 2 <= bytes.size() ? bytes[at] | (bytes[at + 1] << 8) : 0; }
    std::string string(std::size_t at) const {
        std::string s;
        while (at < bytes.size() && bytes[at] != 0) {
            s += static_cast<char>(bytes[at++]);
        }
        return s;
    }
    // File offset of a relative virtual address, through the section table.
    std::size_t offsetOf(std::uint32_t rva) const {
        const std::size_t pe = u32(0x3C);
        const std::size_t sections = pe + 24 + u16(pe + 20);
        for (std::uint32_t i = 0; i < u16(pe + 6); ++i) {
            const std::size_t s = sections + 40 * i;
            const std::uint32_t start = u32(s + 12);
            if (rva >= start && rva < start + std::max(u32(s + 8), u32(s + 16))) {
                return rva - start + u32(s + 20);
            }
        }
        return bytes.size();
    }
    bool exports(PeExports &out) const {
        const std::size_t pe = u32(0x3C);
        // This build's kind of PE file: x86 with a PE32 optional header, or x64 with PE32+,
        // whose data directories start 16 bytes later.
        const bool pe64 = sizeof(void *) == 8;
        const std::uint32_t machine = pe64 ? 0x8664 : 0x14C, magic = pe64 ? 0x20B : 0x10B;
        if (bytes.size() < 0x40 || string(pe) != "PE" || u16(pe + 4) != machine || u16(pe + 24) != magic) {
            return false;
        }
        const std::size_t directory = offsetOf(u32(pe + 24 + (pe64 ? 112 : 96)));
        out.moduleName = string(offsetOf(u32(directory + 12)));
        out.base = u32(directory + 16);
        const std::size_t functions = offsetOf(u32(directory + 28));
        for (std::uint32_t i = 0; i < u32(directory + 20); ++i) {
            out.functions.push_back(u32(functions + 4 * i));
        }
        const std::size_t names = offsetOf(u32(directory + 32));
        const std::size_t ordinals = offsetOf(u32(directory + 36));
        for (std::uint32_t i = 0; i < u32(directory + 24); ++i) {
            out.ordinalByName[string(offsetOf(u32(names + 4 * i)))] = out.base + u16(ordinals + 2 * i);
        }
        return true;
    }

private:
    std::vector<std::uint8_t> bytes;
};

TEST(VexaExports, TheDllExportTableHoldsExactlyTheTwentySixPlainNames) {
    const VexaModule &module = VexaModule::instance();
    ASSERT_TRUE(module.loaded()) << module.loadError();
    PeExports table;
    ASSERT_TRUE(PeReader(module.path()).exports(table)) << module.path();
    EXPECT_EQ(table.moduleName, "VEXALIB.dll");
    EXPECT_EQ(table.base, 1u);
    EXPECT_EQ(table.functions.size(), 26u);
    EXPECT_EQ(table.ordinalByName.size(), 26u);
    const auto moduleBase = reinterpret_cast<std::uintptr_t>(GetModuleHandleA("VEXALIB.dll"));
    std::set<std::uint32_t> distinct;
    for (const ExpectedExport &e : kExports) {
        ASSERT_EQ(table.ordinalByName.count(e.name), 1u) << e.name;
        EXPECT_EQ(table.ordinalByName[e.name], std::uint32_t(e.ordinal)) << e.name;
        const std::uint32_t rva = table.functions.at(e.ordinal - 1);
        EXPECT_EQ(moduleBase + rva, reinterpret_cast<std::uintptr_t>(module.symbol(e.name))) << e.name;
        distinct.insert(rva);
    }
    EXPECT_EQ(distinct.size(), 26u);
    for (const auto &[name, ordinal] : table.ordinalByName) {
        EXPECT_EQ(name.find('@'), std::string::npos) << name;
        EXPECT_NE(name[0], '_') << name;
    }
}

// Linked through libVEXALIB.dll.a (made by dlltool): the stdcall calls of a
// host that includes vexalib.h reach the same functions.
TEST(VexaExports, TheImportLibraryLinksStdcallCallers) {
    const VexaModule &module = VexaModule::instance();
    ASSERT_TRUE(module.loaded()) << module.loadError();
    EXPECT_EQ(reinterpret_cast<void *>(&VexaSetGain), module.symbol("VexaSetGain"));
    EXPECT_EQ(reinterpret_cast<void *>(&VexaGetBitmap), module.ordinal(5));
    EXPECT_EQ(VexaSetGain(-130), 1);
    int32_t gain = 0;
    EXPECT_EQ(Vexa().VexaGetGain(&gain), 1);
    EXPECT_EQ(gain, 30);
    VexaSetGain(25);
}

#endif

// One host session calling all 26 exports, looked up by name and (on
// Windows) by ordinal.
class EveryExportTest : public VexaTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(EveryExportTest, OneSessionCallsAllTwentySix) {
    VexaApi api;
    ASSERT_TRUE(VexaModule::instance().resolve(GetParam(), api));
    Configure("pace=free sensor=2 serial=3141592");
    int32_t value = 0;
    std::uint8_t flag = 0;
    EXPECT_EQ(api.VexaSetCameraNumber(1), 1);
    EXPECT_EQ(api.VexaGetCameraNumber(&value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(api.VexaSetSensorType(), 1);
    EXPECT_EQ(api.VexaSetCaptureResolution(kModeHalf), 1);
    EXPECT_EQ(api.VexaGetCaptureResolution(&value), 1);
    EXPECT_EQ(value, kModeHalf);
    EXPECT_EQ(api.VexaSetRegion(16, 16, 320, 240), 1);
    EXPECT_EQ(api.VexaSetGain(-130), 1);
    EXPECT_EQ(api.VexaGetGain(&value), 1);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(api.VexaSetFlipHorizontal(1), 1);
    EXPECT_EQ(api.VexaGetFlipHorizontal(&flag), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(api.VexaSetFlipVertical(0), 1);
    EXPECT_EQ(api.VexaGetFlipVertical(&flag), 1);
    EXPECT_EQ(flag, 0);

    ASSERT_EQ(api.VexaInitialize(), 1);
    EXPECT_EQ(LastFrameFormat(), std::make_pair(800, 600));
    EXPECT_EQ(api.VexaSetShutterDelay(300), 1);
    EXPECT_EQ(api.VexaGetShutterDelay(&value), 1);
    EXPECT_EQ(value, 300);
    EXPECT_EQ(api.VexaSetShutterWidth(20000), 1);
    EXPECT_EQ(api.VexaGetShutterWidth(&value), 1);
    EXPECT_EQ(value, 15000);
    EXPECT_EQ(api.VexaSetRegVal(0x2B, 0x77), 1);
    EXPECT_EQ(api.VexaGetRegVal(0x2B, &value), 1);
    EXPECT_EQ(value, 0x77);
    EXPECT_EQ(api.VexaGetRegVal(0x00, &value), 1);
    EXPECT_EQ(value >> 8, 0x85); // the 1600 x 1200 chip
    EXPECT_EQ(api.VexaGetCamSN(&value), 1);
    EXPECT_EQ(value, 3141592);

    std::vector<std::uint8_t> buffer(800 * 600 * 4);
    EXPECT_EQ(api.VexaGetSingleBitmap(buffer.data(), 0, VEXA_FORMAT_RAW, 3), 1);
    ASSERT_EQ(api.VexaStart(), 1);
    EXPECT_EQ(api.VexaGetBitmap(buffer.data(), 0, VEXA_FORMAT_COLOUR, 5000), 1);
    const std::string still = ::testing::TempDir() + "vexa-every-export.bmp";
    std::remove(still.c_str());
    EXPECT_EQ(api.VexaCaptureStillImage(still.c_str()), 1);
    std::ifstream file(still, std::ios::binary | std::ios::ate);
    EXPECT_EQ(static_cast<long long>(file.tellg()), 54LL + 800 * 3 * 600);
    file.close();
    std::remove(still.c_str());
    EXPECT_EQ(api.VexaStop(), 1);
    EXPECT_EQ(api.VexaUnload(), 1);
    EXPECT_EQ(midsim_OpenRecords(), 0);
}

#if defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(Lookups, EveryExportTest, ::testing::Values(Lookup::kByName, Lookup::kByOrdinal));
#else
INSTANTIATE_TEST_SUITE_P(Lookups, EveryExportTest, ::testing::Values(Lookup::kByName));
#endif

} // namespace
