// The program image of the simulated machine: its file name and its version resource
// (version.dll). The resource block has the layout Windows hands out: a VS_VERSIONINFO
// header named "VS_VERSION_INFO" followed, on a 32-bit boundary, by the fixed file
// information; callers treat it as opaque and reach the fixed part through VerQueryValueA.
#include "fault.h"
#include "machine.h"
#include "unicode.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

#ifndef KORVANTA_VERSION
#define KORVANTA_VERSION "1.0.0"
#endif

namespace {

const char kVersionKey[] = "VS_VERSION_INFO";
// wLength, wValueLength, wType, the UTF-16 key with its terminator, padding to 32 bits.
const size_t kHeaderBytes =
    (3 * sizeof(WORD) + sizeof kVersionKey * sizeof(WCHAR) + 3) & ~size_t(3);
const size_t kBlockBytes = kHeaderBytes + sizeof(VS_FIXEDFILEINFO);

// A name in the ANSI code page finds the image only when the code page holds its path.
bool IsProgramImage(LPCSTR name) {
    return name != nullptr &&
           sim::EqualNoCase(sim::Utf8OfAnsi(name), machine().process.moduleFileName);
}

// GetModuleFileNameA and GetModuleFileNameW of the program's own module: a name that does
// not fit is cut and terminated, and the call says so.
template <typename Char>
DWORD ModuleFileName(const char* call, HMODULE module, Char* out, DWORD size,
                     const std::basic_string<Char>& name) {
    if (FaultHere(call)) return Fail(ERROR_NOT_ENOUGH_MEMORY, DWORD(0));
    if (module != nullptr) return Fail(ERROR_MOD_NOT_FOUND, DWORD(0));
    if (out == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD(0));
    if (name.size() >= size) {
        std::memcpy(out, name.data(), (size - 1) * sizeof(Char));
        out[size - 1] = 0;
        return Fail(ERROR_INSUFFICIENT_BUFFER, size);
    }
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(Char));
    machine().lastError = ERROR_SUCCESS;
    return static_cast<DWORD>(name.size());
}

// "a.b.c.d" (missing parts 0) into the two 32-bit halves of a file version.
void ParseVersion(const std::string& text, DWORD* ms, DWORD* ls) {
    unsigned part[4] = {0, 0, 0, 0};
    std::sscanf(text.c_str(), "%u.%u.%u.%u", &part[0], &part[1], &part[2], &part[3]);
    *ms = (part[0] & 0xFFFF) << 16 | (part[1] & 0xFFFF);
    *ls = (part[2] & 0xFFFF) << 16 | (part[3] & 0xFFFF);
}

}  // namespace

namespace sim {

std::string DefaultFileVersion() { return std::string(KORVANTA_VERSION) + ".0"; }

}  // namespace sim

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    return ModuleFileName("GetModuleFileNameA", hModule, lpFilename, nSize,
                          sim::AnsiOf(machine().process.moduleFileName));
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    return ModuleFileName("GetModuleFileNameW", hModule, lpFilename, nSize,
                          sim::FromUtf8(machine().process.moduleFileName));
}

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    // The image is held open by another program (a scanner, an installer).
    if (FaultHere("GetFileVersionInfoSizeA")) return Fail(ERROR_ACCESS_DENIED, DWORD(0));
    if (!IsProgramImage(lptstrFilename)) return Fail(ERROR_FILE_NOT_FOUND, DWORD(0));
    if (machine().process.fileVersion.empty()) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, DWORD(0));
    return static_cast<DWORD>(kBlockBytes);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    if (FaultHere("GetFileVersionInfoA")) return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!IsProgramImage(lptstrFilename)) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    const std::string& version = machine().process.fileVersion;
    if (version.empty()) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    if (lpData == nullptr || dwLen < kBlockBytes) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);

    BYTE* block = static_cast<BYTE*>(lpData);
    std::memset(block, 0, kBlockBytes);
    WORD header[3] = {WORD(kBlockBytes), WORD(sizeof(VS_FIXEDFILEINFO)), 0};
    std::memcpy(block, header, sizeof header);
    for (size_t k = 0; k < sizeof kVersionKey; ++k) {
        WCHAR c = static_cast<unsigned char>(kVersionKey[k]);
        std::memcpy(block + sizeof header + k * sizeof(WCHAR), &c, sizeof c);
    }
    VS_FIXEDFILEINFO fixed;
    std::memset(&fixed, 0, sizeof fixed);
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = 0x00010000;
    ParseVersion(version, &fixed.dwFileVersionMS, &fixed.dwFileVersionLS);
    fixed.dwProductVersionMS = fixed.dwFileVersionMS;
    fixed.dwProductVersionLS = fixed.dwFileVersionLS;
    fixed.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    fixed.dwFileType = 1;         // VFT_APP
    std::memcpy(block + kHeaderBytes, &fixed, sizeof fixed);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
    if (FaultHere("VerQueryValueA")) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    if (pBlock == nullptr || lpSubBlock == nullptr || lplpBuffer == nullptr)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // Only the root, the fixed file information, is held; string tables are not.
    if (std::strcmp(lpSubBlock, "\\") != 0) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    const BYTE* block = static_cast<const BYTE*>(pBlock);
    WORD valueLength = 0;
    std::memcpy(&valueLength, block + sizeof(WORD), sizeof valueLength);
    if (valueLength == 0) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    *lplpBuffer = const_cast<BYTE*>(block + kHeaderBytes);
    if (puLen) *puLen = valueLength;
    return TRUE;
}
