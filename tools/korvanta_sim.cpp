// korvanta-sim: runs the tool once on a simulated Windows machine.
//
//   korvanta-sim [SCENARIO.json] [--report FILE]
//
// With no scenario the machine has an internal disk C:, an optical drive D: without a disc
// and one USB flash drive E:. The tool's console output goes to standard output as it
// would on Windows, and the exit code is the tool's. A scenario or report that cannot be
// read or written exits with 2 and a message on standard error.
#include "app/korvanta_main.h"
#include "sim/builders.h"
#include "sim/machine.h"
#include "tools/scenario.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string scenarioPath, reportPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--report" && i + 1 < argc) {
            reportPath = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::cout << "usage: korvanta-sim [SCENARIO.json] [--report FILE]\n";
            return 0;
        } else if (scenarioPath.empty() && arg.rfind("--", 0) != 0) {
            scenarioPath = arg;
        } else {
            std::cerr << "korvanta-sim: unexpected argument " << arg << "\n";
            return 2;
        }
    }

    sim::Reset();
    sim::Machine& m = sim::machine();
    if (scenarioPath.empty()) {
        sim::BuildDefaultMachine(m);
    } else {
        std::ifstream in(scenarioPath);
        if (!in) {
            std::cerr << "korvanta-sim: cannot read " << scenarioPath << "\n";
            return 2;
        }
        try {
            scenario::Apply(nlohmann::json::parse(in), m);
        } catch (const std::exception& e) {
            std::cerr << "korvanta-sim: " << scenarioPath << ": " << e.what() << "\n";
            return 2;
        }
    }

    int exitCode = KorvantaMain();

    for (const sim::ConsoleWrite& w : m.journal.console)
        std::fwrite(w.text.data(), 1, w.text.size(), stdout);
    std::fflush(stdout);

    if (!reportPath.empty()) {
        std::ofstream out(reportPath);
        out << scenario::Report(m, exitCode).dump(2) << "\n";
        if (!out) {
            std::cerr << "korvanta-sim: cannot write " << reportPath << "\n";
            return 2;
        }
    }
    return exitCode;
}
