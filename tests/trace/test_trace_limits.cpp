// The trace switch at the size of a DWORD: only four bytes of REG_DWORD turn it on.
#include "sdk/trace/debug_trace.h"
#include "tests/support/sim_test.h"

#include <ostream>
#include <vector>

namespace {

struct SwitchCase {
    const char* name;
    std::vector<BYTE> data;
    DWORD on;
};
void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class TraceSwitchSize : public SimTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(TraceSwitchSize, NonzeroDwordOfFourBytesOnly) {
    m.registry.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZUDUZA", "ShowDebugMsg", REG_DWORD,
                      GetParam().data);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_SUCCESS);
    EXPECT_EQ(DebugSwitchOn, GetParam().on);
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TraceSwitchSize,
    ::testing::Values(SwitchCase{"four_bytes", {1, 0, 0, 0}, 1},
                      SwitchCase{"three_bytes", {1, 0, 0}, 0}, SwitchCase{"two_bytes", {1, 0}, 0},
                      SwitchCase{"one_byte", {1}, 0}, SwitchCase{"empty", {}, 0}),
    [](const ::testing::TestParamInfo<SwitchCase>& i) { return std::string(i.param.name); });

}  // namespace
