// The example runs of tests/scenarios: one per file, or one per case of a table.
#pragma once

#include "tools/scenario.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

struct ExampleRun {
    std::string name;  // the file's name without ".json", and "#N" for a table's N-th case
    nlohmann::json scenario;
};

inline std::ostream& operator<<(std::ostream& out, const ExampleRun& run) {
    return out << run.name;
}

inline std::vector<ExampleRun> ExampleRuns() {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(KORVANTA_SCENARIO_DIR))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<ExampleRun> runs;
    for (const fs::path& file : files) {
        std::ifstream in(file);
        std::vector<nlohmann::json> cases = scenario::Cases(nlohmann::json::parse(in));
        for (size_t k = 0; k < cases.size(); ++k)
            runs.push_back(
                {file.stem().string() + (cases.size() > 1 ? "#" + std::to_string(k + 1) : ""),
                 cases[k]});
    }
    return runs;
}

// A test name for gtest: letters, digits and '_'.
inline std::string ExampleRunTestName(const ExampleRun& run) {
    std::string name = run.name;
    for (char& c : name)
        if (c == '-' || c == '#') c = '_';
    return name;
}
