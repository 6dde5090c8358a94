// The command line taken apart: forms, drive letters, the relaunch marker, and lines that
// must be refused rather than half understood.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cstring>
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
        case CommandForm::EjectTargets: return "EjectTargets";
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

std::u16string Wide(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }

TEST_P(CommandLine, GivesTheForm) {
    const LineCase& c = GetParam();
    ParsedCommand command = ParseCommandLine(c.line ? Wide(c.line).c_str() : nullptr);
    EXPECT_EQ(FormName(command.form), FormName(c.form)) << c.line;
    bool targets = command.form == CommandForm::EjectTargets;
    EXPECT_EQ(targets ? command.target[0].letter : command.driveLetter, c.letter) << c.line;
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
        LineCase{"korvanta.exe E:", CommandForm::EjectTargets, 'E', kNone},
        LineCase{"korvanta.exe e:", CommandForm::EjectTargets, 'E', kNone},
        LineCase{"korvanta.exe z", CommandForm::EjectTargets, 'Z', kNone},
        LineCase{"korvanta.exe \"G:\"", CommandForm::EjectTargets, 'G', kNone},
        LineCase{"korvanta.exe\tF:\t", CommandForm::EjectTargets, 'F', kNone},
        LineCase{"korvanta.exe --help", CommandForm::Help, 0, kNone},
        LineCase{"korvanta.exe --version", CommandForm::Version, 0, kNone},
        LineCase{"korvanta.exe --info E:", CommandForm::Info, 'E', kNone},
        LineCase{"korvanta.exe --info h", CommandForm::Info, 'H', kNone},
        LineCase{"korvanta.exe --relaunched-from=4242", CommandForm::EjectHighest, 0, 4242},
        LineCase{"k.exe E: --relaunched-from=4294967295", CommandForm::EjectTargets, 'E',
                 4294967295u},
        LineCase{"k.exe --relaunched-from=17 e", CommandForm::EjectTargets, 'E', 17},
        // --all and --wait, in either order, with the marker too.
        LineCase{"k.exe --all", CommandForm::EjectAll, 0, kNone},
        LineCase{"k.exe --wait", CommandForm::EjectHighest, 0, kNone, 30},
        LineCase{"k.exe --wait=1 E:", CommandForm::EjectTargets, 'E', kNone, 1},
        LineCase{"k.exe e --wait=600", CommandForm::EjectTargets, 'E', kNone, 600},
        LineCase{"k.exe --wait=007 --all", CommandForm::EjectAll, 0, kNone, 7},
        LineCase{"k.exe --all --wait=5 --relaunched-from=9", CommandForm::EjectAll, 0, 9, 5},
        // Every drive form, the help of every Windows program, several targets.
        LineCase{"k.exe E:\\", CommandForm::EjectTargets, 'E', kNone},
        LineCase{"k.exe f:/ --wait", CommandForm::EjectTargets, 'F', kNone, 30},
        LineCase{"k.exe --info e:\\", CommandForm::Info, 'E', kNone},
        LineCase{"k.exe /?", CommandForm::Help, 0, kNone},
        LineCase{"k.exe -?", CommandForm::Help, 0, kNone},
        LineCase{"k.exe E: F: --relaunched-from=3", CommandForm::EjectTargets, 'E', 3},
        LineCase{"k.exe a b c d e f g h", CommandForm::EjectTargets, 'A', kNone}));

INSTANTIATE_TEST_SUITE_P(
    Refused, CommandLine,
    ::testing::Values(
        LineCase{nullptr, CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --LIST", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --list E:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info --list", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe --info E: F:", CommandForm::Usage, 0, kNone},
        LineCase{"korvanta.exe E: --info", CommandForm::Usage, 0, kNone},
        // An empty quoted argument is an argument all the same.
        LineCase{"korvanta.exe \"\"", CommandForm::Usage, 0, kNone},
        // A long argument is refused whole, not cut to something that would match.
        LineCase{"korvanta.exe --list-----------------------------------------x",
                 CommandForm::Usage, 0, kNone},
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
        LineCase{"k.exe --all --list", CommandForm::Usage, 0, kNone},
        // Targets: never with --all or an informational form, never empty, never a switch,
        // at most one per letter; --info takes a letter only.
        LineCase{"k.exe E: --all", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe /? E:", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --info \\", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --info STICK", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe E: \"\"", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe --wiat", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe /x", CommandForm::Usage, 0, kNone},
        LineCase{"k.exe a b c d e f g h i j k l m n o p q r s t u v w x y z a", CommandForm::Usage,
                 0, kNone}));

// Each target's kind and text, as typed: the letter forms, "\\" and ".", names with blanks,
// quotes and a closing backslash (Windows PowerShell 5.1 passes 'E:\\' as "E:\\").
struct TargetCase {
    const char* line;
    const char* targets;  // kind (L, P, C, N) and letter or [text] of each
};

class Targets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Targets, KeepTheirKindAndText) {
    ParsedCommand command = ParseCommandLine(Wide(GetParam().line).c_str());
    std::string seen;
    for (int k = 0; k < command.targetCount; ++k) {
        const Target& t = command.target[k];
        seen += std::string(k > 0 ? " " : "") + "LPCN"[static_cast<int>(t.kind)];
        if (t.kind == TargetKind::Letter) seen += t.letter;
        if (t.kind == TargetKind::Name)
            seen += "[" + std::string(t.text, t.text + std::char_traits<char16_t>::length(t.text)) +
                    "]";
    }
    EXPECT_EQ(seen, GetParam().targets) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Lines, Targets,
                         ::testing::Values(TargetCase{"k E: g:/ \"MY STICK\" \\ .",
                                                      "LE LG N[MY STICK] P C"},
                                           TargetCase{"k \"E:\\\" F:", "LE LF"},
                                           TargetCase{"k \"MY STICK\\\"", "N[MY STICK\\]"},
                                           TargetCase{"k \"x\\\"y\" a\\\"b \\\"E:\\\" EE 1:",
                                                      "N[x\"y] N[a\"b] N[\"E:\"] N[EE] N[1:]"},
                                           TargetCase{"k SanDisk* ?", "N[SanDisk*] N[?]"}));

TEST(CommandLine, TargetOfMaxPathIsRefusedWhole) {
    std::string name(kMaxTargetUnits - 1, 'n');
    EXPECT_EQ(ParseCommandLine(Wide(("k " + name).c_str()).c_str()).form,
              CommandForm::EjectTargets);
    EXPECT_EQ(ParseCommandLine(Wide(("k " + name + "n").c_str()).c_str()).form, CommandForm::Usage);
}

}  // namespace
