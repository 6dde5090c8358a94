#include "sdk/scan/disk_lock.h"

int KeepDiskOpen = 0;

void ResetDiskLockSettings() { KeepDiskOpen = 0; }
