// korvanta-sim's reading of a scenario file, in-process: the input is the file's text. A
// text that is not a well-formed scenario must be refused with a message (korvanta-sim
// then exits with 2); one that is runs as korvanta-sim would run it, where a call the
// scenario does not describe well is refused the same way.
#include "fuzz/fuzz_support.h"
#include "tools/runner.h"
#include "tools/scenario_file.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

void RefusedWithoutMessage(const char* stage) {
    std::fprintf(stderr, "%s refused the scenario without saying why\n", stage);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FreshProcess();
    sim::Machine& m = sim::machine();
    std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
    scenario::LoadedScenario loaded;
    std::string error;
    if (!scenario::LoadScenario(text, m, &loaded, &error)) {
        if (error.empty()) RefusedWithoutMessage("loading");
        return 0;
    }
    try {
        scenario::Run(loaded.kind, m, loaded.calls);
    } catch (const std::exception& e) {
        if (std::string(e.what()).empty()) RefusedWithoutMessage("running");
        return 0;
    }
    fuzz::CheckNothingOpen();
    return 0;
}
