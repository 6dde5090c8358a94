// SCSI command dispatch settings shared with the drive-letter list request.
#pragma once

// The transport kind copied into every pass-through request the dispatch builds. Every
// drive-letter list request resets it to 0 (one volume handle, commands by I/O control).
extern int ScsiRequestKind;
