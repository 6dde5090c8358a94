#include "app/command_line.h"

#include <cstring>

const char* const RelaunchMarker = "--relaunched-from=";

namespace {

const char kWaitOption[] = "--wait";

// One argument as it was read; `tooLong` when it did not fit, so it is refused whole rather
// than cut to something that would match.
struct Argument {
    WCHAR text[kMaxTargetUnits];
    size_t length;
    bool tooLong;
};

bool IsBlank(WCHAR c) { return c == ' ' || c == '\t'; }

// Skips the program's own name: up to the closing quote when it starts with one (no escapes
// are recognised inside it), else up to the first blank.
const WCHAR* SkipProgramName(const WCHAR* p) {
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') ++p;
        if (*p == '"') ++p;
        return p;
    }
    while (*p != 0 && !IsBlank(*p)) ++p;
    return p;
}

void Put(Argument* arg, WCHAR c, size_t count = 1) {
    for (size_t k = 0; k < count; ++k) {
        if (arg->length + 1 >= kMaxTargetUnits) {
            arg->tooLong = true;
            return;
        }
        arg->text[arg->length++] = c;
        arg->text[arg->length] = 0;
    }
}

// Reads the argument that starts at `p` into `arg` and returns where it ends.
const WCHAR* ReadArgument(const WCHAR* p, Argument* arg) {
    arg->text[0] = 0;
    arg->length = 0;
    arg->tooLong = false;
    bool quoted = false;
    while (*p != 0 && (quoted || !IsBlank(*p))) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        if (*p != '\\') {
            Put(arg, *p++);
            continue;
        }
        size_t slashes = 0;
        for (; *p == '\\'; ++p) ++slashes;
        if (*p != '"') {
            Put(arg, '\\', slashes);
            continue;
        }
        Put(arg, '\\', slashes / 2);
        if (slashes % 2 == 0) continue;  // the quote opens or closes
        if (quoted && (p[1] == 0 || IsBlank(p[1]))) {
            // The end of a quoted argument: a path's closing backslash.
            Put(arg, '\\');
            quoted = false;
        } else {
            Put(arg, '"');
        }
        ++p;
    }
    return p;
}

// Whether `text` begins with the ASCII `ascii`; `rest` then points past it.
bool StartsWith(const WCHAR* text, const char* ascii, const WCHAR** rest) {
    for (; *ascii != 0; ++text, ++ascii)
        if (*text != static_cast<WCHAR>(static_cast<unsigned char>(*ascii))) return false;
    *rest = text;
    return true;
}

bool Is(const WCHAR* text, const char* ascii) {
    const WCHAR* rest = NULL;
    return StartsWith(text, ascii, &rest) && *rest == 0;
}

// "E", "E:", "E:\" or "E:/", either case.
bool DriveArgument(const WCHAR* text, char* letter) {
    WCHAR c = text[0];
    if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return false;
    bool root = (text[2] == '\\' || text[2] == '/') && text[3] == 0;
    if (!(text[1] == 0 || (text[1] == ':' && (text[2] == 0 || root)))) return false;
    *letter = static_cast<char>(c);
    return true;
}

// `text` as 1 to `maxDigits` decimal digits without a sign, whose value is 1 to `maxValue`.
bool Decimal(const WCHAR* text, size_t maxDigits, unsigned long long maxValue, DWORD* out) {
    size_t n = 0;
    unsigned long long value = 0;
    for (; text[n] != 0; ++n) {
        if (n == maxDigits || text[n] < '0' || text[n] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[n] - '0');
    }
    if (n == 0 || value == 0 || value > maxValue) return false;
    *out = static_cast<DWORD>(value);
    return true;
}

bool IsNumber(const WCHAR* text) {
    const WCHAR* p = text;
    while (*p >= '0' && *p <= '9') ++p;
    return p != text && *p == 0;
}

// "--wait" (kDefaultWaitSeconds) or "--wait=SECONDS" (1 to 3 digits, 1 to kMaxWaitSeconds).
// Anything else beginning with the name is not the option.
bool WaitArgument(const WCHAR* text, bool* isWait, DWORD* seconds) {
    const WCHAR* rest = NULL;
    *isWait = StartsWith(text, kWaitOption, &rest) && (*rest == 0 || *rest == '=');
    if (!*isWait) return false;
    if (*rest == 0) {
        *seconds = kDefaultWaitSeconds;
        return true;
    }
    return Decimal(rest + 1, 3, kMaxWaitSeconds, seconds);
}

// The forms that stand alone on the command line (--info with its drive).
CommandForm AloneForm(const WCHAR* text) {
    if (Is(text, "--list")) return CommandForm::List;
    if (Is(text, "--info")) return CommandForm::Info;
    if (Is(text, "--help") || Is(text, "/?") || Is(text, "-?")) return CommandForm::Help;
    if (Is(text, "--version")) return CommandForm::Version;
    return CommandForm::Usage;
}

// Adds a target that is no option; false for an empty one, or one too many.
bool AddTarget(ParsedCommand* command, const Argument& arg) {
    if (arg.length == 0 || command->targetCount == kMaxTargets) return false;
    Target* t = &command->target[command->targetCount++];
    std::memcpy(t->text, arg.text, (arg.length + 1) * sizeof(WCHAR));
    t->letter = 0;
    if (DriveArgument(arg.text, &t->letter))
        t->kind = TargetKind::Letter;
    else if (Is(arg.text, "\\"))
        t->kind = TargetKind::ProgramDrive;
    else if (Is(arg.text, "."))
        t->kind = TargetKind::CurrentDrive;
    else
        t->kind = TargetKind::Name;
    return true;
}

// Reads every argument into `command`; false for one not understood. The marker and the
// options are taken wherever they stand, each once.
bool ReadArguments(const WCHAR* p, ParsedCommand* command, CommandForm* alone, int* count,
                   bool* all) {
    Argument arg;
    bool infoDrive = false;  // the next argument is --info's drive
    bool afterWait = false;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) return !infoDrive;
        p = ReadArgument(p, &arg);
        if (arg.tooLong) return false;
        ++*count;
        const WCHAR* text = arg.text;
        const WCHAR* rest = NULL;
        bool isWait = false;
        DWORD seconds = 0;
        bool waitRead = WaitArgument(text, &isWait, &seconds);
        CommandForm form = AloneForm(text);
        // "--wait 30" is the wait's seconds in the wrong place, not a name.
        if (afterWait && IsNumber(text)) return false;
        afterWait = isWait;
        if (infoDrive) {
            if (!DriveArgument(text, &command->driveLetter)) return false;
            infoDrive = false;
        } else if (StartsWith(text, RelaunchMarker, &rest)) {
            if (command->relaunchedFrom != 0 ||
                !Decimal(rest, 10, 0xFFFFFFFFull, &command->relaunchedFrom))
                return false;
        } else if (isWait) {
            if (!waitRead || command->waitSeconds != 0) return false;
            command->waitSeconds = seconds;
        } else if (Is(text, "--all")) {
            if (*all) return false;
            *all = true;
        } else if (form != CommandForm::Usage) {
            if (*alone != CommandForm::Usage) return false;
            *alone = form;
            infoDrive = form == CommandForm::Info;
        } else if (text[0] == '-' || text[0] == '/' || !AddTarget(command, arg)) {
            return false;
        }
    }
}

}  // namespace

bool IsEjectingForm(CommandForm form) {
    return form == CommandForm::EjectHighest || form == CommandForm::EjectTargets ||
           form == CommandForm::EjectAll;
}

ParsedCommand ParseCommandLine(const WCHAR* commandLine) {
    ParsedCommand command;
    std::memset(&command, 0, sizeof command);
    command.form = CommandForm::Usage;
    CommandForm alone = CommandForm::Usage;
    int count = 0;
    bool all = false;
    if (commandLine != NULL &&
        ReadArguments(SkipProgramName(commandLine), &command, &alone, &count, &all)) {
        if (alone != CommandForm::Usage) {
            // Nothing goes with an informational form but --info's drive.
            if (count == (alone == CommandForm::Info ? 2 : 1)) command.form = alone;
        } else if (all) {
            // --all names no drive.
            if (command.targetCount == 0) command.form = CommandForm::EjectAll;
        } else {
            command.form =
                command.targetCount > 0 ? CommandForm::EjectTargets : CommandForm::EjectHighest;
        }
    }
    if (command.form == CommandForm::Usage) {
        std::memset(&command, 0, sizeof command);
        command.form = CommandForm::Usage;
    }
    return command;
}
