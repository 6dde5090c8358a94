// A scenario's machine and process: the Windows version and code pages, the account, the
// process and its console, the shell, the registry, the files the program may copy or
// delete and the other processes.
#include "tools/scenario_fields.h"
#include "tools/scenario_sections.h"

#include "sim/builders.h"
#include "sim/code_pages.h"

using nlohmann::json;

namespace scenario {
namespace {

void ApplyWindows(const json& w, sim::Machine& m) {
    OnlyKeys(w, "windows",
             {"major", "minor", "build", "platform", "servicePack", "upTimeMs", "ansiCodePage",
              "oemCodePage", "setDefaultDllDirectories"});
    m.version.major = Get<DWORD>(w, "major", "windows", m.version.major);
    m.version.minor = Get<DWORD>(w, "minor", "windows", m.version.minor);
    m.version.build = Get<DWORD>(w, "build", "windows", m.version.build);
    m.version.platformId = ByName<DWORD>(
        Get<std::string>(w, "platform", "windows", "nt"),
        {{"nt", VER_PLATFORM_WIN32_NT}, {"9x", VER_PLATFORM_WIN32_WINDOWS}}, "windows.platform");
    m.version.servicePack = Get<std::string>(w, "servicePack", "windows", "");
    m.upTimeMs = Get<uint64_t>(w, "upTimeMs", "windows", 0);
    m.version.setDefaultDllDirectories = Get<bool>(w, "setDefaultDllDirectories", "windows", true);
    m.codePages.ansi = Get<UINT>(w, "ansiCodePage", "windows", m.codePages.ansi);
    m.codePages.oem = Get<UINT>(w, "oemCodePage", "windows", m.codePages.oem);
    for (UINT page : {m.codePages.ansi, m.codePages.oem})
        if (sim::ResolveCodePage(page) != page)
            Bad("windows", "code page " + std::to_string(page) + " is not one the machine has");
}

// A key: one character, "enter", or "ctrl+c".
sim::KeyPress Key(const json& k, const std::string& where) {
    OnlyKeys(k, where, {"atMs", "key"});
    sim::KeyPress key;
    key.atMs = Get<uint64_t>(k, "atMs", where, 0);
    std::u16string name = sim::FromUtf8(Get<std::string>(k, "key", where, ""));
    if (name == u"enter") {
        key.virtualKey = 0x0D;
        key.character = u'\r';
    } else if (name == u"ctrl+c") {
        key.virtualKey = 'C';
        key.character = 3;
        key.controlKeys = LEFT_CTRL_PRESSED;
    } else if (name.size() == 1) {
        key.character = name[0];
        key.virtualKey = name[0] >= u'a' && name[0] <= u'z' ? name[0] - u'a' + 'A' : name[0];
    } else {
        Bad(where + ".key", "expected one character, \"enter\" or \"ctrl+c\"");
    }
    return key;
}

void ApplyConsole(const json& c, sim::Machine& m) {
    OnlyKeys(
        c, "console",
        {"standardInput", "standardOutput", "standardError", "processes", "showWindow", "keys"});
    sim::Console& console = m.console;
    for (auto [key, stream] :
         {std::pair<const char*, sim::Stream*>{"standardInput", &console.input},
          {"standardOutput", &console.output},
          {"standardError", &console.error}})
        *stream =
            ByName<sim::Stream>(Get<std::string>(c, key, "console", "console"),
                                {{"console", sim::Stream::Console}, {"file", sim::Stream::File}},
                                std::string("console.") + key);
    console.otherProcesses =
        Get<std::vector<DWORD>>(c, "processes", "console", console.otherProcesses);
    if (c.contains("showWindow")) console.showWindow = Get<WORD>(c, "showWindow", "console", 0);
    Each(c, "keys", [&](const json& k, const std::string& w) {
        console.keys.push_back(Key(k, "console." + w));
        if (console.keys.size() > 1 && console.keys.back().atMs < console.keys.end()[-2].atMs)
            Bad("console." + w + ".atMs", "keys go in the order of their time");
    });
}

void ApplyAccount(const json& a, sim::Machine& m) {
    OnlyKeys(a, "account", {"userName", "privilege", "lookup"});
    m.account.userName = Get<std::string>(a, "userName", "account", m.account.userName);
    m.account.privilege = ByName<DWORD>(
        Get<std::string>(a, "privilege", "account", "user"),
        {{"guest", USER_PRIV_GUEST}, {"user", USER_PRIV_USER}, {"admin", USER_PRIV_ADMIN}},
        "account.privilege");
    if (a.contains("lookup")) {
        const json& lookup = a.at("lookup");
        if (lookup.is_number_unsigned())
            m.account.lookupStatus = lookup.get<DWORD>();
        else
            m.account.lookupStatus =
                ByName<NET_API_STATUS>(Get<std::string>(a, "lookup", "account", ""),
                                       {{"ok", NERR_Success},
                                        {"accessDenied", ERROR_ACCESS_DENIED},
                                        {"notFound", NERR_UserNotFound}},
                                       "account.lookup");
    }
}

void ApplyProcess(const json& p, sim::Machine& m) {
    OnlyKeys(p, "process",
             {"moduleHandle", "consoleStartup", "commandLine", "mutex", "moduleFileName",
              "fileVersion", "id", "currentDirectory", "systemDirectory", "tempPath", "copyError",
              "createProcessError"});
    m.process.moduleHandleAvailable = Get<bool>(p, "moduleHandle", "process", true);
    m.process.consoleControlAvailable = Get<bool>(p, "consoleStartup", "process", true);
    m.process.commandLine = Get<std::string>(p, "commandLine", "process", m.process.commandLine);
    m.process.moduleFileName =
        Get<std::string>(p, "moduleFileName", "process", m.process.moduleFileName);
    if (p.contains("fileVersion"))
        m.process.fileVersion =
            p.at("fileVersion").is_null() ? "" : Get<std::string>(p, "fileVersion", "process", "");
    m.process.id = Get<DWORD>(p, "id", "process", m.process.id);
    m.process.currentDirectory =
        Get<std::string>(p, "currentDirectory", "process", m.process.currentDirectory);
    m.process.systemDirectory =
        Get<std::string>(p, "systemDirectory", "process", m.process.systemDirectory);
    m.process.tempPath = Get<std::string>(p, "tempPath", "process", m.process.tempPath);
    m.process.copyError = Get<DWORD>(p, "copyError", "process", 0);
    m.process.createProcessError = Get<DWORD>(p, "createProcessError", "process", 0);
    enum Mutex { kFree, kHeldElsewhere, kFails };
    Mutex mutex = ByName<Mutex>(
        Get<std::string>(p, "mutex", "process", "free"),
        {{"free", kFree}, {"heldElsewhere", kHeldElsewhere}, {"fails", kFails}}, "process.mutex");
    if (mutex == kHeldElsewhere) m.process.mutexesHeldElsewhere.insert("Korvanta");
    m.process.mutexCreationFails = mutex == kFails;
}

HKEY Root(const std::string& name, const std::string& where) {
    return ByName<HKEY>(
        name, {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_DYN_DATA", HKEY_DYN_DATA}},
        where);
}

void ApplyRegistryKey(const json& k, const std::string& where, sim::Machine& m) {
    OnlyKeys(k, where, {"root", "view", "key", "openError", "values"});
    HKEY root = Root(Get<std::string>(k, "root", where, "HKEY_LOCAL_MACHINE"), where + ".root");
    std::string path = Get<std::string>(k, "key", where, "");
    // "64": the key is in the 64-bit view of HKLM\SOFTWARE, where 64-bit programs write.
    if (ByName<bool>(Get<std::string>(k, "view", where, "32"), {{"32", false}, {"64", true}},
                     where + ".view")) {
        if (root != HKEY_LOCAL_MACHINE || !sim::EqualNoCase(path.substr(0, 8), "SOFTWARE"))
            Bad(where + ".view", "only HKEY_LOCAL_MACHINE\\SOFTWARE has views");
        root = sim::Hklm64BitView;
    }
    sim::RegKey& key = m.registry.Key(root, path);
    key.openError = Get<LONG>(k, "openError", where, ERROR_SUCCESS);
    if (!k.contains("values")) return;
    const json& values = k.at("values");
    if (!values.is_object()) Bad(where + ".values", "expected an object");
    for (auto it = values.begin(); it != values.end(); ++it) {
        std::string w = where + ".values." + it.key();
        const json& v = it.value();
        OnlyKeys(v, w, {"dword", "string", "binary"});
        if (v.size() != 1) Bad(w, "expected exactly one of dword, string, binary");
        if (v.contains("dword"))
            m.registry.SetDword(root, path, it.key(), Get<DWORD>(v, "dword", w, 0));
        else if (v.contains("string"))
            m.registry.SetString(root, path, it.key(), Get<std::string>(v, "string", w, ""));
        else
            m.registry.SetRaw(root, path, it.key(), REG_BINARY,
                              Get<std::vector<BYTE>>(v, "binary", w, {}));
    }
}

}  // namespace

void ApplyMachine(const json& s, sim::Machine& m) {
    if (s.contains("windows")) ApplyWindows(s.at("windows"), m);
    if (s.contains("account")) ApplyAccount(s.at("account"), m);
    if (s.contains("process")) ApplyProcess(s.at("process"), m);
    if (s.contains("console")) ApplyConsole(s.at("console"), m);
    if (s.contains("shell")) {
        OnlyKeys(s.at("shell"), "shell", {"executeError"});
        m.shell.executeError = Get<DWORD>(s.at("shell"), "executeError", "shell", 0);
    }
}

void ApplyRegistry(const json& s, sim::Machine& m) {
    Each(s, "registry", [&](const json& d, const std::string& w) { ApplyRegistryKey(d, w, m); });
}

// Files the program may copy, find or delete, and other processes it may wait on.
void ApplyFilesAndProcesses(const json& s, sim::Machine& m) {
    Each(s, "files", [&](const json& f, const std::string& w) {
        OnlyKeys(f, w, {"path", "inUse"});
        std::string path = Get<std::string>(f, "path", w, "");
        if (path.empty()) Bad(w + ".path", "missing");
        m.files[path].inUse = Get<bool>(f, "inUse", w, false);
    });
    Each(s, "processes", [&](const json& p, const std::string& w) {
        OnlyKeys(p, w, {"id", "ends", "atMs"});
        DWORD id = Get<DWORD>(p, "id", w, 0);
        if (id == 0) Bad(w + ".id", "expected a nonzero process id");
        sim::OtherProcess& other = m.processes[id];
        other.end = ByName<sim::ProcessEnd>(Get<std::string>(p, "ends", w, "atOnce"),
                                            {{"atOnce", sim::ProcessEnd::AtOnce},
                                             {"later", sim::ProcessEnd::Later},
                                             {"never", sim::ProcessEnd::Never}},
                                            w + ".ends");
        other.endsAtMs = Get<uint64_t>(p, "atMs", w, 0);
    });
}

}  // namespace scenario
