// Controller profiles: coherent controllers for the emulator, kept as data. The built-in
// table holds one controller of each command-form family; further profiles (one per row of
// the model table) come from ModelTableProfiles() in a file of their own.
#pragma once

#include "smi_controller.h"

#include <string>
#include <vector>

namespace sim {

// A controller named `name` ("SM3257ENBA") of `family`, answering the way every SMI
// controller does: INQUIRY with the SMI signature in bytes 5-7 and the vendor "SMI",
// identification pages naming the model ("SM" at byte 430, the name without "SM" at 432;
// an early controller's current-form page carries no name), RAM page 0 with the same
// name, the eight-character model name at memory space 03 address FF 00 4D and the
// code-present bit set at space 01 address FF 00 29. The flash information reply, the SFR
// page and the other RAM pages are the profile's own.
ControllerProfile BasicControllerProfile(const std::string& name, int modelCode,
                                         ControllerFamily family);

// The built-in controller whose flash information reply, SFR page and RAM pages serve a
// controller of `modelCode` and `family`: the one that keeps its settings where such a
// controller keeps them. Profiles of further models start from it, so that each is a whole
// controller and not only the answers to identification.
ControllerProfile FamilyTemplate(int modelCode, ControllerFamily family);

// The built-in table followed by ModelTableProfiles().
std::vector<ControllerProfile> BuiltInControllerProfiles();
// One profile per row of the model table; defined in controller_profiles_models.cpp.
std::vector<ControllerProfile> ModelTableProfiles();

// The first profile named `name`; false when there is none.
bool FindControllerProfile(const std::string& name, ControllerProfile* out);

}  // namespace sim
