// The command line taken apart: forms, drive letters, the relaunch marker, and lines that
// must be refused rather than half understood.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LineCase {
    const char* line;
    CommandForm form;
    char letter;
    DWORD relaunchedFrom;
    DWORD waitSeconds = 0;
};

std::string FormName(CommandForm form) {
    switch (form) {
        case CommandForm::EjectHighest: return "EjectHighest";
        case CommandForm::EjectLetter: return "EjectLetter";
        case CommandForm::EjectAll: return "EjectAll";
        case CommandForm::List: return "List";
        case CommandForm::Info: return "Info";
        case CommandForm::Help: return "Help";
        case CommandForm::Version: return "Version";
        case CommandForm::Usage: return "Usage";
    }
    return "?";
}

class CommandLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, GivesTheForm) {
    const LineCase& c = GetParam();
    ParsedCommand command = ParseCommandLine(c.line);
    EXPECT_EQ(FormName(command.form), FormName(c.form)) << c.line;
    EXPECT_EQ(command.driveLetter, c.letter) << c.line;
    EXPECT_EQ(command.relaunchedFrom, c.relaunchedFrom) << c.line;
    EXPECT_EQ(command.waitSeconds, c.waitSeconds) << c.line;
}

const DWORD kNone = 0;

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLine,
    ::testing::Values(
        LineCase{"korvanta.exe", CommandForm::EjectHighest, 0, kNone},
        LineCase{"", CommandForm::EjectHighest, 0, kNone},
        LineCase{"korvanta.exe   \t ", CommandForm::EjectHighest, 0, kNone},
        // The program's own name, quoted with spaces, or naming a folder that looks like a
        // switch, is never an argument.
        LineCase{"\"C:\\Program Files\\Korvanta\\korvanta.exe\"", CommandForm::EjectHighest, 0,
                 kNone},
        LineCase{"\"C:\\--list\\korvanta.exe\"", CommandForm::EjectHighest, 0, kNone},
        LineCase{"\"C:\\Program Files\\korvanta.exe\" --list", CommandForm::List, 0, kNone},
        LineCase{"korvanta.exe E:", CommandForm::EjectLetter, 'E', kNone},
        LineCase{"korvanta.exe e:", CommandForm::EjectLetter, 'E', kNone},
        LineCase{"korvanta.exe z", CommandForm::EjectLetter, 'Z', kNone},
        LineCase{"korvanta.exe \"G:\"", CommandForm::EjectLetter, 'G', kNone},
        LineCase{"korvanta.exe\tF:\t", CommandForm::EjectLetter, 'F', kNone},
        LineCase{"korvanta.exe --help", CommandForm::Help, 0, kNone},
        LineCase{"korvanta.exe --version", CommandForm::Version, 0, kNone},
        LineCase{"korvanta.exe --info E:", CommandForm::Info, 'E', kNone},
        LineCase{"korvanta.exe --info h", CommandForm::Info, 'H', kNone},
        LineCase{"korvanta.exe --relaunched-from=4242", CommandForm::EjectHighest, 0, 4242},
        LineCase{"k.exe E: --relaunched-from=4294967295", CommandForm::EjectLetter, 'E',
                 4294967295u},
        LineCase{"k.exe --relaunched-from=17 e", CommandForm::EjectLetter, 'E', 17},
        // --all and --wait, in either order, with the marker too.
        LineCase{"k.exe --all", CommandForm::EjectAll, 0, kNone},
        LineCase{"k.exe --wait", CommandForm::EjectHighest, 0, kNone, 30},
        LineCase{"k.exe --wait=1 E:", CommandForm::EjectLetter, 'E', kNone, 1},
        LineCase{"k.exe e --wait=600", CommandForm::EjectLetter, 'E', kNone, 600},
        LineCase{"k.exe --wait=007 --all", CommandForm::EjectAll, 0, kNone, 7},
        LineCase{"k.exe --all --wait=5 --relaunched-from=9", CommandForm::EjectAll, 0, 9, 5}));

INSTANTIATE_TEST_SUITE_P(
    Refused, CommandLine,
    ::testing::Values(
        LineCase{nullptr, CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe EE", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe E:\\", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe 1:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe :", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe E: F:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --LIST", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --list E:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe /?", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info --list", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info E: F:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe E: --info", CommandForm::Usage, 0, kNone},
        // An empty quoted argument is an argument all the same.
        LineCase{"korvanta.exe \"\"", CommandForm::Usage, 0, kNone},
        // Escaped quotes stay in the argument.
        LineCase{"korvanta.exe \\\"E:\\\"", CommandForm::Usage, 0, kNone},
        // A long argument is refused whole, not cut to something that would match.
        LineCase{"korvanta.exe --list-----------------------------------------x",
                 CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe \"E:                                                 \"",
                 CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe a b c d e f g h", CommandForm::Usage, 0, kNone},
        // The marker: only with a nonzero 32-bit decimal id, once, and only for an ejection.
        LineCase{"korvanta.exe --relaunched-from=", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=0", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=4294967296", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=99999999999", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=-5", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=12x", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --relaunched-from=1 --relaunched-from=1", CommandForm::Usage, 0,
                 kNone},
        LineCase{"korvanta.exe --list --relaunched-from=12", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --help --relaunched-from=12", CommandForm::Usage, 0, kNone},
        // The wait: 1 to 3 digits, 1 to 600, in one argument, only with an ejection; each
        // option once; --all names no drive.
        LineCase{"k.exe --wait=", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait=0", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait=601", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait=0030", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait=+5", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait=x", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait 30", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --waiting", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --all E:", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --all --all", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait --wait=5", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --list --wait", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wait --info E:", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --help --wait=5", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --version --wait", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --all --list", CommandForm::Usage, 0, kNone}));

}  // namespace
