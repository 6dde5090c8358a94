// The tool's command line: which form the user asked for, taken apart from the process
// command line as GetCommandLineA gives it.
#pragma once

#include "platform/win32.h"

enum class CommandForm {
    EjectHighest,  // no argument: eject the supported drive with the highest letter
    EjectLetter,   // "E:" or "E": eject that drive only
    EjectAll,      // --all: eject every supported drive with media, device by device
    List,          // --list
    Info,          // --info E:
    Help,          // --help
    Version,       // --version
    Usage,         // anything else: a usage line on standard error
};

struct ParsedCommand {
    CommandForm form;
    char driveLetter;  // upper case, for EjectLetter and Info; 0 otherwise
    // The process id of the original when this process is the copy the tool started of
    // itself (argument "--relaunched-from=<pid>"); 0 for a run a user started.
    DWORD relaunchedFrom;
    // For an ejecting form with "--wait" or "--wait=SECONDS": how long a vetoed ejection
    // keeps trying, 1 to kMaxWaitSeconds; 0 without the option.
    DWORD waitSeconds;
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
// blanks; double quotes group) and decides the form. Anything not understood gives
// CommandForm::Usage.
ParsedCommand ParseCommandLine(const char* commandLine);

// The usage line, with its line feed, for standard error.
extern const char* const UsageLine;
