// kernel32 of the simulated machine: files and device I/O control on volumes and device
// interfaces, drives, mutexes, the virtual clock, modules and memory. The console is
// console.cpp's, the text conversions code_pages.cpp's.
#include "access.h"
#include "aspi.h"
#include "console.h"
#include "fault.h"
#include "machine.h"
#include "process.h"
#include "storage.h"
#include "unicode.h"
#include "volume_paths.h"
#include "vwin32.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::Hex;
using sim::machine;
using sim::ObjectKind;
using sim::OpenObject;

namespace {

// Errors of injected failures that nothing else in this file answers with.
const DWORD kBrokenPipe = 109;             // ERROR_BROKEN_PIPE: the reader of the console ended
const DWORD kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION

// "\\.\E:" (any case) names the volume of drive E, and so does its volume name without
// the closing backslash (with it, the name opens the volume's root folder).
sim::Volume* VolumeOfDevicePath(const std::string& path) {
    if (path.size() == 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':')
        return machine().FindVolume(path[4]);
    for (auto& entry : machine().volumes)
        if (sim::EqualNoCase(path + "\\", sim::VolumeNameOf(entry.first))) return &entry.second;
    return nullptr;
}

// "E:\" (or "E:") names the root of drive E.
sim::Volume* VolumeOfRoot(LPCSTR root) {
    if (root == nullptr || root[0] == 0 || root[1] != ':') return nullptr;
    if (root[2] != 0 && !(root[2] == '\\' && root[3] == 0)) return nullptr;
    return machine().FindVolume(root[0]);
}

BOOL DeviceNumberQuery(bool has, DWORD type, DWORD number, DWORD partition, LPVOID out,
                       DWORD outSize, LPDWORD returned) {
    if (!has) return Fail(ERROR_INVALID_FUNCTION, FALSE);
    if (out == nullptr || outSize < sizeof(STORAGE_DEVICE_NUMBER))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    STORAGE_DEVICE_NUMBER sdn{type, number, partition};
    std::memcpy(out, &sdn, sizeof sdn);
    if (returned) *returned = sizeof sdn;
    return TRUE;
}

}  // namespace

namespace {

// CreateFileA and CreateFileW, `path` as the program passed it (UTF-8 for the W form).
HANDLE OpenFile(const char* call, const std::string& path, bool unicode, DWORD dwDesiredAccess,
                DWORD dwShareMode, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes) {
    sim::Machine& m = machine();
    // Another program holding the volume or device open without sharing is the everyday
    // way an open fails.
    bool injected = FaultHere(call);
    OpenObject object{ObjectKind::File, path};
    object.access = sim::MapFileAccess(dwDesiredAccess);
    DWORD error = 0;
    if (injected) {
        error = ERROR_SHARING_VIOLATION;
    } else if (sim::IsVwin32Path(path)) {
        // Windows 9x opens its VxD devices with any creation disposition.
        error = sim::Vwin32OpenError();
    } else if (dwCreationDisposition != OPEN_EXISTING) {
        error = ERROR_INVALID_PARAMETER;
    } else if (sim::Volume* v = VolumeOfDevicePath(path)) {
        error = v->openError;
        if (error == 0 && (object.access & v->deniedAccess) != 0) error = ERROR_ACCESS_DENIED;
        object.volume = v;
    } else {
        error = ERROR_FILE_NOT_FOUND;
        for (sim::Interface& i : m.interfaces) {
            if (sim::EqualNoCase(i.devicePath, path)) {
                error = i.openError;
                object.iface = &i;
                break;
            }
        }
    }
    bool ok = error == 0;
    std::string line = "open " + path + (ok ? "" : " failed " + std::to_string(error));
    uint64_t seq = unicode ? m.journal.NoteUtf8(line) : m.journal.Note(line);
    m.journal.fileOpens.push_back(
        {seq, path, dwDesiredAccess, dwShareMode, dwFlagsAndAttributes, ok});
    if (!ok) return Fail(error, INVALID_HANDLE_VALUE);
    m.lastError = ERROR_SUCCESS;  // an open of an existing object clears the error
    return m.Open(object);
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
    return OpenFile("CreateFileA", lpFileName ? lpFileName : "", false, dwDesiredAccess,
                    dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
    return OpenFile("CreateFileW", sim::Utf8Of(lpFileName), true, dwDesiredAccess, dwShareMode,
                    dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    sim::Machine& m = machine();
    auto it = m.objects.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == m.objects.end() || it->second.kind == ObjectKind::DeviceInfoSet ||
        it->second.kind == ObjectKind::RegistryKey || it->second.kind == ObjectKind::Allocation ||
        it->second.kind == ObjectKind::FileSearch) {
        // A handle closed twice, or never opened: journalled so that tests can refuse it.
        m.journal.Note("close invalid " +
                       Hex(static_cast<DWORD>(reinterpret_cast<uintptr_t>(hObject))));
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    }
    m.journal.Note("close " + it->second.name);
    // A named mutex ends with the last handle to it.
    if (it->second.kind == ObjectKind::Mutex && !it->second.name.empty() &&
        --m.mutexes[it->second.name] <= 0)
        m.mutexes.erase(it->second.name);
    m.objects.erase(it);
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED) {
    sim::Machine& m = machine();
    OpenObject* file = m.Lookup(hDevice, ObjectKind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpBytesReturned) *lpBytesReturned = 0;

    BOOL ok = FALSE;
    if (FaultHere("DeviceIoControl")) {
        // The device failed the request: nothing reached it and nothing came back.
        ok = Fail(ERROR_IO_DEVICE, FALSE);
    } else if (!sim::IoControlAllowed(dwIoControlCode, file->access)) {
        // The I/O manager refuses a control whose code asks for read or write access the
        // handle was not opened with, before any driver sees it.
        ok = Fail(ERROR_ACCESS_DENIED, FALSE);
    } else {
        switch (dwIoControlCode) {
            case IOCTL_STORAGE_CHECK_VERIFY:
                if (file->volume && !file->volume->mediaPresent)
                    ok = Fail(ERROR_NOT_READY, FALSE);
                else
                    ok = TRUE;
                break;
            case IOCTL_STORAGE_GET_DEVICE_NUMBER:
                if (file->volume) {
                    const sim::Volume& v = *file->volume;
                    ok = DeviceNumberQuery(v.hasDeviceNumber, v.deviceType, v.deviceNumber,
                                           v.partitionNumber, lpOutBuffer, nOutBufferSize,
                                           lpBytesReturned);
                } else {
                    const sim::Interface& i = *file->iface;
                    ok = DeviceNumberQuery(i.hasDeviceNumber, i.deviceType, i.deviceNumber, 0,
                                           lpOutBuffer, nOutBufferSize, lpBytesReturned);
                }
                break;
            case FSCTL_LOCK_VOLUME:
            case FSCTL_UNLOCK_VOLUME: ok = sim::VolumeLockControl(*file, dwIoControlCode); break;
            case IOCTL_SCSI_PASS_THROUGH:
            case IOCTL_SCSI_PASS_THROUGH_DIRECT:
                ok = sim::PassThroughControl(*file, dwIoControlCode, lpInBuffer, nInBufferSize,
                                             lpOutBuffer, nOutBufferSize, lpBytesReturned);
                break;
            default:
                ok = sim::IsVwin32Device(*file)
                         ? sim::Vwin32Control(dwIoControlCode, lpInBuffer, nInBufferSize,
                                              lpOutBuffer, nOutBufferSize, lpBytesReturned)
                         : Fail(ERROR_INVALID_FUNCTION, FALSE);
                break;
        }
    }
    uint64_t seq = m.journal.Note("ioctl " + Hex(dwIoControlCode) + " on " + file->name +
                                  (ok ? "" : " failed"));
    m.journal.ioControls.push_back(
        {seq, file->name, dwIoControlCode, ok != FALSE, nInBufferSize, nOutBufferSize});
    return ok;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    sim::Volume* v = VolumeOfRoot(lpRootPathName);
    return v ? v->driveType : DRIVE_NO_ROOT_DIR;
}

DWORD WINAPI GetLogicalDrives(void) {
    if (FaultHere("GetLogicalDrives")) return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD(0));
    DWORD mask = 0;
    for (const auto& entry : machine().volumes)
        if (entry.first >= 'A' && entry.first <= 'Z') mask |= 1u << (entry.first - 'A');
    return mask;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
    if (FaultHere("CreateMutexA")) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
    sim::Machine& m = machine();
    std::string name = lpName ? lpName : "";
    if (m.process.mutexCreationFails) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
    bool exists = !name.empty() &&
                  (m.process.mutexesHeldElsewhere.count(name) > 0 || m.mutexes.count(name) > 0);
    if (!name.empty()) ++m.mutexes[name];
    m.journal.Note("mutex " + name + (exists ? " exists" : " created"));
    HANDLE h = m.Open(OpenObject{ObjectKind::Mutex, name});
    m.lastError = exists ? ERROR_ALREADY_EXISTS : 0;
    return h;
}

DWORD WINAPI GetLastError(void) { return machine().lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { machine().lastError = dwErrCode; }

void WINAPI Sleep(DWORD dwMilliseconds) {
    sim::Machine& m = machine();
    m.clockMs += dwMilliseconds;
    uint64_t seq = m.journal.Note("sleep " + std::to_string(dwMilliseconds));
    m.journal.sleeps.push_back({seq, dwMilliseconds});
}

// Milliseconds since Windows started, in 32 bits: it wraps to 0 after 49.7 days.
DWORD WINAPI GetTickCount(void) {
    const sim::Machine& m = machine();
    return static_cast<DWORD>(m.upTimeMs + m.clockMs);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (FaultHere("GetModuleHandleA")) return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    if (lpModuleName == nullptr && machine().process.moduleHandleAvailable)
        return reinterpret_cast<HMODULE>(uintptr_t(0x400000));
    if (lpModuleName != nullptr && sim::EqualNoCase(lpModuleName, "kernel32.dll"))
        return reinterpret_cast<HMODULE>(sim::kKernel32Module);
    return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
}

// Both forms hand out a buffer of the process that lives as long as it does; here the
// machine's, made again from the described line at each call.
LPSTR WINAPI GetCommandLineA(void) {
    sim::Process& p = machine().process;
    p.commandLineAnsi = sim::AnsiOf(p.commandLine);
    return &p.commandLineAnsi[0];
}

LPWSTR WINAPI GetCommandLineW(void) {
    sim::Process& p = machine().process;
    p.commandLineWide = sim::FromUtf8(p.commandLine);
    return &p.commandLineWide[0];
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    sim::Machine& m = machine();
    std::string text = lpOutputString ? lpOutputString : "";
    uint64_t seq = m.journal.Note("debug " + text);
    m.journal.debugOutput.push_back({seq, text});
}

HGLOBAL WINAPI GlobalAlloc(UINT, size_t dwBytes) {
    if (FaultHere("GlobalAlloc")) return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL(nullptr));
    return machine().Allocate(dwBytes, "memory");
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    return machine().Free(hMem) ? nullptr : Fail(ERROR_INVALID_HANDLE, hMem);
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (FaultHere("GetVersionExA")) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    const sim::WindowsVersion& v = machine().version;
    info->dwMajorVersion = v.major;
    info->dwMinorVersion = v.minor;
    info->dwBuildNumber = v.build;
    info->dwPlatformId = v.platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, v.servicePack.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

namespace {

// The volume GetVolumeInformationA and W describe at `root`, or null with the error set.
// Only a root such as "E:\" names a volume here.
const sim::Volume* VolumeForInformation(const std::string& root) {
    const sim::Volume* v = VolumeOfRoot(root.c_str());
    const sim::Volume* none = nullptr;
    if (v == nullptr || root.size() != 3) return Fail(ERROR_INVALID_NAME, none);
    if (!v->mediaPresent) return Fail(ERROR_NOT_READY, none);
    if (v->fileSystem.empty()) return Fail(ERROR_UNRECOGNIZED_VOLUME, none);
    return v;
}

// Fills the answer of both forms: the label and the file system name in the caller's
// buffers of `labelSize` and `nameSize` characters (either may be null), and the numbers.
template <typename Char, typename Text>
BOOL VolumeAnswer(const Text& label, const Text& fileSystem, Char* labelOut, DWORD labelSize,
                  Char* nameOut, DWORD nameSize, LPDWORD serial, LPDWORD maxComponent,
                  LPDWORD flags) {
    if ((labelOut && labelSize <= label.size()) || (nameOut && nameSize <= fileSystem.size()))
        return Fail(ERROR_BAD_LENGTH, FALSE);
    if (labelOut) std::memcpy(labelOut, label.c_str(), (label.size() + 1) * sizeof(Char));
    if (nameOut) std::memcpy(nameOut, fileSystem.c_str(), (fileSystem.size() + 1) * sizeof(Char));
    if (serial) *serial = 0x1234ABCD;
    if (maxComponent) *maxComponent = 255;
    if (flags) *flags = 0;
    return TRUE;
}

}  // namespace

BOOL WINAPI GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                  LPDWORD serial, LPDWORD maxComponent, LPDWORD flags,
                                  LPSTR fileSystemName, DWORD fileSystemNameSize) {
    std::string rootText = root ? root : "";
    machine().journal.Note("volumeinfo " + rootText);
    if (FaultHere("GetVolumeInformationA")) return Fail(ERROR_NOT_READY, FALSE);
    const sim::Volume* v = VolumeForInformation(rootText);
    if (v == nullptr) return FALSE;
    return VolumeAnswer(sim::AnsiOf(v->label), sim::AnsiOf(v->fileSystem), volumeName,
                        volumeNameSize, fileSystemName, fileSystemNameSize, serial, maxComponent,
                        flags);
}

BOOL WINAPI GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                                  LPDWORD serial, LPDWORD maxComponent, LPDWORD flags,
                                  LPWSTR fileSystemName, DWORD fileSystemNameSize) {
    std::string rootText = sim::Utf8Of(root);
    machine().journal.NoteUtf8("volumeinfo " + rootText);
    if (FaultHere("GetVolumeInformationW")) return Fail(ERROR_NOT_READY, FALSE);
    const sim::Volume* v = VolumeForInformation(rootText);
    if (v == nullptr) return FALSE;
    return VolumeAnswer(sim::FromUtf8(v->label), sim::FromUtf8(v->fileSystem), volumeName,
                        volumeNameSize, fileSystemName, fileSystemNameSize, serial, maxComponent,
                        flags);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    if (FaultHere("FlushFileBuffers")) return Fail(ERROR_IO_DEVICE, FALSE);
    sim::Machine& m = machine();
    OpenObject* file = m.Lookup(hFile, ObjectKind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    m.journal.Note("flush " + file->name);
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
    if (FaultHere("CreateEventA")) return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE(nullptr));
    sim::Machine& m = machine();
    if (m.eventCreationFails) return Fail(ERROR_NOT_ENOUGH_MEMORY, HANDLE(nullptr));
    std::string name =
        lpName != nullptr && lpName[0] != 0 ? "event " + std::string(lpName) : "event";
    // A named event that is open already is opened again, and the caller is told so.
    bool exists = false;
    for (const auto& entry : m.objects)
        if (name != "event" && entry.second.kind == ObjectKind::Event && entry.second.name == name)
            exists = true;
    OpenObject event(ObjectKind::Event, name);
    event.signalled = bInitialState != FALSE;
    event.manualReset = bManualReset != FALSE;
    HANDLE h = m.Open(std::move(event));
    m.lastError = exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    if (FaultHere("SetEvent")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    OpenObject* event = machine().Lookup(hEvent, ObjectKind::Event);
    if (event == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    event->signalled = true;
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    if (FaultHere("ResetEvent")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    OpenObject* event = machine().Lookup(hEvent, ObjectKind::Event);
    if (event == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    event->signalled = false;
    return TRUE;
}

// Waits on the virtual clock: a signalled event returns at once (an auto-reset one is reset
// by the wait), a mutex this process made is its own to take again and again, a pending
// request that ends while its caller waits is run now, console input is signalled while it
// holds input records, and anything else waits out the time-out. The low two bits of a handle
// value are not part of it.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (FaultHere("WaitForSingleObject")) return Fail(ERROR_ACCESS_DENIED, DWORD(WAIT_FAILED));
    sim::Machine& m = machine();
    // A console handle's low bits mark it as one.
    if (sim::IsStandardInput(hHandle)) return sim::WaitForConsoleInput(dwMilliseconds);
    hHandle = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(hHandle) & ~uintptr_t(3));
    if (OpenObject* process = m.Lookup(hHandle, ObjectKind::Process))
        return sim::WaitForProcess(*process, dwMilliseconds);
    if (OpenObject* mutex = m.Lookup(hHandle, ObjectKind::Mutex)) {
        if (m.process.mutexesHeldElsewhere.count(mutex->name) == 0) {
            m.journal.Note("wait mutex " + mutex->name);
            return WAIT_OBJECT_0;
        }
    }
    OpenObject* event = m.Lookup(hHandle, ObjectKind::Event);
    if (event == nullptr && m.Lookup(hHandle, ObjectKind::Mutex) == nullptr)
        return Fail(ERROR_INVALID_HANDLE, DWORD(WAIT_FAILED));
    if (event != nullptr && !event->signalled) sim::CompleteAspiRequestOnWait(hHandle);
    event = m.Lookup(hHandle, ObjectKind::Event);
    if (event != nullptr && event->signalled) {
        if (!event->manualReset) event->signalled = false;
        m.journal.Note("wait signalled");
        return WAIT_OBJECT_0;
    }
    if (dwMilliseconds == INFINITE) {
        // Nothing in this machine will ever signal it: a real program would hang here.
        m.journal.Note("wait forever");
        return Fail(ERROR_INVALID_PARAMETER, DWORD(WAIT_FAILED));
    }
    m.clockMs += dwMilliseconds;
    m.journal.Note("wait timeout " + std::to_string(dwMilliseconds));
    return WAIT_TIMEOUT;
}
