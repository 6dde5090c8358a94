// One run on a described machine, as korvanta-sim and the scenario tests make it: the tool
// itself, or the administrator's controller scan alone.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <string>

namespace scenario {

// What a scenario runs: "tool" (korvanta.exe's one run) or "scan" (ScanSMIDisks). The
// scenario's "run" field chooses; "tool" when it has none.
std::string RunKind(const nlohmann::json& scenario);

// Runs `kind` on the machine as it is and returns the report: everything Report() gives
// plus the device table (records that are not all zero, by index) and, for a scan,
// "scanCount". A scan's exit code is 0.
nlohmann::json Run(const std::string& kind, sim::Machine& m);

}  // namespace scenario
