// Storage I/O controls of the simulated machine beyond the device-number and media queries:
// volume locks and the SCSI pass-through, handed to the volume's SCSI target.
#pragma once

#include "machine.h"

namespace sim {

BOOL VolumeLockControl(OpenObject& file, DWORD code);
BOOL PassThroughControl(OpenObject& file, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                        DWORD outSize, LPDWORD returned);

// Journals one SCSI command and hands it to `target`; no target fails the transfer.
bool SendToTarget(ScsiTarget* target, const std::string& transport, const std::string& where,
                  const ScsiCommand& command, BYTE* data, DWORD length, DWORD* transferred);

}  // namespace sim
