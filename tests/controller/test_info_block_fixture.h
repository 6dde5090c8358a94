// A controller described by its answers: the flash information reply, the SFR page, RAM
// pages and flash pages, each a scripted reply on E:'s pass-through. Commands nobody
// described fail, so a test sees every read the code makes.
#pragma once

#include "sdk/transport/pass_through.h"
#include "sdk/controller/vendor_cmd.h"
#include "tests/support/sim_test.h"

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

// `size` zero bytes with the given (position, value) pairs set.
std::vector<BYTE> Bytes(size_t size, std::initializer_list<std::pair<int, int>> set = {});
// Writes `text` into `bytes` at `at`.
void Put(std::vector<BYTE>& bytes, int at, const char* text);
void PutBe16At(std::vector<BYTE>& bytes, int at, unsigned value);

class ControllerTest : public SimTest {
protected:
    void SetUp() override;
    void TearDown() override;

public:
    // A later answer wins over an earlier one for the same command.
    void Answer(std::vector<int> pattern, std::vector<BYTE> reply);
    void Refuse(std::vector<int> pattern);
    void FlashInfo(std::vector<BYTE> reply) { Answer({0xF0, 0x06}, std::move(reply)); }
    void EarlyFlashInfo(std::vector<BYTE> reply) { Answer({0xF0, 0x20}, std::move(reply)); }
    void Sfr(std::vector<BYTE> reply) { Answer({0xF0, 0x03}, std::move(reply)); }
    void Ram(int page, std::vector<BYTE> reply) { Answer({0xF0, 0x04, page}, std::move(reply)); }
    void WideSettings(std::vector<BYTE> reply) {
        Answer({0xF0, 0x04, 0xC0, 0x00, 0x18, 0x00}, std::move(reply));
    }
    void FlashPage(unsigned block, unsigned page, std::vector<BYTE> reply) {
        Answer({0xF0, 0x01, int(block >> 8), int(block & 0xFF), int(page >> 8), int(page & 0xFF)},
               std::move(reply));
    }
    // A current model's flash reply naming information block `block`, with scan byte 9 and
    // flash maker `maker`.
    static std::vector<BYTE> Reply(unsigned block, int byte9 = 1, int maker = 0x98);

    // The command blocks sent with operation byte `operation` (byte 1), in order.
    std::vector<std::vector<BYTE>> Sent(int operation) const;
    std::vector<BYTE> Cdb(std::initializer_list<int> bytes) const;

    std::shared_ptr<sim::ScriptedDevice> device;
    ScsiRequest request;
};

// The start of a USB device descriptor: a page that the flash scan takes for the block.
std::vector<BYTE> DescriptorPage(size_t size, int marker);
