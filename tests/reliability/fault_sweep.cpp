// The fault sweep. Every example run (the tool's, the controller scan's and the SDK
// calls') runs once clean to count the failable platform calls it makes, then twice per
// such call: with that one call failing the way Windows fails it, and with it failing from
// then on (the drive, key or service behind it gone). Every run must end without a crash or
// a sanitizer report, leave nothing open beyond the exceptions named below, and end with an
// outcome the program can have: for the tool, a line it can print and an exit code that
// belongs to that line; for the SDK, one of the call's documented statuses and no output
// written past its buffer, and after a single failure no success with other results than
// the clean run's. The sweep prints how many runs it made and a table of their outcomes.
//
// What the program may print or return is data (the tables below): a new line of the
// tool, or a new SDK call, is one more row.
#include "sdk/device/device_table.h"
#include "sdk/discovery/sysinfo.h"
#include "sim/fault.h"
#include "tests/support/example_runs.h"
#include "tests/support/sim_test.h"
#include "tools/runner.h"
#include "tools/scenario.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KORVANTA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVANTA_SANITIZED 1
#endif
#endif
#ifdef KORVANTA_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

using nlohmann::json;

namespace {

// ---------------------------------------------------------------------------------------
// What the program may show

// The lines the tool prints, on which stream, and the exit codes each goes with. The first
// line a run shows must be one of them; the outcome is decided by the first failed ejection
// when there is one (after --all has ejected other drives), else by the first line that is
// not only an accompanying one (stdout before stderr). The last row is a run that shows
// nothing.
struct ToolLine {
    const char* stream;  // "stdout", "stderr"; "" for a run that shows nothing
    const char* pattern;
    std::set<int> exitCodes;  // empty: a line that only accompanies the outcome's line
    bool outweighs = false;   // decides the run wherever it stands
};

const ToolLine kToolLines[] = {
    {"stdout", "Drive [A-Z] Ejected", {0}},
    {"stdout", "Problem ejecting drive [A-Z]: .*", {1}, true},
    // A wait, and the blockers it or a failed ejection names.
    {"stdout", "Drive [A-Z] is in use; waiting up to ([2-9]|[1-9][0-9]+) seconds\\.", {}},
    {"stdout", "Drive [A-Z] is in use; waiting up to 1 second\\.", {}},
    {"stdout", "Close .+ \\(process [0-9]+\\) and try again\\.", {}},
    {"stdout", "Windows itself \\(process 4\\) holds drive [A-Z]:\\.", {}},
    {"stdout", "Fatal Error: GetModuleHandle failed", {1}},
    {"stdout", "Fatal Error: MFC initialization failed", {1}},
    {"stdout", "No USB drive detected\\.", {0}},
    {"stdout", "Drive [A-Z] is not a USB drive with media\\.", {1}},
    {"stdout", "No USB drive matches \".*\"\\.", {1}},
    {"stdout", "[A-Z]:( .*)?", {0}},  // --list
    {"stdout", "Model: .*", {0}},     // --info
    {"stderr",
     "Drive [A-Z] cannot be opened for controller commands: "
     "(not an administrator|not elevated|not a supported drive)\\.",
     {1}},
    {"stdout", "usage: korvanta .*", {0}},  // --help
    {"stderr", "usage: korvanta .*", {2}},  // arguments not understood
    {"stdout", "Korvanta [0-9]+(\\.[0-9]+)*", {0}},
    {"stderr", "The version information cannot be read\\.", {1}},
    // Alone in a window of its own, after any report but a whole ejection.
    {"stdout", "Press any key to close this window\\.", {}},
    // A second copy, a guard that cannot be had, --list with no drive; and (0) the run that
    // handed its ejection to a copy of itself in the temporary folder, which the judge
    // checks it started.
    {"", "", {0, 1}},
};

// The statuses each SDK call documents (a list, or a count from 0 to `countUpTo`) and the
// one that reports success. A call that reports success must hand back what the clean run
// handed back, and a count that is the clean run's must list the same drives. Results
// that stand without a status (the page map, the scan's table) only show in the table.
struct SdkStatuses {
    const char* call;
    std::vector<long long> statuses;
    std::optional<long long> success;
    long long countUpTo = -1;
};

const std::vector<long long> kInfoBlockStatuses = {0, -101, -105, -181, -210};

const SdkStatuses kSdkStatuses[] = {
    {"ReadControllerRam", {0, -210}, 0},
    {"ReadControllerSfr", {0, -210}, 0},
    // The flash information read, and the SFR or RAM reads that complete its record.
    {"ReadFlashInfo", {0, -181, -210}, 0},
    {"ReadFlashPages", {0, -210}, 0},
    {"IdentifyController", {0, 1}, 1},
    {"GetDeviceStrings", {0, 1}, 1},
    {"ReadDiskInfoBlock", {0, 1}, 1},
    {"ReadInfoBlock", kInfoBlockStatuses, 0},
    {"ChooseInfoBlockCopy", kInfoBlockStatuses, 0},
    {"BuildPageMap", {0}, std::nullopt},
    {"ExtractDeviceStrings", {0}, 0},
    {"ListControllerDriveLetters", {}, std::nullopt, kMaxSMIDisks},
    {"GetSysInfo", {}, std::nullopt, kMaxSysInfoLetters},
    {"ScanSMIDisks", {}, std::nullopt, kMaxSMIDisks},
};

// Exceptions: calls that report success with other data than the clean run, as they are
// documented to. `applies` looks at the call as the scenario gives it and at its result.
struct SuccessException {
    const char* call;
    bool (*applies)(const json& description, const json& result);
    const char* why;
};

bool OnAspiRoad(const json& description, const json&) { return description.value("aspi", false); }

bool EarlyModel(const json&, const json& result) {
    int model = result.value("modelCode", -1);
    return model >= 0 && model <= 9;
}

const SuccessException kSuccessExceptions[] = {
    {"IdentifyController", OnAspiRoad,
     "the ASPI transport returns 1 whatever happened, and the ASPI strategy reports a silent "
     "device as code 18"},
    {"GetDeviceStrings", EarlyModel,
     "for codes 0-9 the string read can return 1 after a failed block read"},
};

// Calls whose failure only loses a console line: the run shows the clean run's lines less
// that one and ends as the clean run did.
const std::set<std::string> kConsoleWrites = {"WriteFile", "WriteConsoleW", "GetStdHandle"};

// ---------------------------------------------------------------------------------------
// One run

struct Example {
    std::string file;
    json scenario;
    std::string kind;
};

struct RunResult {
    json report;
    std::vector<std::string> lines;  // "stdout <line>" / "stderr <line>", in that order
    std::vector<std::string> leaks;  // objects left open that no exception allows
    std::vector<std::string> failable;
    std::string error;  // an exception the run threw
};

std::vector<std::string> ShownLines(const sim::Machine& m) {
    std::vector<std::string> lines;
    for (const std::string& l : m.journal.ConsoleLines()) lines.push_back("stdout " + l);
    for (const std::string& l : m.journal.ErrorLines()) lines.push_back("stderr " + l);
    return lines;
}

// Exception: an ASPI request that outlives its wait and cannot be aborted keeps its
// request block and its completion event for good, since the ASPI manager may still write
// into the block and signal the event. Only those objects, of requests the simulated
// manager still holds, are allowed to stay.
bool HeldByPendingAspiRequest(const sim::Machine& m, uintptr_t handle, const sim::OpenObject& o) {
    for (const sim::PendingAspiRequest& r : m.pendingAspi) {
        if (o.kind == sim::ObjectKind::Event && reinterpret_cast<uintptr_t>(r.event) == handle)
            return true;
        if (o.kind == sim::ObjectKind::Allocation && o.memory.data() == r.srb) return true;
    }
    return false;
}

std::vector<std::string> Leaks(const sim::Machine& m) {
    std::vector<std::string> out;
    for (const auto& entry : m.objects) {
        const sim::OpenObject& o = entry.second;
        if (o.kind == sim::ObjectKind::Mutex) continue;  // held until the process ends
        if (HeldByPendingAspiRequest(m, entry.first, o)) continue;
        out.push_back(o.name);
    }
    for (const auto& library : m.libraries)
        if (library.second.references > 0) out.push_back("library " + library.second.name);
    return out;
}

// Which run is under way, for a crash report.
char gCurrentRun[512] = "";

void SayWhichRun() {
    const char prefix[] = "\nfault sweep: the crash happened in ";
    ssize_t ignored = write(2, prefix, sizeof prefix - 1);
    ignored = write(2, gCurrentRun, std::strlen(gCurrentRun));
    ignored = write(2, "\n", 1);
    (void)ignored;
}

void OnCrash(int signal) {
    SayWhichRun();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// How the chosen call fails: once, or from then on every call of its name (the drive, key
// or service behind it gone for good).
enum class Failure { Once, Lasting };

void NameRun(const Example& e, size_t fault, Failure failure) {
    if (fault == sim::kNoFault)
        std::snprintf(gCurrentRun, sizeof gCurrentRun, "%s, clean run", e.file.c_str());
    else
        std::snprintf(gCurrentRun, sizeof gCurrentRun, "%s, failable call %zu failing%s",
                      e.file.c_str(), fault, failure == Failure::Lasting ? " for good" : "");
}

RunResult RunOnce(const Example& e, size_t fault, Failure failure) {
    NameRun(e, fault, failure);
    FreshProcess();
    if (failure == Failure::Lasting)
        sim::PlanLastingFault(fault);
    else
        sim::PlanFault(fault);
    sim::Machine& m = sim::machine();
    RunResult result;
    try {
        scenario::Apply(e.scenario, m);
        result.report = scenario::Run(e.kind, m, e.scenario.value("calls", json::array()));
    } catch (const std::exception& ex) {
        result.error = ex.what();
    }
    result.lines = ShownLines(m);
    result.leaks = Leaks(m);
    result.failable = sim::FailableCalls();
    sim::ResetFaults();
    return result;
}

// ---------------------------------------------------------------------------------------
// Judging a run

// One finding or one outcome: `outcome` goes into the table, `problems` fail the sweep.
struct Verdict {
    std::vector<std::string> outcomes;
    std::vector<std::string> problems;
};

const ToolLine* MatchLine(const std::string& shown) {
    for (const ToolLine& row : kToolLines) {
        if (row.stream[0] == 0) {
            if (shown.empty()) return &row;
            continue;
        }
        std::string prefix = std::string(row.stream) + " ";
        if (shown.compare(0, prefix.size(), prefix) == 0 &&
            std::regex_match(shown.substr(prefix.size()), std::regex(row.pattern)))
            return &row;
    }
    return nullptr;
}

// The row that decides the run's outcome, its line in `decided`; null when the run shows
// only accompanying lines.
const ToolLine* DecidingLine(const std::vector<std::string>& lines, std::string* decided) {
    const ToolLine* row = nullptr;
    for (const std::string& line : lines) {
        const ToolLine* r = MatchLine(line);
        if (r == nullptr) continue;
        if (r->outweighs) {
            *decided = line;
            return r;
        }
        if (row == nullptr && !r->exitCodes.empty()) {
            row = r;
            *decided = line;
        }
    }
    if (row == nullptr && lines.empty()) row = MatchLine("");
    return row;
}

// The clean run's lines with exactly one of them missing, or, when the writes keep
// failing, with every line from the first lost one on missing.
bool LinesLost(const std::vector<std::string>& clean, const std::vector<std::string>& shown,
               Failure failure) {
    if (shown.size() >= clean.size()) return false;
    size_t k = 0;
    while (k < shown.size() && shown[k] == clean[k]) ++k;
    if (failure == Failure::Lasting) return k == shown.size();
    return shown.size() + 1 == clean.size() &&
           std::equal(shown.begin() + static_cast<std::ptrdiff_t>(k), shown.end(),
                      clean.begin() + static_cast<std::ptrdiff_t>(k) + 1);
}

bool StartedACopy(const json& report) {
    for (const json& created : report.value("processesCreated", json::array()))
        if (created.value("succeeded", false)) return true;
    return false;
}

void JudgeTool(const RunResult& clean, const RunResult& run, const std::string& injected,
               Failure failure, Verdict* v) {
    int exitCode = run.report.value("exitCode", -1);
    if (kConsoleWrites.count(injected) && run.lines != clean.lines) {
        v->outcomes.push_back("tool: console lines lost, exit " + std::to_string(exitCode));
        if (!LinesLost(clean.lines, run.lines, failure))
            v->problems.push_back("a failed console write changed more than its own line");
        if (exitCode != clean.report.value("exitCode", -1))
            v->problems.push_back("a failed console write changed the exit code to " +
                                  std::to_string(exitCode));
        return;
    }
    std::string first = run.lines.empty() ? "" : run.lines.front();
    if (MatchLine(first) == nullptr) {
        v->problems.push_back("a line the tool does not print: \"" + first + "\"");
        return;
    }
    const ToolLine* row = DecidingLine(run.lines, &first);
    if (row == nullptr) {
        v->problems.push_back("no outcome after \"" + first + "\"");
        return;
    }
    std::string name = row->stream[0] ? row->pattern : "(nothing)";
    v->outcomes.push_back("tool: " + name + ", exit " + std::to_string(exitCode));
    if (row->exitCodes.count(exitCode) == 0)
        v->problems.push_back("exit code " + std::to_string(exitCode) + " after \"" + first + "\"");
    // Silence with success is a hand-over only: the copy that prints the line was started.
    if (row->stream[0] == 0 && exitCode == 0 && !StartedACopy(run.report))
        v->problems.push_back("exit code 0 with nothing shown and no copy started");
}

const SdkStatuses* StatusesOf(const std::string& call) {
    for (const SdkStatuses& s : kSdkStatuses)
        if (call == s.call) return &s;
    return nullptr;
}

// A result as text; bytes from a device need not be UTF-8.
std::string Text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// Judges one call's result against what it documents and against the clean run's result.
// `description` is the call as the scenario gives it.
void JudgeCall(const std::string& call, const json& description, const json& result,
               const json& clean, Failure failure, Verdict* v) {
    const SdkStatuses* documented = StatusesOf(call);
    if (documented == nullptr) {
        v->problems.push_back("no documented statuses for " + call + " in the sweep's table");
        return;
    }
    long long status = result.value("status", 0LL);
    bool ok = documented->countUpTo >= 0 ? status >= 0 && status <= documented->countUpTo
                                         : std::count(documented->statuses.begin(),
                                                      documented->statuses.end(), status) > 0;
    if (!ok) v->problems.push_back(call + " returned " + std::to_string(status));

    std::string outcome = call + " " + std::to_string(status);
    if (status == clean.value("status", 0LL) && result != clean) {
        outcome += ", other data";
        bool checked = documented->success ? status == *documented->success
                                           : documented->countUpTo >= 0 && call != "ScanSMIDisks";
        const SuccessException* allowed = nullptr;
        for (const SuccessException& x : kSuccessExceptions)
            if (call == x.call && x.applies(description, result)) allowed = &x;
        // A call that keeps failing reaches the reads whose statuses are documented as not
        // tested (refinements, the page map, the second copy's record): shown, not judged.
        if (allowed != nullptr)
            outcome += " (" + std::string(allowed->why) + ")";
        else if (checked && failure == Failure::Once)
            v->problems.push_back(call + " reported " + std::to_string(status) +
                                  " with other data than the clean run: " + Text(result));
    }
    v->outcomes.push_back(outcome);
}

void JudgeSdk(const Example& e, const RunResult& clean, const RunResult& run, Failure failure,
              Verdict* v) {
    if (e.kind == "scan") {
        // A registry failure on the ASPI road leaves records without their letter, as
        // documented: the scan's table is shown, not judged.
        auto scan = [](const json& report) {
            return json{{"status", report.value("scanCount", -1LL)},
                        {"table", report["deviceTable"]}};
        };
        JudgeCall("ScanSMIDisks", json::object(), scan(run.report), scan(clean.report), failure, v);
        return;
    }
    const json& calls = run.report["calls"];
    const json& cleanCalls = clean.report["calls"];
    const json descriptions = e.scenario.value("calls", json::array());
    for (size_t k = 0; k < calls.size() && k < descriptions.size(); ++k) {
        const json& result = calls[k];
        std::string call = result.value("call", "");
        if (result.contains("overrun"))
            v->problems.push_back(call +
                                  " wrote past its output buffer: " + Text(result["overrun"]));
        JudgeCall(call, descriptions[k], result,
                  k < cleanCalls.size() ? cleanCalls[k] : json::object(), failure, v);
    }
}

Verdict Judge(const Example& e, const RunResult& clean, const RunResult& run,
              const std::string& injected, Failure failure) {
    Verdict v;
    if (!run.error.empty()) {
        v.problems.push_back("the run threw: " + run.error);
        return v;
    }
    for (const std::string& leak : run.leaks) v.problems.push_back("left open: " + leak);
    if (e.kind == "tool")
        JudgeTool(clean, run, injected, failure, &v);
    else
        JudgeSdk(e, clean, run, failure, &v);
    return v;
}

// ---------------------------------------------------------------------------------------
// The sweep

// The example runs (the malformed scenarios live in a folder of their own).
Example Load(const ExampleRun& run) {
    return Example{run.name, run.scenario, scenario::RunKind(run.scenario)};
}

struct Tally {
    size_t runs = 0;
    std::map<std::string, size_t> outcomes[2];  // by Failure
    std::map<std::string, size_t> injected;     // failures injected, by call
};

Tally& tally() {
    static Tally t;
    return t;
}

class FaultSweep : public ::testing::TestWithParam<ExampleRun> {};

TEST_P(FaultSweep, EveryFailableCallFailsSafely) {
    const Example e = Load(GetParam());
    RunResult clean = RunOnce(e, sim::kNoFault, Failure::Once);
    ++tally().runs;
    Verdict cleanVerdict = Judge(e, clean, clean, "", Failure::Once);
    for (const std::string& o : cleanVerdict.outcomes) ++tally().outcomes[0][o];
    ASSERT_THAT(cleanVerdict.problems, ::testing::IsEmpty()) << e.file << ", clean run";

    for (size_t fault = 0; fault < clean.failable.size(); ++fault) {
        for (Failure failure : {Failure::Once, Failure::Lasting}) {
            RunResult run = RunOnce(e, fault, failure);
            ++tally().runs;
            std::string injected = fault < run.failable.size() ? run.failable[fault] : "";
            // The runs are the same up to the failure, so the call that fails is the clean
            // run's call at that place.
            EXPECT_EQ(injected, clean.failable[fault]) << e.file << ": the run is not repeatable";
            if (failure == Failure::Once) ++tally().injected[injected];
            Verdict v = Judge(e, clean, run, injected, failure);
            for (const std::string& o : v.outcomes) ++tally().outcomes[int(failure)][o];
            for (const std::string& p : v.problems)
                ADD_FAILURE() << gCurrentRun << " (" << injected << "): " << p;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, FaultSweep, ::testing::ValuesIn(ExampleRuns()),
                         [](const ::testing::TestParamInfo<ExampleRun>& info) {
                             return ExampleRunTestName(info.param);
                         });

// Prints the runs and the outcome table once every example has been swept.
class Report : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef KORVANTA_SANITIZED
        __sanitizer_set_death_callback(SayWhichRun);
#endif
        for (int s : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) std::signal(s, OnCrash);
    }
    void TearDown() override {
        const Tally& t = tally();
        std::printf("\nfault sweep: %zu runs\n", t.runs);
        const char* const titles[2] = {"one call failing (and the clean runs)",
                                       "a call failing for good"};
        for (int f = 0; f < 2; ++f) {
            std::printf("\noutcomes, %s:\n", titles[f]);
            for (const auto& o : t.outcomes[f])
                std::printf("%8zu  %s\n", o.second, o.first.c_str());
        }
        std::printf("\nfailures injected, by call:\n");
        for (const auto& c : t.injected) std::printf("%8zu  %s\n", c.second, c.first.c_str());
    }
};

const ::testing::Environment* const kReport = ::testing::AddGlobalTestEnvironment(new Report);

}  // namespace
