// Libraries loaded by their full path in the system directory.
#include "sdk/system/system_library.h"
#include "tests/support/sim_test.h"

#include <cstring>

namespace {

// The full path (directory, backslash and name) that fills MAX_PATH with its terminator is
// loaded; one character more is refused, with nothing written past the path's buffer.
class SystemLibraryPath : public SimTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(SystemLibraryPath, FillsMaxPathAtMost) {
    const size_t chars = GetParam() - std::strlen("C:\\\\version.dll");
    m.process.systemDirectory = "C:\\" + std::string(chars, 's');
    HMODULE library = LoadSystemLibrary("version.dll");
    EXPECT_EQ(library != NULL, GetParam() < MAX_PATH);
    if (library != NULL) FreeLibrary(library);
    EXPECT_EQ(JournalLines("load").size(), GetParam() < MAX_PATH ? 1u : 0u);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(PathChars, SystemLibraryPath, ::testing::Values(MAX_PATH - 1, MAX_PATH));

}  // namespace
