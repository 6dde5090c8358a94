#include "tools/scenario.h"

#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

using nlohmann::json;

namespace scenario {

void Apply(const json& s, sim::Machine& m) {
    OnlyKeys(s, "scenario",
             {"description", "run",         "windows",    "account",       "process",
              "console",     "shell",       "fixedDisks", "opticalDrives", "usbFlashDrives",
              "volumes",     "substs",      "interfaces", "devices",       "failingClassSets",
              "registry",    "legacyUnits", "aspi",       "calls",         "vwin32",
              "files",       "processes",   "eventLog",   "expect"});
    ApplyMachine(s, m);
    ApplyStorage(s, m);
    ApplyRegistry(s, m);
    ApplyLegacy(s, m);
    ApplyFilesAndProcesses(s, m);
    ApplyEventLog(s, m);
}

}  // namespace scenario
