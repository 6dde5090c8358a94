// Every example scenario, run in-process as korvanta-sim runs it, checked against the
// outcome its "expect" section states.
#include "app/korvanta_main.h"
#include "tests/support/sim_test.h"
#include "tools/scenario.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::vector<std::string> ScenarioFiles() {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(KORVANTA_SCENARIO_DIR))
        if (entry.path().extension() == ".json") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

json Load(const fs::path& path) {
    std::ifstream in(path);
    return json::parse(in);
}

class Scenario : public SimTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Scenario, RunsAsExpected) {
    json scenario = Load(fs::path(KORVANTA_SCENARIO_DIR) / GetParam());
    ASSERT_TRUE(scenario.contains("expect")) << "every example states its outcome";
    scenario::Apply(scenario, m);
    json report = scenario::Report(m, KorvantaMain());
    const json& expect = scenario["expect"];
    for (auto it = expect.begin(); it != expect.end(); ++it) {
        ASSERT_TRUE(report.contains(it.key())) << it.key();
        EXPECT_EQ(report[it.key()], it.value()) << it.key();
    }
    for (const auto& leak : report["leaks"].items()) EXPECT_EQ(leak.value(), 0) << leak.key();
}

INSTANTIATE_TEST_SUITE_P(Examples, Scenario, ::testing::ValuesIn(ScenarioFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 5);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ScenarioFormat, MisspeltFieldsAreRejected) {
    FreshProcess();
    EXPECT_THROW(
        scenario::Apply(Load(fs::path(KORVANTA_SCENARIO_DIR) / "malformed" / "unknown-field.json"),
                        sim::machine()),
        std::runtime_error);
    EXPECT_THROW(scenario::Apply(json::parse(R"({"volumes":[{"letter":"e"}]})"), sim::machine()),
                 std::runtime_error);
    EXPECT_THROW(
        scenario::Apply(json::parse(R"({"account":{"privilege":"root"}})"), sim::machine()),
        std::runtime_error);
}

}  // namespace
