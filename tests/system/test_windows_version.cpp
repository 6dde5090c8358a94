// The Windows version tests over the versions the program meets.
#include "sdk/system/windows_version.h"
#include "tests/support/sim_test.h"

namespace {

struct VersionCase {
    const char* name;
    DWORD major, minor, platformId;
    int legacy, me, vista;
};

class WindowsVersionTest : public SimTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WindowsVersionTest, Classifies) {
    const VersionCase& c = GetParam();
    m.version.major = c.major;
    m.version.minor = c.minor;
    m.version.platformId = c.platformId;
    EXPECT_EQ(IsLegacyWindows(), c.legacy);
    EXPECT_EQ(IsWindowsME(), c.me);
    EXPECT_EQ(IsVistaOrLater(), c.vista);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, WindowsVersionTest,
    ::testing::Values(VersionCase{"NT40", 4, 0, VER_PLATFORM_WIN32_NT, 1, 0, 0},
                      VersionCase{"Win95", 4, 0, VER_PLATFORM_WIN32_WINDOWS, 1, 0, 0},
                      VersionCase{"Win98", 4, 10, VER_PLATFORM_WIN32_WINDOWS, 1, 0, 0},
                      VersionCase{"WinME", 4, 90, VER_PLATFORM_WIN32_WINDOWS, 1, 1, 0},
                      VersionCase{"Win2000", 5, 0, VER_PLATFORM_WIN32_NT, 0, 0, 0},
                      VersionCase{"WinXP", 5, 1, VER_PLATFORM_WIN32_NT, 0, 0, 0},
                      VersionCase{"Vista", 6, 0, VER_PLATFORM_WIN32_NT, 0, 0, 1},
                      VersionCase{"Win81", 6, 3, VER_PLATFORM_WIN32_NT, 0, 0, 1},
                      VersionCase{"Win10", 10, 0, VER_PLATFORM_WIN32_NT, 0, 0, 1},
                      VersionCase{"HugeMajor", 0x80000000u, 0, VER_PLATFORM_WIN32_NT, 0, 0, 1}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

TEST_F(SimTest, VersionIsAskedAfreshEveryTime) {
    m.version.major = 4;
    EXPECT_EQ(IsLegacyWindows(), 1);
    m.version.major = 10;
    EXPECT_EQ(IsLegacyWindows(), 0);
}

}  // namespace
