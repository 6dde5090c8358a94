// LoadLibraryA, LoadLibraryExA, GetProcAddress and FreeLibrary for the libraries the program
// loads at run time: the ASPI manager (sim/aspi.cpp), the event log service
// (sim/event_log.cpp), and the version and account libraries, whose functions the machine
// answers elsewhere (sim/version_resource.cpp, sim/user.cpp); and the search for libraries
// loaded by bare name, which SetDllDirectoryW and SetDefaultDllDirectories narrow.
#include "aspi.h"
#include "event_log.h"
#include "fault.h"
#include "machine.h"
#include "unicode.h"

#include <cstdint>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

namespace {

const char kVersionLibrary[] = "version.dll";
const char kAccountLibrary[] = "netapi32.dll";

// ERROR_DLL_INIT_FAILED: the library's start-up refused to load it.
const DWORD kDllInitFailed = 1114;

typedef void (*AnyProc)(void);

FARPROC Proc(AnyProc proc) { return reinterpret_cast<FARPROC>(proc); }

FARPROC SystemLibraryProc(const std::string& library, const std::string& name) {
    if (machine().systemLibraries.missingEntries.count(name)) return nullptr;
    if (library == kVersionLibrary) {
        if (name == "GetFileVersionInfoSizeA")
            return Proc(reinterpret_cast<AnyProc>(&GetFileVersionInfoSizeA));
        if (name == "GetFileVersionInfoA")
            return Proc(reinterpret_cast<AnyProc>(&GetFileVersionInfoA));
        if (name == "VerQueryValueA") return Proc(reinterpret_cast<AnyProc>(&VerQueryValueA));
    } else if (library == kAccountLibrary) {
        if (name == "NetUserGetInfo") return Proc(reinterpret_cast<AnyProc>(&NetUserGetInfo));
        if (name == "NetApiBufferFree") return Proc(reinterpret_cast<AnyProc>(&NetApiBufferFree));
    }
    return nullptr;
}

// The library a name stands for, as the machine calls it, or null when the machine does
// not have it. Every library lives in the system directory: named by its full path there,
// or bare.
const char* Resolve(std::string name) {
    sim::Machine& m = machine();
    const std::string systemPrefix = m.process.systemDirectory + "\\";
    if (name.size() > systemPrefix.size() &&
        sim::EqualNoCase(name.substr(0, systemPrefix.size()), systemPrefix))
        name = name.substr(systemPrefix.size());
    if (sim::EqualNoCase(name, sim::kAspiLibrary))
        return m.aspi.installed ? sim::kAspiLibrary : nullptr;
    if (sim::EqualNoCase(name, sim::kEventLogLibrary))
        return m.eventLog.installed ? sim::kEventLogLibrary : nullptr;
    for (const char* library : {kVersionLibrary, kAccountLibrary})
        if (sim::EqualNoCase(name, library))
            return m.systemLibraries.absent.count(library) ? nullptr : library;
    return nullptr;
}

HMODULE Map(const char* library) {
    sim::Machine& m = machine();
    if (library == nullptr) return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    for (auto& entry : m.libraries) {
        if (entry.second.references > 0 && entry.second.name == library) {
            ++entry.second.references;
            return reinterpret_cast<HMODULE>(entry.first);
        }
    }
    uintptr_t module = m.nextModule;
    m.nextModule += 0x10000;
    m.libraries[module] = sim::Library{library, 1};
    return reinterpret_cast<HMODULE>(module);
}

sim::Library* LoadedLibrary(HMODULE module) {
    auto it = machine().libraries.find(reinterpret_cast<uintptr_t>(module));
    if (it == machine().libraries.end() || it->second.references == 0) return nullptr;
    return &it->second;
}

// kernel32's own, of the calls a program may look up.
BOOL WINAPI SetDefaultDllDirectories(DWORD DirectoryFlags) {
    if (FaultHere("SetDefaultDllDirectories")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    // Only the search flags are valid, and at least one of them.
    const DWORD kSearchFlags = 0x1F00;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR ... _DEFAULT_DIRS
    if (DirectoryFlags == 0 || (DirectoryFlags & ~kSearchFlags) != 0)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    machine().process.defaultDllDirectories = DirectoryFlags;
    machine().journal.Note("dll directories " + sim::Hex(DirectoryFlags));
    return TRUE;
}

FARPROC KernelProc(const std::string& name) {
    if (name == "SetDefaultDllDirectories" && machine().version.setDefaultDllDirectories)
        return Proc(reinterpret_cast<AnyProc>(&SetDefaultDllDirectories));
    return nullptr;
}

}  // namespace

BOOL WINAPI SetDllDirectoryW(LPCWSTR lpPathName) {
    if (FaultHere("SetDllDirectoryW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    machine().journal.NoteUtf8("dll directory \"" + sim::Utf8Of(lpPathName) + "\"");
    return TRUE;
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    std::string name = lpLibFileName ? lpLibFileName : "";
    machine().journal.libraryLoads.push_back({machine().journal.Note("load " + name), name, 0});
    if (FaultHere("LoadLibraryA")) return Fail(kDllInitFailed, HMODULE(nullptr));
    return Map(Resolve(name));
}

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
    std::string name = lpLibFileName ? lpLibFileName : "";
    machine().journal.libraryLoads.push_back(
        {machine().journal.Note("load " + name), name, dwFlags});
    if (FaultHere("LoadLibraryExA")) return Fail(kDllInitFailed, HMODULE(nullptr));
    // hFile is reserved and must be NULL; the machine knows no flag but the search order.
    if (hFile != nullptr || (dwFlags & ~DWORD(LOAD_WITH_ALTERED_SEARCH_PATH)) != 0)
        return Fail(ERROR_INVALID_PARAMETER, HMODULE(nullptr));
    // Once SetDefaultDllDirectories has narrowed the search, the altered search order takes
    // only a full path.
    if ((dwFlags & LOAD_WITH_ALTERED_SEARCH_PATH) != 0 &&
        machine().process.defaultDllDirectories != 0 && name.find('\\') == std::string::npos)
        return Fail(ERROR_INVALID_PARAMETER, HMODULE(nullptr));
    return Map(Resolve(name));
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (FaultHere("GetProcAddress")) return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    if (reinterpret_cast<uintptr_t>(hModule) == sim::kKernel32Module) {
        FARPROC proc = KernelProc(lpProcName ? lpProcName : "");
        return proc ? proc : Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    }
    sim::Library* library = LoadedLibrary(hModule);
    if (library == nullptr) return Fail(ERROR_INVALID_HANDLE, FARPROC(nullptr));
    std::string name = lpProcName ? lpProcName : "";
    FARPROC proc = library->name == sim::kEventLogLibrary ? sim::EventLogProc(name)
                   : library->name == sim::kAspiLibrary   ? sim::AspiProc(name)
                                                          : SystemLibraryProc(library->name, name);
    return proc ? proc : Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    sim::Library* library = LoadedLibrary(hLibModule);
    if (library == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    machine().journal.Note("free " + library->name);
    // The last reference unmaps the library: its handle names nothing from now on.
    if (--library->references == 0)
        machine().libraries.erase(reinterpret_cast<uintptr_t>(hLibModule));
    return TRUE;
}
