// One run on a described machine, as korvanta-sim and the scenario tests make it: the tool
// itself, or the administrator's controller scan alone.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <string>

namespace scenario {

// What a scenario runs: "tool" (korvanta.exe's one run), "scan" (ScanSMIDisks) or "sdk"
// (the scenario's "calls", see tools/sdk_calls.h). The scenario's "run" field chooses;
// "tool" when it has none.
std::string RunKind(const nlohmann::json& scenario);

// Runs `kind` on the machine as it is and returns the report: everything Report() gives
// plus the device table (records that are not all zero, by index) and, for a scan,
// "scanCount"; for an SDK run, "calls" with one entry per call. A scan's and an SDK run's
// exit code is 0. Throws std::runtime_error when a call is not well described.
nlohmann::json Run(const std::string& kind, sim::Machine& m,
                   const nlohmann::json& calls = nlohmann::json::array());

}  // namespace scenario
