// ASPI for Win32, the published interface of the ASPI manager "wnaspi32.dll": the request
// block for SCSI commands, the abort request, their codes, and the two entry points as
// typed pointers. Windows ships no header for it.
#pragma once

#include "platform/win32.h"

#ifdef _WIN32
#define ASPI_CALL __cdecl
#else
#define ASPI_CALL
#endif

// Commands (SRB_Cmd).
#define SC_EXEC_SCSI_CMD 0x02
#define SC_ABORT_SRB 0x03

// Request status (SRB_Status).
#define SS_PENDING 0x00
#define SS_COMP 0x01
#define SS_ABORTED 0x02
#define SS_ERR 0x04
#define SS_INVALID_HA 0x81

// Request flags (SRB_Flags).
#define SRB_DIR_IN 0x08
#define SRB_DIR_OUT 0x10
#define SRB_EVENT_NOTIFY 0x40

#define SENSE_LEN 14

#pragma pack(push, 1)

// SC_EXEC_SCSI_CMD: 80 bytes on 32-bit Windows.
struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
};

// SC_ABORT_SRB: asks the manager to end a request that is still pending.
struct SRB_Abort {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

#pragma pack(pop)

typedef DWORD(ASPI_CALL* GetASPI32SupportInfoFn)(void);
typedef DWORD(ASPI_CALL* SendASPI32CommandFn)(void* srb);
