#include "sdk/vendor/controller_identify.h"

// Stand-in until the controller identification lands: takes the record's model code.
int IdentifyController(SMIDiskInfo* info) {
    if (info == NULL) return 0;
    CurrentModelCode = info->modelCode;
    info->descriptorOffset = info->modelCode > 10 ? 32 : 0;
    info->secondOffset = info->descriptorOffset == 32 ? 58 : 0;
    return 1;
}
