#include "sdk/discovery/sysinfo.h"

#include "sdk/discovery/admin_list.h"
#include "sdk/discovery/user_mode.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/system/system_library.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/transport/scsi_dispatch.h"

#include <cstring>

int GetSysInfo(char* letters, const char* vendorFilter, const char* productFilter) {
    DebugTraceError("GetSysInfo() In\r\n", 0);
    KeepDiskOpen = 0;
    ScsiRequestKind = 0;

    if (IsNonAdminUser()) {
        DebugTrace("user mode request Disk Letter List");
        int count = 0;
        GetUserModeDiskLetters(letters, &count);
        return count;
    }

    DebugTrace("admin mode request Disk Letter List");
    int count = ListControllerDriveLetters(letters, vendorFilter, productFilter);
    // The controller scan needs raw access to the volumes, which a process that is not
    // elevated does not get, and it sees only drives with an SMI controller. An unfiltered
    // request that found nothing this way lists what an ordinary user would see instead.
    if (count == 0 && vendorFilter == NULL && productFilter == NULL) {
        DebugTrace("admin mode found no drive, trying user mode");
        GetUserModeDiskLetters(letters, &count);
    }
    DebugTraceError("::GetSysInfo() Out\r\n", 0);
    return count;
}

BOOL IsNonAdminUser() {
    BOOL admin = TRUE;

    char name[256];
    std::memset(name, 0, sizeof name);
    DWORD size = sizeof name;
    GetUserNameA(name, &size);
    name[sizeof name - 1] = 0;

    WCHAR wideName[256];
    std::memset(wideName, 0, sizeof wideName);
    MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256);
    wideName[255] = 0;

    // The account library is loaded from the system directory when it is needed. A lookup
    // that cannot be made, like one refused, takes the ordinary account's road, which
    // works for every account.
    HMODULE library = LoadSystemLibrary("netapi32.dll");
    if (library == NULL) return TRUE;
    auto getInfo = EntryPoint<decltype(&NetUserGetInfo)>(library, "NetUserGetInfo");
    auto freeBuffer = EntryPoint<decltype(&NetApiBufferFree)>(library, "NetApiBufferFree");
    if (getInfo == NULL || freeBuffer == NULL) {
        FreeLibrary(library);
        return TRUE;
    }
    LPBYTE buffer = NULL;
    NET_API_STATUS status = getInfo(NULL, wideName, 1, &buffer);
    if (status == NERR_Success) {
        admin = reinterpret_cast<USER_INFO_1*>(buffer)->usri1_priv == USER_PRIV_ADMIN;
        freeBuffer(buffer);
    } else if (status == ERROR_ACCESS_DENIED) {
        admin = FALSE;
    }
    FreeLibrary(library);
    return !admin;
}
