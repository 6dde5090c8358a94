// The path and name decisions of the relaunch: which drive a path lies on, which names in
// the temporary folder are copies, and the copy's command line as the copy will parse it.
#include "app/command_line.h"
#include "app/relaunch_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct DriveCase {
    const char* path;
    char drive;
};

class DriveOf : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DriveOf, NamesTheLetterOfAnAbsolutePathOnly) {
    EXPECT_EQ(DriveOfPath(GetParam().path), GetParam().drive) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DriveOf,
    ::testing::Values(DriveCase{"E:\\korvanta.exe", 'E'}, DriveCase{"e:\\Tools\\k.exe", 'E'},
                      DriveCase{"Z:\\", 'Z'}, DriveCase{"E:korvanta.exe", 0}, DriveCase{"E:", 0},
                      DriveCase{"\\\\server\\share\\korvanta.exe", 0},
                      DriveCase{"\\\\?\\E:\\korvanta.exe", 0}, DriveCase{"\\\\.\\E:", 0},
                      DriveCase{"korvanta.exe", 0}, DriveCase{"1:\\x", 0}, DriveCase{"", 0},
                      DriveCase{"\xC4:\\x", 0}));

TEST(DriveOf, NoPathIsOnNoDrive) { EXPECT_EQ(DriveOfPath(NULL), 0); }

struct NameCase {
    const char* name;
    bool isCopy;
};

class CopyName : public ::testing::TestWithParam<NameCase> {};

TEST_P(CopyName, TakesOnlyTheCopiesNames) {
    EXPECT_EQ(IsCopyName(GetParam().name), GetParam().isCopy) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, CopyName,
    ::testing::Values(NameCase{"korvanta-copy-4200-0.exe", true},
                      NameCase{"KORVANTA-COPY-4200-0.EXE", true},
                      NameCase{"korvanta-copy-x.exe", true},
                      // Nothing between prefix and suffix, or the suffix cut off.
                      NameCase{"korvanta-copy-.exe", false}, NameCase{"korvanta-copy-1.ex", false},
                      // A search pattern's "*.exe" also finds longer extensions and short
                      // names; they are not copies.
                      NameCase{"korvanta-copy-1.exe1", false}, NameCase{"KORVAN~1.EXE", false},
                      NameCase{"korvanta.exe", false}, NameCase{"", false},
                      NameCase{"x-korvanta-copy-1.exe", false}));

TEST(CopyPath, IsTheFolderThePrefixTheIdTheAttemptAndTheSuffix) {
    char out[MAX_PATH];
    ASSERT_TRUE(CopyPathFor("C:\\Temp\\", 4200, 3, out, sizeof out));
    EXPECT_STREQ(out, "C:\\Temp\\korvanta-copy-4200-3.exe");
    EXPECT_TRUE(IsCopyName(out + std::strlen("C:\\Temp\\")));
}

TEST(CopyPath, ThatDoesNotFitIsRefusedAndLeftEmpty) {
    std::string folder = "C:\\" + std::string(MAX_PATH - 30, 'd') + "\\";
    char out[MAX_PATH];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(CopyPathFor(folder.c_str(), 0xFFFFFFFF, 7, out, sizeof out));
    EXPECT_STREQ(out, "");
    // Exactly full: the terminator still fits.
    std::string exact = "C:\\T\\";
    char small[40];
    size_t need = exact.size() + std::strlen("korvanta-copy-1-0.exe") + 1;
    ASSERT_LE(need, sizeof small);
    EXPECT_TRUE(CopyPathFor(exact.c_str(), 1, 0, small, need));
    EXPECT_FALSE(CopyPathFor(exact.c_str(), 1, 0, small, need - 1));
}

struct LineCase {
    const char* copyPath;
    ParsedCommand command;
    const char* line;
};

class CopyLine : public ::testing::TestWithParam<LineCase> {};

// The copy must find in its own command line the ejection the user asked for, whatever
// spaces its path holds, and the original's id.
TEST_P(CopyLine, IsParsedBackIntoTheSameEjection) {
    const LineCase& c = GetParam();
    char out[MAX_PATH + 64];
    ASSERT_TRUE(CopyCommandLine(c.copyPath, c.command, 4200, out, sizeof out));
    EXPECT_STREQ(out, c.line);
    ParsedCommand parsed = ParseCommandLine(out);
    EXPECT_EQ(parsed.form, c.command.form);
    EXPECT_EQ(parsed.driveLetter, c.command.driveLetter);
    EXPECT_EQ(parsed.waitSeconds, c.command.waitSeconds);
    EXPECT_EQ(parsed.relaunchedFrom, 4200u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CopyLine,
    ::testing::Values(
        LineCase{"C:\\Temp\\korvanta-copy-1.exe",
                 {CommandForm::EjectHighest, 0, 0, 0},
                 "\"C:\\Temp\\korvanta-copy-1.exe\" --relaunched-from=4200"},
        LineCase{"C:\\Documents and Settings\\alice\\Local Settings\\Temp\\korvanta-copy-1.exe",
                 {CommandForm::EjectLetter, 'G', 0, 0},
                 "\"C:\\Documents and Settings\\alice\\Local Settings\\Temp\\korvanta-copy-1.exe\" "
                 "G: --relaunched-from=4200"},
        // A folder that looks like a switch stays part of the quoted program name.
        LineCase{"C:\\--list E:\\korvanta-copy-1.exe",
                 {CommandForm::EjectLetter, 'E', 0, 0},
                 "\"C:\\--list E:\\korvanta-copy-1.exe\" E: --relaunched-from=4200"},
        LineCase{"C:\\T\\k.exe",
                 {CommandForm::EjectAll, 0, 0, 600},
                 "\"C:\\T\\k.exe\" --all --wait=600 --relaunched-from=4200"},
        LineCase{"C:\\T\\k.exe",
                 {CommandForm::EjectLetter, 'F', 0, 30},
                 "\"C:\\T\\k.exe\" F: --wait=30 --relaunched-from=4200"},
        LineCase{"C:\\T\\k.exe",
                 {CommandForm::EjectHighest, 0, 0, 1},
                 "\"C:\\T\\k.exe\" --wait=1 --relaunched-from=4200"}));

TEST(CopyLine, ThatDoesNotFitOrCannotBeQuotedIsRefused) {
    ParsedCommand highest = {CommandForm::EjectHighest, 0, 0, 0};
    char out[48];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(CopyCommandLine("C:\\Temp\\korvanta-copy-4200-0.exe", highest, 4294967295u, out,
                                 sizeof out));
    EXPECT_STREQ(out, "");
    char big[MAX_PATH];
    EXPECT_FALSE(CopyCommandLine("C:\\a\"b.exe", highest, 1, big, sizeof big));
    EXPECT_STREQ(big, "");
}

TEST(SamePath, IgnoresCaseOnly) {
    EXPECT_TRUE(SamePath("C:\\Temp\\K.exe", "c:\\temp\\k.EXE"));
    EXPECT_FALSE(SamePath("C:\\Temp\\K.exe", "C:\\Temp\\K.exe2"));
    EXPECT_FALSE(SamePath("C:\\Temp\\K.exe", "C:\\Tmp\\K.exe"));
}

}  // namespace
