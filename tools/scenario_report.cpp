// The JSON report of a finished run.
#include "tools/scenario.h"

#include "sim/code_pages.h"
#include "sim/smi_controller.h"

#include <cstdio>
#include <vector>

using nlohmann::json;

namespace scenario {

std::string Utf8(const std::string& ansi) { return sim::ToUtf8(sim::Widen(ansi)); }

namespace {

std::string HexText(const std::vector<BYTE>& bytes) {
    std::string text;
    char part[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

// The bytes written to a redirected stream, one line each in hex, without its line feed.
json BytesWritten(const std::vector<sim::ConsoleWrite>& writes) {
    std::string all;
    for (const sim::ConsoleWrite& w : writes) all += w.bytes;
    json lines = json::array();
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        lines.push_back(HexText(std::vector<BYTE>(all.begin() + start, all.begin() + end)));
        start = end + 1;
    }
    return lines;
}

}  // namespace

json Report(const sim::Machine& m, int exitCode) {
    const sim::Journal& j = m.journal;
    json r;
    r["console"] = j.ConsoleLines();
    r["standardError"] = j.ErrorLines();
    if (m.console.output == sim::Stream::File) r["standardOutputBytes"] = BytesWritten(j.console);
    if (m.console.error == sim::Stream::File) r["standardErrorBytes"] = BytesWritten(j.errorOutput);
    r["exitCode"] = exitCode;
    r["beeps"] = json::array();
    for (const auto& b : j.beeps) r["beeps"].push_back(b.type);
    r["shellOpens"] = json::array();
    for (const auto& o : j.shellOpens)
        r["shellOpens"].push_back({{"verb", Utf8(o.verb)},
                                   {"file", Utf8(o.file)},
                                   {"directory", Utf8(o.directory)},
                                   {"show", o.show},
                                   {"succeeded", o.succeeded}});
    r["ejectRequests"] = json::array();
    for (const auto& e : j.ejectRequests)
        r["ejectRequests"].push_back({{"devInst", e.devInst},
                                      {"result", e.result},
                                      {"vetoType", e.vetoType},
                                      {"vetoName", sim::ToUtf8(e.vetoName)}});
    r["debugOutput"] = json::array();
    for (const auto& d : j.debugOutput) r["debugOutput"].push_back(Utf8(d.text));
    r["messageBoxes"] = json::array();
    for (const auto& b : j.messageBoxes)
        r["messageBoxes"].push_back(
            {{"text", Utf8(b.text)}, {"caption", Utf8(b.caption)}, {"type", b.type}});
    r["sleeps"] = json::array();
    for (const auto& s : j.sleeps) r["sleeps"].push_back(s.ms);
    r["scsiCommands"] = json::array();
    for (const auto& c : j.scsiCommands) {
        static const char* const kDirections[] = {"in", "out", "none"};
        std::vector<int> cdb(c.command.cdb, c.command.cdb + 16);
        r["scsiCommands"].push_back(
            {{"transport", c.transport},
             {"target", Utf8(c.target)},
             {"cdb", cdb},
             {"cdbLength", c.command.cdbLength},
             {"direction", kDirections[static_cast<int>(c.command.direction)]},
             {"length", c.command.transferLength},
             {"lun", c.command.lun},
             {"timeoutSeconds", c.command.timeoutSeconds},
             {"succeeded", c.succeeded}});
        if (!c.dataOut.empty()) r["scsiCommands"].back()["dataOut"] = HexText(c.dataOut);
    }
    r["refused"] = json::array();
    for (const sim::RefusedCommand& c : sim::RefusedCommands()) {
        std::vector<int> cdb(c.command.cdb, c.command.cdb + 16);
        r["refused"].push_back(
            {{"target", Utf8(c.controller)}, {"cdb", cdb}, {"reason", Utf8(c.reason)}});
    }
    r["aspiBlocks"] = json::array();
    for (const auto& block : j.aspiBlocks) r["aspiBlocks"].push_back(block);
    r["vwin32Calls"] = json::array();
    for (const auto& c : j.vwin32Calls)
        r["vwin32Calls"].push_back({{"in", std::vector<DWORD>(c.in, c.in + 7)},
                                    {"out", std::vector<DWORD>(c.out, c.out + 7)},
                                    {"succeeded", c.succeeded},
                                    {"carry", c.carry}});
    r["processesCreated"] = json::array();
    for (const auto& p : j.processesCreated)
        r["processesCreated"].push_back({{"applicationName", p.applicationName},
                                         {"commandLine", p.commandLine},
                                         {"currentDirectory", p.currentDirectory},
                                         {"inheritHandles", p.inheritHandles},
                                         {"creationFlags", p.creationFlags},
                                         {"succeeded", p.succeeded}});
    r["filesDeleted"] = json::array();
    // Paths are held as UTF-8.
    for (const auto& f : j.filesDeleted) r["filesDeleted"].push_back(f.path);
    r["files"] = json::object();
    for (const auto& f : m.files) r["files"][f.first] = {{"inUse", f.second.inUse}};
    r["currentDirectory"] = m.process.currentDirectory;
    r["elapsedMs"] = m.clockMs;
    sim::Leaks leaks = m.OpenObjects();
    r["leaks"] = {{"handles", leaks.handles},
                  {"deviceInfoSets", leaks.deviceInfoSets},
                  {"registryKeys", leaks.registryKeys},
                  {"libraries", leaks.libraries},
                  {"allocations", leaks.allocations}};
    r["journal"] = j.lines;
    return r;
}

}  // namespace scenario
