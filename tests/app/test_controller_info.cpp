// --info through the tool's entry point: the controller of every model the table names,
// shown by its row, with its strings and flash maker code; each reason a drive cannot take
// controller commands; nothing left open and no command a controller would refuse.
#include "app/korvanta_main.h"
#include "sdk/controller/controller_code.h"
#include "sdk/controller/model_table.h"
#include "sim/controller_profiles.h"
#include "tests/support/controller_test.h"
#include "tests/support/sim_test.h"

#include <cstdio>
#include <string>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string Line(const char* label, const std::string& value) { return label + value; }

class InfoOfModel : public SimTest, public ::testing::WithParamInterface<sim::ControllerProfile> {};

TEST_P(InfoOfModel, PrintsTheModelItsStringsAndTheFlashMaker) {
    const sim::ControllerProfile& profile = GetParam();
    if (profile.name.compare(0, 7, "SM3252D") == 0 && SM3252DCodeImage() == NULL)
        GTEST_SKIP() << "an SM3252D is identified only with its code image loaded";
    m.account.privilege = USER_PRIV_ADMIN;
    AttachController(m, 'E', sim::MakeController(profile));
    m.process.commandLine = "korvanta.exe --info E:";

    EXPECT_EQ(KorvantaMain(), 0);
    std::vector<std::string> lines = m.journal.ConsoleLines();
    ASSERT_EQ(lines.size(), 5u);
    // Variants of a model (renamed, or sharing a code) show the code's row of the table.
    const char* model = FindModelFullName(profile.modelCode);
    ASSERT_NE(model, nullptr) << profile.name;
    EXPECT_EQ(lines[0], Line("Model: ", model));
    EXPECT_EQ(lines[1], Line("Model code: ", std::to_string(profile.modelCode)));
    EXPECT_EQ(lines[2], Line("Manufacturer: ", profile.manufacturer));
    EXPECT_EQ(lines[3], Line("Product: ", profile.product));
    const std::vector<BYTE>& reply = profile.image.flashInfo;
    if (reply.size() > 48) {
        char maker[32];
        std::snprintf(maker, sizeof maker, "Flash maker code: 0x%02X", reply[48]);
        EXPECT_EQ(lines[4], maker);
    }
    EXPECT_THAT(m.journal.ErrorLines(), IsEmpty());
    EXPECT_THAT(JournalLines("mutex"), IsEmpty());
    EXPECT_THAT(m.journal.beeps, IsEmpty());
    EXPECT_THAT(m.journal.ejectRequests, IsEmpty());
    ExpectNothingRefused();
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(EveryModel, InfoOfModel, ::testing::ValuesIn(sim::ModelTableProfiles()),
                         ProfileTestName);

TEST_F(SimTest, InfoShowsDeviceStringsOnOneLineEach) {
    m.account.privilege = USER_PRIV_ADMIN;
    sim::ControllerProfile profile;
    ASSERT_TRUE(sim::FindControllerProfile("SM3271AD", &profile));
    profile.manufacturer = "Kestrel\nLabs";
    profile.product = "Pocket\x1b[2J Drive";
    AttachController(m, 'E', sim::MakeController(profile));
    m.process.commandLine = "korvanta.exe --info e";

    EXPECT_EQ(KorvantaMain(), 0);
    std::vector<std::string> lines = m.journal.ConsoleLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "Manufacturer: Kestrel?Labs");
    EXPECT_EQ(lines[3], "Product: Pocket?[2J Drive");
    ExpectNothingRefused();
    ExpectNothingOpen();
}

struct RefusalCase {
    const char* name;
    DWORD privilege;
    DWORD deniedAccess;  // on E's volume
    bool controller;     // an SMI controller behind E
    char letter;         // the drive asked about
    const char* reason;
};

class InfoRefused : public SimTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(InfoRefused, OneLineOnStandardErrorAndExitCodeOne) {
    const RefusalCase& c = GetParam();
    m.account.privilege = c.privilege;
    sim::AddFixedDisk(m, 'C', 0);
    if (c.controller)
        AttachController(m, 'E', BuiltInController("SM3271AD"));
    else
        sim::AddUsbFlashDrive(m, 'E', 1);
    m.FindVolume('E')->deniedAccess = c.deniedAccess;
    m.process.commandLine = std::string("korvanta.exe --info ") + c.letter + ":";

    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.console, IsEmpty());
    EXPECT_THAT(m.journal.ErrorLines(),
                ElementsAre(std::string("Drive ") + c.letter +
                            " cannot be opened for controller commands: " + c.reason + "."));
    EXPECT_THAT(JournalLines("mutex"), IsEmpty());
    EXPECT_THAT(m.journal.beeps, IsEmpty());
    ExpectNothingRefused();
    ExpectNothingOpen();
}

INSTANTIATE_TEST_SUITE_P(
    EveryReason, InfoRefused,
    ::testing::Values(
        RefusalCase{"User", USER_PRIV_USER, 0, true, 'E', "not an administrator"},
        RefusalCase{"Guest", USER_PRIV_GUEST, 0, true, 'E', "not an administrator"},
        RefusalCase{"NotElevated", USER_PRIV_ADMIN, FILE_READ_DATA | FILE_WRITE_DATA, true, 'E',
                    "not elevated"},
        RefusalCase{"WriteRefused", USER_PRIV_ADMIN, FILE_WRITE_DATA, true, 'E', "not elevated"},
        RefusalCase{"NoController", USER_PRIV_ADMIN, 0, false, 'E', "not a supported drive"},
        RefusalCase{"InternalDisk", USER_PRIV_ADMIN, 0, true, 'C', "not a supported drive"},
        RefusalCase{"NoSuchDrive", USER_PRIV_ADMIN, 0, true, 'Q', "not a supported drive"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(SimTest, InfoOfAUserSendsNoCommand) {
    AttachController(m, 'E', BuiltInController("SM3271AD"));
    m.process.commandLine = "korvanta.exe --info E:";
    EXPECT_EQ(KorvantaMain(), 1);
    EXPECT_THAT(m.journal.scsiCommands, IsEmpty());
    EXPECT_THAT(JournalLines("open"), IsEmpty());
}

}  // namespace
