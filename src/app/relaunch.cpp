#include "app/relaunch.h"

#include "app/path_device.h"
#include "app/relaunch_paths.h"

#include <cstdlib>
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

// The longest command line CreateProcessW takes, its terminator included. The copy's path in
// quotes, the targets (each quoted and escaped: a quote takes four units, a backslash at most
// two), the wait and the marker fit unless the targets were typed near that limit already;
// then the copy is not started and the tool ejects in place.
const size_t kCommandLineUnits = 32767;

// One device per drive letter at most.
const int kMaxTargetDevices = 26;

// Copies `image` to a fresh file in `folder`, named in `copy`. False when no copy was made;
// whatever part of one was written is deleted.
bool MakeCopy(const WCHAR* image, const WCHAR* folder, WCHAR* copy, size_t size) {
    for (unsigned attempt = 0; attempt < kCopyNameAttempts; ++attempt) {
        if (!CopyPathFor(folder, GetCurrentProcessId(), attempt, copy, size)) return false;
        // Failing when the name exists makes the creation and the check one step.
        if (CopyFileW(image, copy, TRUE)) return true;
        if (GetLastError() != ERROR_FILE_EXISTS) {
            DeleteFileW(copy);
            return false;
        }
    }
    return false;
}

// Reads a path with `read`, which answers as GetModuleFileNameW and GetTempPathW do: the
// length without the terminator, or at least `size` when the path does not fit.
template <typename Read>
bool ReadWhole(WCHAR* out, DWORD size, Read read) {
    DWORD n = read();
    if (n == 0 || n >= size) {
        out[0] = 0;
        return false;
    }
    out[n] = 0;
    return true;
}

}  // namespace

bool OwnImagePath(WCHAR* out, DWORD size) {
    return ReadWhole(out, size, [&] { return GetModuleFileNameW(NULL, out, size); });
}

bool TemporaryFolder(WCHAR* out, DWORD size) {
    return ReadWhole(out, size, [&] { return GetTempPathW(size, out); });
}

bool CurrentFolder(WCHAR* out, DWORD size) {
    return ReadWhole(out, size, [&] { return GetCurrentDirectoryW(size, out); });
}

void LeaveCurrentDirectory() {
    WCHAR system[MAX_PATH];
    if (!ReadWhole(system, MAX_PATH, [&] { return GetSystemDirectoryW(system, MAX_PATH); })) return;
    SetCurrentDirectoryW(system);
}

bool RelaunchFromCopy(char target, const ParsedCommand& command) {
    const char targets[2] = {target, 0};
    return RelaunchFromCopy(targets, command);
}

bool RelaunchFromCopy(const char* targets, const ParsedCommand& command) {
    WCHAR image[MAX_PATH];
    DEVINST imageDevice = 0;
    if (!OwnImagePath(image, MAX_PATH) || !DeviceOfPath(image, &imageDevice)) return false;
    DEVINST devices[kMaxTargetDevices];
    int count = 0;
    bool held = false;
    for (const char* t = targets; *t != 0 && count < kMaxTargetDevices; ++t) {
        if (!DeviceOfDrive(*t, &devices[count])) continue;
        if (devices[count++] == imageDevice) held = true;
    }
    if (!held) return false;

    WCHAR folder[MAX_PATH];
    if (!TemporaryFolder(folder, MAX_PATH)) return false;
    // A copy on a device to eject would hold it just as the original does.
    DEVINST folderDevice = 0;
    if (DeviceOfPath(folder, &folderDevice))
        for (int k = 0; k < count; ++k)
            if (devices[k] == folderDevice) return false;
    return HandOverToCopy(image, folder, command);
}

bool HandOverToCopy(const WCHAR* image, const WCHAR* folder, const ParsedCommand& command) {
    WCHAR copy[MAX_PATH];
    if (!MakeCopy(image, folder, copy, MAX_PATH)) return false;

    // The ejection the user asked for: its targets, a letter as "E:" ("\\" and "." by then
    // resolved to letters), a name as typed; every drive; or (no argument) the highest.
    static const WCHAR kAll[] = {'-', '-', 'a', 'l', 'l', 0};
    const WCHAR* targets[kMaxTargets];
    WCHAR letters[kMaxTargets][3];
    int targetCount = 0;
    if (command.form == CommandForm::EjectAll) targets[targetCount++] = kAll;
    for (int k = 0; command.form == CommandForm::EjectTargets && k < command.targetCount; ++k) {
        const Target& t = command.target[k];
        letters[k][0] = static_cast<WCHAR>(t.letter);
        letters[k][1] = ':';
        letters[k][2] = 0;
        targets[targetCount++] = t.kind == TargetKind::Letter ? letters[k] : t.text;
    }

    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    std::memset(&started, 0, sizeof started);
    // The command line is too large for a stack frame, and a static buffer would be carried
    // in the file.
    WCHAR* commandLine = static_cast<WCHAR*>(std::malloc(kCommandLineUnits * sizeof(WCHAR)));
    // No inherited handles (the guard stays the original's) and no console of its own: the
    // copy writes its line where the user looks.
    bool running =
        commandLine != NULL &&
        CopyCommandLine(copy, targets, targetCount, command.waitSeconds, GetCurrentProcessId(),
                        commandLine, kCommandLineUnits) &&
        CreateProcessW(copy, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started);
    std::free(commandLine);
    if (!running) {
        DeleteFileW(copy);
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
