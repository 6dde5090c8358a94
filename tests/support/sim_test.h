// Test support: every test starts on an empty simulated machine in a fresh process (the
// SDK's process-wide state back at its start values), can check that nothing was left
// open, and fails when a scripted device received a command none of its rules matched.
#pragma once

#include "sim/builders.h"
#include "sim/machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Returns the simulated machine and the SDK's process-wide state to their start values,
// with no platform failure planned.
void FreshProcess();

// Asserts that no handle, device-information set, registry key, library or allocation is
// still open.
void ExpectNothingOpen();

// The commands that no rule of a scripted device on the machine (behind a volume or an
// ASPI host adapter) matched, one line each: the device's name and the 16 command bytes.
std::vector<std::string> UnmatchedCommands();

// Fails the test when a scripted device received a command that none of its rules matched:
// traffic the test did not describe fails exactly like a scripted failure and would
// otherwise pass unseen.
void ExpectNoUnmatchedCommands();

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { FreshProcess(); }
    // A fixture that overrides TearDown calls this one too.
    void TearDown() override {
        if (!unmatchedExpected_) ExpectNoUnmatchedCommands();
    }
    // Says that this test sends commands no rule matches on purpose.
    void ExpectUnmatchedCommands() { unmatchedExpected_ = true; }

    sim::Machine& m = sim::machine();

private:
    bool unmatchedExpected_ = false;
};

// The journal lines of one kind ("open", "ioctl", "sleep", ...), in order.
std::vector<std::string> JournalLines(const std::string& kind);
