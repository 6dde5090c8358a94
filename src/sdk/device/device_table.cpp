#include "sdk/device/device_table.h"

#include <cstring>

SMIDiskInfo SMIDiskTable[kMaxSMIDisks];
int UseASPI = 0;
int CurrentModelCode = 0;

void ResetDeviceState() {
    std::memset(SMIDiskTable, 0, sizeof SMIDiskTable);
    UseASPI = 0;
    CurrentModelCode = 0;
}

void ResetSMIDiskInfo(SMIDiskInfo* info) {
    std::memset(info, 0, sizeof *info);
    info->aspiModule = NoAspiModule();
    info->vxdHandle = INVALID_HANDLE_VALUE;
    info->deviceHandle = INVALID_HANDLE_VALUE;
}
