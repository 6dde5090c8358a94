#include "tests/controller/test_info_block_fixture.h"

#include <cstring>

std::vector<BYTE> Bytes(size_t size, std::initializer_list<std::pair<int, int>> set) {
    std::vector<BYTE> out(size, 0);
    for (const auto& p : set) out.at(static_cast<size_t>(p.first)) = static_cast<BYTE>(p.second);
    return out;
}

void Put(std::vector<BYTE>& bytes, int at, const char* text) {
    std::memcpy(bytes.data() + at, text, std::strlen(text));
}

void PutBe16At(std::vector<BYTE>& bytes, int at, unsigned value) {
    bytes.at(static_cast<size_t>(at)) = static_cast<BYTE>(value >> 8);
    bytes.at(static_cast<size_t>(at) + 1) = static_cast<BYTE>(value);
}

std::vector<BYTE> DescriptorPage(size_t size, int marker) {
    return Bytes(size, {{0, 0x12}, {1, 0x01}, {2, marker}, {1023, 0xAA}, {1024, 0xBB}});
}

void ControllerTest::SetUp() {
    SimTest::SetUp();
    sim::AddUsbFlashDrive(m, 'E', 1);
    device = std::make_shared<sim::ScriptedDevice>();
    device->name = "controller";
    m.FindVolume('E')->target = device;
    // Zeroed settings unless a test says otherwise; flash pages and early blocks only
    // where a test puts them.
    Answer({0xF0, 0x06}, Bytes(512));
    Answer({0xF0, 0x20}, Bytes(512));
    Answer({0xF0, 0x03}, Bytes(512));
    Answer({0xF0, 0x26}, Bytes(512));
    Answer({0xF0, 0x04}, Bytes(1536));
    Answer({0xF0, 0x2A}, Bytes(1536));
    request = MakeScsiRequest(INVALID_HANDLE_VALUE, 5);
    CSMISCSICmd::OpenSMIDiskUnlocked(&request, "\\\\.\\E:");
    m.journal = {};
}

void ControllerTest::TearDown() {
    CSMISCSICmd::CloseSMIDiskHandle(&request);
    ExpectNothingOpen();
}

void ControllerTest::Answer(std::vector<int> pattern, std::vector<BYTE> reply) {
    sim::ScriptedDevice::Rule rule;
    rule.pattern = std::move(pattern);
    rule.reply = std::move(reply);
    device->rules.insert(device->rules.begin(), rule);
}

void ControllerTest::Refuse(std::vector<int> pattern) {
    sim::ScriptedDevice::Rule rule;
    rule.pattern = std::move(pattern);
    rule.fail = true;
    device->rules.insert(device->rules.begin(), rule);
}

std::vector<BYTE> ControllerTest::Reply(unsigned block, int byte9, int maker) {
    std::vector<BYTE> r = Bytes(512, {{9, byte9}, {48, maker}, {49, 0x01}});
    PutBe16At(r, 258, block);
    return r;
}

std::vector<std::vector<BYTE>> ControllerTest::Sent(int operation) const {
    std::vector<std::vector<BYTE>> out;
    for (const auto& c : m.journal.scsiCommands)
        if (c.command.cdb[0] == 0xF0 && c.command.cdb[1] == operation)
            out.emplace_back(c.command.cdb, c.command.cdb + 16);
    return out;
}

std::vector<BYTE> ControllerTest::Cdb(std::initializer_list<int> bytes) const {
    std::vector<BYTE> out(16, 0);
    size_t i = 0;
    for (int b : bytes) out[i++] = static_cast<BYTE>(b);
    return out;
}
