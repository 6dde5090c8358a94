// The Windows Event Log query and render functions (winevt.h) of the simulated machine.
// The program loads them from "wevtapi.dll" at run time; they are declared here with the
// real names so that the simulated library can hand out exactly these functions.
#pragma once

#include "simwin/windef.h"

typedef HANDLE EVT_HANDLE;
typedef EVT_HANDLE* PEVT_HANDLE;

// EVT_QUERY_FLAGS.
#define EvtQueryChannelPath 0x1
#define EvtQueryFilePath 0x2
#define EvtQueryForwardDirection 0x100
#define EvtQueryReverseDirection 0x200
#define EvtQueryTolerateQueryErrors 0x1000

// EVT_RENDER_FLAGS.
#define EvtRenderEventValues 0
#define EvtRenderEventXml 1
#define EvtRenderBookmark 2

// Error codes the event log functions set (winerror.h).
#define ERROR_INVALID_DATA 13L
#define ERROR_TIMEOUT 1460L
#define ERROR_EVT_INVALID_QUERY 15001L
#define ERROR_EVT_CHANNEL_NOT_FOUND 15007L

EVT_HANDLE WINAPI EvtQuery(EVT_HANDLE Session, LPCWSTR Path, LPCWSTR Query, DWORD Flags);
BOOL WINAPI EvtNext(EVT_HANDLE ResultSet, DWORD EventsSize, PEVT_HANDLE Events, DWORD Timeout,
                    DWORD Flags, PDWORD Returned);
BOOL WINAPI EvtRender(EVT_HANDLE Context, EVT_HANDLE Fragment, DWORD Flags, DWORD BufferSize,
                      PVOID Buffer, PDWORD BufferUsed, PDWORD PropertyCount);
BOOL WINAPI EvtClose(EVT_HANDLE Object);
