#include "sdk/transport/aspi_transport.h"

#include "platform/aspi.h"
#include "sdk/device/device_table.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/scsi_commands.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#ifdef KORVANTA_CHECK_WIN32_LAYOUT
static_assert(sizeof(SRB_ExecSCSICmd) == 80, "ASPI request block");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24, "ASPI completion event");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48, "ASPI command block");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64, "ASPI sense area");
#endif

namespace {

const DWORD kCompletionWaitMs = 100000;
const DWORD kInquiryLength = 36;

// A request block and its data area, allocated together. The ASPI layer writes into both
// for as long as the request runs, so they are released only once it has ended.
struct AspiRequest {
    SRB_ExecSCSICmd srb;
    BYTE data[1];
};

template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
    FARPROC proc = GetProcAddress(module, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
}

// Allocates a zeroed request with room for `dataLength` data bytes, and its completion
// event. Returns null, with nothing left open, when either cannot be had.
AspiRequest* NewRequest(DWORD dataLength, HANDLE* event) {
    *event = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (*event == NULL) return NULL;
    AspiRequest* request = static_cast<AspiRequest*>(
        GlobalAlloc(GPTR, offsetof(AspiRequest, data) + (dataLength ? dataLength : 1)));
    if (request == NULL) CloseHandle(*event);
    return request;
}

// Fills the execute request of one command on a zeroed request: the address, the
// direction with completion by event, `length` bytes of data in the request's own data
// area, the sense length, the declared command length and all 16 bytes of `cdb`.
void FillExecRequest(AspiRequest* request, BYTE hostAdapter, BYTE target, BYTE lun,
                     BYTE directionFlag, DWORD length, BYTE cdbLength, const BYTE* cdb,
                     HANDLE event) {
    SRB_ExecSCSICmd& srb = request->srb;
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = hostAdapter;
    srb.SRB_Flags = directionFlag | SRB_EVENT_NOTIFY;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = request->data;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = cdbLength;
    srb.SRB_PostProc = event;
    std::memcpy(srb.CDBByte, cdb, kCdbSize);
}

// Hands the request to the layer and waits for it. Returns false when the request did not
// end within the wait and could not be aborted: the layer may still write into it, so the
// request and its event must then be left alone for good.
bool SendAndWait(SendASPI32CommandFn send, AspiRequest* request, HANDLE event) {
    ResetEvent(event);
    send(&request->srb);
    if (request->srb.SRB_Status != SS_PENDING) return true;
    if (WaitForSingleObject(event, kCompletionWaitMs) == WAIT_OBJECT_0 ||
        request->srb.SRB_Status != SS_PENDING)
        return true;

    SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = request->srb.SRB_HaId;
    abort.SRB_ToAbort = &request->srb;
    send(&abort);
    return request->srb.SRB_Status != SS_PENDING;
}

void Finish(AspiRequest* request, HANDLE event, bool ended) {
    if (!ended) return;  // abandoned: still owned by the ASPI layer
    GlobalFree(request);
    CloseHandle(event);
}

}  // namespace

GetASPI32SupportInfoFn LookUpGetASPI32SupportInfo(HMODULE module) {
    return LookUp<GetASPI32SupportInfoFn>(module, "GetASPI32SupportInfo");
}

int InquireASPIDevice(HMODULE module, BYTE hostAdapter, BYTE target, BYTE lun, BYTE* out) {
    HANDLE event = NULL;
    AspiRequest* request = NewRequest(kInquiryLength + 1, &event);
    if (request == NULL) return 0;
    BYTE cdb[kCdbSize];
    BuildInquiryCdb(cdb, static_cast<BYTE>(kInquiryLength));
    FillExecRequest(request, hostAdapter, target, lun, SRB_DIR_IN, kInquiryLength,
                    kInquiryCdbLength, cdb, event);

    SendASPI32CommandFn send = LookUp<SendASPI32CommandFn>(module, "SendASPI32Command");
    if (send == NULL) {
        MessageBoxA(NULL, "Call wnaspi32.dll fail", "", MB_OK);
        Finish(request, event, true);
        return 0;
    }

    char line[96];
    std::snprintf(line, sizeof line, "adapter_id %d %x %x\n", hostAdapter,
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)),
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(send)));
    DebugTrace(line);

    bool ended = SendAndWait(send, request, event);
    if (ended)
        std::memcpy(out, request->data + 5, kAspiInquiryRecordLength);
    else
        std::memset(out, 0, kAspiInquiryRecordLength);
    Finish(request, event, ended);
    return 1;
}

int ASPIExecSCSICommand(HMODULE module, AspiDirection direction, int lun, const BYTE* cdb,
                        BYTE* buffer, DWORD length) {
    HANDLE event = NULL;
    AspiRequest* request = NewRequest(length, &event);
    if (request == NULL) return 0;
    FillExecRequest(request, SMIDiskTable[0].haId, SMIDiskTable[0].targetId, static_cast<BYTE>(lun),
                    direction == kAspiDataIn ? SRB_DIR_IN : SRB_DIR_OUT, length, kAspiCdbLength,
                    cdb, event);
    // The layer works on its own copy of the caller's buffer, so that a request that
    // outlives the wait never writes into the caller's memory. Bytes a read does not
    // transfer come back as they were.
    if (length) std::memcpy(request->data, buffer, length);

    SendASPI32CommandFn send = LookUp<SendASPI32CommandFn>(module, "SendASPI32Command");
    if (send == NULL) {
        Finish(request, event, true);
        return 0;
    }
    bool ended = SendAndWait(send, request, event);
    if (ended && direction == kAspiDataIn && length) std::memcpy(buffer, request->data, length);
    Finish(request, event, ended);
    return 1;
}
