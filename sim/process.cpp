// The process of the simulated machine beyond its image: its id, its current directory, the
// system and temporary folders, the files the program copies, finds and deletes, the
// processes it starts and the processes it waits on. The drives that the image file and
// the current directory lie on are held open, and an ejection of their device is vetoed.
#include "process.h"

#include "fault.h"
#include "unicode.h"
#include "volume_paths.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using sim::Fail;
using sim::FaultHere;
using sim::Hex;
using sim::machine;
using sim::ObjectKind;
using sim::OpenObject;

namespace {

bool IsImage(const std::string& path) {
    return sim::EqualNoCase(path, machine().process.moduleFileName);
}

bool FileExists(const std::string& path) {
    return IsImage(path) || machine().files.count(path) > 0;
}

// The running image is in use for as long as the program runs.
bool FileInUse(const std::string& path) {
    if (IsImage(path)) return true;
    auto it = machine().files.find(path);
    return it != machine().files.end() && it->second.inUse;
}

char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

// "*" and "?" in a file name pattern, compared without case; "?" stands for one UTF-16
// unit. A name without an extension matches a pattern's final ".*", so "*.*" matches every
// name.
bool Matches(const char16_t* pattern, const char16_t* name) {
    const char16_t* star = nullptr;
    const char16_t* resume = nullptr;
    while (*name != 0) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || Lower(*pattern) == Lower(*name)) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*' || (pattern[0] == '.' && pattern[1] == '*'))
        pattern += *pattern == '*' ? 1 : 2;
    return *pattern == 0;
}

void SplitPath(const std::string& path, std::string* folder, std::string* name) {
    size_t slash = path.rfind('\\');
    *folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// A folder the machine has: the system, temporary and current folders and any folder a file
// lies in. A drive's root is not one of them: it has no "." and ".." entries.
bool IsFolder(const std::string& folder) {
    const sim::Machine& m = machine();
    std::string current = m.process.currentDirectory;
    if (!current.empty() && current.back() != '\\') current += '\\';
    if (sim::EqualNoCase(folder, m.process.systemDirectory + "\\") ||
        sim::EqualNoCase(folder, m.process.tempPath) || sim::EqualNoCase(folder, current))
        return true;
    std::string inFolder, name;
    for (const auto& entry : m.files) {
        SplitPath(entry.first, &inFolder, &name);
        if (sim::EqualNoCase(inFolder, folder)) return true;
    }
    return false;
}

void FillFindData(const std::string& name, LPWIN32_FIND_DATAW data) {
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = IsDotEntry(name) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    std::u16string wide = sim::FromUtf8(name);
    size_t n = wide.size() < MAX_PATH - 1 ? wide.size() : MAX_PATH - 1;
    std::memcpy(data->cFileName, wide.data(), n * sizeof(WCHAR));
}

}  // namespace

namespace sim {

char DriveOfPath(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return 0;
    unsigned char c = static_cast<unsigned char>(path[0]);
    if (!std::isalpha(c)) return 0;
    return static_cast<char>(std::toupper(c));
}

bool ProcessHoldsDevice(DEVINST devInst, EjectAnswer* answer) {
    Machine& m = machine();
    for (const std::string* path : {&m.process.moduleFileName, &m.process.currentDirectory}) {
        Volume* v = VolumeOfPath(*path);
        if (v == nullptr || !v->hasDeviceNumber) continue;
        for (const Interface& i : m.interfaces) {
            if (!i.hasDeviceNumber || i.deviceNumber != v->deviceNumber ||
                i.deviceType != v->deviceType)
                continue;
            // The volume's device, or any device above it in the tree, carries the hold.
            DEVINST node = i.devInst;
            for (int depth = 0; node != 0 && depth < 16; ++depth) {
                if (node == devInst) {
                    *answer = {CR_REMOVE_VETOED, PNP_VetoOutstandingOpen, Widen(v->dosDevice)};
                    return true;
                }
                auto it = m.devices.find(node);
                node = it == m.devices.end() ? 0 : it->second.parent;
            }
        }
    }
    return false;
}

DWORD WaitForProcess(const OpenObject& process, DWORD milliseconds) {
    Machine& m = machine();
    std::string who = "wait process " + std::to_string(process.processId);
    auto it = m.processes.find(process.processId);
    // The program's own process outlives its own waits.
    OtherProcess self{ProcessEnd::Never, 0};
    OtherProcess& other = it == m.processes.end() ? self : it->second;
    if (other.end == ProcessEnd::AtOnce) {
        other = {ProcessEnd::Later, m.clockMs};
    }
    if (other.end == ProcessEnd::Later &&
        (other.endsAtMs <= m.clockMs || milliseconds == INFINITE ||
         other.endsAtMs - m.clockMs <= milliseconds)) {
        if (other.endsAtMs > m.clockMs) m.clockMs = other.endsAtMs;
        m.journal.Note(who + " ended");
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE) {
        m.journal.Note(who + " forever");
        return Fail(ERROR_INVALID_PARAMETER, DWORD(WAIT_FAILED));
    }
    m.clockMs += milliseconds;
    m.journal.Note(who + " timeout " + std::to_string(milliseconds));
    return WAIT_TIMEOUT;
}

}  // namespace sim

DWORD WINAPI GetCurrentProcessId(void) { return machine().process.id; }

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (FaultHere("GetSystemDirectoryA")) return Fail(ERROR_NOT_ENOUGH_MEMORY, UINT(0));
    return sim::PathAnswer(sim::AnsiOf(machine().process.systemDirectory), lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    if (FaultHere("GetSystemDirectoryW")) return Fail(ERROR_NOT_ENOUGH_MEMORY, UINT(0));
    return sim::PathAnswer(machine().process.systemDirectory, lpBuffer, uSize);
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    if (FaultHere("GetTempPathW")) return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD(0));
    return sim::PathAnswer(machine().process.tempPath, lpBuffer, nBufferLength);
}

DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
    if (FaultHere("GetCurrentDirectoryW")) return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD(0));
    return sim::PathAnswer(machine().process.currentDirectory, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR lpPathName) {
    if (FaultHere("SetCurrentDirectoryW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    sim::Machine& m = machine();
    std::string path = sim::Utf8Of(lpPathName);
    // Only absolute folders on a drive are described; anything else is not found.
    if (sim::DriveOfPath(path) == 0) {
        m.journal.NoteUtf8("chdir " + path + " failed");
        return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    }
    m.process.currentDirectory = path;
    m.journal.NoteUtf8("chdir " + path);
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (FaultHere("CopyFileW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    sim::Machine& m = machine();
    std::string from = sim::Utf8Of(lpExistingFileName);
    std::string to = sim::Utf8Of(lpNewFileName);
    DWORD error = 0;
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr)
        error = ERROR_INVALID_PARAMETER;
    else if (!FileExists(from))
        error = ERROR_FILE_NOT_FOUND;
    else if (sim::EqualNoCase(from, to))
        error = ERROR_SHARING_VIOLATION;  // the source is open for reading while it is written
    else if (FileExists(to) && bFailIfExists)
        error = ERROR_FILE_EXISTS;
    else if (FileInUse(to))
        error = ERROR_SHARING_VIOLATION;
    else if (m.process.copyError != 0) {
        // The destination was created before the copy failed: a partial file stays.
        m.files[to] = sim::File{};
        error = m.process.copyError;
    } else {
        m.files[to] = sim::File{};
    }
    m.journal.NoteUtf8("copy " + from + " to " + to +
                       (error ? " failed " + std::to_string(error) : std::string()));
    if (error != 0) return Fail(error, FALSE);
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    if (FaultHere("DeleteFileW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    sim::Machine& m = machine();
    std::string path = sim::Utf8Of(lpFileName);
    DWORD error = 0;
    if (!FileExists(path))
        error = ERROR_FILE_NOT_FOUND;
    else if (FileInUse(path))
        error = ERROR_ACCESS_DENIED;  // a running image cannot be deleted
    uint64_t seq = m.journal.NoteUtf8("delete " + path +
                                      (error ? " failed " + std::to_string(error) : std::string()));
    if (error != 0) return Fail(error, FALSE);
    m.files.erase(path);
    m.journal.filesDeleted.push_back({seq, path});
    return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (FaultHere("FindFirstFileW")) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    sim::Machine& m = machine();
    if (lpFileName == nullptr || lpFindFileData == nullptr)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::string searched = sim::Utf8Of(lpFileName);
    std::string folder, pattern;
    SplitPath(searched, &folder, &pattern);
    std::u16string widePattern = sim::FromUtf8(pattern);
    OpenObject search(ObjectKind::FileSearch, searched);
    // A folder that is not a drive's root lists itself and its parent first.
    if (folder.size() > 3 && IsFolder(folder))
        for (const char16_t* dots : {u".", u".."})
            if (Matches(widePattern.c_str(), dots)) search.found.push_back(sim::Utf8Of(dots));
    std::vector<std::string> paths;
    for (const auto& entry : m.files) paths.push_back(entry.first);
    if (m.files.count(m.process.moduleFileName) == 0) paths.push_back(m.process.moduleFileName);
    for (const std::string& path : paths) {
        std::string inFolder, name;
        SplitPath(path, &inFolder, &name);
        if (sim::EqualNoCase(inFolder, folder) &&
            Matches(widePattern.c_str(), sim::FromUtf8(name).c_str()))
            search.found.push_back(name);
    }
    m.journal.NoteUtf8("find " + searched + " " + std::to_string(search.found.size()));
    if (search.found.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    FillFindData(search.found.front(), lpFindFileData);
    search.found.erase(search.found.begin());
    return m.Open(std::move(search));
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    OpenObject* search = machine().Lookup(hFindFile, ObjectKind::FileSearch);
    if (search == nullptr || lpFindFileData == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (FaultHere("FindNextFileW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (search->found.empty()) return Fail(ERROR_NO_MORE_FILES, FALSE);
    FillFindData(search->found.front(), lpFindFileData);
    search->found.erase(search->found.begin());
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    sim::Machine& m = machine();
    OpenObject* search = m.Lookup(hFindFile, ObjectKind::FileSearch);
    if (search == nullptr) {
        m.journal.Note("findclose invalid " +
                       Hex(static_cast<DWORD>(reinterpret_cast<uintptr_t>(hFindFile))));
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    m.Close(hFindFile, ObjectKind::FileSearch);
    return TRUE;
}

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID, LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    if (FaultHere("CreateProcessW")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    sim::Machine& m = machine();
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    sim::ProcessCreated created;
    created.applicationName = sim::Utf8Of(lpApplicationName);
    created.commandLine = sim::Utf8Of(lpCommandLine);
    created.currentDirectory =
        lpCurrentDirectory ? sim::Utf8Of(lpCurrentDirectory) : m.process.currentDirectory;
    created.inheritHandles = bInheritHandles != FALSE;
    created.creationFlags = dwCreationFlags;

    // Without an application name, the program is the command line's first word.
    std::string image = created.applicationName;
    if (image.empty()) {
        const std::string& line = created.commandLine;
        size_t end = line[0] == '"' ? line.find('"', 1) : line.find_first_of(" \t");
        image = line[0] == '"' ? line.substr(1, end == std::string::npos ? end : end - 1)
                               : line.substr(0, end);
    }
    DWORD error = 0;
    if (!FileExists(image))
        error = ERROR_FILE_NOT_FOUND;
    else
        error = m.process.createProcessError;
    created.succeeded = error == 0;
    created.seq = m.journal.NoteUtf8("process " + created.commandLine + " inherit " +
                                     std::to_string(created.inheritHandles) + " flags " +
                                     Hex(dwCreationFlags) +
                                     (error ? " failed " + std::to_string(error) : std::string()));
    m.journal.processesCreated.push_back(created);
    if (error != 0) return Fail(error, FALSE);

    // The new process runs its image, which stays in use.
    m.files[image].inUse = true;
    DWORD id = m.nextProcessId;
    m.nextProcessId += 4;
    OpenObject process(ObjectKind::Process, "process " + std::to_string(id));
    process.processId = id;
    std::memset(lpProcessInformation, 0, sizeof *lpProcessInformation);
    lpProcessInformation->hProcess = m.Open(std::move(process));
    lpProcessInformation->hThread =
        m.Open(OpenObject(ObjectKind::Thread, "thread of process " + std::to_string(id)));
    lpProcessInformation->dwProcessId = id;
    lpProcessInformation->dwThreadId = id + 4;
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
    if (FaultHere("OpenProcess")) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
    sim::Machine& m = machine();
    // A process that has ended, or never was, cannot be opened by its id.
    auto other = m.processes.find(dwProcessId);
    bool exists = dwProcessId == m.process.id ||
                  (other != m.processes.end() && !(other->second.end == sim::ProcessEnd::Later &&
                                                   other->second.endsAtMs <= m.clockMs));
    // A process this program started stays an object while a handle to it is open.
    for (const auto& entry : m.objects)
        if (entry.second.kind == ObjectKind::Process && entry.second.processId == dwProcessId)
            exists = true;
    m.journal.Note("openprocess " + std::to_string(dwProcessId) + " access " +
                   Hex(dwDesiredAccess) + (exists ? "" : " failed"));
    if (!exists) return Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
    OpenObject process(ObjectKind::Process, "process " + std::to_string(dwProcessId));
    process.processId = dwProcessId;
    process.access = dwDesiredAccess;
    return m.Open(std::move(process));
}
