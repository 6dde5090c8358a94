// A scenario file as korvanta-sim reads it: the machine it describes, what it runs and the
// SDK calls of an "sdk" run.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <istream>
#include <string>

namespace scenario {

struct LoadedScenario {
    std::string kind = "tool";  // "tool", "scan" or "sdk"
    nlohmann::json calls = nlohmann::json::array();
};

// Reads the scenario text from `in` and describes `m` as it says; of a table of cases, the
// case numbered `caseNumber` (from 1). Returns false with a
// message naming the offending field in `error` when the text is not a well-formed
// scenario; `m` may then be partly described.
bool LoadScenario(std::istream& in, sim::Machine& m, LoadedScenario* out, std::string* error,
                  size_t caseNumber = 1);

}  // namespace scenario
