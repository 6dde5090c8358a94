// Loads korvanta.exe the way a program that uses its lock pair does and calls the three
// exports on a real Win32 implementation, first as found by name, then as found by
// ordinal. It does what the Windows loader does for such a program and no more: the
// executable is mapped away from its default base (this program's image holds it) and
// relocated, but none of its imports is bound and none of its start-up runs, so the
// exports must bind what they call themselves.
//   load_exports KORVANTA_EXE   prints "ok: called" and exits 0, or names the first failure
//                               and exits 1
#include <windows.h>

#include <cstdio>

namespace {

typedef ULONG_PTR(WINAPI* Export3)(ULONG_PTR, ULONG_PTR, ULONG_PTR);
typedef ULONG_PTR(WINAPI* Export1)(ULONG_PTR);

bool failed = false;

void Fail(const char* what) {
    if (!failed)
        std::printf("FAIL: %s (last error %lu)\n", what,
                    static_cast<unsigned long>(GetLastError()));
    failed = true;
}

// Calls a standard-call export of `count` arguments (1 or 3). A standard-call function
// removes its arguments from the stack; one built with another convention leaves the
// caller's stack pointer moved, which the 32-bit build measures around the call itself.
ULONG_PTR Call(FARPROC f, int count, ULONG_PTR a, ULONG_PTR b = 0, ULONG_PTR c = 0) {
#if defined(__i386__)
    ULONG_PTR result = 0;
    LONG moved = 0;
    ULONG_PTR args[3] = {a, b, c};
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "movl %[count], %%ecx\n"
        "1:\n\t"
        "pushl -4(%[args],%%ecx,4)\n\t"
        "loop 1b\n\t"
        "call *%[f]\n\t"
        "movl %%esi, %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=&a"(result), "=&d"(moved)
        : [f] "b"(f), [args] "D"(args), [count] "g"(count)
        : "ecx", "esi", "memory", "cc");
    if (moved != 0) {
        char text[80];
        std::snprintf(text, sizeof text, "the stack pointer moved by %ld bytes across a call",
                      static_cast<long>(moved));
        Fail(text);
    }
    return result;
#else
    void (*plain)() = reinterpret_cast<void (*)()>(f);
    if (count == 1) return reinterpret_cast<Export1>(plain)(a);
    return reinterpret_cast<Export3>(plain)(a, b, c);
#endif
}

ULONG_PTR H(HANDLE h) { return reinterpret_cast<ULONG_PTR>(h); }
ULONG_PTR P(HANDLE* p) { return reinterpret_cast<ULONG_PTR>(p); }

// Applies the image's base relocations for the address it was mapped at, unless the
// loader did. Returns whether it had to.
bool Relocate(HMODULE module) {
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    ULONG_PTR delta =
        reinterpret_cast<ULONG_PTR>(base) - static_cast<ULONG_PTR>(nt->OptionalHeader.ImageBase);
    const IMAGE_DATA_DIRECTORY& relocs =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    if (delta == 0 || relocs.Size < sizeof(IMAGE_BASE_RELOCATION)) return false;
    // The loader relocated the image when its first fixed-up pointer lands inside it.
    const IMAGE_BASE_RELOCATION* first =
        reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + relocs.VirtualAddress);
    const WORD* firstEntry = reinterpret_cast<const WORD*>(first + 1);
    ULONG_PTR value =
        *reinterpret_cast<const ULONG_PTR*>(base + first->VirtualAddress + (*firstEntry & 0xFFF));
    if (value - reinterpret_cast<ULONG_PTR>(base) < nt->OptionalHeader.SizeOfImage) return false;

    DWORD previous = 0;
    if (!VirtualProtect(base, nt->OptionalHeader.SizeOfImage, PAGE_EXECUTE_READWRITE, &previous))
        return Fail("VirtualProtect"), true;
    for (DWORD at = 0; at + sizeof(IMAGE_BASE_RELOCATION) <= relocs.Size;) {
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
    return true;
}

// Whether the first import address table entry still holds its name-table entry.
bool ImportsUnbound(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size == 0) return false;
    const IMAGE_IMPORT_DESCRIPTOR* d =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    return *reinterpret_cast<const ULONG_PTR*>(base + d->FirstThunk) ==
           *reinterpret_cast<const ULONG_PTR*>(base + d->OriginalFirstThunk);
}

// A drive letter with no drive behind it, from the top.
char MissingDrive() {
    DWORD drives = GetLogicalDrives();
    for (int k = 25; k >= 3; --k)
        if ((drives & (1u << k)) == 0) return static_cast<char>('A' + k);
    return 0;
}

// The calls a program makes of the pair: LockDisk, UnLockDisk, SetExportDriveLetter.
void Exercise(FARPROC lock, FARPROC unlock, FARPROC setDrive) {
    // An unlock of nothing, on both roads.
    Call(unlock, 3, 0, H(INVALID_HANDLE_VALUE), 0);
    Call(unlock, 3, 1, H(INVALID_HANDLE_VALUE), 0);

    if (static_cast<BOOL>(Call(setDrive, 1, '1')) || static_cast<BOOL>(Call(setDrive, 1, 0)))
        Fail("SetExportDriveLetter took a non-letter");
    char missing = MissingDrive();
    if (missing == 0 || !static_cast<BOOL>(Call(setDrive, 1, missing - 'A' + 'a')))
        Fail("SetExportDriveLetter");

    // A lock of a drive that does not exist fails cleanly: no handle comes back.
    HANDLE volume = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    Call(lock, 3, 0, P(&volume), 0);
    if (volume != INVALID_HANDLE_VALUE) Fail("a lock of a missing drive gave a handle");
    Call(unlock, 3, 0, H(volume), 0);

    // There is no \\.\vwin32 on this system: the vwin32 lock leaves the output alone.
    HANDLE vwin32 = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5678));
    Call(lock, 3, 1, P(&volume), P(&vwin32));
    if (vwin32 != reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5678)))
        Fail("a vwin32 lock without the device wrote a handle");
    Call(unlock, 3, 1, H(INVALID_HANDLE_VALUE), 0);

    // A drive that exists: the system drive opens (the lock may be refused; the handle is
    // kept either way) and closes again.
    char system[MAX_PATH] = {0};
    if (GetWindowsDirectoryA(system, MAX_PATH) == 0 ||
        !static_cast<BOOL>(Call(setDrive, 1, static_cast<unsigned char>(system[0]))))
        Fail("the system drive");
    volume = INVALID_HANDLE_VALUE;
    Call(lock, 3, 0, P(&volume), 0);
    std::printf("system drive %c: %s\n", system[0],
                volume != INVALID_HANDLE_VALUE ? "opened" : "did not open");
    Call(unlock, 3, 0, H(volume), 0);
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
    if (exe == NULL) return Fail("LoadLibraryA"), 1;

    // Wine difference: Wine 8 maps an executable loaded as a library away from its base
    // without applying its relocations, where Windows applies them. The test does that part
    // of Windows' work, and only that: the imports stay as the loader left them.
    if (Relocate(exe)) std::printf("Wine difference: relocations applied by the test\n");
    if (failed) return 1;
    std::printf("imports %s by the loader\n", ImportsUnbound(exe) ? "left unbound" : "bound");

    const char* const names[] = {"LockDisk", "UnLockDisk", "SetExportDriveLetter"};
    FARPROC byName[3], byOrdinal[3];
    for (int k = 0; k < 3; ++k) {
        byName[k] = GetProcAddress(exe, names[k]);
        byOrdinal[k] = GetProcAddress(exe, MAKEINTRESOURCEA(k + 1));
        if (byName[k] == NULL || byOrdinal[k] == NULL) return Fail(names[k]), 1;
        if (byOrdinal[k] != byName[k]) return Fail("the ordinals 1, 2 and 3"), 1;
    }
    Exercise(byName[0], byName[1], byName[2]);
    Exercise(byOrdinal[0], byOrdinal[1], byOrdinal[2]);
    if (failed) return 1;

    if (!FreeLibrary(exe)) return Fail("FreeLibrary"), 1;
    std::printf("ok: called\n");
    return 0;
}
