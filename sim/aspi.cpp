// The ASPI manager "wnaspi32.dll": SC_EXEC_SCSI_CMD
// handed to the host adapter's SCSI target, completing at once, later (when the caller waits) or
// never, and SC_ABORT_SRB.
#include "aspi.h"

#include "fault.h"
#include "machine.h"
#include "platform/aspi.h"
#include "storage.h"

#include <cstdio>
#include <cstring>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

namespace {

// How the ASPI manager fails: a status byte in place of SS_COMP. SS_FAILED_INIT from the
// support information (and no host adapters), SS_ASPI_IS_BUSY for a request it does not take.
const BYTE kFailedInit = 0xE4;
const BYTE kAspiIsBusy = 0xE5;

void Signal(HANDLE event) {
    if (sim::OpenObject* e = machine().Lookup(event, sim::ObjectKind::Event)) e->signalled = true;
}

// Runs one request on its adapter's device and ends it.
void Execute(SRB_ExecSCSICmd* srb, size_t adapter) {
    sim::ScsiCommand command;
    std::memcpy(command.cdb, srb->CDBByte, 16);
    command.cdbLength = srb->SRB_CDBLen;
    command.direction = (srb->SRB_Flags & SRB_DIR_IN)    ? sim::DataDirection::In
                        : (srb->SRB_Flags & SRB_DIR_OUT) ? sim::DataDirection::Out
                                                         : sim::DataDirection::None;
    command.transferLength = srb->SRB_BufLen;
    command.lun = srb->SRB_Lun;
    char where[48];
    std::snprintf(where, sizeof where, "adapter %u target %u", static_cast<unsigned>(adapter),
                  static_cast<unsigned>(srb->SRB_Target));
    DWORD transferred = 0;
    bool ok = sim::SendToTarget(machine().aspi.adapters[adapter].target.get(), "aspi", where,
                                command, srb->SRB_BufPointer, srb->SRB_BufLen, &transferred);
    // A device that fails the command reports a check condition.
    srb->SRB_HaStat = 0;
    srb->SRB_TargStat = ok ? 0x00 : 0x02;
    srb->SRB_Status = ok ? SS_COMP : SS_ERR;
    if (srb->SRB_Flags & SRB_EVENT_NOTIFY) Signal(srb->SRB_PostProc);
}

DWORD ASPI_CALL SimGetASPI32SupportInfo(void) {
    if (FaultHere("GetASPI32SupportInfo")) return static_cast<DWORD>(kFailedInit) << 8;
    const sim::AspiLayer& aspi = machine().aspi;
    return (static_cast<DWORD>(aspi.supportStatus) << 8) | (aspi.adapters.size() & 0xFF);
}

DWORD ASPI_CALL SimSendASPI32Command(void* block) {
    sim::Machine& m = machine();
    // Every request block has its status at byte 1; a refused request is not run.
    if (FaultHere("SendASPI32Command")) return static_cast<BYTE*>(block)[1] = kAspiIsBusy;
    BYTE command = static_cast<BYTE*>(block)[0];
    if (command == SC_ABORT_SRB) {
        SRB_Abort* abort = static_cast<SRB_Abort*>(block);
        m.journal.Note("aspi abort adapter " + std::to_string(abort->SRB_HaId) +
                       (m.aspi.abortWorks ? "" : " refused"));
        abort->SRB_Status = SS_COMP;
        if (!m.aspi.abortWorks) return SS_COMP;
        for (size_t k = 0; k < m.pendingAspi.size(); ++k) {
            if (m.pendingAspi[k].srb != abort->SRB_ToAbort) continue;
            SRB_ExecSCSICmd* srb = static_cast<SRB_ExecSCSICmd*>(m.pendingAspi[k].srb);
            srb->SRB_Status = SS_ABORTED;
            Signal(m.pendingAspi[k].event);
            m.pendingAspi.erase(m.pendingAspi.begin() + static_cast<long>(k));
            break;
        }
        return SS_COMP;
    }
    if (command != SC_EXEC_SCSI_CMD) {
        static_cast<BYTE*>(block)[1] = 0xE0;  // SS_INVALID_SRB
        return 0xE0;
    }
    SRB_ExecSCSICmd* srb = static_cast<SRB_ExecSCSICmd*>(block);
    const BYTE* bytes = static_cast<const BYTE*>(block);
    m.journal.aspiBlocks.emplace_back(bytes, bytes + sizeof(SRB_ExecSCSICmd));
    if (srb->SRB_HaId >= m.aspi.adapters.size()) {
        srb->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    const sim::HostAdapter& adapter = m.aspi.adapters[srb->SRB_HaId];
    if (adapter.completion == sim::AspiCompletion::AtOnce) {
        Execute(srb, srb->SRB_HaId);
        return srb->SRB_Status;
    }
    srb->SRB_Status = SS_PENDING;
    m.pendingAspi.push_back({srb, srb->SRB_PostProc, srb->SRB_HaId});
    m.journal.Note("aspi pending adapter " + std::to_string(srb->SRB_HaId));
    return SS_PENDING;
}

}  // namespace

namespace sim {

const char kAspiLibrary[] = "wnaspi32.dll";

FARPROC AspiProc(const std::string& name) {
    if (machine().aspi.missingEntries.count(name)) return nullptr;
    void (*proc)(void) = nullptr;
    if (name == "GetASPI32SupportInfo")
        proc = reinterpret_cast<void (*)(void)>(&SimGetASPI32SupportInfo);
    else if (name == "SendASPI32Command")
        proc = reinterpret_cast<void (*)(void)>(&SimSendASPI32Command);
    return reinterpret_cast<FARPROC>(proc);
}

bool CompleteAspiRequestOnWait(HANDLE event) {
    Machine& m = machine();
    for (size_t k = 0; k < m.pendingAspi.size(); ++k) {
        PendingAspiRequest request = m.pendingAspi[k];
        if (request.event != event ||
            m.aspi.adapters[request.adapter].completion != AspiCompletion::Later)
            continue;
        m.pendingAspi.erase(m.pendingAspi.begin() + static_cast<long>(k));
        m.clockMs += m.aspi.adapters[request.adapter].latencyMs;
        Execute(static_cast<SRB_ExecSCSICmd*>(request.srb), request.adapter);
        return true;
    }
    return false;
}

void CompletePendingAspiRequests() {
    Machine& m = machine();
    std::vector<PendingAspiRequest> pending;
    pending.swap(m.pendingAspi);
    for (const PendingAspiRequest& request : pending)
        Execute(static_cast<SRB_ExecSCSICmd*>(request.srb), request.adapter);
}

}  // namespace sim
