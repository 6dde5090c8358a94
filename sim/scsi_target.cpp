#include "scsi_target.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace sim {

std::vector<BYTE> InquiryData(const std::string& vendor, const std::string& product,
                              const std::string& revision, const std::vector<BYTE>& extra,
                              BYTE peripheral, bool removable, const std::string& flagBytes) {
    std::vector<BYTE> data(36, 0);
    data[0] = peripheral;
    data[1] = removable ? 0x80 : 0x00;
    data[2] = 0x02;  // SPC-2
    data[3] = 0x02;  // response data format
    auto put = [&](size_t at, size_t width, const std::string& text) {
        for (size_t i = 0; i < width; ++i) data[at + i] = i < text.size() ? text[i] : ' ';
    };
    put(8, 8, vendor);
    put(16, 16, product);
    put(32, 4, revision);
    for (size_t i = 0; i < 3 && i < flagBytes.size(); ++i) data[5 + i] = flagBytes[i];
    data.insert(data.end(), extra.begin(), extra.end());
    data[4] = static_cast<BYTE>(std::min<size_t>(data.size() - 5, 255));
    return data;
}

namespace {

bool Matches(const std::vector<int>& pattern, const BYTE* cdb) {
    for (size_t i = 0; i < pattern.size() && i < 16; ++i)
        if (pattern[i] >= 0 && pattern[i] != cdb[i]) return false;
    return true;
}

DWORD CopyReply(const std::vector<BYTE>& reply, BYTE* data, DWORD length) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(reply.size(), length));
    if (n) std::memcpy(data, reply.data(), n);
    return n;
}

}  // namespace

bool ScriptedDevice::Execute(const ScsiCommand& command, BYTE* data, DWORD length,
                             DWORD* transferred) {
    *transferred = 0;
    if (command.cdb[0] == 0x12) {
        ++inquiries;
        if (failInquiry || inquiries <= inquiryFailTimes) return false;
        DWORD allocation = command.cdb[4];
        *transferred = CopyReply(inquiry, data, std::min(length, allocation));
        return true;
    }
    for (Rule& rule : rules) {
        if (!Matches(rule.pattern, command.cdb)) continue;
        ++rule.matched;
        if (rule.fail || rule.matched <= rule.failTimes ||
            std::find(rule.failOn.begin(), rule.failOn.end(), rule.matched) != rule.failOn.end())
            return false;
        const std::vector<BYTE>* reply = &rule.reply;
        if (!rule.replies.empty())
            reply = &rule.replies[std::min<size_t>(rule.answered, rule.replies.size() - 1)];
        ++rule.answered;
        if (command.direction == DataDirection::In) *transferred = CopyReply(*reply, data, length);
        return true;
    }
    unmatched.push_back(command);
    return false;
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>* bytes) {
    std::vector<int> pattern;
    if (!ParsePattern(text, &pattern)) return false;
    bytes->clear();
    for (int b : pattern) {
        if (b < 0) return false;
        bytes->push_back(static_cast<BYTE>(b));
    }
    return true;
}

bool ParsePattern(const std::string& text, std::vector<int>* pattern) {
    std::istringstream in(text);
    std::string token;
    pattern->clear();
    while (in >> token) {
        if (token == "??") {
            pattern->push_back(-1);
            continue;
        }
        if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
            !std::isxdigit(static_cast<unsigned char>(token[1])))
            return false;
        pattern->push_back(std::stoi(token, nullptr, 16));
    }
    return true;
}

}  // namespace sim
