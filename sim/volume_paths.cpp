// GetVolumePathNameW, GetVolumeNameForVolumeMountPointW and QueryDosDevice, answered as
// Windows answers them (Wine's kernel32 volume.c tests record the answers at the edges).
#include "volume_paths.h"

#include "fault.h"
#include "process.h"
#include "unicode.h"

#include <cstdio>
#include <cstring>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

namespace {

const DWORD kFilenameExcedRange = 206;  // ERROR_FILENAME_EXCED_RANGE: the buffer is too small
const DWORD kNotAReparsePoint = 4390;   // ERROR_NOT_A_REPARSE_POINT: a folder no volume is at
// A subst letter may stand for a folder on another subst letter.
const int kMaxSubstSteps = 8;

const std::string kLongPrefix = "\\\\?\\";

bool StartsWithNoCase(const std::string& text, const std::string& start) {
    return text.size() >= start.size() && sim::EqualNoCase(text.substr(0, start.size()), start);
}

std::string WithoutLongPrefix(const std::string& path) {
    return StartsWithNoCase(path, kLongPrefix) ? path.substr(kLongPrefix.size()) : path;
}

std::string WithoutSubst(std::string path) {
    for (int step = 0; step < kMaxSubstSteps; ++step) {
        auto subst = machine().substs.find(sim::DriveOfPath(path));
        if (subst == machine().substs.end()) break;
        std::string folder = subst->second;
        if (!folder.empty() && folder.back() == '\\') folder.pop_back();
        path = folder + path.substr(2);
    }
    return path;
}

struct MountPoint {
    std::string path;  // "" when the path lies below none
    sim::Volume* volume;
};

// The mount point a path (without "\\?\") lies below: the deepest folder a volume is
// mounted at, else the root of its drive letter. A subst letter's root is a mount point of
// no volume.
MountPoint MountPointOf(const std::string& path) {
    sim::Machine& m = machine();
    char letter = sim::DriveOfPath(path);
    if (letter == 0 || (m.FindVolume(letter) == nullptr && m.substs.count(letter) == 0))
        return {"", nullptr};
    MountPoint best = {std::string(1, letter) + ":\\", m.FindVolume(letter)};
    for (auto& entry : m.volumes)
        for (const std::string& folder : entry.second.mountFolders)
            if (folder.size() > best.path.size() && StartsWithNoCase(path + "\\", folder))
                best = {folder, &entry.second};
    return best;
}

BOOL CopyOut(const std::string& text, LPWSTR out, DWORD size) {
    std::u16string wide = sim::FromUtf8(text);
    if (out == nullptr || size <= wide.size()) return Fail(kFilenameExcedRange, FALSE);
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

// What QueryDosDeviceA and W answer for a device whose target is `target`: a list of
// terminated names ended by a second terminator, and its length with both.
template <typename Char>
DWORD DosDeviceAnswer(const std::basic_string<Char>& target, Char* out, DWORD size) {
    if (target.empty()) return Fail(ERROR_FILE_NOT_FOUND, DWORD(0));
    DWORD need = static_cast<DWORD>(target.size() + 2);
    if (out == nullptr || size < need) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD(0));
    std::memcpy(out, target.c_str(), (target.size() + 1) * sizeof(Char));
    out[need - 1] = 0;
    return need;
}

}  // namespace

namespace sim {

std::string VolumeNameOf(char letter) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{6b29fc40-ca47-1067-b31d-00dd010662%02x}\\",
                  static_cast<unsigned char>(letter));
    return name;
}

Volume* VolumeOfPath(const std::string& path) {
    return MountPointOf(WithoutSubst(WithoutLongPrefix(path))).volume;
}

std::string DosDeviceOf(const std::string& name) {
    char letter = name.size() == 2 ? DriveOfPath(name + "\\") : 0;
    auto subst = machine().substs.find(letter);
    if (subst != machine().substs.end()) return "\\??\\" + subst->second;
    Volume* v = machine().FindVolume(letter);
    return v != nullptr ? v->dosDevice : "";
}

}  // namespace sim

BOOL WINAPI GetVolumePathNameW(LPCWSTR lpszFileName, LPWSTR lpszVolumePathName,
                               DWORD cchBufferLength) {
    // A folder on the way that the caller may not read.
    if (FaultHere("GetVolumePathNameW")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    std::string path = sim::Utf8Of(lpszFileName);
    std::string rest = WithoutLongPrefix(path);
    // Only paths on a drive letter are described: a share has no volume of the machine.
    if (sim::DriveOfPath(rest) == 0) return Fail(ERROR_INVALID_NAME, FALSE);
    MountPoint mount = MountPointOf(rest);
    if (mount.path.empty()) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    return CopyOut(path.substr(0, path.size() - rest.size()) + mount.path, lpszVolumePathName,
                   cchBufferLength);
}

BOOL WINAPI GetVolumeNameForVolumeMountPointW(LPCWSTR lpszVolumeMountPoint, LPWSTR lpszVolumeName,
                                              DWORD cchBufferLength) {
    // The mount manager does not answer (a volume being removed).
    if (FaultHere("GetVolumeNameForVolumeMountPointW")) return Fail(ERROR_NOT_READY, FALSE);
    sim::Machine& m = machine();
    std::string mount = WithoutLongPrefix(sim::Utf8Of(lpszVolumeMountPoint));
    if (mount.empty() || mount.back() != '\\') return Fail(ERROR_INVALID_NAME, FALSE);
    sim::Volume* volume = nullptr;
    char letter = mount.size() == 3 ? sim::DriveOfPath(mount) : 0;
    if (letter != 0) {
        volume = m.FindVolume(letter);
        // A subst letter, or a share, is no volume of the mount manager.
        if (volume == nullptr || volume->driveType == DRIVE_REMOTE)
            return Fail(
                m.substs.count(letter) || volume ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND,
                FALSE);
    } else {
        for (auto& entry : m.volumes)
            for (const std::string& folder : entry.second.mountFolders)
                if (sim::EqualNoCase(folder, mount)) volume = &entry.second;
        if (volume == nullptr) return Fail(kNotAReparsePoint, FALSE);
    }
    return CopyOut(sim::VolumeNameOf(volume->letter), lpszVolumeName, cchBufferLength);
}

DWORD WINAPI QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax) {
    if (FaultHere("QueryDosDeviceA")) return Fail(ERROR_FILE_NOT_FOUND, DWORD(0));
    return DosDeviceAnswer(sim::AnsiOf(sim::DosDeviceOf(sim::Utf8OfAnsi(lpDeviceName))),
                           lpTargetPath, ucchMax);
}

DWORD WINAPI QueryDosDeviceW(LPCWSTR lpDeviceName, LPWSTR lpTargetPath, DWORD ucchMax) {
    if (FaultHere("QueryDosDeviceW")) return Fail(ERROR_FILE_NOT_FOUND, DWORD(0));
    return DosDeviceAnswer(sim::FromUtf8(sim::DosDeviceOf(sim::Utf8Of(lpDeviceName))), lpTargetPath,
                           ucchMax);
}
