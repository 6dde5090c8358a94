// Accounts (advapi32, netapi32), the shell and the user interface of the simulated machine.
#include "fault.h"
#include "machine.h"

#include <cstring>
#include <string>

using sim::Fail;
using sim::FaultHere;
using sim::machine;

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
    if (FaultHere("GetUserNameA")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    const std::string& name = machine().account.userName;
    if (pcbBuffer == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD need = static_cast<DWORD>(name.size() + 1);
    if (lpBuffer == nullptr || *pcbBuffer < need) {
        *pcbBuffer = need;
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(lpBuffer, name.c_str(), need);
    *pcbBuffer = need;
    return TRUE;
}

NET_API_STATUS WINAPI NetUserGetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                     LPBYTE* bufptr) {
    if (FaultHere("NetUserGetInfo")) return ERROR_NOT_ENOUGH_MEMORY;
    sim::Machine& m = machine();
    if (bufptr == nullptr || username == nullptr) return ERROR_INVALID_PARAMETER;
    if (servername != nullptr) return ERROR_NOT_SUPPORTED;  // only the local database exists
    if (level != 1) return ERROR_INVALID_LEVEL;
    std::u16string asked(username);
    m.journal.Note("netuser " + sim::Narrow(asked));
    // The local database holds one account, the one that runs the program.
    if (!sim::EqualNoCase(sim::Narrow(asked), m.account.userName)) return NERR_UserNotFound;
    if (m.account.lookupStatus != NERR_Success) return m.account.lookupStatus;

    USER_INFO_1* info =
        static_cast<USER_INFO_1*>(m.Allocate(sizeof(USER_INFO_1), "network buffer"));
    info->usri1_priv = m.account.privilege;
    *bufptr = reinterpret_cast<LPBYTE>(info);
    return NERR_Success;
}

NET_API_STATUS WINAPI NetApiBufferFree(LPVOID Buffer) {
    if (Buffer == nullptr) return NERR_Success;
    return machine().Free(Buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    sim::Machine& m = machine();
    if (FaultHere("ShellExecuteExA")) return Fail(ERROR_NO_ASSOCIATION, FALSE);
    if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    sim::ShellOpen open;
    open.verb = info->lpVerb ? info->lpVerb : "";
    open.file = info->lpFile ? info->lpFile : "";
    open.directory = info->lpDirectory ? info->lpDirectory : "";
    open.show = info->nShow;
    open.succeeded = m.shell.executeError == 0;
    open.seq =
        m.journal.Note("shell " + open.verb + " " + open.file + (open.succeeded ? "" : " failed"));
    m.journal.shellOpens.push_back(open);
    if (!open.succeeded) return Fail(m.shell.executeError, FALSE);
    return TRUE;
}

BOOL WINAPI MessageBeep(UINT uType) {
    if (FaultHere("MessageBeep")) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    sim::Machine& m = machine();
    uint64_t seq = m.journal.Note("beep " + std::to_string(uType));
    m.journal.beeps.push_back({seq, uType});
    return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if (FaultHere("MessageBoxA")) return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    sim::Machine& m = machine();
    sim::MessageBoxShown box{0, lpText ? lpText : "", lpCaption ? lpCaption : "", uType};
    box.seq = m.journal.Note("messagebox " + box.text);
    m.journal.messageBoxes.push_back(box);
    return 1;  // IDOK: nobody is there to press anything else
}
