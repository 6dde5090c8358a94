// The readers of a scenario file's sections, one file per part of the machine, in the
// order Apply (scenario.cpp) calls them. Each takes the whole scenario and reads the
// sections it owns; the fields themselves are read through scenario_fields.h.
#pragma once

#include "sim/machine.h"
#include "sim/scsi_target.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace scenario {

// scenario_machine.cpp: "windows", "account", "process", "console", "shell"; "registry";
// "files" and "processes".
void ApplyMachine(const nlohmann::json& scenario, sim::Machine& m);
void ApplyRegistry(const nlohmann::json& scenario, sim::Machine& m);
void ApplyFilesAndProcesses(const nlohmann::json& scenario, sim::Machine& m);

// scenario_storage.cpp: "fixedDisks", "opticalDrives", "usbFlashDrives", "volumes",
// "interfaces", "devices", "failingClassSets".
void ApplyStorage(const nlohmann::json& scenario, sim::Machine& m);

// scenario_legacy.cpp: the Windows 9x world, "legacyUnits", "aspi", "vwin32".
void ApplyLegacy(const nlohmann::json& scenario, sim::Machine& m);

// scenario_event_log.cpp: "eventLog".
void ApplyEventLog(const nlohmann::json& scenario, sim::Machine& m);

// scenario_controllers.cpp: the SCSI target of a volume or an ASPI host adapter, a
// scripted device or, when the description names one, a controller.
std::shared_ptr<sim::ScsiTarget> Target(const nlohmann::json& d, const std::string& where);

}  // namespace scenario
