// Scenario files: a JSON description of a simulated machine (docs/scenarios.md), and the
// JSON report of one run of the tool on it.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace scenario {

// Describes `m` as the scenario says. Throws std::runtime_error naming the offending field
// when the scenario is not well formed.
void Apply(const nlohmann::json& scenario, sim::Machine& m);

// The runs a scenario describes: itself, or, for a table with "cases", one scenario per
// case: the table's own with the case's "process" fields over its process ("commandLine"
// alone stands for process.commandLine) and the case's "expect" over its own. Throws as
// Apply does for a case not well formed.
std::vector<nlohmann::json> Cases(const nlohmann::json& scenario);

// A text of the machine in its ANSI code page, as UTF-8 for a JSON report.
std::string Utf8(const std::string& ansi);

// The report of a finished run: console lines, exit code and every journaled effect.
nlohmann::json Report(const sim::Machine& m, int exitCode);

}  // namespace scenario
