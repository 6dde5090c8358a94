// Controller model identification: which SMI controller a device carries, published as
// the process-wide CurrentModelCode that every vendor command takes, and the string
// descriptor offsets of the device's record.
#pragma once

#include "platform/win32.h"
#include "sdk/device/device_table.h"
#include "sdk/transport/pass_through.h"

// Identifies the controller of `info` by the ASPI strategy when UseASPI is set, else by the
// pass-through strategy. Returns 1 when a model was settled, 0 otherwise.
int IdentifyController(SMIDiskInfo* info);
int IdentifyControllerAspi(SMIDiskInfo* info);
int IdentifyControllerPassThrough(SMIDiskInfo* info);

// The model code of the device behind `request`, or 65535. `name` (20 bytes, zeroed by the
// caller; may be null) receives bytes 430-437 of the last identification page read.
int DetectControllerModel(ScsiRequest* request, BYTE* name);
// First step of the detection, by INQUIRY and the model name in controller memory. Returns
// nonzero when the device answered, with `modelCode` set or left at 65535.
int ProbeModelByInquiry(ScsiRequest* request, int& modelCode);
// Loads controller code into SM3270 and SM3271 controllers that do not run it yet.
// Returns nonzero on success.
int PreloadControllerCode(ScsiRequest* request, int modelCode);
