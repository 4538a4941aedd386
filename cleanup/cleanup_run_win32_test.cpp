// cleanup.exe end to end: Outlook's keys below HKEY_CURRENT_USER prepared here, the program
// started with its standard output on a file or a pipe, then its exact trace bytes, its exit
// code, the registry and the files compared. Every key and folder made here is removed again.
#include "cleanup/cleanup_core.h"
#include "cleanup/test_support_win32.h"
#include "platform/scoped_win32.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <string>
#include <vector>

namespace cleanup {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// What a run reports when the program never got as far as an exit code.
constexpr DWORD kNoExitCode = 0xDEADBEEF;
// Far more than a run takes; only a hung program reaches it.
constexpr DWORD kRunTimeoutMs = 60000;
// Room for the whole trace, so that the program never waits on the test.
constexpr DWORD kPipeBytes = 1 << 16;

const wchar_t* const kVersions[] = {L"9.0",  L"10.0", L"11.0", L"12.0",
                                    L"13.0", L"14.0", L"15.0", L"16.0"};
const std::wstring kOffice = L"Software\\Microsoft\\Office";

std::wstring DisabledItems(const wchar_t* version) {
    return kOffice + L"\\" + version + L"\\Outlook\\Resiliency\\DisabledItems";
}
std::wstring Security(const wchar_t* version) {
    return kOffice + L"\\" + version + L"\\Outlook\\Security";
}

bool KeyExists(const std::wstring& path) {
    kes::UniqueKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// UTF-16LE bytes of a text, embedded zeros included.
std::string Utf16(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

struct Outcome {
    DWORD exitCode = kNoExitCode;
    std::string out;
};

std::wstring CleanupExe() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"cleanup.exe";
}

// Starts cleanup.exe with its standard output on `out` and waits for it.
DWORD StartCleanup(HANDLE out, const std::wstring& cwd, const std::wstring& args = L"") {
    std::wstring cmd = L"\"" + CleanupExe() + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &si,
                        &pi)) {
        ADD_FAILURE() << "cleanup.exe did not start: " << GetLastError();
        return kNoExitCode;
    }
    const kes::UniqueProcess started(pi);
    EXPECT_EQ(WaitForSingleObject(started.Process.Get(), kRunTimeoutMs), WAIT_OBJECT_0);
    DWORD code = kNoExitCode;
    GetExitCodeProcess(started.Process.Get(), &code);
    return code;
}

// The usual run: standard output redirected into a file, which is read afterwards.
Outcome RunToFile(const std::wstring& cwd, const std::wstring& args = L"") {
    std::wstring file =
        TempRoot() + L"\\kes_cleanup_out_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const kes::UniqueFile out(CreateFileW(
        file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    Outcome run;
    if (!out) {
        ADD_FAILURE() << "no output file: " << GetLastError();
        return run;
    }
    run.exitCode = StartCleanup(out.Get(), cwd, args);
    SetFilePointer(out.Get(), 0, nullptr, FILE_BEGIN);
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(out.Get(), buf, sizeof buf, &n, nullptr) && n > 0)
        run.out.append(buf, n);
    return run;
}

// The lines of a script run, in any order: a folder search has an order of its own.
std::multiset<std::string> Lines(const std::string& out) {
    std::multiset<std::string> lines;
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find("\r\n", at);
        if (end == std::string::npos) {
            lines.insert(out.substr(at) + "<no CR LF>");
            break;
        }
        lines.insert(out.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// An interactive cmd typed to from `script` in the programs' folder, its output in a file.
std::string TypeAtPrompt(const std::string& script) {
    const std::wstring base =
        TempRoot() + L"\\kes_cleanup_prompt_" + std::to_wstring(GetCurrentProcessId());
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const kes::UniqueFile in(CreateFileW((base + L".in").c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                                         FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    const kes::UniqueFile out(CreateFileW((base + L".out").c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                                          FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!in || !out) {
        ADD_FAILURE() << "no files for the prompt: " << GetLastError();
        return {};
    }
    DWORD n = 0;
    WriteFile(in.Get(), script.data(), static_cast<DWORD>(script.size()), &n, nullptr);
    SetFilePointer(in.Get(), 0, nullptr, FILE_BEGIN);
    const std::wstring exe = CleanupExe();
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring cmd = L"cmd.exe";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.Get();
    si.hStdOutput = out.Get();
    si.hStdError = out.Get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &si, &pi)) {
        ADD_FAILURE() << "cmd did not start: " << GetLastError();
        return {};
    }
    const kes::UniqueProcess started(pi);
    EXPECT_EQ(WaitForSingleObject(started.Process.Get(), kRunTimeoutMs), WAIT_OBJECT_0);
    SetFilePointer(out.Get(), 0, nullptr, FILE_BEGIN);
    std::string text;
    char buf[4096];
    while (ReadFile(out.Get(), buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    return text;
}

class CleanupRun : public ::testing::Test {
protected:
    void SetUp() override {
        officeExisted = KeyExists(kOffice);
        for (const wchar_t* v : kVersions) {
            versionExisted.push_back(KeyExists(kOffice + L"\\" + v));
            // Exact traces need Outlook's keys to be ours alone.
            ASSERT_FALSE(KeyExists(kOffice + L"\\" + v + L"\\Outlook"))
                << "this prefix already holds Outlook settings; the test needs a clean prefix";
        }
        dir = MakeTempFolder(L"securetemp");
    }

    void TearDown() override {
        for (const kes::UniqueKey& key : locked) {
            // Give the key back its full access, so that it can be deleted.
            SECURITY_DESCRIPTOR sd;
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&sd, FALSE, nullptr, FALSE);
            RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &sd);
        }
        locked.clear();
        for (std::size_t i = 0; i < std::size(kVersions); ++i) {
            std::wstring version = kOffice + L"\\" + kVersions[i];
            RegDeleteTreeW(HKEY_CURRENT_USER, (version + L"\\Outlook").c_str());
            if (i < versionExisted.size() && !versionExisted[i])
                RegDeleteKeyW(HKEY_CURRENT_USER, version.c_str());
        }
        if (!officeExisted)
            RegDeleteKeyW(HKEY_CURRENT_USER, kOffice.c_str());
        for (const wchar_t* v : kVersions)
            EXPECT_FALSE(KeyExists(kOffice + L"\\" + v + L"\\Outlook")) << "left behind";
        RemoveTree(dir);
    }

    // Creates the key if need be; the caller closes it by letting the owner go.
    kes::UniqueKey CreateKey(const std::wstring& path) {
        kes::UniqueKey key;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    void SetValue(const std::wstring& key, const std::wstring& name, DWORD type,
                  std::string_view bytes) {
        EXPECT_EQ(RegSetValueExW(CreateKey(key).Get(), name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    void SetBinary(const std::wstring& key, const std::wstring& name, std::wstring_view units) {
        SetValue(key, name, REG_BINARY, Utf16(units));
    }
    // A folder value as Outlook writes it: REG_SZ with its terminator.
    void SetFolder(const wchar_t* version, const std::wstring& folder, DWORD type = REG_SZ) {
        SetValue(Security(version), L"OutlookSecureTempFolder", type,
                 Utf16(std::wstring_view(folder.c_str(), folder.size() + 1)));
    }
    std::vector<std::wstring> ValueNames(const std::wstring& key) {
        std::vector<std::wstring> names;
        kes::UniqueKey k;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS)
            return names;
        wchar_t name[1024];
        for (DWORD i = 0;; ++i) {
            DWORD len = static_cast<DWORD>(std::size(name));
            if (RegEnumValueW(k.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0)
                break;
            names.emplace_back(name, len);
        }
        return names;
    }
    Outcome RunCleanup(const std::wstring& args = L"") { return RunToFile(dir, args); }
    std::wstring In(std::wstring_view name) const { return dir + L"\\" + std::wstring(name); }

    bool officeExisted = false;
    std::vector<bool> versionExisted;
    std::vector<kes::UniqueKey> locked;
    std::wstring dir;
};

using Names = std::vector<std::wstring>;

TEST_F(CleanupRun, NoOutlookKeysWriteNothing) {
    Outcome run = RunCleanup();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "");
}

TEST_F(CleanupRun, ANonMatchingValueIsShownAndStays) {
    SetBinary(DisabledItems(L"11.0"), L"3f1a", L"\x01\0outlook.dll\0"sv);
    Outcome run = RunCleanup();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, ":0\x01_outlook.dll_:259");
    EXPECT_EQ(ValueNames(DisabledItems(L"11.0")), Names{L"3f1a"});
}

TEST_F(CleanupRun, AdjacentMatchingValuesAreBothDeleted) {
    // Outlook's record: type, path length, name length, then the path.
    const std::wstring key = DisabledItems(L"12.0");
    SetBinary(key, L"a1", L"\x01\0\x1a\0\0\0c:\\kestrova\\kestrova.dll\0"sv);
    SetBinary(key, L"a2", L"\x01\0\x1a\0\0\0c:\\kestrova\\kestrova.dll\0"sv);
    SetBinary(key, L"a3", L"xx"sv);
    Outcome run = RunCleanup();
    const std::string shown = "\x01_\x1a___c:\\kestrova\\kestrova.dll_";
    EXPECT_EQ(run.out, ":0" + shown + "OK:0" + shown + "OK:0xx:259");
    EXPECT_EQ(ValueNames(key), Names{L"a3"});
}

// Only our own files, named at a path boundary: another vendor's add-in that Outlook switched
// off stays switched off. The plain run and a script select alike.
TEST_F(CleanupRun, OnlyOurFileNamesAtAPathBoundaryAreSelected) {
    const std::wstring key = DisabledItems(L"16.0");
    const struct {
        const wchar_t* name;
        std::wstring_view data;
        const char* shown;
        bool ours;
    } rows[] = {
        {L"1", L"\x01\0C:\\Tools\\mykestrova.dll\0"sv, "\x01_C:\\Tools\\mykestrova.dll_", false},
        {L"2", L"\x01\0C:\\x\\kestrova.dll.bak\0"sv, "\x01_C:\\x\\kestrova.dll.bak_", false},
        {L"3", L"kestrova.dll"sv, "kestrova.dll", false},
        {L"4", L"\x01\0C:\\x\\Kestrova.dll\0"sv, "\x01_C:\\x\\Kestrova.dll_", true},
        {L"5", L"tarnwick.dll\0"sv, "tarnwick.dll_", false},
        {L"6", L"_/tarnwick.dll"sv, "_/tarnwick.dll", true},
    };
    std::string trace, report;
    Names kept;
    for (const auto& row : rows) {
        SetBinary(key, row.name, row.data);
        trace += ":0"s + row.shown + (row.ours ? "OK" : "");
        if (row.ours)
            report += "found: Office 16.0 disabled item \"" +
                      LowBytes(std::wstring_view(row.name)) + "\"\r\n";
        else
            kept.push_back(row.name);
    }
    EXPECT_EQ(RunCleanup(L"/report").out, report);
    EXPECT_EQ(RunCleanup().out, trace + ":259");
    EXPECT_EQ(ValueNames(key), kept);
}

TEST_F(CleanupRun, EveryValueTypeIsExaminedAsData) {
    const std::wstring key = DisabledItems(L"14.0");
    const std::wstring path = L"c:\\addins\\tarnwick.dll";
    SetValue(key, L"a", REG_SZ, Utf16(std::wstring_view(path.c_str(), path.size() + 1)));
    SetValue(key, L"b", REG_DWORD, "\x42\x00\x41\x00"s);
    SetValue(key, L"c", REG_BINARY, "ab\xF6\x00z"s); // an odd last byte is no unit
    Outcome run = RunCleanup();
    EXPECT_EQ(run.out, ":0c:\\addins\\tarnwick.dll_OK:0BA:0a\xF6:259");
    EXPECT_EQ(ValueNames(key), (Names{L"b", L"c"}));
}

TEST_F(CleanupRun, KeysAreVisitedInVersionOrder) {
    CreateKey(DisabledItems(L"16.0"));
    SetBinary(DisabledItems(L"15.0"), L"v", L"_15"sv);
    SetBinary(DisabledItems(L"11.0"), L"v", L"_11"sv);
    SetBinary(DisabledItems(L"13.0"), L"v", L"_13\\kestrova.dll"sv);
    Outcome run = RunCleanup();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, ":0_11:259:0_13\\kestrova.dllOK:259:0_15:259:259");
}

TEST_F(CleanupRun, AnEmptyKeyShowsOnlyTheEnd) {
    CreateKey(DisabledItems(L"11.0"));
    EXPECT_EQ(RunCleanup().out, ":259");
}

TEST_F(CleanupRun, LongValuesAreExaminedInTheirFirst521Units) {
    const std::wstring key = DisabledItems(L"12.0");
    std::wstring early = L"\\kestrova.dll" + std::wstring(1, L'\0') + std::wstring(700, L'e');
    std::wstring late = std::wstring(515, L'l') + L"kestrova.dll";
    // Another vendor's file whose name reaches the cut: not known to be ours.
    std::wstring cut = std::wstring(508, L'c') + L"\\kestrova.dll.bak";
    SetBinary(key, L"early", early);
    SetBinary(key, L"late", late);
    SetBinary(key, L"longer", cut);
    // Ours up to the last unit examined, the terminator past it.
    std::wstring whole = std::wstring(508, L'w') + L"\\kestrova.dll";
    SetValue(key, L"whole", REG_SZ, Utf16(std::wstring_view(whole.c_str(), whole.size() + 1)));
    EXPECT_EQ(RunCleanup(L"/report").out, "found: Office 12.0 disabled item \"early\"\r\n"
                                          "found: Office 12.0 disabled item \"whole\"\r\n");
    Outcome run = RunCleanup();
    std::string shownEarly = "\\kestrova.dll_" + std::string(521 - 14, 'e');
    std::string shownLate = std::string(515, 'l') + "kestro";
    std::string shownCut = std::string(508, 'c') + "\\kestrova.dll";
    EXPECT_EQ(run.out, ":0" + shownEarly + "OK:0" + shownLate + ":0" + shownCut + ":0" +
                           LowBytes(std::wstring_view(whole)) + "OK:259");
    EXPECT_EQ(ValueNames(key), (Names{L"late", L"longer"}));
}

TEST_F(CleanupRun, ANameLongerThanTheBufferEndsTheList) {
    const std::wstring key = DisabledItems(L"11.0");
    SetBinary(key, std::wstring(600, L'a'), L"\\kestrova.dll"sv);
    SetBinary(key, L"b", L"\\kestrova.dll"sv);
    // The longest name that fits: 520 units and the terminator.
    SetBinary(DisabledItems(L"12.0"), std::wstring(520, L'n'), L"\\kestrova.dll"sv);
    EXPECT_EQ(RunCleanup().out, ":234:0\\kestrova.dllOK:259");
    EXPECT_EQ(ValueNames(key).size(), 2u);
}

TEST_F(CleanupRun, AKeyWithoutFullAccessIsSkippedSilentlyButScriptsHearOfIt) {
    // Stands for a user who may read but not change the key.
    const std::wstring key = DisabledItems(L"11.0");
    SetBinary(key, L"v", L"\\kestrova.dll"sv);
    kes::UniqueKey k = CreateKey(key);
    kes::UniqueLocal sd;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, sd.Put(), nullptr));
    ASSERT_EQ(RegSetKeySecurity(k.Get(), DACL_SECURITY_INFORMATION, sd.Get()), ERROR_SUCCESS);
    locked.push_back(std::move(k));
    SetBinary(DisabledItems(L"12.0"), L"v", L"\\tarnwick.dll"sv);
    EXPECT_EQ(RunCleanup().out, ":0\\tarnwick.dllOK:259");
    EXPECT_EQ(ValueNames(key), Names{L"v"});
    // A script is not told "nothing to do" while an entry of ours stays.
    const std::string item = "Office 11.0 disabled item \"v\"\r\n";
    const Outcome report = RunCleanup(L"/report");
    EXPECT_EQ(report.exitCode, 1u);
    EXPECT_EQ(report.out, "found: " + item);
    const Outcome run = RunCleanup(L"/run");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, "not removed (error 5): " + item);
    EXPECT_EQ(ValueNames(key), Names{L"v"});
}

TEST_F(CleanupRun, ThreeHufFilesAndTheirFolderGo) {
    std::wstring folder = In(L"OLK1A2");
    MakeFolder(folder);
    for (const wchar_t* f : {L"a.huf", L"b.huf", L"C.HUF"})
        MakeFile(folder + L"\\" + f);
    SetFolder(L"12.0", folder);
    Outcome run = RunCleanup();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "") << "the file purge writes no trace";
    EXPECT_FALSE(Exists(folder));
}

TEST_F(CleanupRun, EveryVersionsFolderIsPurged) {
    for (const wchar_t* v : kVersions) {
        std::wstring folder = In(std::wstring(L"OLK_") + v);
        MakeFolder(folder);
        MakeFile(folder + L"\\a.huf");
        SetFolder(v, folder);
    }
    RunCleanup();
    for (const wchar_t* v : kVersions)
        EXPECT_FALSE(Exists(In(std::wstring(L"OLK_") + v))) << v;
}

TEST_F(CleanupRun, OtherFilesKeepTheFolder) {
    std::wstring doc = In(L"doc"), none = In(L"none");
    MakeFolder(doc);
    MakeFile(doc + L"\\a.huf");
    MakeFile(doc + L"\\b.huf");
    MakeFile(doc + L"\\letter.doc");
    MakeFolder(none);
    MakeFile(none + L"\\letter.doc");
    MakeFile(none + L"\\huf");
    SetFolder(L"9.0", doc);
    SetFolder(L"16.0", none, REG_EXPAND_SZ);
    RunCleanup();
    EXPECT_FALSE(Exists(doc + L"\\a.huf"));
    EXPECT_FALSE(Exists(doc + L"\\b.huf"));
    EXPECT_TRUE(Exists(doc + L"\\letter.doc"));
    EXPECT_TRUE(Exists(none + L"\\letter.doc"));
    EXPECT_TRUE(Exists(none + L"\\huf"));
}

TEST_F(CleanupRun, AnEntryOfOursThatStaysStopsThePurge) {
    // A subfolder that keeps a file, a read-only file, a "*.huf" folder without a "*.huf" entry
    // and a folder link: the plain run stops at each, the entries after it and the folder stay.
    const wchar_t* const stoppers[] = {L"x.huf", L"r.huf", L"y.huf", L"link.huf"};
    for (const wchar_t* stopper : stoppers) {
        SCOPED_TRACE(testing::Message() << LowBytes(std::wstring_view(stopper)));
        const std::wstring folder = In(L"OLK"), at = folder + L"\\" + stopper;
        MakeFolder(folder);
        MakeFile(folder + L"\\a.huf");
        MakeFile(folder + L"\\z.huf");
        if (stopper == stoppers[0]) {
            MakeFolder(at);
            MakeFile(at + L"\\note.txt");
        } else if (stopper == stoppers[1]) {
            MakeFile(at);
            ASSERT_TRUE(SetFileAttributesW(at.c_str(), FILE_ATTRIBUTE_READONLY));
        } else if (stopper == stoppers[2]) {
            MakeFolder(at);
        } else if (!MakeFolderLink(at, dir)) {
            continue; // no folder link can be made here
        }
        const std::vector<std::wstring> order = SearchOrder(folder + L"\\*.huf");
        ASSERT_EQ(order.size(), 3u);
        SetFolder(L"11.0", folder);
        RunCleanup();
        bool after = false;
        for (const std::wstring& name : order)
            if (name == stopper)
                after = true;
            else
                EXPECT_EQ(Exists(folder + L"\\" + name), after)
                    << LowBytes(std::wstring_view(name));
        EXPECT_TRUE(Exists(at));
        EXPECT_TRUE(Exists(folder));
        if (stopper == stoppers[3])
            RemoveFolderLink(at);
        SetFileAttributesW(at.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveTree(folder);
    }
}

TEST_F(CleanupRun, UnreadableFolderValuesNameNoFolder) {
    std::wstring folder = In(L"OLK");
    MakeFolder(folder);
    MakeFile(folder + L"\\a.huf");
    // The registry adds a forgotten terminator when a zero unit follows the data in memory:
    // "!!" keeps the unterminated forms unterminated.
    const std::string path = Utf16(folder);
    struct Case {
        const char* what;
        DWORD type;
        std::string bytes;
        std::size_t size;
        const wchar_t* name;
        const char* report; // what a script is told: it may name a folder
    } cases[] = {
        {"binary", REG_BINARY, path + "\0\0"s, path.size() + 2, L"OutlookSecureTempFolder", "13"},
        {"no terminator", REG_SZ, path + "!!"s, path.size(), L"OutlookSecureTempFolder", "13"},
        {"odd length", REG_SZ, path + "\0\0\0!!"s, path.size() + 3, L"OutlookSecureTempFolder",
         "13"},
        {"multi-string", REG_MULTI_SZ, path + "\0\0\0\0"s, path.size() + 4,
         L"OutlookSecureTempFolder", "13"},
        {"longer than 521 units", REG_SZ, path + Utf16(std::wstring(540, L'x')) + "\0\0"s,
         path.size() + 1082, L"OutlookSecureTempFolder", "234"},
        {"another name", REG_SZ, path + "\0\0"s, path.size() + 2, L"OutlookSecureTempFolderX",
         nullptr},
    };
    for (const Case& c : cases) {
        SetValue(Security(L"9.0"), c.name, c.type, std::string_view(c.bytes).substr(0, c.size));
        EXPECT_EQ(RunCleanup().exitCode, 0u);
        EXPECT_TRUE(Exists(folder + L"\\a.huf")) << c.what;
        const Outcome report = RunCleanup(L"/report");
        EXPECT_EQ(report.exitCode, c.report ? 1u : 0u) << c.what;
        EXPECT_EQ(report.out, c.report ? "not readable (error "s + c.report +
                                             "): Office 9.0 security settings "
                                             "\"OutlookSecureTempFolder\"\r\n"
                                       : "")
            << c.what;
        RegDeleteTreeW(HKEY_CURRENT_USER, Security(L"9.0").c_str());
    }
    // The same path as a proper string is purged: the cases above differ only in form.
    SetFolder(L"9.0", folder);
    RunCleanup();
    EXPECT_FALSE(Exists(folder));
}

// The folder as Outlook reads it: an expandable value is expanded, a trailing separator is not
// doubled, every name is listed as it is (UTF-8 to a file). The plain run, /report and /run
// agree; a value that names no folder it can tell is named to a script.
TEST_F(CleanupRun, FolderValuesAreReadAsOutlookReadsThem) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"KES_CLEANUP_DIR", dir.c_str()));
    const std::wstring folder = In(L"OLK16");
    const std::string at = LowBytes(std::wstring_view(folder)) + "\\";
    const std::string unset = "Office 16.0 security settings \"OutlookSecureTempFolder\"";
    const struct {
        const char* what;
        DWORD type;
        std::wstring value;
        const wchar_t* file;
        std::string listed; // the file's line after "found: "; empty: the folder is not read
    } rows[] = {
        {"expandable", REG_EXPAND_SZ, L"%KES_CLEANUP_DIR%\\OLK16", L"a.huf", at + "a.huf"},
        {"expandable, ending in \\", REG_EXPAND_SZ, L"%kes_cleanup_dir%\\OLK16\\", L"b.huf",
         at + "b.huf"},
        {"ending in \\", REG_SZ, folder + L"\\", L"c.huf", at + "c.huf"},
        {"Greek", REG_SZ, folder, L"\u03A9mega.huf", at + "\xCE\xA9mega.huf"},
        {"Japanese", REG_SZ, folder, L"\u65E5\u672C.huf", at + "\xE6\x97\xA5\xE6\x9C\xAC.huf"},
        {"a variable that is not set", REG_EXPAND_SZ,
         L"%KES_CLEANUP_DIR%%KES_CLEANUP_UNSET%\\OLK16", L"d.huf", ""},
    };
    for (const auto& row : rows) {
        const std::wstring file = folder + L"\\" + row.file;
        auto stage = [&] {
            if (!Exists(folder))
                MakeFolder(folder);
            MakeFile(file);
            SetFolder(L"16.0", row.value, row.type);
        };
        stage();
        const Outcome report = RunCleanup(L"/report");
        const Outcome run = RunCleanup(L"/run");
        if (row.listed.empty()) {
            EXPECT_EQ(report.exitCode, 1u) << row.what;
            EXPECT_EQ(report.out, "not readable (error 203): " + unset + "\r\n") << row.what;
            EXPECT_EQ(run.exitCode, 2u) << row.what;
            EXPECT_EQ(RunCleanup().exitCode, 0u) << row.what;
            EXPECT_TRUE(Exists(file)) << row.what;
            RemoveTree(folder);
            continue;
        }
        EXPECT_EQ(report.exitCode, 1u) << row.what;
        EXPECT_EQ(report.out, "found: " + row.listed + "\r\n") << row.what;
        EXPECT_EQ(run.exitCode, 0u) << row.what;
        EXPECT_EQ(run.out, "removed: " + row.listed + "\r\n") << row.what;
        EXPECT_FALSE(Exists(folder)) << row.what;
        stage();
        EXPECT_EQ(RunCleanup().exitCode, 0u) << row.what;
        EXPECT_FALSE(Exists(folder)) << row.what << ": the plain run";
    }
}

// Everything below `root`, folders with a trailing "\", links not followed.
std::set<std::wstring> Tree(const std::wstring& root, const std::wstring& under = L"") {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW fd;
    const kes::UniqueFind search(FindFirstFileW((root + L"\\" + under + L"*").c_str(), &fd));
    if (!search)
        return names;
    do {
        const std::wstring name = under + fd.cFileName;
        if (IsDotEntry(fd.cFileName))
            continue;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.insert(name);
            continue;
        }
        names.insert(name + L"\\");
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            names.merge(Tree(root, name + L"\\"));
    } while (FindNextFileW(search.Get(), &fd));
    return names;
}

// The plain run and /run walk alike: over one seeded profile they leave the same behind.
TEST_F(CleanupRun, ThePlainRunAndAScriptRemoveTheSame) {
    const std::wstring key = DisabledItems(L"16.0");
    const std::wstring outside = In(L"outside"), folder = In(L"OLK");
    auto seed = [&] {
        SetBinary(key, L"ours", L"\x01\0C:\\K\\kestrova.dll\0"sv);
        SetBinary(key, L"other", L"\x01\0C:\\Tools\\mykestrova.dll\0"sv);
        SetBinary(key, L"also ours", L"\x01\0C:\\T\\Tarnwick.dll\0"sv);
        for (const std::wstring& f : {outside, folder, folder + L"\\x.huf"})
            if (!Exists(f))
                MakeFolder(f);
        for (const std::wstring& f :
             {folder + L"\\a.huf", folder + L"\\notes.hufx", folder + L"\\letter.doc",
              folder + L"\\x.huf\\in.huf", outside + L"\\victim.huf"})
            if (!Exists(f))
                MakeFile(f);
        SetFolder(L"16.0", folder);
    };
    seed();
    EXPECT_EQ(RunCleanup().exitCode, 0u);
    const std::set<std::wstring> plain = Tree(dir);
    const Names plainValues = ValueNames(key);
    seed();
    const Outcome run = RunCleanup(L"/run");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_EQ(Tree(dir), plain);
    EXPECT_EQ(ValueNames(key), plainValues);
    EXPECT_EQ(plainValues, Names{L"other"});
    EXPECT_EQ(plain, (std::set<std::wstring>{L"OLK\\", L"OLK\\notes.hufx", L"OLK\\letter.doc",
                                             L"outside\\", L"outside\\victim.huf"}));
}

TEST_F(CleanupRun, AnEmptyFolderValueSearchesNothing) {
    // Unmended, "\*.huf" would be searched on the program's current drive.
    std::wstring root = dir.substr(0, 3);
    ASSERT_EQ(root.substr(1), L":\\");
    std::wstring probe = root + L"kes_cleanup_" + std::to_wstring(GetCurrentProcessId()) + L".huf";
    MakeFile(probe);
    SetFolder(L"12.0", L"");
    Outcome run = RunCleanup();
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Exists(probe));
    DeleteFileW(probe.c_str());
}

TEST_F(CleanupRun, LongPathsAreSkippedNotCut) {
    std::wstring deep = dir + L"\\" + std::wstring(249 - dir.size(), L'd');
    MakeFolder(deep);
    MakeFile(deep + L"\\abcdefgh.huf"); // 263 units
    MakeFile(deep + L"\\abcdefgh");     // what that path cut at 259 units names
    MakeFile(deep + L"\\a.huf");
    SetFolder(L"11.0", deep);
    RunCleanup();
    EXPECT_TRUE(Exists(deep + L"\\abcdefgh.huf"));
    EXPECT_TRUE(Exists(deep + L"\\abcdefgh"));
    EXPECT_FALSE(Exists(deep + L"\\a.huf"));
    // A script hears of what stays.
    const std::string stays = LowBytes(std::wstring_view(deep)) + "\\abcdefgh.huf\r\n";
    const Outcome report = RunCleanup(L"/report"), run = RunCleanup(L"/run");
    EXPECT_EQ(report.exitCode, 1u);
    EXPECT_EQ(report.out, "found: " + stays);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, "not removed (error 206): " + stays);
}

TEST_F(CleanupRun, ShortNameMatchesAreKept) {
    std::wstring folder = In(L"OLK");
    MakeFolder(folder);
    MakeFile(folder + L"\\notes.hufx");
    MakeFolder(folder + L"\\sub.hufx");
    MakeFile(folder + L"\\sub.hufx\\inner.huf");
    MakeFile(folder + L"\\a.huf");
    ASSERT_EQ(SearchOrder(folder + L"\\*.huf").size(), 3u) << "the search matches 8.3 names";
    SetFolder(L"12.0", folder);
    RunCleanup();
    EXPECT_FALSE(Exists(folder + L"\\a.huf"));
    EXPECT_TRUE(Exists(folder + L"\\notes.hufx"));
    EXPECT_TRUE(Exists(folder + L"\\sub.hufx\\inner.huf"));
}

TEST_F(CleanupRun, AFolderLinkIsNotFollowed) {
    std::wstring outside = In(L"outside");
    MakeFolder(outside);
    MakeFile(outside + L"\\victim.huf");
    std::wstring folder = In(L"OLK");
    MakeFolder(folder);
    if (!MakeFolderLink(folder + L"\\link.huf", outside))
        GTEST_SKIP() << "no folder link can be made here";
    SetFolder(L"12.0", folder);
    RunCleanup();
    EXPECT_TRUE(Exists(outside + L"\\victim.huf"));
    EXPECT_TRUE(IsFolderLink(folder + L"\\link.huf"));
    EXPECT_TRUE(Exists(folder));
    RemoveFolderLink(folder + L"\\link.huf");
}

TEST_F(CleanupRun, BothStepsTogetherAndTheTraceReachesAPipe) {
    SetBinary(DisabledItems(L"11.0"), L"v", L"\\kestrova.dll"sv);
    std::wstring folder = In(L"OLK");
    MakeFolder(folder);
    MakeFile(folder + L"\\a.huf");
    SetFolder(L"11.0", folder);

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    kes::UniqueKernelHandle read, write;
    ASSERT_TRUE(CreatePipe(read.Put(), write.Put(), &sa, kPipeBytes));
    SetHandleInformation(read.Get(), HANDLE_FLAG_INHERIT, 0);
    DWORD code = StartCleanup(write.Get(), dir);
    // The program's copy is gone with it; this was the last writer, so reading ends.
    write.Reset();
    std::string out;
    char buf[256];
    DWORD n = 0;
    while (ReadFile(read.Get(), buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(out, ":0\\kestrova.dllOK:259");
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(ValueNames(DisabledItems(L"11.0")).empty());
}

TEST_F(CleanupRun, ScriptsChooseByArgumentsAndReadTheExitCode) {
    const std::wstring key = DisabledItems(L"16.0");
    const std::wstring folder = In(L"OLK");
    const std::string huf = LowBytes(std::wstring_view(folder)) + "\\a.huf";
    const std::string item = "Office 16.0 disabled item \"a1\"";
    auto stage = [&] {
        SetBinary(key, L"a1", L"\\kestrova.dll"sv);
        SetBinary(key, L"b2", L"_outlook.dll"sv);
        if (!Exists(folder))
            MakeFolder(folder);
        if (!Exists(folder + L"\\a.huf"))
            MakeFile(folder + L"\\a.huf");
        if (!Exists(folder + L"\\letter.doc"))
            MakeFile(folder + L"\\letter.doc");
        SetFolder(L"16.0", folder);
    };
    const std::string usage = "cleanup removes what the Kestrova and Tarnwick add-ins leave";
    struct Case {
        const wchar_t* args;
        bool staged; // the findings are there before the run
        DWORD exitCode;
        std::string out; // exact, or the start of the usage text
        bool removes;
    } cases[] = {
        {L"/?", true, 0, usage, false},
        {L"/report", true, 1, "found: " + item + "\r\nfound: " + huf + "\r\n", false},
        {L"-REPORT", true, 1, "found: " + item + "\r\nfound: " + huf + "\r\n", false},
        {L"/run", true, 0, "removed: " + item + "\r\nremoved: " + huf + "\r\n", true},
        {L"/run", false, 0, "", false},
        {L"/report", false, 0, "", false},
        {L"/reports", true, 3, usage, false},
        {L"report", true, 3, usage, false},
        {L"/report /run", true, 3, usage, false},
        {L"/", true, 3, usage, false},
        {L"-?", true, 0, usage, false},
        {L"/run /run", true, 3, usage, false},
        {L"/report:", true, 3, usage, false},
        {L"/RUN:now", true, 3, usage, false},
        {L"//run", true, 3, usage, false},
        {L"\"/run\"", true, 0, "removed: " + item + "\r\nremoved: " + huf + "\r\n", true},
    };
    for (const Case& c : cases) {
        const std::string what = LowBytes(std::wstring_view(c.args));
        if (c.staged)
            stage();
        const Outcome run = RunCleanup(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << what;
        if (c.out == usage)
            EXPECT_EQ(run.out.rfind(usage, 0), 0u) << what << ": " << run.out;
        else
            EXPECT_EQ(run.out, c.out) << what;
        EXPECT_EQ(ValueNames(key).size(), c.staged && !c.removes ? 2u : 1u) << what;
        EXPECT_EQ(Exists(folder + L"\\a.huf"), c.staged && !c.removes) << what;
        EXPECT_TRUE(Exists(folder + L"\\letter.doc")) << what;
    }

    // A file that cannot be deleted: exit code 2, the failure listed with the platform's code.
    stage();
    {
        const kes::UniqueFile held(CreateFileW((folder + L"\\a.huf").c_str(), GENERIC_READ, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        const Outcome run = RunCleanup(L"/run");
        EXPECT_EQ(run.exitCode, 2u);
        const std::string removed = "removed: " + item + "\r\nnot removed (error ";
        EXPECT_EQ(run.out.rfind(removed, 0), 0u) << run.out;
        EXPECT_TRUE(run.out.ends_with("): " + huf + "\r\n")) << run.out;
    }
    EXPECT_TRUE(Exists(folder + L"\\a.huf"));
}

// The desktop program and its console twin beside it: the same program in two subsystems,
// both asking for the caller's rights.
// A key or folder that stays, whatever stands in the way: a script always hears of it, a
// security key that may only be read is read, and /run tries every entry of ours.
TEST_F(CleanupRun, ScriptsAreNeverToldNothingToDoWhileSomethingOfOursStays) {
    const std::wstring folder = In(L"OLK");
    MakeFolder(folder);
    for (const wchar_t* f : {L"a.huf", L"l.huf", L"r.huf", L"z.huf"})
        MakeFile(folder + L"\\" + f);
    MakeFolder(folder + L"\\x.huf");
    MakeFile(folder + L"\\x.huf\\in.huf");
    MakeFile(folder + L"\\x.huf\\note.txt"); // not ours: keeps its folder
    for (const wchar_t* f : {L"r.huf", L"l.huf"})
        ASSERT_TRUE(SetFileAttributesW((folder + L"\\" + f).c_str(), FILE_ATTRIBUTE_READONLY));
    SetFolder(L"16.0", folder);
    kes::UniqueKey security = CreateKey(Security(L"16.0"));
    kes::UniqueLocal sd;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, sd.Put(), nullptr));
    ASSERT_EQ(RegSetKeySecurity(security.Get(), DACL_SECURITY_INFORMATION, sd.Get()),
              ERROR_SUCCESS);
    locked.push_back(std::move(security));
    const std::string at = LowBytes(std::wstring_view(folder)) + "\\";
    using Set = std::multiset<std::string>;

    // The plain run needs full access on the key, as it always did: it passes over it.
    EXPECT_EQ(RunCleanup().out, "");
    EXPECT_TRUE(Exists(folder + L"\\a.huf"));

    Outcome report = RunCleanup(L"/report");
    EXPECT_EQ(report.exitCode, 1u);
    EXPECT_EQ(Lines(report.out),
              (Set{"found: " + at + "a.huf", "found: " + at + "l.huf", "found: " + at + "r.huf",
                   "found: " + at + "z.huf", "found: " + at + "x.huf\\in.huf",
                   "found: " + at + "x.huf\\"}));
    {
        const kes::UniqueFile held(CreateFileW((folder + L"\\l.huf").c_str(), GENERIC_READ, 0,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        const Outcome run = RunCleanup(L"/run");
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_EQ(
            Lines(run.out),
            (Set{"removed: " + at + "a.huf", "removed: " + at + "r.huf", "removed: " + at + "z.huf",
                 "removed: " + at + "x.huf\\in.huf", "not removed (error 32): " + at + "l.huf",
                 "not removed (error 145): " + at + "x.huf\\"}));
    }
    for (const wchar_t* f : {L"a.huf", L"r.huf", L"z.huf", L"x.huf\\in.huf"})
        EXPECT_FALSE(Exists(folder + L"\\" + f)) << LowBytes(std::wstring_view(f));
    EXPECT_TRUE(Exists(folder + L"\\x.huf\\note.txt"));
    EXPECT_NE(GetFileAttributesW((folder + L"\\l.huf").c_str()) & FILE_ATTRIBUTE_READONLY, 0u)
        << "what stays keeps its attribute";

    // Every later cycle still names what stays.
    report = RunCleanup(L"/report");
    EXPECT_EQ(report.exitCode, 1u);
    EXPECT_EQ(Lines(report.out), (Set{"found: " + at + "l.huf", "found: " + at + "x.huf\\"}));
    Outcome run = RunCleanup(L"/run");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(Lines(run.out),
              (Set{"removed: " + at + "l.huf", "not removed (error 145): " + at + "x.huf\\"}));
    // Only when nothing of ours is left is there nothing to do; the emptied folder goes.
    ASSERT_TRUE(DeleteFileW((folder + L"\\x.huf\\note.txt").c_str()));
    run = RunCleanup(L"/run");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "removed: " + at + "x.huf\\\r\n");
    EXPECT_FALSE(Exists(folder));
    report = RunCleanup(L"/report");
    EXPECT_EQ(report.exitCode, 0u);
    EXPECT_EQ(report.out, "");
}

TEST_F(CleanupRun, KeysThatCannotBeReadAreNamedNotPassedOver) {
    for (const std::wstring& path : {DisabledItems(L"15.0"), Security(L"15.0")}) {
        kes::UniqueKey key = CreateKey(path);
        kes::UniqueLocal sd;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1,
                                                                         sd.Put(), nullptr));
        ASSERT_EQ(RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, sd.Get()), ERROR_SUCCESS);
        locked.push_back(std::move(key));
    }
    const std::string lines = "not readable (error 5): Office 15.0 disabled items\r\n"
                              "not readable (error 5): Office 15.0 security settings\r\n";
    EXPECT_EQ(RunCleanup().out, "");
    const Outcome report = RunCleanup(L"/report");
    EXPECT_EQ(report.exitCode, 1u);
    EXPECT_EQ(report.out, lines);
    const Outcome run = RunCleanup(L"/run");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, lines);
}

// Typed at an interactive prompt, "cleanup" is the console twin: the prompt waits for it, shows
// its lines and hands on its exit code (a desktop program would be left running, exit code 0).
TEST_F(CleanupRun, APromptWaitsForTheTwinAndGetsItsExitCode) {
    SetBinary(DisabledItems(L"16.0"), L"a1", L"\\kestrova.dll"sv);
    const std::string out = TypeAtPrompt("cleanup /report\r\necho code=%ERRORLEVEL%\r\n"
                                         "cleanup /run\r\necho code=%ERRORLEVEL%\r\n"
                                         "cleanup /report\r\necho code=%ERRORLEVEL%\r\n"
                                         "cleanup /bad\r\necho code=%ERRORLEVEL%\r\nexit\r\n");
    const std::string item = "Office 16.0 disabled item \"a1\"\r\n";
    std::size_t at = 0;
    for (const std::string& next : {"found: " + item, "code=1"s, "removed: " + item, "code=0"s,
                                    "code=0"s, "cleanup removes what"s, "code=3"s}) {
        const std::size_t found = out.find(next, at);
        ASSERT_NE(found, std::string::npos) << "no " << next << " after " << at << " in " << out;
        at = found + next.size();
    }
    EXPECT_TRUE(ValueNames(DisabledItems(L"16.0")).empty());
}

TEST(CleanupExe, IsADesktopProgramWithAConsoleTwinBothAskingForTheCallersRights) {
    const std::wstring exe = CleanupExe();
    const std::wstring twin = exe.substr(0, exe.size() - 4) + L".com";
    for (const auto& [path, subsystem] : {std::pair{exe, IMAGE_SUBSYSTEM_WINDOWS_GUI},
                                          std::pair{twin, IMAGE_SUBSYSTEM_WINDOWS_CUI}}) {
        const std::string what = LowBytes(std::wstring_view(path));
        const kes::UniqueLibrary module(
            LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module) << what;
        // A module loaded as data is handed out with its low bits set.
        auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module.Get()) &
                                                  ~ULONG_PTR(3));
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        EXPECT_EQ(nt->OptionalHeader.Subsystem, subsystem) << what;
        HRSRC res = FindResourceW(module.Get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
        ASSERT_NE(res, nullptr) << what;
        std::string manifest(
            static_cast<const char*>(LockResource(LoadResource(module.Get(), res))),
            SizeofResource(module.Get(), res));
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << what;
    }
}

} // namespace
} // namespace cleanup
