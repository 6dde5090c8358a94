// The \\.\vwin32 device of Windows 95, 98 and ME: MS-DOS generic block-device I/O control
// (Int 21h function 440Dh) for the lock (minor code 4Ah) and unlock (6Ah) of a logical
// volume. The caller passes the registers in a 28-byte block and reads them back from it;
// the carry flag of the answered flags says whether the call failed, with the MS-DOS error
// code in EAX.
#include "vwin32.h"

#include <cstdio>
#include <cstring>

namespace sim {
namespace {

enum : DWORD {
    kGenericIoctl = 0x440D,
    kLockLogicalVolume = 0x4A,
    kUnlockLogicalVolume = 0x6A,
    kDosInvalidFunction = 0x01,
    kDosAccessDenied = 0x05,
    kDosInvalidDrive = 0x0F,
};

const char kDevicePath[] = "\\\\.\\vwin32";

// The MS-DOS error of one lock or unlock call, 0 when it succeeds.
DWORD Answer(const DWORD* regs) {
    const Machine& m = machine();
    if ((regs[kVwin32Eax] & 0xFFFF) != kGenericIoctl) return kDosInvalidFunction;
    BYTE minor = static_cast<BYTE>(regs[kVwin32Ecx]);
    BYTE category = static_cast<BYTE>(regs[kVwin32Ecx] >> 8);
    if (minor != kLockLogicalVolume && minor != kUnlockLogicalVolume) return kDosInvalidFunction;
    if (category != 0x08 && !(category == 0x48 && m.vwin32.category48)) return kDosInvalidFunction;
    // BL is the drive: 1 for A.
    BYTE drive = static_cast<BYTE>(regs[kVwin32Ebx]);
    if (drive < 1 || drive > 26) return kDosInvalidDrive;
    char letter = static_cast<char>('A' + drive - 1);
    if (m.volumes.count(letter) == 0) return kDosInvalidDrive;
    if (m.vwin32.refused.count(std::make_tuple(letter, category, minor)) > 0)
        return kDosAccessDenied;
    return 0;
}

std::string Registers(const DWORD* regs) {
    static const char* const kNames[kVwin32Registers] = {"EBX", "EDX", "ECX",  "EAX",
                                                         "EDI", "ESI", "flags"};
    std::string text;
    for (int k = 0; k < kVwin32Registers; ++k) {
        char field[24];
        std::snprintf(field, sizeof field, "%s%s=%X", k ? " " : "", kNames[k],
                      static_cast<unsigned>(regs[k]));
        text += field;
    }
    return text;
}

}  // namespace

bool IsVwin32Path(const std::string& path) { return EqualNoCase(path, kDevicePath); }

DWORD Vwin32OpenError() { return machine().vwin32.present ? 0 : ERROR_FILE_NOT_FOUND; }

bool IsVwin32Device(const OpenObject& file) { return IsVwin32Path(file.name); }

BOOL Vwin32Control(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                   LPDWORD returned) {
    Machine& m = machine();
    Vwin32Call call{};
    call.code = code;
    if (in != nullptr && inSize >= kVwin32BlockBytes) std::memcpy(call.in, in, kVwin32BlockBytes);
    std::memcpy(call.out, call.in, sizeof call.out);

    BOOL ok = TRUE;
    if (code != kVwin32DosIoctl || m.vwin32.callsFail) {
        ok = Fail(ERROR_NOT_SUPPORTED, FALSE);
    } else if (in == nullptr || inSize < kVwin32BlockBytes || out == nullptr ||
               outSize < kVwin32BlockBytes) {
        ok = Fail(ERROR_INVALID_PARAMETER, FALSE);
    } else {
        DWORD error = Answer(call.in);
        if (error != 0) {
            call.out[kVwin32Eax] = error;
            call.out[kVwin32Flags] |= kCarryFlag;
        } else {
            call.out[kVwin32Flags] &= ~DWORD(kCarryFlag);
        }
        std::memcpy(out, call.out, kVwin32BlockBytes);
        if (returned) *returned = kVwin32BlockBytes;
    }
    call.succeeded = ok != FALSE;
    call.carry = ok && (call.out[kVwin32Flags] & kCarryFlag) != 0;
    call.seq = m.journal.Note("vwin32 " + Registers(call.in) + " -> " +
                              (!ok          ? std::string("failed")
                               : call.carry ? "carry set"
                                            : "carry clear"));
    m.journal.vwin32Calls.push_back(call);
    return ok;
}

}  // namespace sim
