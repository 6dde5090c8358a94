#include "sdk/transport/scsi_dispatch.h"

int ScsiRequestKind = 0;
