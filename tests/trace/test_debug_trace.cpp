// The diagnostics trace: the registry switch, read once per process, and the texts that
// reach the debugger output unchanged.
#include "sdk/trace/debug_trace.h"
#include "tests/support/sim_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kKey[] = "SOFTWARE\\ZUDUZA";

class Trace : public SimTest {
protected:
    std::vector<std::string> Output() const {
        std::vector<std::string> out;
        for (const auto& d : m.journal.debugOutput) out.push_back(d.text);
        return out;
    }
};

TEST_F(Trace, SwitchOnPassesTextsUnchanged) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 7);
    DebugTrace("Read Fail!!");
    DebugTrace("Read Fail!!");
    DebugTrace("");
    DebugTrace("line\r\n");
    EXPECT_THAT(Output(), ElementsAre("Read Fail!!", "Read Fail!!", "", "line\r\n"));
    ExpectNothingOpen();
}

TEST_F(Trace, SwitchOffAbsentOrUnreadableMeansSilence) {
    struct Case {
        const char* name;
        void (*arrange)(sim::Machine&);
    };
    const Case cases[] = {
        {"zero",
         [](sim::Machine& m) { m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 0); }},
        {"key absent", [](sim::Machine&) {}},
        {"value absent", [](sim::Machine& m) { m.registry.Key(HKEY_LOCAL_MACHINE, kKey); }},
        {"access denied",
         [](sim::Machine& m) {
             m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
             m.registry.Key(HKEY_LOCAL_MACHINE, kKey).openError = ERROR_ACCESS_DENIED;
         }},
        {"too large",
         [](sim::Machine& m) {
             m.registry.SetRaw(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", REG_BINARY,
                               {1, 0, 0, 0, 0, 0, 0, 0});
         }},
        {"string",
         [](sim::Machine& m) {
             m.registry.SetString(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", "1");
         }},
        {"short binary",
         [](sim::Machine& m) {
             m.registry.SetRaw(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", REG_BINARY, {1});
         }},
        {"four-byte binary",
         [](sim::Machine& m) {
             m.registry.SetRaw(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", REG_BINARY, {1, 0, 0, 0});
         }},
    };
    for (const Case& c : cases) {
        FreshProcess();
        c.arrange(m);
        DebugTrace("hello");
        EXPECT_THAT(Output(), IsEmpty()) << c.name;
        EXPECT_EQ(DebugSwitchLoaded, 1u) << c.name;
        EXPECT_EQ(DebugSwitchOn, 0u) << c.name;
        ExpectNothingOpen();
    }
}

TEST_F(Trace, SwitchIsReadOncePerProcess) {
    DebugTrace("first");  // key absent: off for good
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
    DebugTrace("second");
    EXPECT_THAT(Output(), IsEmpty());
    EXPECT_THAT(JournalLines("regopen"), IsEmpty()) << "key absent: nothing was opened";

    FreshProcess();
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
    DebugTrace("a");
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 0);
    DebugTrace("b");
    EXPECT_THAT(Output(), ElementsAre("a", "b"));
    EXPECT_EQ(JournalLines("regopen").size(), 1u);
}

TEST_F(Trace, OneTimeLoadByAnotherPartCountsAsTheLoad) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
    EnsureDebugSwitchLoaded();
    EnsureDebugSwitchLoaded();
    EXPECT_EQ(JournalLines("regopen").size(), 1u);
    EXPECT_THAT(Output(), IsEmpty());
    DebugTrace("x");
    EXPECT_THAT(Output(), ElementsAre("x"));
}

TEST_F(Trace, NotesAndValuesNeverReachTheDebugger) {
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
    DebugTraceError("GetSysInfo() In\r\n", 0);
    DebugTraceValue(42, "count", 1);
    EXPECT_THAT(Output(), IsEmpty());
    EXPECT_EQ(DebugSwitchLoaded, 0u) << "the silent operations do not load the switch";
}

TEST_F(Trace, LoadReportsTheStatusOfTheStepThatFailed) {
    EXPECT_EQ(LoadDebugSwitch(), ERROR_FILE_NOT_FOUND);
    m.registry.Key(HKEY_LOCAL_MACHINE, kKey).openError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(LoadDebugSwitch(), ERROR_ACCESS_DENIED);
    m.registry.Key(HKEY_LOCAL_MACHINE, kKey).openError = 0;
    EXPECT_EQ(LoadDebugSwitch(), ERROR_FILE_NOT_FOUND);
    m.registry.SetRaw(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", REG_BINARY, {1, 0, 0, 0, 0});
    EXPECT_EQ(LoadDebugSwitch(), ERROR_MORE_DATA);
    m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 1);
    EXPECT_EQ(LoadDebugSwitch(), ERROR_SUCCESS);
    EXPECT_EQ(DebugSwitchOn, 1u);
    ExpectNothingOpen();
}

// On 64-bit Windows reg.exe and regedit write HKLM\SOFTWARE\ZUDUZA in the 64-bit view; the
// 32-bit program's own view is WOW6432Node.
TEST_F(Trace, SwitchInThe64BitViewIsFoundWhenTheProgramsViewHasNoKey) {
    m.registry.SetDword(sim::Hklm64BitView, kKey, "ShowDebugMsg", 1);
    DebugTrace("from the 64-bit view");
    EXPECT_THAT(Output(), ElementsAre("from the 64-bit view"));
    EXPECT_THAT(JournalLines("regopen"),
                ElementsAre("regopen HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUDUZA (64-bit view)"));
    ExpectNothingOpen();
}

TEST_F(Trace, TheProgramsOwnViewDecidesWhenItHasTheKey) {
    struct Case {
        const char* name;
        void (*arrange32)(sim::Machine&);
    };
    const Case cases[] = {
        {"switch off",
         [](sim::Machine& m) { m.registry.SetDword(HKEY_LOCAL_MACHINE, kKey, "ShowDebugMsg", 0); }},
        {"key without the value",
         [](sim::Machine& m) { m.registry.Key(HKEY_LOCAL_MACHINE, kKey); }},
        {"key refused",
         [](sim::Machine& m) {
             m.registry.Key(HKEY_LOCAL_MACHINE, kKey).openError = ERROR_ACCESS_DENIED;
         }},
    };
    for (const Case& c : cases) {
        FreshProcess();
        m.registry.SetDword(sim::Hklm64BitView, kKey, "ShowDebugMsg", 1);
        c.arrange32(m);
        DebugTrace("hello");
        EXPECT_THAT(Output(), IsEmpty()) << c.name;
        ExpectNothingOpen();
    }
}

TEST_F(Trace, The64BitViewIsReachedOnlyWithItsFlag) {
    m.registry.SetDword(sim::Hklm64BitView, kKey, "ShowDebugMsg", 1);
    HKEY key = NULL;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    // Outside SOFTWARE the two views are one registry.
    m.registry.Key(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup");
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Setup", 0, KEY_READ | KEY_WOW64_64KEY, &key),
        ERROR_SUCCESS);
    RegCloseKey(key);
    ExpectNothingOpen();
}

}  // namespace
