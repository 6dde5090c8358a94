// The simulated Windows machine: what it holds, how tests describe it, and the journal of
// every observable effect the program had on it.
//
// One machine exists per process (sim::machine()); sim::Reset() turns it back into an empty
// machine with no drives, no devices, an empty registry and a zero clock. Tests describe a
// machine by filling the records below (or through sim/builders.h), run the code, then read
// the journal and the open-object counts.
#pragma once

#include <simwin/winapi.h>

#include "access.h"
#include "scsi_target.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace sim {

// Case-insensitive ordering for names that Windows compares without case (registry keys
// and values, device paths).
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualNoCase(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------------------
// What the machine holds

// The version the program's version resource carries unless a test says otherwise: the
// project version, as the Windows build writes it.
std::string DefaultFileVersion();

struct Account {
    std::string userName = "user";
    // What NetUserGetInfo answers for this account: NERR_Success with `privilege`, or a
    // failure such as ERROR_ACCESS_DENIED or NERR_UserNotFound.
    NET_API_STATUS lookupStatus = NERR_Success;
    DWORD privilege = USER_PRIV_USER;
};

struct Process {
    bool moduleHandleAvailable = true;
    bool consoleControlAvailable = true;  // SetConsoleCtrlHandler succeeds
    // The command line, UTF-8: GetCommandLineW hands it out whole, GetCommandLineA in the
    // ANSI code page; each from a buffer of its own (below), made at the call.
    std::string commandLine = "korvanta.exe";
    std::string commandLineAnsi;
    std::u16string commandLineWide;
    // Paths are held as UTF-8: the W forms answer them whole, the A forms in the ANSI code
    // page (Narrow), where a character the code page lacks becomes '?'.
    std::string moduleFileName = "C:\\Tools\\korvanta.exe";  // what GetModuleFileNameW names
    // The file version in the program's version resource, "a.b.c.d"; empty: the image has
    // no version resource.
    std::string fileVersion = DefaultFileVersion();
    bool mutexCreationFails = false;             // CreateMutexA returns NULL (ERROR_ACCESS_DENIED)
    std::set<std::string> mutexesHeldElsewhere;  // named mutexes another process owns
    DWORD id = 4200;                             // what GetCurrentProcessId answers
    // The current directory, which SetCurrentDirectoryW moves; like the image file, it holds
    // the volume it lies on open.
    std::string currentDirectory = "C:\\Users\\user";
    std::string systemDirectory = "C:\\Windows\\system32";
    std::string tempPath = "C:\\Users\\user\\AppData\\Local\\Temp\\";  // with its backslash
    // Nonzero: CopyFileW fails with this error after creating part of the destination.
    DWORD copyError = 0;
    DWORD createProcessError = 0;  // nonzero: CreateProcessW fails with this error
    // The search for libraries loaded by bare name as SetDefaultDllDirectories set it
    // (LOAD_LIBRARY_SEARCH_* flags); 0: the standard search.
    DWORD defaultDllDirectories = 0;
    // Whether the executable, loaded by another program, can bind its own imports; false:
    // a system whose kernel32 lacks an entry point the binding looks up.
    bool importsBindable = true;
};

// A file the program may copy, find or delete. Only such files are described; the program's
// own image (Process::moduleFileName) is one too, in use while the program runs.
struct File {
    bool inUse = false;  // running or held open elsewhere: DeleteFileW fails (access denied)
};

// Another process the program may open by its id, and when it ends.
enum class ProcessEnd {
    AtOnce,  // it is running when opened and ends as soon as the program waits on it
    Later,   // it ends when the virtual clock reaches `endsAtMs`
    Never,   // it outlives every wait
};

struct OtherProcess {
    ProcessEnd end = ProcessEnd::AtOnce;
    uint64_t endsAtMs = 0;
};

// The code pages of the machine's language: the ANSI one of the A functions and CP_ACP, and
// the OEM one, in which a console shows the bytes written to it. 1252 and 850 are western
// Europe's; 1251 and 866 Cyrillic; 932 for both, Japanese.
struct CodePages {
    UINT ansi = 1252;
    UINT oem = 850;
};

// A standard stream: the console, or the file or pipe it was redirected to.
enum class Stream { Console, File };

// A key pressed on the console: the two input records it makes (key down, then key up) arrive
// when the virtual clock reaches `atMs`.
struct KeyPress {
    uint64_t atMs = 0;
    WORD virtualKey = 0;
    WCHAR character = 0;
    DWORD controlKeys = 0;  // LEFT_CTRL_PRESSED, ...
};

// The process whose console the program is started in.
const DWORD kCommandInterpreterId = 1000;

struct Console {
    Stream input = Stream::Console;
    Stream output = Stream::Console;
    Stream error = Stream::Console;
    // The other processes attached to the console, as GetConsoleProcessList lists them with
    // the program's own: by default the command interpreter it was started from. One that
    // `Machine::processes` describes leaves the console when it ends.
    std::vector<DWORD> otherProcesses = {kCommandInterpreterId};
    // What GetStartupInfoA reports: STARTF_USESHOWWINDOW with this show state; none: no flag.
    std::optional<WORD> showWindow;
    std::vector<KeyPress> keys;  // in the order of their time
    DWORD inputMode =
        ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT;
    // The input: the keys that have arrived (by index into `keys`), and the records not yet
    // read.
    size_t keysArrived = 0;
    std::deque<INPUT_RECORD> pending;
};

struct WindowsVersion {
    DWORD major = 10, minor = 0, build = 19045;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    std::string servicePack;
    // kernel32 has SetDefaultDllDirectories: Windows 8 and later, Vista and 7 with the
    // update that added it. SetDllDirectoryW is there from XP SP1 on.
    bool setDefaultDllDirectories = true;
};

struct Volume {
    char letter = 0;
    UINT driveType = DRIVE_REMOVABLE;
    std::string dosDevice;  // target of "X:", e.g. \Device\HarddiskVolume7
    bool mediaPresent = true;
    bool hasDeviceNumber = true;
    DWORD deviceType = FILE_DEVICE_DISK;
    DWORD deviceNumber = 0;
    DWORD partitionNumber = 1;
    DWORD openError = 0;  // nonzero: CreateFileA fails with this error
    // Access rights the caller is refused: an open that asks for any of them fails with
    // ERROR_ACCESS_DENIED (an ordinary user may query a volume but not read it raw).
    DeniedRights deniedAccess;
    // SCSI pass-through requests fail with ERROR_ACCESS_DENIED whatever the handle's
    // rights: the storage port driver passes them only for a process with administrator
    // rights in effect (an administrator whose process is not elevated gets this).
    bool passThroughDenied = false;
    std::string fileSystem = "FAT32";  // what GetVolumeInformationA names; empty: it fails
    std::string label;                 // the volume label, UTF-8; empty: none
    // Answers to FSCTL_LOCK_VOLUME, used in order, the last one repeating; none: success.
    std::vector<bool> lockAnswers;
    int lockTries = 0;
    // The device behind the volume's SCSI pass-through; none: pass-through requests fail.
    std::shared_ptr<ScsiTarget> target;
    // Folders the volume is mounted at besides its letter, each with its closing backslash
    // ("C:\Mounts\Stick\").
    std::vector<std::string> mountFolders;
};

struct Interface {
    GUID interfaceClass{};
    std::string devicePath;
    DEVINST devInst = 0;
    bool hasDeviceNumber = true;
    DWORD deviceType = FILE_DEVICE_DISK;
    DWORD deviceNumber = 0;
    DWORD openError = 0;    // nonzero: CreateFileA on the path fails with this error
    DWORD detailError = 0;  // nonzero: the detail read fails with this error
};

struct EjectAnswer {
    CONFIGRET result = CR_SUCCESS;
    PNP_VETO_TYPE vetoType = PNP_VetoTypeUnknown;
    std::u16string vetoName;
    // How long the request takes: Windows first asks every driver of the device and the
    // programs that hold it whether it may go.
    DWORD latencyMs = 0;
};

struct DevNode {
    DEVINST parent = 0;  // 0: a root with no parent
    std::string instanceId;
    // Answers to ejection requests, used in order; the last one repeats. None: success.
    std::vector<EjectAnswer> ejectAnswers;
};

// Registry properties of a device node, as CM_Get_DevNode_Registry_PropertyW reads them; a
// node may lack either (no value: CR_NO_SUCH_VALUE). Kept beside the tree, by device
// instance, since most nodes of a test need none.
struct DevNodeProperties {
    std::optional<std::string> friendlyName;
    std::optional<std::string> description;
};

struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::map<std::string, RegKey, NoCaseLess> subkeys;
    std::map<std::string, RegValue, NoCaseLess> values;
    LSTATUS openError = ERROR_SUCCESS;  // nonzero: RegOpenKeyExA on this key fails
    // Rights the caller is refused on this key (after generic rights are mapped): an open
    // that asks for any of them fails with ERROR_ACCESS_DENIED.
    DeniedRights deniedAccess;
};

// The 64-bit view of HKEY_LOCAL_MACHINE\SOFTWARE on 64-bit Windows, as a root of its own:
// Registry::Key(Hklm64BitView, "SOFTWARE\\X") describes HKLM\SOFTWARE\X as 64-bit programs
// (reg.exe, regedit) see it. The program is 32-bit: its HKEY_LOCAL_MACHINE\SOFTWARE is the
// 32-bit view (WOW6432Node), and it reaches this one only with KEY_WOW64_64KEY.
extern const HKEY Hklm64BitView;

struct Registry {
    std::map<HKEY, RegKey> roots;
    // Returns the key at `path` ("A\B\C") under `root`, creating it and its parents.
    RegKey& Key(HKEY root, const std::string& path);
    void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
    void SetString(HKEY root, const std::string& path, const std::string& name,
                   const std::string& value);
    void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
                std::vector<BYTE> data);
};

// The ASPI manager "wnaspi32.dll" of Windows 9x: host adapters, each with a device at
// target 0, LUN 0.
enum class AspiCompletion {
    AtOnce,  // the request has ended when SendASPI32Command returns
    Later,   // it is pending on return and ends, signalling its event, while the caller waits
    Never,   // it stays pending; only an abort ends it (when aborts work)
};

struct HostAdapter {
    std::shared_ptr<ScsiTarget> target;
    AspiCompletion completion = AspiCompletion::AtOnce;
    DWORD latencyMs = 0;  // how long a Later request takes
};

struct AspiLayer {
    bool installed = false;                // LoadLibraryA("wnaspi32.dll") succeeds
    std::set<std::string> missingEntries;  // entry points GetProcAddress does not find
    BYTE supportStatus = 0x01;             // the status byte of GetASPI32SupportInfo (SS_COMP)
    std::vector<HostAdapter> adapters;
    bool abortWorks = true;  // SC_ABORT_SRB ends a pending request
};

// One record of the System event log.
struct EventRecord {
    std::string provider = "Microsoft-Windows-Kernel-PnP";
    DWORD eventId = 225;
    int64_t atMs = 0;  // when it was written, on the virtual clock; negative: before the run
    // The event data, in order: each field's name and text, in UTF-8.
    std::vector<std::pair<std::string, std::string>> data;
};

// The event log service as "wevtapi.dll" serves it (Windows Vista and later).
struct EventLog {
    bool installed = true;                 // LoadLibraryA("wevtapi.dll") succeeds
    std::set<std::string> missingEntries;  // entry points GetProcAddress does not find
    DWORD queryError = 0;                  // nonzero: EvtQuery fails with this error
    DWORD renderError = 0;                 // nonzero: EvtRender fails with this error
    std::vector<EventRecord> system;       // the System log, in the order it was written
};

// The libraries of the system directory the program loads at run time besides the two
// above: "version.dll" (the version resource) and "netapi32.dll" (the account lookup). Each
// is present with its entry points unless named here.
struct SystemLibraries {
    std::set<std::string, NoCaseLess> absent;  // libraries LoadLibraryExA does not find
    std::set<std::string> missingEntries;      // entry points GetProcAddress does not find
};

struct Shell {
    DWORD executeError = 0;  // nonzero: ShellExecuteExA fails with this error
};

// The \\.\vwin32 device of Windows 95, 98 and ME, as far as it serves the MS-DOS generic
// block-device lock (Int 21h 440Dh, minor code 4Ah) and unlock (6Ah) of a drive. A call
// succeeds (carry clear) for a drive that has a volume unless it is refused below.
struct Vwin32Device {
    bool present = false;    // CreateFileA("\\.\vwin32") succeeds
    bool category48 = true;  // category 48h is understood (not on the first Windows 95)
    bool callsFail = false;  // DeviceIoControl itself fails (ERROR_NOT_SUPPORTED)
    // Calls answered with the carry flag set (error 5): by drive letter, category (48h or
    // 08h) and minor code (4Ah lock, 6Ah unlock).
    std::set<std::tuple<char, BYTE, BYTE>> refused;
};

// ---------------------------------------------------------------------------------------
// The journal

// A write to standard output or standard error.
struct ConsoleWrite {
    uint64_t seq;
    std::string text;   // as a person reads it, in UTF-8: on the console, or in the file
    bool toFile;        // the stream is redirected to a file or pipe
    std::string bytes;  // redirected: the bytes as written
};
struct Beep {
    uint64_t seq;
    UINT type;
};
struct ShellOpen {
    uint64_t seq;
    std::string verb, file, directory;
    int show;
    bool succeeded;
};
struct EjectRequest {
    uint64_t seq;
    DEVINST devInst;
    CONFIGRET result;
    PNP_VETO_TYPE vetoType;
    std::u16string vetoName;
};
struct LibraryLoad {
    uint64_t seq;
    std::string name;  // as the program named it
    DWORD flags;       // of LoadLibraryExA; 0 for LoadLibraryA
};
struct DebugOutput {
    uint64_t seq;
    std::string text;
};
struct MessageBoxShown {
    uint64_t seq;
    std::string text, caption;
    UINT type;
};
struct SleepCall {
    uint64_t seq;
    DWORD ms;
};
struct IoControl {
    uint64_t seq;
    std::string path;  // what the handle was opened on
    DWORD code;
    bool succeeded;
    DWORD inSize, outSize;  // the buffer sizes the caller declared
};
struct ScsiCommandSent {
    uint64_t seq;
    std::string transport;  // "pass-through direct", "pass-through", "aspi"
    std::string target;     // volume path or adapter, and the target's name
    ScsiCommand command;    // with the path and target ids the request named
    bool succeeded;
    std::vector<BYTE> dataOut;  // the first bytes of a data-out transfer
};
struct ProcessCreated {
    uint64_t seq;
    std::string applicationName, commandLine, currentDirectory;
    bool inheritHandles;
    DWORD creationFlags;
    bool succeeded;
};
struct FileDeleted {
    uint64_t seq;
    std::string path;
};
struct FileOpen {
    uint64_t seq;
    std::string path;
    DWORD access, share, flags;
    bool succeeded;
};

// One call to \\.\vwin32 with the register block as sent and as answered: EBX, EDX, ECX,
// EAX, EDI, ESI, flags.
struct Vwin32Call {
    uint64_t seq;
    DWORD code;
    DWORD in[7], out[7];
    bool succeeded;  // DeviceIoControl's result
    bool carry;      // bit 0 of the answered flags
};

struct Journal {
    uint64_t nextSeq = 0;
    std::vector<ConsoleWrite> console;
    std::vector<ConsoleWrite> errorOutput;  // what the program wrote to standard error
    std::vector<Beep> beeps;
    std::vector<ShellOpen> shellOpens;
    std::vector<EjectRequest> ejectRequests;
    std::vector<DebugOutput> debugOutput;
    std::vector<LibraryLoad> libraryLoads;
    std::vector<MessageBoxShown> messageBoxes;
    std::vector<SleepCall> sleeps;
    std::vector<IoControl> ioControls;
    std::vector<FileOpen> fileOpens;
    std::vector<ScsiCommandSent> scsiCommands;
    std::vector<std::vector<BYTE>> aspiBlocks;  // each ASPI request block as it was sent
    std::vector<Vwin32Call> vwin32Calls;
    std::vector<ProcessCreated> processesCreated;
    std::vector<FileDeleted> filesDeleted;
    // Every effect in order, one human-readable line each ("beep 16", "sleep 500", ...).
    std::vector<std::string> lines;

    // Notes a line in the machine's ANSI code page, as the A functions take their texts;
    // lines are kept in UTF-8.
    uint64_t Note(const std::string& line);
    uint64_t NoteUtf8(const std::string& line);
    // The console output split into lines, without their line feeds.
    std::vector<std::string> ConsoleLines() const;
    // The standard error output split into lines, likewise.
    std::vector<std::string> ErrorLines() const;
};

// ---------------------------------------------------------------------------------------
// Open objects

enum class ObjectKind {
    File,
    Mutex,
    Event,
    DeviceInfoSet,
    RegistryKey,
    Allocation,
    Process,
    Thread,
    FileSearch,
    EventLogHandle,
};

struct OpenObject {
    OpenObject(ObjectKind k, std::string n) : kind(k), name(std::move(n)) {}
    ObjectKind kind;
    std::string name;                 // path, mutex name, key path, ...
    Volume* volume = nullptr;         // File opened on a volume
    Interface* iface = nullptr;       // File opened on a device interface
    std::vector<Interface*> members;  // DeviceInfoSet
    RegKey* key = nullptr;            // RegistryKey
    DWORD access = 0;                 // File, RegistryKey: the rights granted at the open
    std::vector<BYTE> memory;         // Allocation
    bool signalled = false;           // Event
    bool manualReset = false;         // Event: a satisfied wait leaves it signalled
    DWORD processId = 0;              // Process
    std::vector<std::string> found;   // FileSearch: the names still to hand out
    // EventLogHandle: a query's records (indexes into the System log) and the next one to
    // hand out, or the one record of an event handle.
    std::vector<size_t> records;
    size_t nextRecord = 0;
};

// A loaded library: each load of an unloaded library maps it at a new address, so a
// handle kept past the last FreeLibrary names nothing.
struct Library {
    std::string name;
    int references = 0;
};

// kernel32's module handle, mapped in every process: below the addresses the machine maps
// the libraries the program loads at (Machine::nextModule on).
const uintptr_t kKernel32Module = 0x07C80000;

// An ASPI request still in the manager's hands.
struct PendingAspiRequest {
    void* srb;  // SRB_ExecSCSICmd
    HANDLE event;
    size_t adapter;
};

struct Leaks {
    int handles = 0;  // files and other kernel handles, not counting mutexes
    int deviceInfoSets = 0;
    int registryKeys = 0;
    int libraries = 0;
    int allocations = 0;
    int Total() const { return handles + deviceInfoSets + registryKeys + libraries + allocations; }
};

// ---------------------------------------------------------------------------------------

struct Machine {
    Account account;
    Process process;
    WindowsVersion version;
    CodePages codePages;
    Console console;
    std::map<char, Volume> volumes;  // by upper-case letter
    // Letters that stand for a folder (subst), by upper-case letter: "E:\Tools".
    std::map<char, std::string> substs;
    std::deque<Interface> interfaces;
    std::map<DEVINST, DevNode> devices;
    std::map<DEVINST, DevNodeProperties> deviceProperties;
    // Interface classes ("disk", "cdrom", "floppy") whose device-information set cannot be
    // created: SetupDiGetClassDevsA fails with ERROR_NOT_ENOUGH_MEMORY.
    std::set<std::string> failingClassSets;
    Registry registry;
    Shell shell;
    AspiLayer aspi;
    Vwin32Device vwin32;
    std::map<std::string, File, NoCaseLess> files;  // by full path
    std::map<DWORD, OtherProcess> processes;        // by process id
    DWORD nextProcessId = 0x1000;                   // the id of the next process created
    EventLog eventLog;
    SystemLibraries systemLibraries;

    bool eventCreationFails = false;  // CreateEventA returns NULL
    uint64_t clockMs = 0;             // the virtual clock: Sleep and time-outs advance it
    // How long Windows had run when the program started; GetTickCount answers this plus the
    // virtual clock.
    uint64_t upTimeMs = 0;
    DWORD lastError = 0;
    Journal journal;

    // Open objects by handle value. A named mutex held for the life of the process is not
    // a leak: the system releases it when the process ends.
    std::map<uintptr_t, OpenObject> objects;
    uintptr_t nextHandle = 0x100;
    std::map<std::string, int> mutexes;      // names created by this process
    std::map<uintptr_t, Library> libraries;  // loaded libraries by module handle
    uintptr_t nextModule = 0x10000000;
    std::vector<PendingAspiRequest> pendingAspi;

    Volume* FindVolume(char letter);
    Volume& AddVolume(const Volume& v);
    Interface& AddInterface(const Interface& i);

    HANDLE Open(OpenObject object);
    // A zeroed block of memory, counted as an allocation until Free releases it. Every
    // allocation is zeroed: a test that relied on garbage would pass here and fail on
    // Windows, never the reverse.
    void* Allocate(size_t bytes, const std::string& name);
    bool Free(void* memory);
    OpenObject* Lookup(HANDLE h, ObjectKind kind);
    bool Close(HANDLE h, ObjectKind kind);
    Leaks OpenObjects() const;
};

Machine& machine();
void Reset();

// Sets the thread's last error and returns `result`, for the one-line failure paths of the
// simulated calls.
template <typename T>
T Fail(DWORD error, T result) {
    machine().lastError = error;
    return result;
}

// The storage interface classes by short name: "disk", "cdrom", "floppy".
std::string ClassName(const GUID& g);  // "" for any other class
bool ClassByName(const std::string& name, GUID* out);

// Text of the A functions: UTF-16 in the machine's ANSI code page, a character it lacks as
// its best fit or '?', and back (code_pages.cpp).
std::string Narrow(const std::u16string& s);
std::u16string Widen(const std::string& s);
std::string Hex(DWORD v);  // "0x2D1080", for journal lines

}  // namespace sim
