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
              "files",       "processes",   "eventLog",   "cases",         "expect"});
    if (s.contains("cases")) Bad("cases", "a table of cases runs one case at a time");
    ApplyMachine(s, m);
    ApplyStorage(s, m);
    ApplyRegistry(s, m);
    ApplyLegacy(s, m);
    ApplyFilesAndProcesses(s, m);
    ApplyEventLog(s, m);
}

std::vector<json> Cases(const json& s) {
    if (!s.is_object() || !s.contains("cases")) return {s};
    const json& cases = s.at("cases");
    if (!cases.is_array() || cases.empty()) Bad("cases", "expected a list of cases");
    std::vector<json> runs;
    for (size_t k = 0; k < cases.size(); ++k) {
        const json& c = cases[k];
        OnlyKeys(c, "cases[" + std::to_string(k) + "]", {"commandLine", "process", "expect"});
        json run = s;
        run.erase("cases");
        if (c.contains("process")) run["process"].merge_patch(c.at("process"));
        if (c.contains("commandLine")) run["process"]["commandLine"] = c.at("commandLine");
        if (c.contains("expect")) run["expect"].merge_patch(c.at("expect"));
        runs.push_back(run);
    }
    return runs;
}

}  // namespace scenario
