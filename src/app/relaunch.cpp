#include "app/relaunch.h"

#include "app/relaunch_paths.h"

#include <cstring>

// The original does nothing after starting the copy but close two handles and exit, so it
// ends within milliseconds. Five seconds covers a machine slowed down by a scanner that
// inspects the new process; a process that is still there after that is held by something
// the copy cannot wait out (a debugger), and the copy goes on: the single-instance guard
// then decides as for any other second run.
const DWORD OriginalExitWaitMs = 5000;

namespace {

// A copy name already taken (a copy still running under a reused process id) moves on to
// the next attempt; a few are plenty, since stale copies are removed before.
const unsigned kCopyNameAttempts = 8;

// The command line holds the copy's path in quotes, a drive and the marker.
const size_t kCommandLineChars = MAX_PATH + 64;

// Copies `image` to a fresh file in `folder`, named in `copy`. False when no copy was made;
// whatever part of one was written is deleted.
bool MakeCopy(const char* image, const char* folder, char* copy, size_t size) {
    for (unsigned attempt = 0; attempt < kCopyNameAttempts; ++attempt) {
        if (!CopyPathFor(folder, GetCurrentProcessId(), attempt, copy, size)) return false;
        // Failing when the name exists makes the creation and the check one step.
        if (CopyFileA(image, copy, TRUE)) return true;
        if (GetLastError() != ERROR_FILE_EXISTS) {
            DeleteFileA(copy);
            return false;
        }
    }
    return false;
}

}  // namespace

bool OwnImagePath(char* out, DWORD size) {
    DWORD n = GetModuleFileNameA(NULL, out, size);
    if (n == 0 || n >= size) {
        out[0] = 0;
        return false;
    }
    out[n] = 0;
    return true;
}

bool TemporaryFolder(char* out, DWORD size) {
    DWORD n = GetTempPathA(size, out);
    if (n == 0 || n >= size) {
        out[0] = 0;
        return false;
    }
    out[n] = 0;
    return true;
}

void LeaveCurrentDirectory() {
    char system[MAX_PATH];
    UINT n = GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    system[n] = 0;
    SetCurrentDirectoryA(system);
}

namespace {

// Whether `letter` (0 for a path on no drive letter) is one of `targets`.
bool AmongTargets(char letter, const char* targets) {
    return letter != 0 && std::strchr(targets, letter) != NULL;
}

}  // namespace

bool RelaunchFromCopy(char target, const ParsedCommand& command) {
    const char targets[2] = {target, 0};
    return RelaunchFromCopy(targets, command);
}

bool RelaunchFromCopy(const char* targets, const ParsedCommand& command) {
    char image[MAX_PATH];
    if (!OwnImagePath(image, MAX_PATH) || !AmongTargets(DriveOfPath(image), targets)) return false;
    char folder[MAX_PATH];
    // A copy on a drive to eject would hold it just as the original does.
    if (!TemporaryFolder(folder, MAX_PATH) || AmongTargets(DriveOfPath(folder), targets))
        return false;

    char copy[MAX_PATH];
    if (!MakeCopy(image, folder, copy, sizeof copy)) return false;

    char commandLine[kCommandLineChars];
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    // No inherited handles (the guard stays the original's) and no console of its own: the
    // copy writes its line where the user looks.
    if (!CopyCommandLine(copy, command, GetCurrentProcessId(), commandLine, sizeof commandLine) ||
        !CreateProcessA(copy, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started)) {
        DeleteFileA(copy);
        return false;
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

void WaitForOriginal(DWORD originalId) {
    HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, originalId);
    if (original == NULL) return;
    WaitForSingleObject(original, OriginalExitWaitMs);
    CloseHandle(original);
}
