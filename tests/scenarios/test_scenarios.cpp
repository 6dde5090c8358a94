// Every example scenario, run in-process as korvanta-sim runs it, checked against the
// outcome its "expect" section states.
#include "app/korvanta_main.h"
#include "tests/support/example_runs.h"
#include "tests/support/sim_test.h"
#include "sdk/scan/hardware_keys.h"
#include "sdk/transport/aspi_transport.h"
#include "sdk/transport/pass_through.h"
#include "tools/runner.h"
#include "tools/scenario.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

json Load(const fs::path& path) {
    std::ifstream in(path);
    return json::parse(in);
}

class Scenario : public SimTest, public ::testing::WithParamInterface<ExampleRun> {};

TEST_P(Scenario, RunsAsExpected) {
    const json& scenario = GetParam().scenario;
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
    // Libraries come from the system directory by full path; only the ASPI manager of
    // Windows 9x is loaded by its bare name, as that system's documentation gives it.
    const std::string systemLoad = "load " + m.process.systemDirectory + "\\";
    for (const std::string line : report["journal"]) {
        if (line.rfind("load ", 0) != 0 || line == "load wnaspi32.dll") continue;
        EXPECT_EQ(line.rfind(systemLoad, 0), 0u) << line;
    }
    // What those libraries load in turn is looked for in the system directory too.
    for (const sim::LibraryLoad& load : m.journal.libraryLoads) {
        if (load.name != "wnaspi32.dll") {
            EXPECT_EQ(load.flags, DWORD(LOAD_WITH_ALTERED_SEARCH_PATH));
        }
    }
    if (!expect.contains("refused")) {
        EXPECT_EQ(report["refused"], json::array()) << "a controller refused a command";
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, Scenario, ::testing::ValuesIn(ExampleRuns()),
                         [](const ::testing::TestParamInfo<ExampleRun>& info) {
                             return ExampleRunTestName(info.param);
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
    HWKEYNode* head = NewHWKEYNode();
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

// A scenario the format cannot describe is refused with the path of the offending field.
struct Refusal {
    const char* name;
    const char* scenario;
    const char* field;
};

class RefusedScenario : public SimTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedScenario, NamesTheField) {
    try {
        scenario::Apply(json::parse(GetParam().scenario), m);
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(std::string(GetParam().field) + ": ", 0), 0u)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RefusedScenario,
    ::testing::Values(
        Refusal{"misspelt_field", R"({"usbFlashDrives": [{"letter": "E", "diskNumbr": 1}]})",
                "usbFlashDrives[0]"},
        Refusal{"small_letter", R"({"volumes": [{"letter": "e"}]})", "volumes[0].letter"},
        // Opens are mapped to specific rights first: generic ones would deny no open.
        Refusal{"generic_denied_access",
                R"({"volumes": [{"letter": "E", "deniedAccess": 3221225472}]})",
                "volumes[0].deniedAccess"},
        Refusal{"unknown_privilege", R"({"account": {"privilege": "root"}})", "account.privilege"},
        // One past the last veto type of the enumeration (the scenario fuzzer found 52).
        Refusal{"veto_type_past_the_last",
                R"({"usbFlashDrives": [{"letter": "E", "ejectAnswers": [{"vetoType": 13}]}]})",
                "usbFlashDrives[0].ejectAnswers[0].vetoType"},
        // A number the field's type cannot hold would convert to another (the scenario
        // fuzzer found 1.5e89).
        Refusal{"number_out_of_range", R"({"windows": {"major": 1.5e89}})", "windows.major"},
        Refusal{"negative_unsigned", R"({"windows": {"upTimeMs": -1}})", "windows.upTimeMs"},
        Refusal{"view_outside_software",
                R"({"registry": [{"root": "HKEY_DYN_DATA", "key": "Enum", "view": "64"}]})",
                "registry[0].view"},
        Refusal{"unknown_profile", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM9999"}}]})",
                "volumes[0].scsiTarget.controller"},
        Refusal{"image_past_1_mib", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD", "sfr": {"size": 2097152}}}]})",
                "volumes[0].scsiTarget.sfr.size"},
        Refusal{"patch_past_the_size", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD",
                "sfr": {"size": 4, "patches": [{"at": 2, "hex": "01 02 03"}]}}}]})",
                "volumes[0].scsiTarget.sfr.patches[0]"},
        Refusal{"patch_hex_and_ascii", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD",
                "sfr": {"size": 4, "patches": [{"at": 0, "hex": "01", "ascii": "A"}]}}}]})",
                "volumes[0].scsiTarget.sfr.patches[0]"},
        Refusal{"unknown_fault_form", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD", "faults": [{"form": "ramRead"}]}}]})",
                "volumes[0].scsiTarget.faults[0].form"},
        Refusal{"page_not_a_number", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD", "ramPages": {"page": "00"}}}]})",
                "volumes[0].scsiTarget.ramPages.page"},
        Refusal{"unknown_controller_field", R"({"volumes": [{"letter": "E",
                "scsiTarget": {"controller": "SM3271AD", "colour": 1}}]})",
                "volumes[0].scsiTarget"},
        Refusal{"unknown_completion", R"({"aspi": {"adapters": [{"completion": "soon"}]}})",
                "aspi.adapters[0].completion"},
        Refusal{"event_data_and_removal_fields",
                R"({"eventLog": {"system": [{"data": [], "processId": 4}]}})",
                "eventLog.system[0]"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(ScenarioFormat, TakesTheLastVetoType) {
    FreshProcess();
    EXPECT_NO_THROW(scenario::Apply(json::parse(R"({"usbFlashDrives": [{"letter": "E",
                                        "ejectAnswers": [{"result": 23, "vetoType": 12}]}]})"),
                                    sim::machine()));
}

}  // namespace
