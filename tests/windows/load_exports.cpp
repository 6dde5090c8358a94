// Loads korvanta.exe the way a program that uses its lock pair does, finds the three
// exports by name and by ordinal and calls them on a real Win32 implementation. The loaded
// executable runs none of its own start-up, and it is mapped away from its default base,
// which this program's image holds.
//   load_exports KORVANTA_EXE      prints "ok" and exits 0, or names the first failure
#include <windows.h>

#include <cstdio>

namespace {

typedef void(WINAPI* LockDiskFn)(int, HANDLE*, HANDLE*);
typedef void(WINAPI* UnLockDiskFn)(int, HANDLE, HANDLE*);
typedef BOOL(WINAPI* SetExportDriveLetterFn)(int);

int Fail(const char* what) {
    std::printf("FAIL: %s (last error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

// A drive letter with no drive behind it, from the top.
char MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (int k = 25; k >= 3; --k)
        if ((drives & (1u << k)) == 0) return static_cast<char>('A' + k);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    // A build-host path "/a/b" is "Z:\a\b" on Wine's machine.
    char path[MAX_PATH] = {0};
    int at = 0;
    if (argv[1][0] == '/') {
        path[at++] = 'Z';
        path[at++] = ':';
    }
    for (const char* p = argv[1]; *p != 0 && at < MAX_PATH - 1; ++p)
        path[at++] = *p == '/' ? '\\' : *p;
    HMODULE exe = LoadLibraryA(path);
    if (exe == NULL) return Fail("LoadLibraryA");

    LockDiskFn lock = reinterpret_cast<LockDiskFn>(GetProcAddress(exe, "LockDisk"));
    UnLockDiskFn unlock = reinterpret_cast<UnLockDiskFn>(GetProcAddress(exe, "UnLockDisk"));
    SetExportDriveLetterFn setDrive =
        reinterpret_cast<SetExportDriveLetterFn>(GetProcAddress(exe, "SetExportDriveLetter"));
    if (lock == NULL || unlock == NULL || setDrive == NULL) return Fail("an export by name");
    if (reinterpret_cast<FARPROC>(lock) != GetProcAddress(exe, MAKEINTRESOURCEA(1)) ||
        reinterpret_cast<FARPROC>(unlock) != GetProcAddress(exe, MAKEINTRESOURCEA(2)) ||
        reinterpret_cast<FARPROC>(setDrive) != GetProcAddress(exe, MAKEINTRESOURCEA(3)))
        return Fail("the ordinals 1, 2 and 3");

    // An unlock of nothing, on both roads.
    unlock(0, INVALID_HANDLE_VALUE, NULL);
    unlock(1, INVALID_HANDLE_VALUE, NULL);

    if (setDrive('1') || setDrive(0)) return Fail("SetExportDriveLetter took a non-letter");
    char missing = MissingDrive();
    if (missing == 0 || !setDrive(missing - 'A' + 'a')) return Fail("SetExportDriveLetter");

    // A lock of a drive that does not exist fails cleanly: no handle comes back.
    HANDLE volume = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    lock(0, &volume, NULL);
    if (volume != INVALID_HANDLE_VALUE) return Fail("a lock of a missing drive gave a handle");
    unlock(0, volume, NULL);

    // There is no \\.\vwin32 on this system: the vwin32 lock leaves the output alone.
    HANDLE vwin32 = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5678));
    lock(1, &volume, &vwin32);
    if (vwin32 != reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5678)))
        return Fail("a vwin32 lock without the device wrote a handle");
    unlock(1, INVALID_HANDLE_VALUE, NULL);

    // A drive that exists: the system drive opens (the lock may be refused; the handle is
    // kept either way) and closes again.
    char system[MAX_PATH] = {0};
    if (GetWindowsDirectoryA(system, MAX_PATH) == 0 || !setDrive(system[0]))
        return Fail("the system drive");
    volume = INVALID_HANDLE_VALUE;
    lock(0, &volume, NULL);
    std::printf("system drive %c: %s\n", system[0],
                volume != INVALID_HANDLE_VALUE ? "opened" : "did not open");
    unlock(0, volume, NULL);

    if (!FreeLibrary(exe)) return Fail("FreeLibrary");
    std::printf("ok\n");
    return 0;
}
