// A controller written down in advance for the identification tests: the identification
// pages, the memory spaces and the registers it answers, each named by the command block
// that asks for it, and every data-out payload it received.
#pragma once

#include "sdk/device/device_table.h"
#include "sdk/trace/debug_trace.h"
#include "sdk/controller/controller_identify.h"
#include "tests/support/sim_test.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace identify_test {

// The command blocks the identification sends, as rule patterns.
constexpr const char* kStageOnePage = "F0 04 00 00 00 00 00 00 00 00 00 01";
constexpr const char* kStageTwoPage = "F0 2A 00 00 00 00 00 00 00 00 00 01";
constexpr const char* kConfirmationPage = "F0 04 00 00 00 00 00 00 00 00 00 03";
constexpr const char* kPageD8 = "F0 04 D8 00 00 00 00 00 00 00 00 01";
constexpr const char* kPage22Early = "F0 2A 00 00 00 00 00 16 00 00 00 03";
constexpr const char* kModelName = "F0 F0 03 FF 00 4D 00 08";
constexpr const char* kRevisionByte = "F0 F0 03 FF FE 11 00 02";
constexpr const char* kCodeState = "F0 F0 01 FF 00 29 00 02";
constexpr const char* kSmiName = "F0 F0 00 00 FF E7 00 08";
constexpr const char* kVariantByte = "F0 F0 E0 00 00 11 00 02";
constexpr const char* kSM3282CheckRead = "F0 F0 E0 00 00 6C 00 02";
constexpr const char* kSM3282CheckWrite = "F1 F0 E0 00 00 6C 00 02";
constexpr const char* kSM3282Result = "F0 F0 E0 00 00 6D 00 02";
constexpr const char* kCodeLoad = "F1 0A C8 00 00 00 00 00 00 00 00 01";
constexpr const char* kImageLoad = "F1 27 08 F2 D0 00 04 00 00 00 10 04 00 00 07 00";

// A 512-byte page with `mark` (two characters, '-' for neither) at 430 and `name` at 432.
inline std::vector<BYTE> NamedPage(const std::string& name, const char* mark = "SM") {
    std::vector<BYTE> page(512, 0);
    if (mark[0] != '-') page[430] = static_cast<BYTE>(mark[0]);
    if (mark[1] != '-') page[431] = static_cast<BYTE>(mark[1]);
    std::memcpy(page.data() + 432, name.data(), name.size());
    return page;
}

// `size` zero bytes with `text` at `at`.
inline std::vector<BYTE> BytesWith(size_t size, size_t at, const std::string& text) {
    std::vector<BYTE> bytes(size, 0);
    std::memcpy(bytes.data() + at, text.data(), text.size());
    return bytes;
}

// 56 bytes of INQUIRY data as SMI controllers answer it: 00 80 05 02, and "smi" at 53 when
// `smiFlag` is set.
inline std::vector<BYTE> SmiInquiry(bool smiFlag) {
    std::vector<BYTE> data = BytesWith(56, 8, "SMI     USB DISK");
    data[0] = 0x00;
    data[1] = 0x80;
    data[2] = 0x05;
    data[3] = 0x02;
    if (smiFlag) std::memcpy(data.data() + 53, "smi", 3);
    return data;
}

class ScriptedController : public sim::ScriptedDevice {
public:
    struct Written {
        std::string cdb;
        std::vector<BYTE> data;
    };
    std::vector<Written> written;
    int writesAccepted = -1;  // data-out commands taken before all later ones fail; -1: all

    bool Execute(const sim::ScsiCommand& command, BYTE* data, DWORD length,
                 DWORD* transferred) override {
        if (command.direction == sim::DataDirection::Out && writesAccepted >= 0 &&
            static_cast<int>(written.size()) >= writesAccepted)
            return false;
        bool ok = ScriptedDevice::Execute(command, data, length, transferred);
        if (ok && command.direction == sim::DataDirection::Out)
            written.push_back({CdbHex(command.cdb), std::vector<BYTE>(data, data + length)});
        return ok;
    }

    // Answers commands that match `pattern` with `reply`.
    void On(const char* pattern, std::vector<BYTE> reply = {}) {
        Rule rule;
        EXPECT_TRUE(sim::ParsePattern(pattern, &rule.pattern)) << pattern;
        rule.reply = std::move(reply);
        rules.push_back(rule);
    }
    void Refuse(const char* pattern) {
        On(pattern);
        rules.back().fail = true;
    }

    static std::string CdbHex(const BYTE* cdb) {
        std::string out;
        char part[4];
        for (int i = 0; i < 16; ++i) {
            std::snprintf(part, sizeof part, i ? " %02X" : "%02X", cdb[i]);
            out += part;
        }
        return out;
    }
};

// Every SCSI command block the machine saw, in order, as hex.
inline std::vector<std::string> SentCdbs() {
    std::vector<std::string> out;
    for (const auto& c : sim::machine().journal.scsiCommands)
        out.push_back(ScriptedController::CdbHex(c.command.cdb));
    return out;
}

// How many sent command blocks begin with `pattern` (hex, no wildcards).
inline int SentCount(const std::string& pattern) {
    int n = 0;
    for (const std::string& cdb : SentCdbs())
        if (cdb.compare(0, pattern.size(), pattern) == 0) ++n;
    return n;
}

// Identification on the pass-through road: the controller behind volume E:, opened.
class PassThroughIdentify : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::AddUsbFlashDrive(m, 'E', 1);
        device = std::make_shared<ScriptedController>();
        m.FindVolume('E')->target = device;
        ResetSMIDiskInfo(&info);
        info.driveLetter = 'E';
        ScsiRequest r = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
        CSMISCSICmd::OpenSMIDiskUnlocked(&r, "\\\\.\\E:");
        info.deviceHandle = r.deviceHandle;
    }
    void TearDown() override {
        if (info.deviceHandle != INVALID_HANDLE_VALUE) CloseHandle(info.deviceHandle);
        ExpectNothingOpen();
        EXPECT_TRUE(device->unmatched.empty()) << "a command the test did not expect was sent";
    }
    ScsiRequest Request() { return MakeScsiRequest(info.deviceHandle, 5); }
    int Detect(BYTE* name = NULL) {
        ScsiRequest r = Request();
        return DetectControllerModel(&r, name);
    }

    std::shared_ptr<ScriptedController> device;
    SMIDiskInfo info;
};

}  // namespace identify_test
