#include "tests/support/sim_test.h"

#include "tools/process_state.h"

#include <cstdio>
#include <memory>
#include <set>

void FreshProcess() { scenario::ResetProcessState(); }

void ExpectNothingOpen() {
    sim::Leaks leaks = sim::machine().OpenObjects();
    EXPECT_EQ(leaks.handles, 0) << "handles left open";
    EXPECT_EQ(leaks.deviceInfoSets, 0) << "device-information sets left open";
    EXPECT_EQ(leaks.registryKeys, 0) << "registry keys left open";
    EXPECT_EQ(leaks.libraries, 0) << "libraries left loaded";
    EXPECT_EQ(leaks.allocations, 0) << "allocations not freed";
}

namespace {

void AddUnmatched(const std::shared_ptr<sim::ScsiTarget>& target,
                  std::set<const sim::ScsiTarget*>* seen, std::vector<std::string>* out) {
    auto* device = dynamic_cast<const sim::ScriptedDevice*>(target.get());
    if (device == nullptr || !seen->insert(device).second) return;
    for (const sim::ScsiCommand& command : device->unmatched) {
        std::string line = device->name + ":";
        for (BYTE b : command.cdb) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", b);
            line += hex;
        }
        out->push_back(line);
    }
}

}  // namespace

std::vector<std::string> UnmatchedCommands() {
    const sim::Machine& m = sim::machine();
    std::set<const sim::ScsiTarget*> seen;  // one device may sit behind several roads
    std::vector<std::string> out;
    for (const auto& volume : m.volumes) AddUnmatched(volume.second.target, &seen, &out);
    for (const sim::HostAdapter& adapter : m.aspi.adapters)
        AddUnmatched(adapter.target, &seen, &out);
    return out;
}

void ExpectNoUnmatchedCommands() {
    EXPECT_THAT(UnmatchedCommands(), ::testing::IsEmpty())
        << "commands that no rule of a scripted device matched; a test that sends them on "
           "purpose says so with ExpectUnmatchedCommands()";
}

std::vector<std::string> JournalLines(const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& line : sim::machine().journal.lines)
        if (line.compare(0, kind.size() + 1, kind + " ") == 0) out.push_back(line);
    return out;
}
