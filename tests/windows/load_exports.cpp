// Loads korvanta.exe the way a program that uses its lock pair does, finds the three
// exports by name and by ordinal and calls them on a real Win32 implementation. The loaded
// executable runs none of its own start-up, and it is mapped away from its default base,
// which this program's image holds.
//   load_exports KORVANTA_EXE   prints "ok: called" and exits 0, or names the first failure
//                               and exits 1
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

typedef void(WINAPI* LockDiskFn)(int, HANDLE*, HANDLE*);
typedef void(WINAPI* UnLockDiskFn)(int, HANDLE, HANDLE*);
typedef BOOL(WINAPI* SetExportDriveLetterFn)(int);

// An export as the function type it has.
template <typename F>
F Entry(FARPROC entry) {
    F f;
    std::memcpy(&f, &entry, sizeof f);
    return f;
}

int Fail(const char* what) {
    std::printf("FAIL: %s (last error %lu)\n", what, static_cast<unsigned long>(GetLastError()));
    return 1;
}

// Whether the loader prepared the mapped image for calls: its first import resolved (the
// import address table no longer holds the name table's entry) and, when it sits away from
// its preferred base, its first base relocation applied (the fixed-up pointer lands inside
// the image).
bool Prepared(HMODULE module, std::string* why) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_DATA_DIRECTORY& relocs =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    char text[200];
    bool ok = true;
    if (imports.Size != 0) {
        const IMAGE_IMPORT_DESCRIPTOR* d =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        ULONG_PTR bound = *reinterpret_cast<const ULONG_PTR*>(base + d->FirstThunk);
        ULONG_PTR named = *reinterpret_cast<const ULONG_PTR*>(base + d->OriginalFirstThunk);
        if (bound == named) {
            std::snprintf(text, sizeof text, "imports not resolved (%s still holds %#llx); ",
                          reinterpret_cast<const char*>(base + d->Name),
                          static_cast<unsigned long long>(bound));
            *why += text;
            ok = false;
        }
    }
    ULONG_PTR preferred = static_cast<ULONG_PTR>(nt->OptionalHeader.ImageBase);
    if (reinterpret_cast<ULONG_PTR>(base) != preferred && relocs.Size != 0) {
        const IMAGE_BASE_RELOCATION* block =
            reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + relocs.VirtualAddress);
        const WORD* entry = reinterpret_cast<const WORD*>(block + 1);
        ULONG_PTR value =
            *reinterpret_cast<const ULONG_PTR*>(base + block->VirtualAddress + (*entry & 0xFFF));
        ULONG_PTR start = reinterpret_cast<ULONG_PTR>(base);
        if (value < start || value >= start + nt->OptionalHeader.SizeOfImage) {
            std::snprintf(text, sizeof text,
                          "relocations not applied (mapped at %#llx, preferred %#llx, a fixed-up "
                          "pointer still holds %#llx); ",
                          static_cast<unsigned long long>(start),
                          static_cast<unsigned long long>(preferred),
                          static_cast<unsigned long long>(value));
            *why += text;
            ok = false;
        }
    }
    return ok;
}

// Does for the mapped executable what the loader does for a library: applies its base
// relocations and binds its imports. Returns false when an import cannot be found.
bool PrepareAsLibrary(HMODULE module) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD previous = 0;
    if (!VirtualProtect(base, nt->OptionalHeader.SizeOfImage, PAGE_EXECUTE_READWRITE, &previous))
        return false;
    ULONG_PTR delta =
        reinterpret_cast<ULONG_PTR>(base) - static_cast<ULONG_PTR>(nt->OptionalHeader.ImageBase);
    const IMAGE_DATA_DIRECTORY& relocs =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    for (DWORD at = 0; delta != 0 && at + sizeof(IMAGE_BASE_RELOCATION) <= relocs.Size;) {
        const IMAGE_BASE_RELOCATION* block =
            reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + relocs.VirtualAddress + at);
        if (block->SizeOfBlock < sizeof *block) break;
        const WORD* entry = reinterpret_cast<const WORD*>(block + 1);
        DWORD count = (block->SizeOfBlock - sizeof *block) / sizeof(WORD);
        for (DWORD k = 0; k < count; ++k) {
            BYTE* where = base + block->VirtualAddress + (entry[k] & 0xFFF);
            if (entry[k] >> 12 == IMAGE_REL_BASED_DIR64)
                *reinterpret_cast<ULONGLONG*>(where) += delta;
            else if (entry[k] >> 12 == IMAGE_REL_BASED_HIGHLOW)
                *reinterpret_cast<DWORD*>(where) += static_cast<DWORD>(delta);
        }
        at += block->SizeOfBlock;
    }
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size == 0) return true;
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        HMODULE dll = LoadLibraryA(reinterpret_cast<const char*>(base + d->Name));
        if (dll == NULL) return false;
        ULONG_PTR* bound = reinterpret_cast<ULONG_PTR*>(base + d->FirstThunk);
        const ULONG_PTR* named = reinterpret_cast<const ULONG_PTR*>(
            base + (d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk));
        for (; *named != 0; ++named, ++bound) {
            FARPROC f =
                (*named & IMAGE_ORDINAL_FLAG) != 0
                    ? GetProcAddress(dll, MAKEINTRESOURCEA(*named & 0xFFFF))
                    : GetProcAddress(
                          dll, reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + *named)->Name);
            if (f == NULL) return false;
            *bound = reinterpret_cast<ULONG_PTR>(f);
        }
    }
    return true;
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

    const char* const names[] = {"LockDisk", "UnLockDisk", "SetExportDriveLetter"};
    FARPROC entries[3];
    for (int k = 0; k < 3; ++k) {
        entries[k] = GetProcAddress(exe, names[k]);
        if (entries[k] == NULL) return Fail(names[k]);
        if (GetProcAddress(exe, MAKEINTRESOURCEA(k + 1)) != entries[k])
            return Fail("the ordinals 1, 2 and 3");
    }
    LockDiskFn lock = Entry<LockDiskFn>(entries[0]);
    UnLockDiskFn unlock = Entry<UnLockDiskFn>(entries[1]);
    SetExportDriveLetterFn setDrive = Entry<SetExportDriveLetterFn>(entries[2]);

    // Wine 8 maps an executable loaded as a library without binding its imports or
    // applying its relocations, where Windows does both: the test finishes the loader's work
    // (and says so) before it calls anything.
    std::string why;
    if (!Prepared(exe, &why)) {
        std::printf("the loader left the image unprepared: %s\n", why.c_str());
        if (!PrepareAsLibrary(exe)) return Fail("preparing the image");
        why.clear();
        if (!Prepared(exe, &why)) return Fail(why.c_str());
        std::printf("prepared by the test\n");
    }

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
    std::printf("ok: called\n");
    return 0;
}
