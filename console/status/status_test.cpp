// The report over the in-memory tree. The tree has no value listing, so the resiliency lists
// come from a table; everything else is read through the backend as under Windows.
#include "console/status/status.h"

#include "console/status/report_lines_testing.h"
#include "console/status/status_cli.h"
#include "console/store/memory_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace kes::status {
namespace {

std::vector<std::uint8_t> Utf16(const std::string& ascii, bool terminate = true) {
    std::vector<std::uint8_t> d;
    for (char c : ascii) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    if (terminate)
        d.insert(d.end(), {0, 0});
    return d;
}

std::vector<std::uint8_t> Dword(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

struct TableSource : StatusSource {
    SystemFacts system{"1.2.0.18", 64, "10.0.19045", 64, {ValueFact::State::Number, 0, "", ""}};
    std::map<std::string, std::pair<long, std::vector<NamedValue>>> lists;
    std::map<std::string, FileFact> files;
    std::map<std::string, HufCount> folders;
    SystemFacts System() override { return system; }
    long ListValues(RootKey, RegView, const std::string& path,
                    std::vector<NamedValue>& values) override {
        const auto it = lists.find(path);
        if (it == lists.end())
            return regcode::FileNotFound;
        values = it->second.second;
        return it->second.first;
    }
    long DeleteValue(RootKey, RegView, const std::string& path, const std::string& name) override {
        auto& values = lists.at(path).second;
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&name](const NamedValue& v) { return v.name == name; });
        if (it == values.end())
            return regcode::FileNotFound;
        values.erase(it);
        ++deleted;
        return regcode::Success;
    }
    int deleted = 0;
    FileFact File(const std::string& path) override {
        const auto it = files.find(path);
        if (it != files.end())
            return it->second;
        FileFact missing;
        missing.path = path;
        return missing;
    }
    HufCount CountHufFiles(const std::string& folder, bool) override { return folders[folder]; }
    std::string DebugLogPath() override { return "C:\\temp\\Kestrova_debug.log"; }
    std::string FallbackLogPath() override { return "C:\\Program Files\\Kestrova\\debug.log"; }
};

class StatusReport : public ::testing::Test {
protected:
    void Put(RootKey root, RegView view, const std::string& path, const std::string& name,
             std::uint32_t type, const std::vector<std::uint8_t>& data) {
        RegKey k = 0;
        ASSERT_EQ(reg.OpenKey(RootHandle(root), path,
                              kKeyAllAccess | static_cast<std::uint32_t>(view), true, k),
                  regcode::Success);
        ASSERT_EQ(reg.SetValue(k, name, type, data), regcode::Success);
        reg.CloseKey(k);
    }
    void Text(RootKey root, RegView view, const std::string& path, const std::string& name,
              const std::string& text) {
        Put(root, view, path, name, regtype::Sz, Utf16(text));
    }
    void Key(RootKey root, const std::string& path) {
        RegKey k = 0;
        ASSERT_EQ(reg.OpenKey(RootHandle(root), path, kKeyAllAccess, true, k), regcode::Success);
        reg.CloseKey(k);
    }
    // A ProgID whose class's in-process server is `server`, registered as COM does.
    void Register(RootKey root, RegView view, const std::string& progId, const std::string& clsid,
                  const std::string& server) {
        const std::string addins = "Software\\Microsoft\\Office\\Outlook\\Addins\\" + progId;
        Text(root, view, addins, "FriendlyName", progId + " add-in");
        Put(root, view, addins, "LoadBehavior", regtype::Dword, Dword(3));
        Text(RootKey::LocalMachine, view, "Software\\Classes\\" + progId + "\\CLSID", "", clsid);
        if (!server.empty())
            Text(RootKey::LocalMachine, view,
                 "Software\\Classes\\CLSID\\" + clsid + "\\InprocServer32", "", server);
    }
    std::vector<std::string> Lines() {
        const StatusFacts f = ReadStatus(reg, source);
        EXPECT_EQ(reg.OpenHandleCount(), 0u); // every key read is closed again
        return ComposeReport(f);
    }
    static std::string Find(const std::vector<std::string>& lines, const std::string& start,
                            std::string* next = nullptr) {
        return testing::FindLine(lines, start, next);
    }
    static std::size_t Count(const std::vector<std::string>& lines, const std::string& part) {
        return testing::CountLines(lines, part);
    }

    MemoryRegistry reg;
    TableSource source;
};

const char kOutlook16[] = "Software\\Microsoft\\Office\\16.0\\Outlook";
const char kAddins[] = "Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Connect";
const char kResiliency[] = "Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\";
const char kConfig[] = "Software\\Varnholt\\Kestrova\\Config";
const char kHint[] = "    Hint / Hinweis: ";
const char kPolicyHint[] = "    Hint / Hinweis: add the ProgID to the policy 'List of managed "
                           "add-ins' with value 1 / die ProgID mit dem Wert 1 in die Richtlinie "
                           "'Liste der verwalteten Add-Ins' aufnehmen";
constexpr std::size_t cleanup_units = 521;
const char kKestrovaClsid[] = "{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}";

// What support asks first, on a machine where the add-in was switched off by Outlook.
TEST_F(StatusReport, SaysWhatIsFoundAndHintsAtEachKnownCauseOfTrouble) {
    Text(RootKey::LocalMachine, RegView::Bits64, kOutlook16, "Bitness", "x64");
    Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
             "C:\\Program Files\\Kestrova\\Kestrova.dll");
    Put(RootKey::CurrentUser, RegView::Own, kAddins, "LoadBehavior", regtype::Dword, Dword(2));
    std::vector<std::uint8_t> record = {1, 0, 0, 0};
    const auto name = Utf16("c:\\program files\\kestrova\\kestrova.dll");
    record.insert(record.end(), name.begin(), name.end());
    source.lists[std::string(kResiliency) + "DisabledItems"] = {
        regcode::Success,
        {{"7A3B", record, 0},
         {"other", Utf16("xother.dll"), 0},
         // Past the units cleanup examines: not found by it, not ours here.
         {"late", Utf16(std::string(cleanup_units, 'x') + "\\kestrova.dll"), 0},
         // Another vendor's name cut where ours would end: not known to be ours.
         {"cut", Utf16(std::string(cleanup_units - 13, 'x') + "\\kestrova.dll.bak"), 0},
         {"whole", Utf16(std::string(cleanup_units - 13, 'x') + "\\kestrova.dll"), 0},
         {"refused", {}, regcode::AccessDenied}}};
    // The lock stands in the 32-bit view only, which a 64-bit Outlook's add-in never reads.
    Put(RootKey::LocalMachine, RegView::Bits32, kConfig, "lock", regtype::Dword, Dword(1));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "debug", regtype::Dword, Dword(7));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "bs_collect_count", regtype::Dword, Dword(25));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "bs_collect_time", regtype::Dword, Dword(900));
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\Folders\\Inbox\\Users\\anna");
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\Folders\\Inbox\\Users\\bob");
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\Folders\\Tasks\\Users\\anna");
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\UserCategories\\anna\\Kunden");
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\UserCategories\\anna\\Privat");
    Key(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\UserCategories\\bob\\Team");
    source.files["C:\\temp\\Kestrova_debug.log"] = {
        "C:\\temp\\Kestrova_debug.log", Found::Yes,         false, 12345,
        "2024-05-01 10:00:00",          "error / Fehler 32"};
    Text(RootKey::CurrentUser, RegView::Own, "Software\\Microsoft\\Office\\16.0\\Outlook\\Security",
         "OutlookSecureTempFolder", "C:\\SecureTemp\\");
    source.folders["C:\\SecureTemp\\"] = {Found::Yes, 3, ""};

    const auto lines = Lines();
    EXPECT_EQ(lines[0], "Add-in status / Add-In-Status");
    EXPECT_EQ(Find(lines, "Quillard"), "Quillard 1.2.0.18, 64-bit / 64-Bit");
    EXPECT_EQ(Find(lines, "Windows"), "Windows 10.0.19045, 64-bit / 64-Bit");
    EXPECT_EQ(Find(lines, "Elevated"), "Elevated / Mit erh\xC3\xB6hten Rechten: no / nein");
    EXPECT_EQ(Find(lines, "Outlook 16.0 (MSI)"),
              "Outlook 16.0 (MSI), 64-bit view / 64-Bit-Ansicht: x64; decides the lock's view / "
              "bestimmt die Ansicht der Sperre");
    EXPECT_EQ(Find(lines, "The add-in reads the lock"),
              "The add-in reads the lock in the / Das Add-In liest die Sperre in der 64-bit view "
              "/ 64-Bit-Ansicht");

    std::string next;
    EXPECT_EQ(Find(lines, "Kestrova: "), "Kestrova: HKCU Kestrova.Connect, FriendlyName "
                                         "\"Kestrova.Connect add-in\", server / Server C:\\Program "
                                         "Files\\Kestrova\\Kestrova.dll");
    EXPECT_EQ(Find(lines, "LoadBehavior", &next),
              "LoadBehavior 2 = not loaded: Outlook switched it off / nicht geladen: von Outlook "
              "abgeschaltet");
    EXPECT_EQ(next.rfind(std::string(kHint) + "set LoadBehavior to 3", 0), 0u) << next;
    EXPECT_EQ(Find(lines, "Other add-ins"), "Other add-ins / Andere Add-Ins: 0");

    EXPECT_EQ(
        Find(lines, "Disabled items", &next),
        "Disabled items / Deaktivierte Elemente: 2 of ours / von unseren: \"7A3B\", \"whole\"; 1 "
        "values / Werte cannot be read / nicht lesbar");
    EXPECT_EQ(next, std::string(kHint) + "run cleanup / cleanup ausf\xC3\xBChren");
    EXPECT_EQ(Find(lines, "Outlook 16.0 resiliency"),
              "Outlook 16.0 resiliency / Ausfallsicherheit");
    EXPECT_EQ(Find(lines, "CrashingAddinList", &next),
              "CrashingAddinList: none of ours / keiner von unseren");
    EXPECT_EQ(next.find("Hint"), std::string::npos);
    EXPECT_EQ(Find(lines, "DoNotDisableAddinList"),
              "DoNotDisableAddinList Kestrova.Connect: not set / nicht gesetzt");
    EXPECT_EQ(Find(lines, "Policy", &next),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Kestrova.Connect: not set / nicht gesetzt");
    EXPECT_EQ(next, kPolicyHint);

    EXPECT_EQ(Find(lines, "debug:"), "debug: on / ein (7)");
    EXPECT_EQ(Find(lines, "journal:"), "journal: not set / nicht gesetzt");
    EXPECT_EQ(Find(lines, "lock (HKLM"),
              "lock (HKLM, 64-bit view / 64-Bit-Ansicht): not set / nicht gesetzt");
    EXPECT_EQ(Find(lines, "This user may change the lock"),
              "This user may change the lock / Dieser Benutzer darf die Sperre \xC3\xA4ndern: "
              "yes / ja");
    EXPECT_EQ(Find(lines, "lock in the", &next),
              "lock in the / in der 32-bit view / 32-Bit-Ansicht, which the add-in does not read "
              "/ die das Add-In nicht liest: on / ein (1)");
    EXPECT_EQ(next.rfind(std::string(kHint) + "tick the lock in this console", 0), 0u) << next;
    EXPECT_EQ(Find(lines, "bs_collect_count"), "bs_collect_count: 25");
    EXPECT_EQ(Find(lines, "bs_collect_time"), "bs_collect_time: 900");
    EXPECT_EQ(Find(lines, "Recipients"),
              "Recipients / Empf\xC3\xA4nger: 2, categories / Kategorien: 3");

    EXPECT_EQ(Find(lines, "Debug log"),
              "Debug log / Debuglog: C:\\temp\\Kestrova_debug.log: 12345 bytes / Bytes, changed "
              "/ ge\xC3\xA4ndert 2024-05-01 10:00:00, cannot be read / nicht lesbar (error / "
              "Fehler 32)");
    EXPECT_EQ(Find(lines, "Fallback"),
              "Fallback / Ersatz: C:\\Program Files\\Kestrova\\debug.log: not there / nicht "
              "vorhanden");
    EXPECT_EQ(Find(lines, "The log view shows", &next),
              "The log view shows / Das Log-Fenster zeigt: no log / kein Log");
    EXPECT_EQ(next.rfind(std::string(kHint) + "close Outlook, or check the rights", 0), 0u);
    EXPECT_EQ(Find(lines, "Secure temporary folder"),
              "Secure temporary folder / Sicherer Temp-Ordner (Outlook 16.0): C:\\SecureTemp\\: 3 "
              ".huf files / Dateien");
    EXPECT_EQ(Count(lines, "Hint"), 5u);

    // Each hint goes when its cause goes.
    Put(RootKey::CurrentUser, RegView::Own, kAddins, "LoadBehavior", regtype::Dword, Dword(3));
    source.lists.clear();
    Text(RootKey::CurrentUser, RegView::Own,
         "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
         "Kestrova.Connect", "1");
    Put(RootKey::LocalMachine, RegView::Bits64, kConfig, "lock", regtype::Dword, Dword(1));
    source.files["C:\\temp\\Kestrova_debug.log"].readable = true;
    const auto healthy = Lines();
    EXPECT_EQ(Count(healthy, "Hint"), 0u) << JoinLines(healthy, "\n");
    EXPECT_EQ(Find(healthy, "Policy"),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Kestrova.Connect: 1 = always enabled / immer aktiviert");
    EXPECT_EQ(Find(healthy, "The log view shows"),
              "The log view shows / Das Log-Fenster zeigt: the debug log / das Debuglog");
}

TEST_F(StatusReport, ACleanMachineSaysSoWithoutAnError) {
    source.system.elevated = {ValueFact::State::Unreadable, 0, "", "error / Fehler 5"};
    source.system.windowsVersion.clear();
    const auto lines = Lines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              (std::vector<std::string>{"Add-in status / Add-In-Status", "", "Console / Konsole",
                                        "  Quillard 1.2.0.18, 64-bit / 64-Bit",
                                        "  Windows: cannot be read / nicht lesbar",
                                        "  Elevated / Mit erh\xC3\xB6hten Rechten: cannot be "
                                        "read / nicht lesbar (error / Fehler 5)"}));
    EXPECT_EQ(Find(lines, "Windows"), "Windows: cannot be read / nicht lesbar");
    EXPECT_EQ(Find(lines, "Elevated"), "Elevated / Mit erh\xC3\xB6hten Rechten: cannot be read / "
                                       "nicht lesbar (error / Fehler 5)");
    EXPECT_EQ(Find(lines, "No Outlook"), "No Outlook found / Kein Outlook gefunden");
    EXPECT_EQ(Find(lines, "The add-in reads the lock"),
              "The add-in reads the lock in the / Das Add-In liest die Sperre in der 64-bit view "
              "/ 64-Bit-Ansicht (the machine's own / die des Rechners)");
    std::string next;
    EXPECT_EQ(Find(lines, "Kestrova is not registered", &next),
              "Kestrova is not registered for Outlook / Kestrova ist nicht f\xC3\xBCr Outlook "
              "registriert");
    EXPECT_EQ(next.rfind(kHint, 0), 0u);
    EXPECT_EQ(Find(lines, "Outlook 16.0 resiliency"), ""); // no version, no lists
    EXPECT_EQ(Find(lines, "Recipients"),
              "Recipients / Empf\xC3\xA4nger: 0, categories / Kategorien: 0");
    EXPECT_EQ(Find(lines, "The log view shows", &next),
              "The log view shows / Das Log-Fenster zeigt: no log / kein Log");
    EXPECT_EQ(next, std::string(kHint) + "tick Debug mode and restart Outlook / erweiterte "
                                         "Logdaten einschalten und Outlook neu starten");
    EXPECT_EQ(Find(lines, "Secure temporary folder"),
              "Secure temporary folder / Sicherer Temp-Ordner: none named / keiner eingetragen");
    EXPECT_EQ(Count(lines, "Hint"), 2u);
}

// Odd values: each one is told as what it is, the rest of the report is unharmed.
TEST_F(StatusReport, ValuesOfTheWrongTypeOrSizeCannotBeReadAndTheRestStands) {
    Put(RootKey::LocalMachine, RegView::Bits32, kOutlook16, "Bitness", regtype::Dword, Dword(64));
    Text(RootKey::LocalMachine, RegView::Bits64, "Software\\Microsoft\\Office\\14.0\\Outlook", "x",
         "");
    Text(RootKey::LocalMachine, RegView::Bits64, "Software\\Microsoft\\Office\\12.0\\Outlook", "x",
         "");
    Register(RootKey::LocalMachine, RegView::Bits32, "Kestrova.Connect", kKestrovaClsid,
             "\"C:\\Kestrova\\KESTROVA.DLL\"");
    const std::string addins32 = kAddins;
    Put(RootKey::LocalMachine, RegView::Bits32, addins32, "LoadBehavior", regtype::Sz, Utf16("3"));
    Put(RootKey::LocalMachine, RegView::Bits32, addins32, "FriendlyName", regtype::Binary,
        {1, 2, 3});
    // Ours by name, but its class is nowhere; and one without any CLSID.
    Register(RootKey::LocalMachine, RegView::Bits64, "Tarnwick.Addin", "{0000-gone}", "");
    Key(RootKey::LocalMachine, "Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Old");
    Key(RootKey::LocalMachine, "Software\\Microsoft\\Office\\Outlook\\Addins\\Someone.Else");
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "debug", regtype::Dword, {1, 0});
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "journal", regtype::Qword, Dword(1));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "removereminder", regtype::Dword,
        std::vector<std::uint8_t>(4000, 1));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "pack_every_time", regtype::Sz,
        Utf16(std::string(5000, 'a')));
    Put(RootKey::CurrentUser, RegView::Own, kConfig, "desktopnotification", regtype::Sz,
        {'a', 0, 'b'});
    Text(RootKey::CurrentUser, RegView::Own,
         "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
         "Kestrova.Connect", "yes");
    Put(RootKey::CurrentUser, RegView::Own,
        "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
        "Tarnwick.Addin", regtype::Dword, Dword(0));
    Text(RootKey::CurrentUser, RegView::Own,
         "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\AddinList",
         "Kestrova.Old", "2");
    // UTF-16 as it comes: a letter, one beyond the 16-bit plane, and a lone surrogate.
    Put(RootKey::LocalMachine, RegView::Bits64,
        "Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Old", "FriendlyName", regtype::Sz,
        {0xE4, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0, 0, 0});
    source.lists[std::string(kResiliency) + "DisabledItems"] = {regcode::AccessDenied, {}};
    // A name at unit 0 is not one of Outlook's records (as cleanup has it).
    source.lists[std::string(kResiliency) + "CrashingAddinList"] = {
        regcode::Success, {{"a", Utf16("kestrova.dll"), 0}}};
    reg.LimitRootAccess(RootKey::LocalMachine, kKeyRead);

    const auto lines = Lines();
    const std::string cannot = "cannot be read / nicht lesbar";
    EXPECT_EQ(Find(lines, "Outlook 16.0 (MSI)"),
              "Outlook 16.0 (MSI), 32-bit view / 32-Bit-Ansicht: " + cannot +
                  " (DWORD, not text / DWORD statt Text)");
    // Older than 14.0 was 32-bit only, and so decides.
    EXPECT_EQ(Find(lines, "Outlook 14.0"),
              "Outlook 14.0 (MSI), 64-bit view / 64-Bit-Ansicht: Bitness not set / nicht gesetzt");
    EXPECT_EQ(Find(lines, "Outlook 12.0"),
              "Outlook 12.0 (MSI), 64-bit view / 64-Bit-Ansicht: 32-bit only / nur 32-Bit; "
              "decides the lock's view / bestimmt die Ansicht der Sperre");
    std::string next;
    EXPECT_EQ(Find(lines, "Kestrova: HKLM 32-bit", &next),
              "Kestrova: HKLM 32-bit Kestrova.Connect, FriendlyName " + cannot +
                  " (type / Typ 3), server / Server \"C:\\Kestrova\\KESTROVA.DLL\"");
    EXPECT_EQ(next, "    LoadBehavior " + cannot + " (text, not a DWORD / Text statt DWORD)");
    EXPECT_EQ(Find(lines, "Tarnwick: HKLM 64-bit", &next),
              "Tarnwick: HKLM 64-bit Tarnwick.Addin, FriendlyName \"Tarnwick.Addin add-in\", "
              "server / Server " +
                  cannot +
                  " ({0000-gone} is not registered / ist nicht "
                  "registriert)");
    EXPECT_EQ(Find(lines, "Kestrova: HKLM 64-bit"),
              "Kestrova: HKLM 64-bit Kestrova.Old, FriendlyName "
              "\"\xC3\xA4\xF0\x9F\x98\x80\xEF\xBF\xBDx\", server "
              "/ Server " +
                  cannot + " (no CLSID / keine CLSID)");
    EXPECT_EQ(Find(lines, "Other add-ins"),
              "Other add-ins / Andere Add-Ins: 1, 1 without a server that can be found / ohne "
              "auffindbaren Server");
    EXPECT_EQ(Find(lines, "Disabled items"), "Disabled items / Deaktivierte Elemente: " + cannot +
                                                 " (access denied / Zugriff verweigert)");
    EXPECT_EQ(Find(lines, "CrashingAddinList"),
              "CrashingAddinList: none of ours / keiner von unseren");
    EXPECT_EQ(Find(lines, "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten "
                          "Add-Ins' Kestrova.Connect"),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Kestrova.Connect: " +
                  cannot + " (\"yes\" is not a number / ist keine Zahl)");
    EXPECT_EQ(Find(lines,
                   "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten "
                   "Add-Ins' Tarnwick.Addin",
                   &next),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Tarnwick.Addin: 0 = always disabled / immer deaktiviert");
    EXPECT_EQ(next, kPolicyHint);
    EXPECT_EQ(Find(lines,
                   "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten "
                   "Add-Ins' Kestrova.Old",
                   &next),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Kestrova.Old: 2 = the user's choice / Wahl des Benutzers");
    EXPECT_EQ(next, kPolicyHint);
    EXPECT_EQ(Find(lines, "debug:"), "debug: " + cannot + " (DWORD of 2 bytes / Bytes)");
    EXPECT_EQ(Find(lines, "journal:"), "journal: " + cannot + " (type / Typ 11)");
    EXPECT_EQ(Find(lines, "removereminder:"),
              "removereminder: " + cannot + " (DWORD of 4000 bytes / Bytes)");
    EXPECT_EQ(Find(lines, "pack_every_time:"),
              "pack_every_time: " + cannot + " (too long / zu lang)");
    EXPECT_EQ(Find(lines, "desktopnotification:"),
              "desktopnotification: " + cannot + " (odd length / ungerade L\xC3\xA4nge)");
    // The machine's keys may only be read: no administrator.
    EXPECT_EQ(Find(lines, "This user may change the lock"),
              "This user may change the lock / Dieser Benutzer darf die Sperre \xC3\xA4ndern: no, "
              "administrators only / nein, nur Administratoren");
    EXPECT_EQ(Find(lines, "lock (HKLM"),
              "lock (HKLM, 32-bit view / 32-Bit-Ansicht): not set / nicht gesetzt");
}

// Thousands of other add-ins are counted, not listed; ours among them is found.
TEST_F(StatusReport, ThousandsOfAddinEntriesAreCountedAndOursIsFound) {
    for (int i = 0; i < 3000; ++i)
        Register(RootKey::CurrentUser, RegView::Bits64, "Vendor.Addin" + std::to_string(i),
                 "{" + std::to_string(i) + "}", "C:\\Vendor\\addin" + std::to_string(i) + ".dll");
    Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
             "C:\\Kestrova\\kestrova.dll");
    const auto lines = Lines();
    EXPECT_EQ(Find(lines, "Other add-ins"), "Other add-ins / Andere Add-Ins: 3000");
    EXPECT_EQ(Count(lines, "Kestrova: HKCU Kestrova.Connect"), 1u);
    EXPECT_EQ(Find(lines, "LoadBehavior"),
              "LoadBehavior 3 = loaded at start-up / beim Start geladen");
}

const char kPreferences[] = "Software\\Microsoft\\Office\\16.0\\Outlook\\Preferences";
const char kGeneral[] = "Software\\Microsoft\\Office\\16.0\\Outlook\\Options\\General";
const char kPolicyPreferences[] =
    "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Preferences";

struct Seed {
    const char* path;
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
};

// Which Outlook the user runs, as the user's hive tells it; each row a machine.
TEST_F(StatusReport, TellsWhichOutlookIsUsedAndBlocksOnTheNewOne) {
    const struct {
        bool office16;
        std::vector<Seed> seeds;
        const char* inUse; // "" : no section at all
        const char* toggle;
        const char* migration;
        const char* policy;
        std::size_t hints;
        bool blocks;
    } rows[] = {
        {true,
         {},
         "the classic Outlook / das klassische Outlook (UseNewOutlook not set / nicht "
         "gesetzt)",
         "shown / angezeigt (HideNewOutlookToggle not set / nicht gesetzt)",
         "not prevented / nicht verhindert (DoNewOutlookAutoMigration not set / nicht gesetzt)",
         "not set / nicht gesetzt",
         0,
         false},
        {true,
         {{kPreferences, "UseNewOutlook", regtype::Dword, Dword(1)}},
         "the new Outlook / das neue Outlook (UseNewOutlook 1)",
         "shown / angezeigt "
         "(HideNewOutlookToggle not set / nicht gesetzt)",
         nullptr,
         nullptr,
         2,
         true},
        {true,
         {{kPreferences, "UseNewOutlook", regtype::Dword, Dword(0)},
          {kGeneral, "HideNewOutlookToggle", regtype::Dword, Dword(1)},
          {kGeneral, "DoNewOutlookAutoMigration", regtype::Dword, Dword(0)},
          {kPolicyPreferences, "NewOutlookMigrationUserSetting", regtype::Dword, Dword(0)}},
         "the classic Outlook / das klassische Outlook (UseNewOutlook 0)",
         "hidden / ausgeblendet (HideNewOutlookToggle 1)",
         "off / aus (DoNewOutlookAutoMigration 0)",
         "set / gesetzt, NewOutlookMigrationUserSetting 0",
         0,
         false},
        // Odd values: shown as they are, and an unreadable choice is no promise that it runs.
        {true,
         {{kPreferences, "UseNewOutlook", regtype::Sz, Utf16("1")},
          {kGeneral, "HideNewOutlookToggle", regtype::Dword, Dword(2)},
          {kGeneral, "DoNewOutlookAutoMigration", regtype::Dword, {0, 0}}},
         "unknown / unbekannt (UseNewOutlook cannot be read / nicht lesbar (text, not a DWORD / "
         "Text statt DWORD))",
         "shown / angezeigt (HideNewOutlookToggle 2)",
         "not prevented / nicht verhindert (DoNewOutlookAutoMigration cannot be read / nicht "
         "lesbar (DWORD of 2 bytes / Bytes))",
         nullptr,
         0,
         true},
        // An older Outlook alone: nothing to say, unless a value is there anyway.
        {false, {}, "", nullptr, nullptr, nullptr, 0, false},
        {false,
         {{kPreferences, "UseNewOutlook", regtype::Dword, Dword(7)}},
         "the new Outlook / das neue Outlook (UseNewOutlook 7)",
         nullptr,
         nullptr,
         nullptr,
         2,
         true},
    };
    for (const auto& row : rows) {
        reg = MemoryRegistry();
        Text(RootKey::LocalMachine, RegView::Bits64,
             row.office16 ? kOutlook16 : "Software\\Microsoft\\Office\\15.0\\Outlook", "Bitness",
             "x64");
        Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
                 "C:\\Kestrova\\kestrova.dll");
        for (const Seed& seed : row.seeds)
            Put(RootKey::CurrentUser, RegView::Own, seed.path, seed.name, seed.type, seed.data);
        const StatusFacts facts = ReadStatus(reg, source);
        const auto lines = ComposeReport(facts);
        // The line after its title, "" when there is none.
        const auto after = [&lines](const std::string& title) {
            const std::string line = Find(lines, title);
            return line.empty() ? line : line.substr(title.size());
        };
        EXPECT_EQ(after("Outlook in use / Verwendetes Outlook: "), row.inUse);
        // A null expectation: that line is not looked at in this row.
        const auto shows = [&after](const std::string& title, const char* expected) {
            return !expected || after(title) == expected;
        };
        EXPECT_TRUE(shows("Toggle 'New Outlook' / Schalter 'Neues Outlook': ", row.toggle));
        EXPECT_TRUE(shows("Automatic migration / Automatische Umstellung: ", row.migration));
        EXPECT_TRUE(shows("Migration policy / Umstellungsrichtlinie: ", row.policy))
            << JoinLines(lines, "\n");
        EXPECT_EQ(Count(lines, "Hint / Hinweis: Kestrova runs only in the classic") +
                      Count(lines, "Hint / Hinweis: administrators keep users on the classic"),
                  row.hints)
            << row.inUse;
        const auto blockers = Blockers(facts);
        EXPECT_EQ(blockers.size(), row.blocks ? 1u : 0u) << JoinLines(blockers, "\n");
        EXPECT_EQ(VerdictLines(blockers).size(), blockers.size() + 1);
    }
}

// What repair would change, as data: only our entries, nothing when nothing is wrong.
TEST_F(StatusReport, RepairPlansOnlyOurEntriesAndNothingWhenAllIsWell) {
    const std::string disabled = std::string(kResiliency) + "DisabledItems";
    const std::string crashing = std::string(kResiliency) + "CrashingAddinList";
    std::vector<std::uint8_t> record = {1, 0, 0, 0};
    const auto dll = Utf16("c:\\kestrova\\kestrova.dll");
    record.insert(record.end(), dll.begin(), dll.end());
    const std::string dnd = std::string(kResiliency) + "DoNotDisableAddinList";
    const std::string user = kAddins;
    const std::string other = "Software\\Microsoft\\Office\\Outlook\\Addins\\Other.Addin";
    const char* const kDnd = "change / \xC3\xA4ndern: Outlook 16.0 DoNotDisableAddinList "
                             "Kestrova.Connect = 1 (was / war not set / nicht gesetzt)";
    const struct {
        const char* name;
        std::vector<Seed> seeds;
        bool listed, elevated;
        std::vector<std::string> plan;
    } rows[] = {
        {"healthy",
         {{dnd.c_str(), "Kestrova.Connect", regtype::Dword, Dword(1)}},
         false,
         false,
         {}},
        // Another case of the same name is the same registry value.
        {"case", {{dnd.c_str(), "KESTROVA.CONNECT", regtype::Dword, Dword(1)}}, false, false, {}},
        {"switched off",
         {{user.c_str(), "LoadBehavior", regtype::Dword, Dword(2)},
          {other.c_str(), "LoadBehavior", regtype::Dword, Dword(2)}},
         true,
         false,
         {"change / \xC3\xA4ndern: LoadBehavior 3 for / f\xC3\xBCr HKCU Kestrova.Connect (was / "
          "war 2)",
          "change / \xC3\xA4ndern: remove / entfernen \"7A3B\" from / aus Outlook 16.0 "
          "DisabledItems",
          "change / \xC3\xA4ndern: remove / entfernen \"whole\" from / aus Outlook 16.0 "
          "DisabledItems",
          "change / \xC3\xA4ndern: remove / entfernen \"C1\" from / aus Outlook 16.0 "
          "CrashingAddinList",
          kDnd}},
        {"wrong type",
         {{user.c_str(), "LoadBehavior", regtype::Sz, Utf16("3")},
          {dnd.c_str(), "Kestrova.Connect", regtype::Sz, Utf16("1")}},
         false,
         false,
         {"change / \xC3\xA4ndern: LoadBehavior 3 for / f\xC3\xBCr HKCU Kestrova.Connect (was / "
          "war cannot be read / nicht lesbar)",
          "change / \xC3\xA4ndern: Outlook 16.0 DoNotDisableAddinList Kestrova.Connect = 1 (was "
          "/ war cannot be read / nicht lesbar)"}},
        {"new Outlook",
         {{kPreferences, "UseNewOutlook", regtype::Dword, Dword(1)},
          {dnd.c_str(), "Kestrova.Connect", regtype::Dword, Dword(1)}},
         false,
         false,
         {"cannot be changed here / hier nicht \xC3\xA4nderbar: the new Outlook is in use, which "
          "is not changed here: the user switches the 'New Outlook' toggle off / das neue "
          "Outlook wird verwendet, das hier nicht umgestellt wird: der Benutzer schaltet den "
          "Schalter 'Neues Outlook' aus"}},
    };
    for (const auto& row : rows) {
        reg = MemoryRegistry();
        source.lists.clear();
        source.system.elevated.number = row.elevated;
        Text(RootKey::LocalMachine, RegView::Bits64, kOutlook16, "Bitness", "x64");
        Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
                 "C:\\Kestrova\\kestrova.dll");
        Register(RootKey::CurrentUser, RegView::Bits64, "Other.Addin", "{other}",
                 "C:\\Other\\other.dll");
        for (const Seed& seed : row.seeds)
            Put(RootKey::CurrentUser, RegView::Own, seed.path, seed.name, seed.type, seed.data);
        if (row.listed) {
            source.lists[disabled] = {
                regcode::Success,
                {{"7A3B", record, 0},
                 {"other", Utf16("xother.dll"), 0},
                 {"late", Utf16(std::string(cleanup_units, 'x') + "\\kestrova.dll"), 0},
                 {"cut", Utf16(std::string(cleanup_units - 13, 'x') + "\\kestrova.dll.bak"), 0},
                 {"whole", Utf16(std::string(cleanup_units - 13, 'x') + "\\kestrova.dll"), 0}}};
            source.lists[crashing] = {regcode::Success, {{"C1", record, 0}}};
        }
        EXPECT_EQ(PlanLines(PlanRepair(ReadStatus(reg, source))), row.plan) << row.name;
    }
}

// Repair carries its plan out and reads again: ours put right, others untouched, and a second
// run finds nothing to do; what may not be written is named, a changed entry is left.
TEST_F(StatusReport, RepairPutsRightWhatItMayAndNamesTheRest) {
    const std::string disabled = std::string(kResiliency) + "DisabledItems";
    std::vector<std::uint8_t> record = {1, 0, 0, 0};
    const auto dll = Utf16("c:\\kestrova\\kestrova.dll");
    record.insert(record.end(), dll.begin(), dll.end());
    const std::string other = "Software\\Microsoft\\Office\\Outlook\\Addins\\Other.Addin";
    const auto seed = [&] {
        reg = MemoryRegistry();
        Text(RootKey::LocalMachine, RegView::Bits64, kOutlook16, "Bitness", "x64");
        Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
                 "C:\\Kestrova\\kestrova.dll");
        Register(RootKey::CurrentUser, RegView::Bits64, "Other.Addin", "{other}", "C:\\o.dll");
        Register(RootKey::LocalMachine, RegView::Bits64, "Tarnwick.Addin", "{tarnwick}",
                 "C:\\Tarnwick\\tarnwick.dll");
        Put(RootKey::CurrentUser, RegView::Own, kAddins, "LoadBehavior", regtype::Dword, Dword(2));
        Put(RootKey::LocalMachine, RegView::Bits64,
            "Software\\Microsoft\\Office\\Outlook\\Addins\\Tarnwick.Addin", "LoadBehavior",
            regtype::Dword, Dword(0));
        Put(RootKey::CurrentUser, RegView::Own, other, "LoadBehavior", regtype::Dword, Dword(2));
        source.lists[disabled] = {
            regcode::Success,
            {{"7A3B", record, 0},
             {"other", Utf16("xother.dll"), 0},
             {"whole", Utf16(std::string(cleanup_units - 13, 'x') + "\\kestrova.dll"), 0}}};
    };
    const auto loadBehavior = [this](RootKey root, const std::string& path) {
        RegKey k = 0;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(reg.OpenKey(RootHandle(root), path, kKeyRead, false, k), regcode::Success);
        reg.QueryValue(k, "LoadBehavior", 16, type, data);
        reg.CloseKey(k);
        return data.empty() ? -1 : data[0];
    };

    // Not elevated: the machine's Tarnwick entry is named, not tried.
    seed();
    source.system.elevated.number = 0;
    RepairResult r = ApplyRepair(reg, source, PlanRepair(ReadStatus(reg, source)));
    EXPECT_EQ(r.failed, 0u);
    EXPECT_EQ(testing::CountLines(r.lines, "needs an administrator"), 1u)
        << JoinLines(r.lines, "\n");
    EXPECT_EQ(loadBehavior(RootKey::CurrentUser, kAddins), 3);
    EXPECT_EQ(loadBehavior(RootKey::CurrentUser, other), 2);
    EXPECT_EQ(source.lists[disabled].second.size(), 1u);
    EXPECT_EQ(source.lists[disabled].second[0].name, "other");
    StatusFacts after = ReadStatus(reg, source);
    EXPECT_EQ(Blockers(after).size(), 1u) << JoinLines(Blockers(after), "\n");
    EXPECT_EQ(Find(ComposeReport(after), "DoNotDisableAddinList Kestrova.Connect"),
              "DoNotDisableAddinList Kestrova.Connect: 1");

    // Elevated: the rest is done, and a second run writes nothing.
    source.system.elevated.number = 1;
    r = ApplyRepair(reg, source, PlanRepair(ReadStatus(reg, source)));
    EXPECT_EQ(r.lines, std::vector<std::string>{"changed / ge\xC3\xA4ndert: LoadBehavior 3 for "
                                                "/ f\xC3\xBCr HKLM 64-bit Tarnwick.Addin (was / "
                                                "war 0)"});
    EXPECT_TRUE(Blockers(ReadStatus(reg, source)).empty());
    EXPECT_TRUE(PlanRepair(ReadStatus(reg, source)).empty());

    // Keys the user may only read: each change named as not made, nothing else changed.
    seed();
    const auto plan = PlanRepair(ReadStatus(reg, source));
    reg.LimitRootAccess(RootKey::CurrentUser, kKeyRead);
    // Meanwhile another program put another add-in's record under our entry's name, ours
    // only in the units past those examined.
    source.lists[disabled].second[0].data =
        Utf16(std::string(cleanup_units, 'x') + "\\kestrova.dll");
    r = ApplyRepair(reg, source, plan);
    // The user's LoadBehavior and both DoNotDisableAddinList values; the machine's is written.
    EXPECT_EQ(r.failed, 3u) << JoinLines(r.lines, "\n");
    EXPECT_EQ(testing::CountLines(r.lines, "not changed / nicht ge\xC3\xA4ndert (access denied"),
              3u);
    EXPECT_EQ(testing::CountLines(r.lines, "changed meanwhile, left"), 1u);
    EXPECT_EQ(r.lines[0], "not changed / nicht ge\xC3\xA4ndert (access denied / Zugriff "
                          "verweigert): LoadBehavior 3 for / f\xC3\xBCr HKCU Kestrova.Connect (was "
                          "/ war 2)");
    EXPECT_EQ(source.lists[disabled].second.size(), 2u);
    EXPECT_EQ(loadBehavior(RootKey::CurrentUser, kAddins), 2);
}

// /status and /repair for scripts: the exit code tells the truth, repair says what it did.
TEST_F(StatusReport, ScriptCommandsTellByExitCodeWhetherTheAddinWillRun) {
    const std::string dnd = std::string(kResiliency) + "DoNotDisableAddinList";
    const std::string machine = "Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Machine";
    const struct {
        const char* name;
        std::vector<Seed> user, machine;
        int status, repair;
        std::vector<std::string> firstLines; // of /repair
    } rows[] = {
        {"healthy",
         {},
         {},
         kExitWillRun,
         kExitWillRun,
         {"Repair / Reparatur", "  nothing to change / nichts zu \xC3\xA4ndern", "",
          "Add-in status / Add-In-Status"}},
        {"switched off",
         {{kAddins, "LoadBehavior", regtype::Dword, Dword(2)}},
         {},
         kExitWillNotRun,
         kExitWillRun,
         {"Repair / Reparatur",
          "  changed / ge\xC3\xA4ndert: LoadBehavior 3 for / f\xC3\xBCr "
          "HKCU Kestrova.Connect (was / war 2)",
          ""}},
        {"new Outlook",
         {{kPreferences, "UseNewOutlook", regtype::Dword, Dword(1)}},
         {},
         kExitWillNotRun,
         kExitLeft,
         {"Repair / Reparatur", "  nothing to change / nichts zu \xC3\xA4ndern",
          "  left / bleibt: the new Outlook is in use, which is not changed here: the user "
          "switches the 'New Outlook' toggle off / das neue Outlook wird verwendet, das hier "
          "nicht umgestellt wird: der Benutzer schaltet den Schalter 'Neues Outlook' aus",
          ""}},
        {"machine, not elevated",
         {},
         {{machine.c_str(), "LoadBehavior", regtype::Dword, Dword(2)}},
         kExitWillNotRun,
         kExitLeft,
         {"Repair / Reparatur", "  nothing to change / nichts zu \xC3\xA4ndern",
          "  needs an administrator / braucht einen Administrator: LoadBehavior 3 for / f\xC3\xBCr "
          "HKLM 64-bit Kestrova.Machine (was / war 2)",
          ""}},
    };
    for (const auto& row : rows) {
        reg = MemoryRegistry();
        source.system.elevated.number = 0;
        Text(RootKey::LocalMachine, RegView::Bits64, kOutlook16, "Bitness", "x64");
        Register(RootKey::CurrentUser, RegView::Bits64, "Kestrova.Connect", kKestrovaClsid,
                 "C:\\Kestrova\\kestrova.dll");
        Put(RootKey::CurrentUser, RegView::Own, dnd, "Kestrova.Connect", regtype::Dword, Dword(1));
        if (!row.machine.empty()) {
            Register(RootKey::LocalMachine, RegView::Bits64, "Kestrova.Machine", kKestrovaClsid,
                     "C:\\Kestrova\\kestrova.dll");
            Put(RootKey::CurrentUser, RegView::Own, dnd, "Kestrova.Machine", regtype::Dword,
                Dword(1));
        }
        for (const Seed& seed : row.user)
            Put(RootKey::CurrentUser, RegView::Own, seed.path, seed.name, seed.type, seed.data);
        for (const Seed& seed : row.machine)
            Put(RootKey::LocalMachine, RegView::Bits64, seed.path, seed.name, seed.type, seed.data);
        const CommandOutcome status = RunStatus(reg, source);
        EXPECT_EQ(status.exitCode, row.status) << row.name;
        EXPECT_EQ(status.lines.back().rfind("Verdict", 0) == 0, row.status == kExitWillRun)
            << row.name;
        // The verdict stands apart from the report: one empty line before it.
        const auto verdict =
            std::find_if(status.lines.begin(), status.lines.end(),
                         [](const std::string& l) { return l.rfind("Verdict", 0) == 0; });
        ASSERT_NE(verdict, status.lines.begin()) << row.name;
        EXPECT_EQ(*(verdict - 1), "") << row.name;
        const CommandOutcome repair = RunRepair(reg, source);
        EXPECT_EQ(repair.exitCode, row.repair) << row.name;
        ASSERT_GE(repair.lines.size(), row.firstLines.size());
        EXPECT_EQ(std::vector<std::string>(repair.lines.begin(),
                                           repair.lines.begin() + row.firstLines.size()),
                  row.firstLines)
            << row.name;
    }
}

TEST(StatusCommand, ArgumentsAreOneSwitchInAnyCase) {
    const struct {
        std::vector<std::u16string_view> args;
        Command command;
    } rows[] = {
        {{}, Command::Window},
        {{u"/status"}, Command::Status},
        {{u"-STATUS"}, Command::Status},
        {{u"/Repair"}, Command::Repair},
        {{u"/?"}, Command::Help},
        {{u"/"}, Command::Unknown},
        {{u"status"}, Command::Unknown},
        {{u"/statusx"}, Command::Unknown},
        {{u"/status", u"/repair"}, Command::Unknown},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseCommand(row.args), row.command)
            << (row.args.empty() ? 0 : row.args[0].size());
}

} // namespace
} // namespace kes::status
