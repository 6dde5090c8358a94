// korvanta-sim: runs the tool once on a simulated Windows machine.
//
//   korvanta-sim [SCENARIO.json] [--case N] [--scan] [--report FILE]
//
// With no scenario the machine has an internal disk C:, an optical drive D: without a disc
// and one USB flash drive E:. The tool's console output goes to standard output as it
// would on Windows, what it writes to standard error goes to standard error, and the exit
// code is the tool's. --scan (or "run": "scan" in the
// scenario) runs the administrator's controller scan instead of the tool and prints the
// device table it leaves; "run": "sdk" runs the scenario's SDK calls and prints each
// call's status. Of a scenario that is a table of cases, --case N runs the N-th (the first
// by default). Commands a controller refused are listed. A scenario or report that cannot be read
// or written exits with 2 and a message on standard error.
#include "sim/builders.h"
#include "sim/machine.h"
#include "tools/runner.h"
#include "tools/scenario.h"
#include "tools/scenario_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string scenarioPath, reportPath, kind = "tool";
    nlohmann::json calls = nlohmann::json::array();
    bool scanRequested = false;
    size_t caseNumber = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--report" && i + 1 < argc) {
            reportPath = argv[++i];
        } else if (arg == "--case" && i + 1 < argc) {
            caseNumber = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--scan") {
            scanRequested = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout
                << "usage: korvanta-sim [SCENARIO.json] [--case N] [--scan] [--report FILE]\n";
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
        scenario::LoadedScenario loaded;
        std::string error;
        if (!scenario::LoadScenario(in, m, &loaded, &error, caseNumber)) {
            std::cerr << "korvanta-sim: " << scenarioPath << ": " << error << "\n";
            return 2;
        }
        kind = loaded.kind;
        calls = loaded.calls;
    }

    if (scanRequested) kind = "scan";
    nlohmann::json report;
    try {
        report = scenario::Run(kind, m, calls);
    } catch (const std::exception& e) {
        std::cerr << "korvanta-sim: " << scenarioPath << ": " << e.what() << "\n";
        return 2;
    }
    int exitCode = report["exitCode"].get<int>();

    for (const sim::ConsoleWrite& w : m.journal.console)
        std::fwrite(w.text.data(), 1, w.text.size(), stdout);
    for (const sim::ConsoleWrite& w : m.journal.errorOutput)
        std::fwrite(w.text.data(), 1, w.text.size(), stderr);
    if (kind == "scan") {
        std::printf("%d SMI device record(s)\n", report["scanCount"].get<int>());
        for (const auto& r : report["deviceTable"])
            std::printf("  [%d] %s: adapter %d, target %d, lun %d%s\n", r["index"].get<int>(),
                        r["driveLetter"].is_string() ? r["driveLetter"].get<std::string>().c_str()
                                                     : "no letter",
                        r["haId"].get<int>(), r["targetId"].get<int>(), r["lun"].get<int>(),
                        r["isCdrom"].get<int>() ? ", CD-ROM unit" : "");
    }
    if (kind == "sdk")
        for (const auto& c : report["calls"])
            std::printf("%s: status %lld\n", c["call"].get<std::string>().c_str(),
                        c["status"].get<long long>());
    for (const auto& r : report["refused"])
        std::printf("refused by %s: %s\n", r["target"].get<std::string>().c_str(),
                    r["reason"].get<std::string>().c_str());
    std::fflush(stdout);

    if (!reportPath.empty()) {
        std::ofstream out(reportPath);
        out << report.dump(2) << "\n";
        if (!out) {
            std::cerr << "korvanta-sim: cannot write " << reportPath << "\n";
            return 2;
        }
    }
    return exitCode;
}
