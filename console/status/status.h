#pragma once
// The add-in's status at a glance: what support asks first, read from the registry and the
// files without changing anything, and told as one report in English and German. Reading goes
// through the store's backend and a small source for what the backend does not offer (value
// lists, files, the system), so the whole of it runs on the host over the in-memory tree.
#include "console/store/registry_backend.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kes::status {

// One value as it was found. Unreadable covers a refused key or value, the wrong type and
// the wrong size; `why` says which, in a few words.
struct ValueFact {
    enum class State { Missing, Number, Text, Unreadable };
    State state = State::Missing;
    std::uint32_t number = 0;
    std::string text;
    std::string why;
    bool expandable = false; // REG_EXPAND_SZ: Outlook expands it
};

// Whether a key is there; Unreadable when it is there but may not be read.
enum class Found { No, Yes, Unreadable };

struct SystemFacts {
    std::string consoleVersion;
    int consoleBits = 0;
    std::string windowsVersion; // empty: cannot be read
    int windowsBits = 0;
    ValueFact elevated; // Number 0 or 1, or Unreadable
};

struct OutlookFact {
    std::string version; // "16.0"
    bool clickToRun = false;
    RegView view = RegView::Bits64; // where its key was found
    ValueFact bitness;              // Bitness or Platform: "x86"/"x64"; Missing before 14.0
};

// One registration below ...\Office\Outlook\Addins whose in-process server is one of ours.
struct AddinFact {
    std::string where; // "HKCU", "HKLM 64-bit", "HKLM 32-bit"
    RootKey root = RootKey::CurrentUser;
    RegView view = RegView::Own;
    std::string progId;
    std::string addin; // "Kestrova" or "Tarnwick"
    ValueFact server;  // Unreadable: no CLSID, or a CLSID that names no server
    ValueFact friendlyName, loadBehavior;
};

// One Addins key: whether it could be listed, and the entries that are not ours.
struct AddinsKeyFact {
    std::string where;
    Found found = Found::No;
    std::string why;
    std::size_t others = 0;     // other add-ins' entries
    std::size_t unresolved = 0; // of them, without a server that could be found
};

// One of Outlook's resiliency lists for one Office version.
struct ListFact {
    Found found = Found::No;
    std::string why;
    std::vector<std::string> ours; // value names whose data names one of our add-ins
    std::size_t unreadable = 0;    // values that could not be read
};

struct ProgIdValue {
    std::string progId;
    ValueFact value;
};

struct VersionFact {
    std::string version;
    ListFact disabled, crashing;
    std::vector<ProgIdValue> doNotDisable, policy; // one per ProgID of ours
};

struct HufCount {
    Found folder = Found::No;
    std::size_t files = 0;
    std::string why;
};

struct SecureTempFact {
    std::string version;
    ValueFact folder; // "OutlookSecureTempFolder"
    HufCount huf;
};

struct FileFact {
    std::string path;
    Found found = Found::No; // Unreadable: its attributes could not be read
    bool readable = false;   // opened for reading as the log view opens it
    std::uint64_t size = 0;
    std::string modified; // local time, "YYYY-MM-DD HH:MM:SS"
    std::string why;
};

struct SettingsFacts {
    ValueFact switches[5]; // as kSwitchNames
    ValueFact lock, otherViewLock;
    RegView lockView = RegView::Bits64;
    Found mayChangeLock = Found::No; // Yes: this user may change it; Unreadable: cannot be told
    ValueFact collectCount, collectTime;
    Found recipientsKey = Found::No;
    std::size_t recipients = 0, categories = 0;
};

// The new Outlook for Windows loads no COM add-ins; the user's hive tells which one is used.
struct NewOutlookFact {
    ValueFact useNew;        // ...\16.0\Outlook\Preferences UseNewOutlook, 1: the new one
    ValueFact hideToggle;    // ...\Options\General HideNewOutlookToggle, 1: hidden
    ValueFact autoMigration; // ...\Options\General DoNewOutlookAutoMigration, 0: none
    ValueFact policy;        // Policies\...\Preferences NewOutlookMigrationUserSetting
};

struct StatusFacts {
    SystemFacts system;
    std::vector<OutlookFact> outlooks; // in the order the lock's view is chosen
    NewOutlookFact newOutlook;
    int decider = -1; // index in outlooks of the one whose view is used
    RegView lockView = RegView::Bits64;
    std::vector<AddinsKeyFact> addinKeys;
    std::vector<AddinFact> addins;
    std::vector<VersionFact> versions;
    SettingsFacts settings;
    FileFact primaryLog, fallbackLog;
    std::vector<SecureTempFact> secureTemp;
};

extern const char* const kSwitchNames[5];

struct NamedValue {
    std::string name;
    std::vector<std::uint8_t> data; // whatever its type: Outlook's records are binary
    long error = 0;                 // nonzero: this value could not be read
};

// What the report needs besides the backend: the system, value lists, files.
class StatusSource {
public:
    virtual ~StatusSource() = default;
    virtual SystemFacts System() = 0;
    // The values of an existing key with their data; a platform result code as the backend's.
    virtual long ListValues(RootKey root, RegView view, const std::string& path,
                            std::vector<NamedValue>& values) = 0;
    // Removes one value of an existing key (the backend has no such call); a result code.
    virtual long DeleteValue(RootKey root, RegView view, const std::string& path,
                             const std::string& name) = 0;
    virtual FileFact File(const std::string& path) = 0;
    // The files of a folder whose own name ends in ".huf", as cleanup counts them.
    virtual HufCount CountHufFiles(const std::string& folder, bool expand) = 0;
    virtual std::string DebugLogPath() = 0;
    virtual std::string FallbackLogPath() = 0;
};

// Reads everything, changing nothing; whatever cannot be read is noted, never thrown.
StatusFacts ReadStatus(RegistryBackend& reg, StatusSource& source);

// The report, one entry per line, UTF-8.
std::vector<std::string> ComposeReport(const StatusFacts& facts);
// A value as the report shows it: its number or text, "not set", or why it cannot be read.
std::string Shown(const ValueFact& v);
// What stops the add-in from running as configured, one line each; empty: it will run.
// Advice that changes nothing today (no managed-add-ins policy) is not among them.
std::vector<std::string> Blockers(const StatusFacts& facts);
// The verdict for a script: a line, and the blockers below it.
std::vector<std::string> VerdictLines(const std::vector<std::string>& blockers);

// One change that repair would make, or one thing it can only tell. Only ever our ProgIDs and
// the list entries that name our add-ins.
struct RepairStep {
    enum class Action { SetLoadBehavior, RemoveListed, AddDoNotDisable, Tell };
    Action action = Action::Tell;
    RootKey root = RootKey::CurrentUser;
    RegView view = RegView::Own;
    std::string path, name;  // the key and the value changed
    std::string what;        // what it does, as the user reads it
    bool needsAdmin = false; // a machine key while not elevated: named, never tried
    bool blocks = true;      // left undone, the add-in does not run
};

// What repair would change for these facts; nothing when nothing is wrong.
std::vector<RepairStep> PlanRepair(const StatusFacts& facts);
// Whether a plan changes anything this process may change.
bool ChangesAnything(const std::vector<RepairStep>& plan);

struct RepairResult {
    std::vector<std::string> lines; // one per step: done, failed (why), or left (why)
    std::size_t failed = 0;         // steps that were tried and failed
};
// Carries the plan out. A list entry is removed only when its data still names our add-in as
// the key is read again, so another program's change in between is not undone.
RepairResult ApplyRepair(RegistryBackend& reg, StatusSource& source,
                         const std::vector<RepairStep>& plan);
// The plan as the window asks before it starts: one line per step.
std::vector<std::string> PlanLines(const std::vector<RepairStep>& plan);

// The lines joined, each ended by `newline`.
std::string JoinLines(const std::vector<std::string>& lines, const char* newline);

} // namespace kes::status
