// The tool's command line: which form the user asked for and the drives it names, taken
// apart from the process command line as GetCommandLineW gives it.
#pragma once

#include "platform/win32.h"

enum class CommandForm {
    EjectHighest,  // no argument: eject the supported drive with the highest letter
    EjectTargets,  // one or more targets: eject the drives they name
    EjectAll,      // --all: eject every supported drive with media, device by device
    List,          // --list
    Info,          // --info E:
    Help,          // --help, /? or -?
    Version,       // --version
    Usage,         // anything else: a usage line on standard error
};

// What a target names.
enum class TargetKind {
    Letter,        // "E", "E:", "E:\" or "E:/", either case
    ProgramDrive,  // "\": the drive that holds the program
    CurrentDrive,  // ".": the drive of the current folder
    Name,          // a volume label or a --list name, with '*' and '?' as wildcards
};

// A target is at most this long with its terminator (no label or device name comes near),
// and a command line names at most one target per drive letter; more is a usage error.
const size_t kMaxTargetUnits = MAX_PATH;
const int kMaxTargets = 26;

struct Target {
    TargetKind kind;
    char letter;                  // upper case, for TargetKind::Letter
    WCHAR text[kMaxTargetUnits];  // as typed, terminated
};

struct ParsedCommand {
    CommandForm form;
    char driveLetter;  // upper case, for Info; 0 otherwise
    // The process id of the original when this process is the copy the tool started of
    // itself (argument "--relaunched-from=<pid>"); 0 for a run a user started.
    DWORD relaunchedFrom;
    // For an ejecting form with "--wait" or "--wait=SECONDS": how long a vetoed ejection
    // keeps trying, 1 to kMaxWaitSeconds; 0 without the option.
    DWORD waitSeconds;
    // For EjectTargets, in command-line order.
    Target target[kMaxTargets];
    int targetCount;
};

// The wait of a plain "--wait", and the longest one "--wait=SECONDS" may ask for.
const DWORD kDefaultWaitSeconds = 30;
const DWORD kMaxWaitSeconds = 600;

// Whether the form ejects (and so takes the single-instance guard and the options that go
// with an ejection).
bool IsEjectingForm(CommandForm form);

// The marker argument a relaunched copy carries, followed by the original's process id in
// decimal.
extern const char* const RelaunchMarker;  // "--relaunched-from="

// Takes `commandLine` apart by the rules Windows programs use for their arguments (the
// program's own name first, possibly quoted and containing spaces; arguments separated by
// blanks; double quotes group; 2n backslashes before a quote give n, 2n+1 give n and a
// literal quote) with one exception: at the end of a quoted argument, the last backslash
// of an odd run stays and the quote closes, so "E:\" is E:\ (Windows PowerShell 5.1 passes
// 'E:\' so). Then decides the form. An argument beginning with '-' or '/' that is no
// option, an empty or overlong one, and anything else not understood give
// CommandForm::Usage.
ParsedCommand ParseCommandLine(const WCHAR* commandLine);
