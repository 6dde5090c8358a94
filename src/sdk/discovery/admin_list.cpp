#include "sdk/discovery/admin_list.h"

#include "sdk/device/device_table.h"
#include "sdk/scan/controller_scan.h"
#include "sdk/scan/disk_lock.h"
#include "sdk/controller/device_strings.h"

#include <cstring>

namespace {

// An absent filter matches everything; a present one only the string equal to it, letter
// case included.
bool FilterMatches(const char* filter, const char* value) {
    return filter == NULL || std::strcmp(filter, value) == 0;
}

// Locks the device, reads its USB strings and releases it again. True when the read
// succeeded and both filters match.
bool DevicePassesFilters(SMIDiskInfo* record, const char* vendorFilter, const char* productFilter) {
    LockSMIDisk(record, 0);  // the strings are read even when the lock failed
    char vendor[kDeviceStringSize];
    char product[kDeviceStringSize];
    std::memset(vendor, 0, sizeof vendor);
    std::memset(product, 0, sizeof product);
    bool taken = GetDeviceStrings(record, vendor, product) != 0 &&
                 FilterMatches(vendorFilter, vendor) && FilterMatches(productFilter, product);
    UnLockSMIDisk(record);
    return taken;
}

// A record without a drive letter (the ASPI scan writes the byte 0xFF where the registry
// named none) is no drive to list or to send commands to.
bool HasDriveLetter(const SMIDiskInfo& record) {
    return record.driveLetter >= 'A' && record.driveLetter <= 'Z';
}

}  // namespace

int ListControllerDriveLetters(char* letters, const char* vendorFilter, const char* productFilter) {
    int devices = ScanSMIDisks();
    // The road is the scan's: the table's records are handed out on the ASPI road only, even
    // when a later version test (a failed query) says otherwise.
    const bool aspiRoad = UseASPI != 0;
    bool filtered = vendorFilter != NULL || productFilter != NULL;
    SMIDiskInfo record;
    ResetSMIDiskInfo(&record);
    int count = 0;
    for (int j = 0; j < devices && j < kMaxSMIDisks; ++j) {
        if (aspiRoad) {
            if (!OpenSMIDiskByIndex(j, &record)) continue;
        } else {
            record.driveLetter = SMIDiskTable[j].driveLetter;
        }
        if (HasDriveLetter(record) &&
            (!filtered || DevicePassesFilters(&record, vendorFilter, productFilter)))
            letters[count++] = record.driveLetter;
        if (aspiRoad) CloseSMIDisk(&record);
    }
    return count;
}
