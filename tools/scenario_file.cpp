#include "tools/scenario_file.h"

#include "tools/runner.h"
#include "tools/scenario.h"

#include <exception>
#include <stdexcept>

namespace scenario {

bool LoadScenario(std::istream& in, sim::Machine& m, LoadedScenario* out, std::string* error,
                  size_t caseNumber) {
    try {
        std::vector<nlohmann::json> cases = Cases(nlohmann::json::parse(in));
        if (caseNumber == 0 || caseNumber > cases.size())
            throw std::runtime_error("no case " + std::to_string(caseNumber));
        const nlohmann::json& description = cases[caseNumber - 1];
        Apply(description, m);
        out->kind = RunKind(description);
        out->calls = description.value("calls", nlohmann::json::array());
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    return true;
}

}  // namespace scenario
