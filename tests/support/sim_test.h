// Test support: every test starts on an empty simulated machine in a fresh process (the
// SDK's process-wide state back at its start values) and can check that nothing was left
// open.
#pragma once

#include "sim/builders.h"
#include "sim/machine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Returns the simulated machine and the SDK's process-wide state to their start values.
void FreshProcess();

// Asserts that no handle, device-information set, registry key, library or allocation is
// still open.
void ExpectNothingOpen();

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { FreshProcess(); }
    sim::Machine& m = sim::machine();
};

// The journal lines of one kind ("open", "ioctl", "sleep", ...), in order.
std::vector<std::string> JournalLines(const std::string& kind);
