// The \\.\vwin32 device of the simulated machine: the hooks kernel32 hands its opens and
// I/O controls to.
#pragma once

#include "machine.h"

#include <string>

namespace sim {

// The register block of a VWIN32_DIOC_DOS_IOCTL call, in the order the device takes it.
enum { kVwin32Ebx, kVwin32Edx, kVwin32Ecx, kVwin32Eax, kVwin32Edi, kVwin32Esi, kVwin32Flags };
enum { kVwin32Registers = 7, kVwin32BlockBytes = 28 };
enum : DWORD { kVwin32DosIoctl = 1, kCarryFlag = 1 };

bool IsVwin32Path(const std::string& path);
// The error of an open of \\.\vwin32: 0 when the machine has the device.
DWORD Vwin32OpenError();
bool IsVwin32Device(const OpenObject& file);
// Answers one DeviceIoControl on an open \\.\vwin32 and journals it.
BOOL Vwin32Control(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                   LPDWORD returned);

}  // namespace sim
