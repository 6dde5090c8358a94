// LoadLibraryA, GetProcAddress and FreeLibrary for the libraries the program loads (the ASPI
// manager and the event log service, sim/event_log.cpp), and the ASPI manager: SC_EXEC_SCSI_CMD
// handed to the host adapter's SCSI target, completing at once, later (when the caller waits) or
// never, and SC_ABORT_SRB.
#include "aspi.h"

#include "event_log.h"
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

const char kAspiLibrary[] = "wnaspi32.dll";

// How the ASPI manager fails: a status byte in place of SS_COMP. SS_FAILED_INIT from the
// support information (and no host adapters), SS_ASPI_IS_BUSY for a request it does not take.
const BYTE kFailedInit = 0xE4;
const BYTE kAspiIsBusy = 0xE5;
// ERROR_DLL_INIT_FAILED: the manager found no ASPI driver to serve it.
const DWORD kDllInitFailed = 1114;

sim::Library* LoadedLibrary(HMODULE module) {
    auto it = machine().libraries.find(reinterpret_cast<uintptr_t>(module));
    if (it == machine().libraries.end() || it->second.references == 0) return nullptr;
    return &it->second;
}

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

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    sim::Machine& m = machine();
    std::string name = lpLibFileName ? lpLibFileName : "";
    m.journal.Note("load " + name);
    // Both libraries live in the system directory: named by their full path there, or bare.
    const std::string systemPrefix = m.process.systemDirectory + "\\";
    if (name.size() > systemPrefix.size() &&
        sim::EqualNoCase(name.substr(0, systemPrefix.size()), systemPrefix))
        name = name.substr(systemPrefix.size());
    if (FaultHere("LoadLibraryA")) return Fail(kDllInitFailed, HMODULE(nullptr));
    bool aspi = sim::EqualNoCase(name, kAspiLibrary) && m.aspi.installed;
    bool eventLog = sim::EqualNoCase(name, sim::kEventLogLibrary) && m.eventLog.installed;
    if (!aspi && !eventLog) return Fail(ERROR_MOD_NOT_FOUND, HMODULE(nullptr));
    for (auto& entry : m.libraries) {
        if (entry.second.references > 0 && sim::EqualNoCase(entry.second.name, name)) {
            ++entry.second.references;
            return reinterpret_cast<HMODULE>(entry.first);
        }
    }
    uintptr_t module = m.nextModule;
    m.nextModule += 0x10000;
    m.libraries[module] = sim::Library{aspi ? kAspiLibrary : sim::kEventLogLibrary, 1};
    return reinterpret_cast<HMODULE>(module);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    sim::Machine& m = machine();
    if (FaultHere("GetProcAddress")) return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    sim::Library* library = LoadedLibrary(hModule);
    if (library == nullptr) return Fail(ERROR_INVALID_HANDLE, FARPROC(nullptr));
    std::string name = lpProcName ? lpProcName : "";
    if (library->name == sim::kEventLogLibrary) {
        FARPROC proc = sim::EventLogProc(name);
        return proc ? proc : Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    }
    if (m.aspi.missingEntries.count(name)) return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    void (*proc)(void) = nullptr;
    if (name == "GetASPI32SupportInfo")
        proc = reinterpret_cast<void (*)(void)>(&SimGetASPI32SupportInfo);
    else if (name == "SendASPI32Command")
        proc = reinterpret_cast<void (*)(void)>(&SimSendASPI32Command);
    else
        return Fail(ERROR_PROC_NOT_FOUND, FARPROC(nullptr));
    return reinterpret_cast<FARPROC>(proc);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    sim::Library* library = LoadedLibrary(hLibModule);
    if (library == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
    machine().journal.Note("free " + library->name);
    // The last reference unmaps the library: its handle names nothing from now on.
    if (--library->references == 0)
        machine().libraries.erase(reinterpret_cast<uintptr_t>(hLibModule));
    return TRUE;
}
