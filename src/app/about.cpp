#include "app/about.h"

#include "app/command_line.h"
#include "app/console.h"
#include "platform/win32.h"

#include <cstdio>
#include <vector>

namespace {

// The help, one console line each: the console writer bounds each write, and the text is
// longer than one.
const char* const kHelp[] = {
    "Korvanta safely ejects a USB flash drive.",
    "",
    "  (no argument)  eject the supported USB drive with media that has the highest letter",
    "  E: or E        eject drive E, when it is a supported USB drive with media",
    "  --all          eject every supported USB drive with media",
    "  --wait[=N]     when a drive is in use, keep trying for N seconds (30)",
    "  --list         list the supported USB drives with media, with their names",
    "  --info E:      show the controller of drive E: its model, model code, USB",
    "                 manufacturer and product strings and flash maker code",
    "  --help         show this text",
    "  --version      show the program's version",
    "",
    "--info sends the controller's vendor commands to the drive, which on some controllers",
    "write a register and, in builds that carry controller code, may load code into the",
    "controller, as the identification does. It needs an administrator account and an",
    "elevated console.",
    "",
    "Exit codes: 0 ejected, listed or shown, or no drive to eject; 1 the ejection failed or",
    "was refused, no drive to list, or the controller could not be reached; 2 arguments",
    "that were not understood.",
};

// A version resource is at most a few kilobytes; anything larger is not trusted.
const DWORD kMaxVersionBlock = 64 * 1024;

}  // namespace

int ShowHelp() {
    ConsolePrint("%s", UsageLine);
    for (const char* line : kHelp) ConsolePrint("%s\n", line);
    return 0;
}

bool ReadProgramVersion(char* text, size_t size) {
    if (size == 0) return false;
    text[0] = 0;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    path[length] = 0;

    DWORD handle = 0;
    DWORD blockSize = GetFileVersionInfoSizeA(path, &handle);
    if (blockSize == 0 || blockSize > kMaxVersionBlock) return false;
    std::vector<DWORD> block((blockSize + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!GetFileVersionInfoA(path, 0, blockSize, block.data())) return false;

    LPVOID value = NULL;
    UINT valueLength = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &valueLength) || value == NULL ||
        valueLength < sizeof(VS_FIXEDFILEINFO))
        return false;
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != VS_FFI_SIGNATURE) return false;

    unsigned major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS);
    unsigned patch = HIWORD(fixed->dwFileVersionLS), build = LOWORD(fixed->dwFileVersionLS);
    if (build != 0)
        std::snprintf(text, size, "%u.%u.%u.%u", major, minor, patch, build);
    else
        std::snprintf(text, size, "%u.%u.%u", major, minor, patch);
    return true;
}

int ShowVersion() {
    char version[64];
    if (!ReadProgramVersion(version, sizeof version)) {
        ConsoleError("The version information cannot be read.\n");
        return 1;
    }
    ConsolePrint("Korvanta %s\n", version);
    return 0;
}
