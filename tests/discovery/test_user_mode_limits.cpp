// User-mode enumeration at the edge of its path field: a device path that fills the field
// with its terminator is recorded, one byte longer is left out.
#include "sdk/discovery/user_mode.h"
#include "tests/support/sim_test.h"

#include <cstring>
#include <ostream>

namespace {

struct PathCase {
    const char* name;
    size_t length;  // device path bytes, terminator not counted
    bool found;
};
void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class UserModePathLimit : public SimTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(UserModePathLimit, PathFieldHoldsItsSizeLessTheTerminator) {
    sim::AddUsbFlashDrive(m, 'E', 2);
    std::string& path = m.interfaces[0].devicePath;
    ASSERT_LT(path.size(), GetParam().length);
    path.insert(path.find('#', 4), GetParam().length - path.size(), 'x');
    ASSERT_EQ(path.size(), GetParam().length);

    char letters[kMaxUserModeLetters + 1];
    std::memset(letters, '#', sizeof letters);
    int count = -1;
    EXPECT_EQ(GetUserModeDiskLetters(letters, &count), 1);
    if (GetParam().found) {
        ASSERT_EQ(count, 1);
        EXPECT_EQ(letters[0], 'E');
    } else {
        EXPECT_EQ(count, 0);
    }
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Edge, UserModePathLimit,
    ::testing::Values(PathCase{"one_short_of_the_field", kInterfacePathChars - 2, true},
                      PathCase{"fills_the_field", kInterfacePathChars - 1, true},
                      PathCase{"one_past_the_field", kInterfacePathChars, false}),
    [](const ::testing::TestParamInfo<PathCase>& i) { return std::string(i.param.name); });

}  // namespace
