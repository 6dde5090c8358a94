#include "sdk/scan/export_imports.h"

#include "platform/win32.h"

#include <winternl.h>

// The linker's symbol at the image's DOS header: the address the executable is mapped at.
extern "C" const BYTE __ImageBase[];

namespace {

typedef FARPROC(WINAPI* GetProcAddressFn)(HMODULE, LPCSTR);
typedef HMODULE(WINAPI* LoadLibraryAFn)(LPCSTR);
typedef BOOL(WINAPI* VirtualProtectFn)(LPVOID, SIZE_T, DWORD, PDWORD);
typedef void(WINAPI* SleepFn)(DWORD);

enum BindState { kUnbound, kBinding, kBound, kFailed };
volatile LONG State = kUnbound;

// More modules than any process loads, and more forwards than any chain of system
// libraries holds: a longer walk is a damaged list, not a search to finish.
enum { kMaxModules = 4096, kMaxForwards = 4 };

// A mapped image, every read of which is bounded by its size.
struct Image {
    const BYTE* base;
    DWORD size;
};

const IMAGE_NT_HEADERS* Headers(const BYTE* base) {
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return NULL;
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : NULL;
}

// Whether `length` bytes at `rva` lie inside the image; the length is wide enough for a
// count of entries times their size never to wrap.
bool Inside(const Image& image, DWORD rva, ULONGLONG length) {
    return rva < image.size && length <= image.size - rva;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the NUL-terminated `name`, inside the image at `rva`, equals `wanted` exactly.
bool NameAt(const Image& image, DWORD rva, const char* wanted) {
    for (DWORD k = 0;; ++k) {
        if (!Inside(image, rva + k, 1)) return false;
        char c = static_cast<char>(image.base[rva + k]);
        if (c != wanted[k]) return false;
        if (c == 0) return true;
    }
}

// Whether the last part of a module's full path is the first `length` characters of
// `file`, in either case, alone or followed by an extension ("KERNELBASE" names
// KERNELBASE.dll, as a forward does).
bool FileNameIs(const UNICODE_STRING& path, const char* file, DWORD length) {
    if (path.Buffer == NULL) return false;
    USHORT count = path.Length / sizeof(WCHAR);
    USHORT start = count;
    while (start > 0 && path.Buffer[start - 1] != L'\\' && path.Buffer[start - 1] != L'/') --start;
    if (static_cast<DWORD>(count - start) < length) return false;
    for (DWORD k = 0; k < length; ++k)
        if (path.Buffer[start + k] > 0x7F ||
            Lower(static_cast<char>(path.Buffer[start + k])) != Lower(file[k]))
            return false;
    // The name ends there, or goes on with the extension the caller left out.
    return static_cast<DWORD>(count - start) == length || path.Buffer[start + length] == L'.';
}

// An exported address as the function type it has.
template <typename F>
F As(FARPROC f) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(f));
}

// GCC takes the segment-relative read of the thread's block for a read at address 0.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const PEB* ProcessBlock() { return NtCurrentTeb()->ProcessEnvironmentBlock; }
#pragma GCC diagnostic pop

// A module the process has loaded, found by its file name (the first `length` characters
// of `file`, with or without its extension) in the loader's list; NULL when none is.
const BYTE* LoadedModule(const char* file, DWORD length) {
    const PEB* peb = ProcessBlock();
    if (peb == NULL || peb->Ldr == NULL) return NULL;
    const LIST_ENTRY* head = &peb->Ldr->InMemoryOrderModuleList;
    const LIST_ENTRY* link = head->Flink;
    for (int k = 0; link != NULL && link != head && k < kMaxModules; ++k, link = link->Flink) {
        const LDR_DATA_TABLE_ENTRY* entry =
            CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        if (entry->DllBase != NULL && FileNameIs(entry->FullDllName, file, length))
            return static_cast<const BYTE*>(entry->DllBase);
    }
    return NULL;
}

// The address a loaded module exports under `name`, following a forward to another loaded
// module ("KERNELBASE.VirtualProtect"); NULL when there is none.
FARPROC Exported(const BYTE* base, const char* name, int forwards) {
    const IMAGE_NT_HEADERS* nt = base != NULL ? Headers(base) : NULL;
    if (nt == NULL) return NULL;
    Image image = {base, nt->OptionalHeader.SizeOfImage};
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.Size < sizeof(IMAGE_EXPORT_DIRECTORY) || !Inside(image, dir.VirtualAddress, dir.Size))
        return NULL;
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    DWORD names = exports->NumberOfNames;
    DWORD functions = exports->NumberOfFunctions;
    if (!Inside(image, exports->AddressOfNames, ULONGLONG(names) * sizeof(DWORD)) ||
        !Inside(image, exports->AddressOfNameOrdinals, ULONGLONG(names) * sizeof(WORD)) ||
        !Inside(image, exports->AddressOfFunctions, ULONGLONG(functions) * sizeof(DWORD)))
        return NULL;
    const DWORD* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const WORD* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    const DWORD* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    for (DWORD k = 0; k < names; ++k) {
        if (!NameAt(image, nameRvas[k], name)) continue;
        if (ordinals[k] >= functions) return NULL;
        DWORD rva = rvas[ordinals[k]];
        if (rva < dir.VirtualAddress || rva - dir.VirtualAddress >= dir.Size)
            return Inside(image, rva, 1) ? reinterpret_cast<FARPROC>(base + rva) : NULL;
        // A forward, "MODULE.Function", to a module that is loaded already (a system
        // library forwards only to those it imports from); one by ordinal is not followed.
        const char* forward = reinterpret_cast<const char*>(base + rva);
        DWORD dot = 0;
        while (rva + dot < dir.VirtualAddress + dir.Size && forward[dot] != '.' &&
               forward[dot] != 0)
            ++dot;
        if (rva + dot >= dir.VirtualAddress + dir.Size || forward[dot] != '.' ||
            forward[dot + 1] == '#' || forwards >= kMaxForwards)
            return NULL;
        return Exported(LoadedModule(forward, dot), forward + dot + 1, forwards + 1);
    }
    return NULL;
}

// Writes the address of every function the import descriptor `d` names into its part of
// the import address table.
bool BindDescriptor(const Image& self, const IMAGE_IMPORT_DESCRIPTOR& d, GetProcAddressFn find,
                    LoadLibraryAFn load, VirtualProtectFn protect) {
    if (!Inside(self, d.Name, 1) || !Inside(self, d.FirstThunk, sizeof(ULONG_PTR))) return false;
    DWORD lookupRva = d.OriginalFirstThunk != 0 ? d.OriginalFirstThunk : d.FirstThunk;
    DWORD count = 0;
    while (Inside(self, lookupRva + count * sizeof(ULONG_PTR), sizeof(ULONG_PTR)) &&
           reinterpret_cast<const ULONG_PTR*>(self.base + lookupRva)[count] != 0)
        ++count;
    if (!Inside(self, lookupRva, (ULONGLONG(count) + 1) * sizeof(ULONG_PTR)) ||
        !Inside(self, d.FirstThunk, ULONGLONG(count) * sizeof(ULONG_PTR)))
        return false;
    HMODULE library = load(reinterpret_cast<const char*>(self.base + d.Name));
    if (library == NULL) return false;
    if (count == 0) return true;
    const ULONG_PTR* lookup = reinterpret_cast<const ULONG_PTR*>(self.base + lookupRva);
    ULONG_PTR* table = reinterpret_cast<ULONG_PTR*>(const_cast<BYTE*>(self.base) + d.FirstThunk);
    DWORD previous = 0;
    if (!protect(table, count * sizeof(ULONG_PTR), PAGE_READWRITE, &previous)) return false;
    bool bound = true;
    for (DWORD k = 0; k < count && bound; ++k) {
        FARPROC f = NULL;
        if (IMAGE_SNAP_BY_ORDINAL(lookup[k])) {
            f = find(library, MAKEINTRESOURCEA(IMAGE_ORDINAL(lookup[k])));
        } else {
            DWORD hint = static_cast<DWORD>(lookup[k]);
            if (Inside(self, hint, sizeof(IMAGE_IMPORT_BY_NAME)))
                f = find(library,
                         reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(self.base + hint)->Name);
        }
        if (f == NULL)
            bound = false;
        else
            table[k] = reinterpret_cast<ULONG_PTR>(f);
    }
    protect(table, count * sizeof(ULONG_PTR), previous, &previous);
    return bound;
}

// The kernel32 module the process has loaded, whose exports the binding starts from.
const BYTE* Kernel32() { return LoadedModule("kernel32.dll", 12); }

bool BindAll() {
    const BYTE* kernel32 = Kernel32();
    GetProcAddressFn find = As<GetProcAddressFn>(Exported(kernel32, "GetProcAddress", 0));
    LoadLibraryAFn load = As<LoadLibraryAFn>(Exported(kernel32, "LoadLibraryA", 0));
    VirtualProtectFn protect = As<VirtualProtectFn>(Exported(kernel32, "VirtualProtect", 0));
    const BYTE* base = __ImageBase;
    const IMAGE_NT_HEADERS* nt = Headers(base);
    if (find == NULL || load == NULL || protect == NULL || nt == NULL) return false;
    Image self = {base, nt->OptionalHeader.SizeOfImage};
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD at = dir.VirtualAddress; dir.Size != 0; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        if (!Inside(self, at, sizeof(IMAGE_IMPORT_DESCRIPTOR))) return false;
        const IMAGE_IMPORT_DESCRIPTOR& d =
            *reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
        if (d.Name == 0) return true;
        if (!BindDescriptor(self, d, find, load, protect)) return false;
    }
    return true;
}

}  // namespace

bool BindOwnImports() {
    LONG state = InterlockedCompareExchange(&State, kBinding, kUnbound);
    if (state == kUnbound) {
        state = BindAll() ? kBound : kFailed;
        InterlockedExchange(&State, state);
    }
    if (state != kBinding) return state == kBound;
    // Another thread binds: its work takes a few milliseconds, which this one sleeps through
    // rather than spin and take the processor from it. Sleep is one of the imports not bound
    // yet, so it too comes from kernel32's export directory.
    SleepFn sleep = As<SleepFn>(Exported(Kernel32(), "Sleep", 0));
    while (state == kBinding) {
        if (sleep != NULL)
            sleep(1);
        else
            YieldProcessor();
        state = InterlockedCompareExchange(&State, kBinding, kBinding);
    }
    return state == kBound;
}
