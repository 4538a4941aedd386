// The status report through the real registry and real files under Wine. The user's root is a
// scratch key; the machine's is the test prefix's own, in both of wine64's views.
#include "console/status/report_lines_testing.h"
#include "console/status/status_source_win32.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "deploy/version.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <gtest/gtest.h>
#include <sddl.h>

namespace kes::status {
namespace {

const wchar_t kAddins[] = L"Software\\Microsoft\\Office\\Outlook\\Addins";
const wchar_t kResiliency[] = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency";
const wchar_t kClsid[] = L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}";
const char kCannot[] = "cannot be read / nicht lesbar";
const char kHint[] = "    Hint / Hinweis: ";

void ClearMachine() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        UniqueKey software;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                          software.Put()) != ERROR_SUCCESS)
            continue;
        RegDeleteTreeW(software.Get(), L"Varnholt");
        RegDeleteTreeW(software.Get(), L"Microsoft\\Office\\16.0");
        RegDeleteTreeW(software.Get(), L"Microsoft\\Office\\Outlook");
        RegDeleteKeyExW(software.Get(), L"Microsoft\\Office", view, 0); // only when empty
    }
}

void SetValue(HKEY root, REGSAM view, const std::wstring& path, const wchar_t* name, DWORD type,
              const void* data, DWORD size) {
    UniqueKey k;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              k.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k.Get(), name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
}

void SetText(HKEY root, REGSAM view, const std::wstring& path, const wchar_t* name,
             const std::wstring& text) {
    SetValue(root, view, path, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD v) {
    SetValue(root, 0, path, name, REG_DWORD, &v, sizeof v);
}

// An add-in entry of the user's, its class registered for the user as an installer does.
void Register(const std::wstring& progId, const std::wstring& clsid, const std::wstring& server,
              DWORD loadBehavior) {
    SetText(HKEY_CURRENT_USER, 0, std::wstring(kAddins) + L"\\" + progId, L"FriendlyName", progId);
    SetDword(HKEY_CURRENT_USER, std::wstring(kAddins) + L"\\" + progId, L"LoadBehavior",
             loadBehavior);
    if (!clsid.empty())
        SetText(HKEY_CURRENT_USER, 0, L"Software\\Classes\\" + progId + L"\\CLSID", nullptr, clsid);
    if (!server.empty())
        SetText(HKEY_CURRENT_USER, 0, L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32",
                nullptr, server);
}

// A key nobody may open, not even to read, until the test is done with it.
class NoAccessKey {
public:
    NoAccessKey(HKEY root, const std::wstring& path) {
        test::CreateKey(root, path);
        EXPECT_EQ(RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, key_.Put()),
                  ERROR_SUCCESS);
        DWORD size = 0;
        RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data(), &size);
        UniqueLocal sd;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, sd.Put(),
                                                             nullptr);
        RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, sd.Get());
    }
    ~NoAccessKey() { RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data()); }

private:
    UniqueKey key_;
    std::string saved_;
};

std::wstring TempFolder() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buf);
    return std::wstring(buf, n) + L"KestrovaStatusTest\\";
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    const UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(f.Valid());
    ::WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

class StatusUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        ClearMachine();
        folder = TempFolder();
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    void TearDown() override {
        ClearMachine();
        for (const wchar_t* name :
             {L"Kestrova_debug.log", L"debug.log", L"a.huf", L"b.HUF", L"notes.hufx"})
            DeleteFileW((folder + name).c_str());
        RemoveDirectoryW(folder.c_str());
    }
    std::vector<std::string> Lines() {
        Win32StatusSource source([this] { return Narrow(folder + L"Kestrova_debug.log"); },
                                 [this] { return Narrow(folder + L"debug.log"); });
        Win32Registry reg;
        std::vector<std::string> lines;
        const std::string text = CurrentStatusReport(reg, source, "\n");
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }
    static std::string Find(const std::vector<std::string>& lines, const std::string& start,
                            std::string* next = nullptr) {
        return testing::FindLine(lines, start, next);
    }
    static std::size_t Count(const std::vector<std::string>& lines, const std::string& part) {
        return testing::CountLines(lines, part);
    }

    test::ScratchRoots roots{/*remapMachine=*/false};
    std::wstring folder;
};

// A 64-bit Office 16.0, the add-in switched off by Outlook and on its disabled list, no policy.
TEST_F(StatusUnderWine, ASeededMachineIsToldWithTheHintsForEachCause) {
    SetText(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"Software\\Microsoft\\Office\\16.0\\Outlook",
            L"Bitness", L"x64");
    const std::wstring dll = L"C:\\Program Files\\Kestrova\\kestrova.dll";
    Register(L"Kestrova.Connect", kClsid, dll, 2);
    // Outlook's record: a binary header, then the add-in's file as UTF-16.
    std::wstring record = L"\x0001\x0000" + dll + L'\0' + L"Kestrova";
    SetValue(HKEY_CURRENT_USER, 0, std::wstring(kResiliency) + L"\\DisabledItems", L"8F2C",
             REG_BINARY, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)));
    SetDword(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Config", L"debug", 1);
    SetText(HKEY_CURRENT_USER, 0, L"Software\\Microsoft\\Office\\16.0\\Outlook\\Security",
            L"OutlookSecureTempFolder", folder);
    WriteFile(folder + L"a.huf", "x");
    WriteFile(folder + L"b.HUF", "y");
    WriteFile(folder + L"notes.hufx", "found through its 8.3 name only");
    WriteFile(folder + L"Kestrova_debug.log", "10:00 start\r\n");
    // The add-in writing its log: the view's read-shared open fails meanwhile.
    const UniqueFile writer(CreateFileW((folder + L"Kestrova_debug.log").c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.Valid());

    const auto lines = Lines();
    std::string next;
    EXPECT_EQ(Find(lines, "Outlook 16.0 (MSI)"),
              "Outlook 16.0 (MSI), 64-bit view / 64-Bit-Ansicht: x64; decides the lock's view / "
              "bestimmt die Ansicht der Sperre");
    EXPECT_EQ(Find(lines, "Kestrova: "), "Kestrova: HKCU Kestrova.Connect, FriendlyName "
                                         "\"Kestrova.Connect\", server / Server " +
                                             Narrow(dll));
    EXPECT_EQ(Find(lines, "LoadBehavior", &next),
              "LoadBehavior 2 = not loaded: Outlook switched it off / nicht geladen: von Outlook "
              "abgeschaltet");
    EXPECT_EQ(next.rfind(std::string(kHint) + "set LoadBehavior to 3", 0), 0u) << next;
    EXPECT_EQ(Find(lines, "Disabled items", &next),
              "Disabled items / Deaktivierte Elemente: 1 of ours / von unseren: \"8F2C\"");
    EXPECT_EQ(next, std::string(kHint) + "run cleanup / cleanup ausf\xC3\xBChren");
    EXPECT_EQ(Find(lines, "Policy", &next),
              "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' "
              "Kestrova.Connect: not set / nicht gesetzt");
    EXPECT_EQ(next.rfind(std::string(kHint) + "add the ProgID to the policy 'List of managed "
                                              "add-ins' with value 1",
                         0),
              0u);
    EXPECT_EQ(Find(lines, "lock (HKLM"),
              "lock (HKLM, 64-bit view / 64-Bit-Ansicht): not set / nicht gesetzt");
    EXPECT_EQ(Find(lines, "This user may change the lock"),
              "This user may change the lock / Dieser Benutzer darf die Sperre \xC3\xA4ndern: "
              "yes / ja");
    const std::string log = Find(lines, "Debug log", &next);
    EXPECT_EQ(log.rfind("Debug log / Debuglog: " + Narrow(folder) +
                            "Kestrova_debug.log: 13 bytes / Bytes, changed / ge\xC3\xA4ndert 20",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find(std::string(kCannot) + " (in use by Outlook? / von Outlook belegt?)"),
              std::string::npos)
        << log;
    EXPECT_EQ(Find(lines, "The log view shows", &next),
              "The log view shows / Das Log-Fenster zeigt: no log / kein Log");
    EXPECT_EQ(next.rfind(std::string(kHint) + "close Outlook, or check the rights", 0), 0u);
    EXPECT_EQ(Find(lines, "Secure temporary folder"),
              "Secure temporary folder / Sicherer Temp-Ordner (Outlook 16.0): " + Narrow(folder) +
                  ": 2 .huf files / Dateien");
    EXPECT_EQ(Count(lines, "Hint"), 4u);
}

TEST_F(StatusUnderWine, ACleanMachineWithoutOutlookSaysSoWithoutAnError) {
    const auto lines = Lines();
    EXPECT_EQ(Find(lines, "Quillard"), "Quillard " KES_FILE_VERSION_TEXT ", 64-bit / 64-Bit");
    EXPECT_NE(Find(lines, "Windows "), "");
    EXPECT_EQ(Find(lines, "No Outlook"), "No Outlook found / Kein Outlook gefunden");
    EXPECT_NE(Find(lines, "Kestrova is not registered"), "");
    EXPECT_EQ(Find(lines, "Other add-ins"), "Other add-ins / Andere Add-Ins: 0");
    EXPECT_EQ(Find(lines, "Debug log"), "Debug log / Debuglog: " + Narrow(folder) +
                                            "Kestrova_debug.log: not there / nicht vorhanden");
    EXPECT_EQ(Count(lines, kCannot), 0u);
}

// Keys nobody may read, odd values, broken classes, many entries: each told, none fatal.
TEST_F(StatusUnderWine, WhatCannotBeReadIsSaidAndTheRestIsReported) {
    SetText(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"Software\\Microsoft\\Office\\16.0\\Outlook",
            L"Bitness", L"x86");
    Register(L"Kestrova.NoClass", L"", L"", 3);
    Register(L"Tarnwick.Gone", L"{00000000-0000-0000-0000-00000000DEAD}", L"", 3);
    const DWORD wrongSize = 1;
    SetValue(HKEY_CURRENT_USER, 0, std::wstring(kAddins) + L"\\Kestrova.NoClass", L"LoadBehavior",
             REG_DWORD, &wrongSize, 2);
    for (int i = 0; i < 1000; ++i)
        Register(L"Vendor.Addin" + std::to_wstring(i), L"{V" + std::to_wstring(i) + L"}",
                 L"C:\\Vendor\\v" + std::to_wstring(i) + L".dll", 3);
    test::CreateKey(HKEY_CURRENT_USER, std::wstring(kResiliency) + L"\\DisabledItems");
    const NoAccessKey lockedList(HKEY_CURRENT_USER, std::wstring(kResiliency) + L"\\DisabledItems");
    const NoAccessKey lockedAddins(HKEY_LOCAL_MACHINE, kAddins);
    // The machine's Config may only be read: not an administrator.
    SetDword(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Varnholt\\Kestrova\\Config", L"lock", 1);
    const test::ReadOnlyKey readOnly(HKEY_LOCAL_MACHINE,
                                     "Software\\Wow6432Node\\Varnholt\\Kestrova\\Config");

    // A folder named without its final "\\", and one that no file system can name.
    SetText(HKEY_CURRENT_USER, 0, L"Software\\Microsoft\\Office\\15.0\\Outlook\\Security",
            L"OutlookSecureTempFolder", folder.substr(0, folder.size() - 1));
    WriteFile(folder + L"a.huf", "x");
    SetText(HKEY_CURRENT_USER, 0, L"Software\\Microsoft\\Office\\14.0\\Outlook\\Security",
            L"OutlookSecureTempFolder", L"C:\\bad|name");
    // Expandable values, as Group Policy Preferences write them: counted where Outlook looks.
    SetEnvironmentVariableW(L"KES_STATUS_TEMP", folder.substr(0, folder.size() - 1).c_str());
    for (const auto& [version, text] : {std::pair{L"13.0", L"%KES_STATUS_TEMP%\\"},
                                        std::pair{L"12.0", L"%KES_STATUS_UNSET%\\x"}}) {
        const std::wstring v = text;
        SetValue(HKEY_CURRENT_USER, 0,
                 std::wstring(L"Software\\Microsoft\\Office\\") + version + L"\\Outlook\\Security",
                 L"OutlookSecureTempFolder", REG_EXPAND_SZ, v.c_str(),
                 static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    }
    WriteFile(folder + L"debug.log", "fallback\r\n");

    const auto lines = Lines();
    std::string next;
    EXPECT_EQ(Find(lines, "Secure temporary folder / Sicherer Temp-Ordner (Outlook 15.0)"),
              "Secure temporary folder / Sicherer Temp-Ordner (Outlook 15.0): " +
                  Narrow(folder.substr(0, folder.size() - 1)) + ": 1 .huf files / Dateien");
    EXPECT_EQ(Find(lines, "Secure temporary folder / Sicherer Temp-Ordner (Outlook 13.0)"),
              "Secure temporary folder / Sicherer Temp-Ordner (Outlook 13.0): %KES_STATUS_TEMP%\\: "
              "1 .huf files / Dateien");
    EXPECT_EQ(Find(lines, "Secure temporary folder / Sicherer Temp-Ordner (Outlook 12.0)")
                  .rfind("Secure temporary folder / Sicherer Temp-Ordner (Outlook 12.0): "
                         "%KES_STATUS_UNSET%\\x: " +
                             std::string(kCannot) + " (",
                         0),
              0u);
    EXPECT_EQ(Find(lines, "Secure temporary folder / Sicherer Temp-Ordner (Outlook 14.0)"),
              "Secure temporary folder / Sicherer Temp-Ordner (Outlook 14.0): C:\\bad|name: " +
                  std::string(kCannot) + " (error / Fehler 123)");
    EXPECT_EQ(Find(lines, "Fallback")
                  .rfind("Fallback / Ersatz: " + Narrow(folder) +
                             "debug.log: 10 bytes / Bytes, changed / ge\xC3\xA4ndert 20",
                         0),
              0u);
    EXPECT_NE(Find(lines, "Fallback").find(", can be read now / jetzt lesbar"), std::string::npos);
    EXPECT_EQ(Find(lines, "The log view shows"),
              "The log view shows / Das Log-Fenster zeigt: the fallback / den Ersatz");
    EXPECT_EQ(Find(lines, "HKLM 64-bit Addins"), std::string("HKLM 64-bit Addins: ") + kCannot +
                                                     " (access denied / Zugriff verweigert)");
    EXPECT_EQ(
        Find(lines, "Kestrova: HKCU Kestrova.NoClass", &next),
        "Kestrova: HKCU Kestrova.NoClass, FriendlyName \"Kestrova.NoClass\", server / Server " +
            std::string(kCannot) + " (no CLSID / keine CLSID)");
    EXPECT_EQ(next, std::string("    LoadBehavior ") + kCannot + " (DWORD of 2 bytes / Bytes)");
    EXPECT_EQ(Find(lines, "Tarnwick: HKCU Tarnwick.Gone"),
              "Tarnwick: HKCU Tarnwick.Gone, FriendlyName \"Tarnwick.Gone\", server / Server " +
                  std::string(kCannot) +
                  " ({00000000-0000-0000-0000-00000000DEAD} is not registered / ist nicht "
                  "registriert)");
    EXPECT_EQ(Find(lines, "Other add-ins"), "Other add-ins / Andere Add-Ins: 1000");
    EXPECT_EQ(Find(lines, "Disabled items"),
              std::string("Disabled items / Deaktivierte Elemente: ") + kCannot +
                  " (access denied / Zugriff verweigert)");
    EXPECT_EQ(Find(lines, "lock (HKLM"), "lock (HKLM, 32-bit view / 32-Bit-Ansicht): on / ein (1)");
    EXPECT_EQ(Find(lines, "This user may change the lock"),
              "This user may change the lock / Dieser Benutzer darf die Sperre \xC3\xA4ndern: no, "
              "administrators only / nein, nur Administratoren");
}

} // namespace
} // namespace kes::status
