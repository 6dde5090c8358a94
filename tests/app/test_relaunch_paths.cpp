// The path and name decisions of the relaunch: which names in the temporary folder are
// copies, and the copy's command line as the copy will parse it.
#include "app/command_line.h"
#include "app/relaunch_paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(CopyName, TakesOnlyTheCopiesNames) {
    for (const char16_t* name : {u"korvanta-copy-4200-0.exe", u"KORVANTA-COPY-4294967295-12.EXE"})
        EXPECT_TRUE(IsCopyName(name));
    // A user's own files that the search pattern also finds, longer extensions, short names.
    const char16_t* const others[] = {u"korvanta-copy-backup.exe",
                                      u"korvanta-copy-12-x.exe",
                                      u"korvanta-copy-12.exe",
                                      u"korvanta-copy-12-3-4.exe",
                                      u"korvanta-copy--3.exe",
                                      u"korvanta-copy-\u0661-0.exe",
                                      u"korvanta-copy-1-0.exe1",
                                      u"korvanta-copy-1-0.ex",
                                      u"KORVAN~1.EXE",
                                      u"",
                                      u"x-korvanta-copy-1-0.exe",
                                      u"korvanta-copy-12345678901-0.exe"};
    for (size_t k = 0; k < sizeof others / sizeof others[0]; ++k)
        EXPECT_FALSE(IsCopyName(others[k])) << k;
}

TEST(CopyPath, IsTheFolderThePrefixTheIdTheAttemptAndTheSuffix) {
    WCHAR out[MAX_PATH];
    const std::u16string folder = u"C:\\Users\\\u0414\u043C\u0438\u0442\u0440\u0438\u0439\\";
    ASSERT_TRUE(CopyPathFor(folder.c_str(), 4200, 3, out, MAX_PATH));
    EXPECT_EQ(std::u16string(out), folder + u"korvanta-copy-4200-3.exe");
    EXPECT_TRUE(IsCopyName(out + folder.size()));
}

TEST(CopyPath, ThatDoesNotFitIsRefusedAndLeftEmpty) {
    std::u16string folder = Wide("C:\\" + std::string(MAX_PATH - 30, 'd') + "\\");
    WCHAR out[MAX_PATH];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(CopyPathFor(folder.c_str(), 0xFFFFFFFF, 7, out, MAX_PATH));
    EXPECT_EQ(out[0], 0);
    // Exactly full: the terminator still fits.
    std::u16string exact = u"C:\\T\\";
    WCHAR small[40];
    size_t need = exact.size() + std::strlen("korvanta-copy-1-0.exe") + 1;
    ASSERT_LE(need, sizeof small / sizeof small[0]);
    EXPECT_TRUE(CopyPathFor(exact.c_str(), 1, 0, small, need));
    EXPECT_FALSE(CopyPathFor(exact.c_str(), 1, 0, small, need - 1));
}

struct LineCase {
    const char16_t* copyPath;
    const char16_t* target;  // null: the highest letter
    DWORD waitSeconds;
    const char16_t* line;
    CommandForm form;  // as the copy parses its line
    char driveLetter;
};

class CopyLine : public ::testing::TestWithParam<LineCase> {};

// The copy must find in its own command line the ejection the user asked for, whatever
// its path holds, and the original's id.
TEST_P(CopyLine, IsParsedBackIntoTheSameEjection) {
    const LineCase& c = GetParam();
    WCHAR out[MAX_PATH + 64];
    ASSERT_TRUE(CopyCommandLine(c.copyPath, &c.target, c.target ? 1 : 0, c.waitSeconds, 4200, out,
                                MAX_PATH + 64));
    EXPECT_EQ(std::u16string(out), c.line);
    ParsedCommand parsed = ParseCommandLine(out);
    EXPECT_EQ(parsed.form, c.form);
    bool targets = c.form == CommandForm::EjectTargets;
    EXPECT_EQ(targets ? parsed.target[0].letter : parsed.driveLetter, c.driveLetter);
    if (targets) {
        EXPECT_EQ(std::u16string(parsed.target[0].text), c.target);
    }
    EXPECT_EQ(parsed.waitSeconds, c.waitSeconds);
    EXPECT_EQ(parsed.relaunchedFrom, 4200u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CopyLine,
    ::testing::Values(
        LineCase{u"C:\\Temp\\korvanta-copy-1-0.exe", nullptr, 0,
                 u"\"C:\\Temp\\korvanta-copy-1-0.exe\" --relaunched-from=4200",
                 CommandForm::EjectHighest, 0},
        LineCase{u"C:\\Documents and Settings\\\u0430\u043D\u044F\\Temp\\k.exe", u"G:", 0,
                 u"\"C:\\Documents and Settings\\\u0430\u043D\u044F\\Temp\\k.exe\" G: "
                 u"--relaunched-from=4200",
                 CommandForm::EjectTargets, 'G'},
        // A folder that looks like a switch stays part of the quoted program name.
        LineCase{u"C:\\--list E:\\k.exe", u"E:", 0,
                 u"\"C:\\--list E:\\k.exe\" E: --relaunched-from=4200", CommandForm::EjectTargets,
                 'E'},
        LineCase{u"C:\\T\\k.exe", u"--all", 600,
                 u"\"C:\\T\\k.exe\" --all --wait=600 --relaunched-from=4200", CommandForm::EjectAll,
                 0},
        LineCase{u"C:\\T\\k.exe", nullptr, 1, u"\"C:\\T\\k.exe\" --wait=1 --relaunched-from=4200",
                 CommandForm::EjectHighest, 0},
        // A name with blanks, quotes (one before a blank) and a closing backslash stays one
        // argument, as typed.
        LineCase{u"C:\\T\\k.exe", u"MY \"STICK\" \\", 0,
                 u"\"C:\\T\\k.exe\" \"MY \"\\\"\"STICK\"\\\"\" \\\\\" --relaunched-from=4200",
                 CommandForm::EjectTargets, 0}));

TEST(CopyLine, ThatDoesNotFitOrCannotBeQuotedIsRefused) {
    WCHAR out[48];
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(CopyCommandLine(u"C:\\Temp\\korvanta-copy-4200-0.exe", nullptr, 0, 0, 4294967295u,
                                 out, 48));
    EXPECT_EQ(out[0], 0);
    WCHAR big[MAX_PATH];
    EXPECT_FALSE(CopyCommandLine(u"C:\\a\"b.exe", nullptr, 0, 0, 1, big, MAX_PATH));
    EXPECT_EQ(big[0], 0);
}

TEST(SamePath, IgnoresCaseOnly) {
    EXPECT_TRUE(SamePath(u"C:\\Temp\\K.exe", u"c:\\temp\\k.EXE"));
    EXPECT_FALSE(SamePath(u"C:\\Temp\\K.exe", u"C:\\Temp\\K.exe2"));
    EXPECT_FALSE(SamePath(u"C:\\Temp\\K.exe", u"C:\\Tmp\\K.exe"));
}

}  // namespace
