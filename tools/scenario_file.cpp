#include "tools/scenario_file.h"

#include "tools/runner.h"
#include "tools/scenario.h"

#include <exception>

namespace scenario {

bool LoadScenario(std::istream& in, sim::Machine& m, LoadedScenario* out, std::string* error) {
    try {
        nlohmann::json description = nlohmann::json::parse(in);
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
