#include "sdk/scan/disk_lock.h"

int KeepDiskOpen = 0;
