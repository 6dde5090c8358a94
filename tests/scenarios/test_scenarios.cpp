// Every example scenario, run in-process as korvanta-sim runs it, checked against the
// outcome its "expect" section states.
#include "app/korvanta_main.h"
#include "tests/support/sim_test.h"
#include "sdk/scan/hardware_keys.h"
#include "sdk/transport/aspi_transport.h"
#include "sdk/transport/pass_through.h"
#include "tools/runner.h"
#include "tools/scenario.h"

#include <algorithm>
#include <cstdio>
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
    json report =
        scenario::Run(scenario::RunKind(scenario), m, scenario.value("calls", json::array()));
    const json& expect = scenario["expect"];
    for (auto it = expect.begin(); it != expect.end(); ++it) {
        ASSERT_TRUE(report.contains(it.key())) << it.key();
        EXPECT_EQ(report[it.key()], it.value()) << it.key();
    }
    for (const auto& leak : report["leaks"].items()) EXPECT_EQ(leak.value(), 0) << leak.key();
    if (!expect.contains("refused")) {
        EXPECT_EQ(report["refused"], json::array()) << "a controller refused a command";
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, Scenario, ::testing::ValuesIn(ScenarioFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.size() - 5);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ScenarioFormat, DescribesVersionsLocksAndScriptedDevices) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(Load(fs::path(KORVANTA_SCENARIO_DIR) / "inquiry-device.json"), m);
    EXPECT_EQ(m.version.major, 6u);
    EXPECT_EQ(m.version.build, 7601u);

    ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    EXPECT_EQ(CSMISCSICmd::OpenSMIDiskLocked(&r, "\\\\.\\F:"), 1);
    EXPECT_EQ(m.clockMs, 200u) << "the lock succeeds on the second try";
    BYTE out[56] = {0};
    ASSERT_EQ(CSMISCSICmd::SCSIPassThroughInquiry(&r, out, 1), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 8, 3), "SMI");
    EXPECT_EQ(out[38], 's');

    BYTE cdb[16] = {0xF0, 0x2A, 0x77, 0x01};
    BYTE data[4] = {0};
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, data, 4, cdb), 1);
    EXPECT_EQ(data[3], 0x78);
    cdb[1] = 0x2C;
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, data, 4, cdb), 0);
    cdb[0] = 0xF1;
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, data, 1, cdb), 1);
    cdb[0] = 0xF7;
    EXPECT_EQ(CSMISCSICmd::SCSIPassThroughRead(&r, data, 1, cdb), 0);
    auto* device = dynamic_cast<sim::ScriptedDevice*>(m.FindVolume('F')->target.get());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->unmatched.size(), 6u) << "an unscripted command fails every attempt";

    json report = scenario::Report(m, 0);
    EXPECT_EQ(report["scsiCommands"][1]["cdb"][0], 0xF0);
    EXPECT_EQ(report["scsiCommands"][1]["direction"], "in");
    CSMISCSICmd::CloseSMIDiskHandle(&r);
}

TEST(ScenarioFormat, DescribesTheLegacyWorld) {
    FreshProcess();
    sim::Machine& m = sim::machine();
    scenario::Apply(json::parse(R"({
      "windows": {"major": 4, "minor": 10, "platform": "9x"},
      "legacyUnits": [
        {"node": "C1", "hardwareKey": "SCSI\\SMI\\SMIMB_0100", "class": "CDROM", "letter": "G"},
        {"node": "C2", "hardwareKey": "SCSI\\SMI\\SMIMB_0101", "letter": "H", "lun": 1}],
      "aspi": {"adapters": [
        {"scsiTarget": {"inquiry": {"vendor": "SMI", "product": "USB DISK"}},
         "completion": "later", "latencyMs": 40}]}
    })"),
                    m);
    HWKEYNode* head = new HWKEYNode();
    EXPECT_EQ(ParseHWKEYList(head), 2);
    ASSERT_NE(head->next, nullptr);
    EXPECT_EQ(head->next->unitLetter[2], 'H');
    EXPECT_EQ(head->next->unitLun[2], 1);
    ReleaseHWKEYList(head);

    HMODULE module = LoadLibraryA("wnaspi32.dll");
    BYTE out[kAspiInquiryRecordLength] = {0};
    EXPECT_EQ(InquireASPIDevice(module, 0, 0, 0, out), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out) + 3, 3), "SMI");
    EXPECT_EQ(m.clockMs, 40u);
    FreeLibrary(module);
    EXPECT_EQ(m.OpenObjects().Total(), 0);
}

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
    // Generic rights would deny no open, opens being mapped to specific rights first.
    try {
        scenario::Apply(json::parse(R"({"volumes":[{"letter":"E","deniedAccess":3221225472}]})"),
                        sim::machine());
        ADD_FAILURE() << "generic rights accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("volumes[0].deniedAccess: ", 0), 0u) << e.what();
    }
    FreshProcess();
    // A number outside the enumeration, found by the scenario fuzzer.
    const char* drive = R"({"usbFlashDrives":[{"letter":"E","diskNumber":1,
                             "ejectAnswers":[{"result":23,"vetoType":%d}]}]})";
    char text[160];
    std::snprintf(text, sizeof text, drive, 52);
    EXPECT_THROW(scenario::Apply(json::parse(text), sim::machine()), std::runtime_error);
    FreshProcess();
    std::snprintf(text, sizeof text, drive, 12);
    EXPECT_NO_THROW(scenario::Apply(json::parse(text), sim::machine()));
}

}  // namespace
