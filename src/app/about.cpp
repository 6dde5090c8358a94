#include "app/about.h"

#include "app/console.h"
#include "platform/win32.h"
#include "sdk/system/system_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const UsageLine =
    "usage: korvanta [TARGET... | --all] [--wait[=SECONDS]] | --list | "
    "--info E: | --help | --version\n";

namespace {

// The help after the usage line, one console line each: the console writer bounds each
// write, and the text is longer than one.
const char* const kHelp[] = {
    "Korvanta safely ejects a USB flash drive.",
    "",
    "  (no argument)  eject the supported USB drive with media that has the highest letter",
    "  TARGET...      eject the drives the targets name, when they are supported USB drives",
    "                 with media",
    "  --all          eject every supported USB drive with media",
    "  --wait[=N]     when a drive is in use, keep trying for N seconds (30)",
    "  --list         list the supported USB drives with media, with their names and labels",
    "  --info E:      show the controller of drive E: its model, model code, USB",
    "                 manufacturer and product strings and flash maker code",
    "  --help, /?     show this text",
    "  --version      show the program's version",
    "",
    "A TARGET is a drive letter (E, E:, E:\\ or E:/), \\ for the drive the program lies on,",
    ". for the drive of the current folder, or a name that matches a drive's volume label",
    "or its --list name, without regard to case, with * and ? as wildcards (\"SanDisk*\").",
    "",
    "--info sends the controller's vendor commands to the drive, which on some controllers",
    "write a register and, in builds that carry controller code, may load code into the",
    "controller, as the identification does. It needs an administrator account and an",
    "elevated console.",
    "",
    "Exit codes: 0 ejected, listed or shown, or no drive to eject; 1 the ejection failed or",
    "was refused, a target named no drive, no drive to list, or the controller could not be",
    "reached; 2 arguments that were not understood.",
};

// A version resource is at most a few kilobytes; anything larger is not trusted.
const DWORD kMaxVersionBlock = 64 * 1024;

// The file version of the image at `path`, read with the version library's functions.
bool ReadVersionResource(HMODULE library, const char* path, char* text, size_t size) {
    auto infoSize =
        EntryPoint<decltype(&GetFileVersionInfoSizeA)>(library, "GetFileVersionInfoSizeA");
    auto info = EntryPoint<decltype(&GetFileVersionInfoA)>(library, "GetFileVersionInfoA");
    auto query = EntryPoint<decltype(&VerQueryValueA)>(library, "VerQueryValueA");
    if (infoSize == NULL || info == NULL || query == NULL) return false;

    DWORD handle = 0;
    DWORD blockSize = infoSize(path, &handle);
    if (blockSize == 0 || blockSize > kMaxVersionBlock) return false;
    // malloc aligns for any type, as the fixed part inside the block needs.
    void* block = std::malloc(blockSize);
    if (block == NULL) return false;
    LPVOID value = NULL;
    UINT valueLength = 0;
    bool found = info(path, 0, blockSize, block) && query(block, "\\", &value, &valueLength) &&
                 value != NULL && valueLength >= sizeof(VS_FIXEDFILEINFO);
    VS_FIXEDFILEINFO fixed;
    if (found) std::memcpy(&fixed, value, sizeof fixed);
    std::free(block);
    if (!found || fixed.dwSignature != VS_FFI_SIGNATURE) return false;

    unsigned major = HIWORD(fixed.dwFileVersionMS), minor = LOWORD(fixed.dwFileVersionMS);
    unsigned patch = HIWORD(fixed.dwFileVersionLS), build = LOWORD(fixed.dwFileVersionLS);
    if (build != 0)
        std::snprintf(text, size, "%u.%u.%u.%u", major, minor, patch, build);
    else
        std::snprintf(text, size, "%u.%u.%u", major, minor, patch);
    return true;
}

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

    // The version library is loaded for this request only, from the system directory.
    HMODULE library = LoadSystemLibrary("version.dll");
    if (library == NULL) return false;
    bool read = ReadVersionResource(library, path, text, size);
    FreeLibrary(library);
    return read;
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
