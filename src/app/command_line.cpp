#include "app/command_line.h"

#include <cstring>

const char* const RelaunchMarker = "--relaunched-from=";

const char* const UsageLine =
    "usage: korvanta [E: | --all] [--wait[=SECONDS]] | --list | --info E: | --help | --version\n";

namespace {

const char kWaitOption[] = "--wait";
const char kAllOption[] = "--all";

// No form takes more than two arguments besides the marker; a few more are collected so
// that an extra argument is seen and refused rather than dropped.
const int kMaxArguments = 4;
// Every argument the tool understands is short; a longer one is refused whole.
const size_t kArgumentChars = 32;

struct Arguments {
    char text[kMaxArguments][kArgumentChars];
    int count;
    bool refused;  // too many, or one too long for its buffer
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Skips the program's own name: up to the closing quote when it starts with one (no escapes
// are recognised inside it), else up to the first blank.
const char* SkipProgramName(const char* p) {
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') ++p;
        if (*p == '"') ++p;
        return p;
    }
    while (*p != 0 && !IsBlank(*p)) ++p;
    return p;
}

// Splits the rest of the line into arguments: blanks separate them outside quotes; 2n
// backslashes before a quote give n backslashes and the quote opens or closes a quoted
// part, 2n+1 give n backslashes and a literal quote; other backslashes are literal.
Arguments Split(const char* p) {
    Arguments args;
    std::memset(&args, 0, sizeof args);
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) break;
        bool keep = args.count < kMaxArguments;
        if (!keep) args.refused = true;
        char* out = keep ? args.text[args.count] : NULL;
        size_t length = 0;
        bool quoted = false;
        auto put = [&](char c) {
            if (length + 1 < kArgumentChars) {
                if (out) out[length] = c;
            } else {
                args.refused = true;
            }
            ++length;
        };
        while (*p != 0 && (quoted || !IsBlank(*p))) {
            if (*p == '\\') {
                size_t slashes = 0;
                while (*p == '\\') {
                    ++slashes;
                    ++p;
                }
                if (*p == '"') {
                    for (size_t k = 0; k < slashes / 2; ++k) put('\\');
                    if (slashes % 2 == 1) {
                        put('"');
                        ++p;
                    }
                } else {
                    for (size_t k = 0; k < slashes; ++k) put('\\');
                }
            } else if (*p == '"') {
                quoted = !quoted;
                ++p;
            } else {
                put(*p++);
            }
        }
        if (keep) ++args.count;
    }
    return args;
}

// "E" or "E:", either case.
bool DriveArgument(const char* text, char* letter) {
    char c = text[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return false;
    if (!(text[1] == 0 || (text[1] == ':' && text[2] == 0))) return false;
    *letter = c;
    return true;
}

// The marker's process id: 1 to 10 decimal digits, nonzero, within 32 bits.
bool MarkerArgument(const char* text, DWORD* pid) {
    size_t prefix = std::strlen(RelaunchMarker);
    if (std::strncmp(text, RelaunchMarker, prefix) != 0) return false;
    const char* digits = text + prefix;
    size_t n = std::strlen(digits);
    if (n == 0 || n > 10) return false;
    unsigned long long value = 0;
    for (size_t k = 0; k < n; ++k) {
        if (digits[k] < '0' || digits[k] > '9') return false;
        value = value * 10 + static_cast<unsigned>(digits[k] - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFull) return false;
    *pid = static_cast<DWORD>(value);
    return true;
}

// "--wait=" or "--wait" alone, the forms the wait option is recognised by; anything else
// beginning with the name is an argument not understood.
bool IsWaitOption(const char* text) {
    size_t n = sizeof kWaitOption - 1;
    return std::strncmp(text, kWaitOption, n) == 0 && (text[n] == 0 || text[n] == '=');
}

// The wait's seconds: kDefaultWaitSeconds for "--wait"; for "--wait=SECONDS" 1 to 3 decimal
// digits without a sign, 1 to kMaxWaitSeconds.
bool WaitArgument(const char* text, DWORD* seconds) {
    const char* digits = text + sizeof kWaitOption - 1;
    if (*digits == 0) {
        *seconds = kDefaultWaitSeconds;
        return true;
    }
    ++digits;  // the '='
    size_t n = std::strlen(digits);
    if (n == 0 || n > 3) return false;
    DWORD value = 0;
    for (size_t k = 0; k < n; ++k) {
        if (digits[k] < '0' || digits[k] > '9') return false;
        value = value * 10 + static_cast<DWORD>(digits[k] - '0');
    }
    if (value == 0 || value > kMaxWaitSeconds) return false;
    *seconds = value;
    return true;
}

}  // namespace

bool IsEjectingForm(CommandForm form) {
    return form == CommandForm::EjectHighest || form == CommandForm::EjectLetter ||
           form == CommandForm::EjectAll;
}

ParsedCommand ParseCommandLine(const char* commandLine) {
    ParsedCommand usage = {CommandForm::Usage, 0, 0, 0};
    if (commandLine == NULL) return usage;
    Arguments args = Split(SkipProgramName(commandLine));
    if (args.refused) return usage;

    // The marker and the options are taken out wherever they stand; each may appear once.
    const char* rest[kMaxArguments];
    int count = 0;
    DWORD relaunchedFrom = 0;
    DWORD waitSeconds = 0;
    bool all = false;
    for (int k = 0; k < args.count; ++k) {
        const char* arg = args.text[k];
        if (std::strncmp(arg, RelaunchMarker, std::strlen(RelaunchMarker)) == 0) {
            if (relaunchedFrom != 0 || !MarkerArgument(arg, &relaunchedFrom)) return usage;
        } else if (IsWaitOption(arg)) {
            if (waitSeconds != 0 || !WaitArgument(arg, &waitSeconds)) return usage;
        } else if (std::strcmp(arg, kAllOption) == 0) {
            if (all) return usage;
            all = true;
        } else {
            rest[count++] = arg;
        }
    }

    ParsedCommand command = usage;
    char letter = 0;
    if (all) {
        // --all names no drive and goes with no other form.
        if (count == 0) command = {CommandForm::EjectAll, 0, 0, 0};
    } else if (count == 0) {
        command = {CommandForm::EjectHighest, 0, 0, 0};
    } else if (count == 1 && DriveArgument(rest[0], &letter)) {
        command = {CommandForm::EjectLetter, letter, 0, 0};
    } else if (count == 1 && std::strcmp(rest[0], "--list") == 0) {
        command = {CommandForm::List, 0, 0, 0};
    } else if (count == 1 && std::strcmp(rest[0], "--help") == 0) {
        command = {CommandForm::Help, 0, 0, 0};
    } else if (count == 1 && std::strcmp(rest[0], "--version") == 0) {
        command = {CommandForm::Version, 0, 0, 0};
    } else if (count == 2 && std::strcmp(rest[0], "--info") == 0 &&
               DriveArgument(rest[1], &letter)) {
        command = {CommandForm::Info, letter, 0, 0};
    }

    // Only an ejection waits, and only an ejection is ever handed on to a copy of the tool.
    if ((waitSeconds != 0 || relaunchedFrom != 0) && !IsEjectingForm(command.form)) return usage;
    command.waitSeconds = waitSeconds;
    command.relaunchedFrom = relaunchedFrom;
    return command;
}
