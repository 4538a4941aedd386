// Quillard.com end to end: Outlook's and the add-in's keys seeded in the prefix's real registry,
// the program run with its output on a file, then its exit code, its text and the registry.
// Every key made here is removed again.
#include "console/status/status_console_win32.h"
#include "console/testing/driver_win32.h"
#include "console/testing/test_registry_win32.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace kes::status {
namespace {

constexpr DWORD kNoExitCode = 0xDEADBEEF;
constexpr DWORD kRunTimeoutMs = 60000;

const wchar_t kAddins[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";
const wchar_t kOutlook16[] = L"Software\\Microsoft\\Office\\16.0\\Outlook";
const wchar_t kResiliency[] = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\";
const wchar_t kPreferences[] = L"Software\\Microsoft\\Office\\16.0\\Outlook\\Preferences";

struct Outcome {
    DWORD exitCode = kNoExitCode;
    std::string out;
};

std::wstring Beside(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Runs Quillard.com with `args`, its standard output on a file that is read afterwards.
Outcome RunCom(const std::wstring& args, HANDLE console = nullptr) {
    const std::wstring file = Beside(L"quillard_com_out.txt");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const UniqueFile out(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    Outcome run;
    std::wstring cmd = L"\"" + Beside(QUILLARD_COM) + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = console ? console : out.Get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "Quillard.com did not start: " << GetLastError();
        return run;
    }
    const UniqueProcess started(pi);
    EXPECT_EQ(WaitForSingleObject(started.Process.Get(), kRunTimeoutMs), WAIT_OBJECT_0);
    GetExitCodeProcess(started.Process.Get(), &run.exitCode);
    SetFilePointer(out.Get(), 0, nullptr, FILE_BEGIN);
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(out.Get(), buf, sizeof buf, &n, nullptr) && n > 0)
        run.out.append(buf, n);
    return run;
}

void Text(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& v) {
    test::WriteString(root, path, name ? name : L"", v);
}

// When a key was last written: a run that writes nothing leaves it.
ULONGLONG Written(HKEY root, const std::wstring& path) {
    UniqueKey key;
    FILETIME t{};
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS ||
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, &t) != ERROR_SUCCESS)
        return 0;
    return ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

class QuillardCom : public ::testing::Test {
protected:
    void SetUp() override {
        TearDown();
        Text(HKEY_LOCAL_MACHINE, kOutlook16, L"Bitness", L"x64");
        Register(HKEY_CURRENT_USER, L"Kestrova.Connect", L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}",
                 L"C:\\Program Files\\Kestrova\\Kestrova.dll", 2);
        Register(HKEY_CURRENT_USER, L"Other.Addin", L"{0D7E0B4E-1111-4C1E-9E4F-2B7A3C5D8E91}",
                 L"C:\\Other\\other.dll", 2);
        // Outlook's record: a binary header, then the add-in's path.
        std::wstring record(L"\x0001\x0000", 2);
        record += L"c:\\program files\\kestrova\\kestrova.dll";
        record.push_back(L'\0');
        test::CreateKey(HKEY_CURRENT_USER, std::wstring(kResiliency) + L"DisabledItems");
        RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kResiliency) + L"DisabledItems").c_str(),
                        L"7A3B", REG_BINARY, record.data(),
                        static_cast<DWORD>(record.size() * sizeof(wchar_t)));
        test::WriteDword(HKEY_CURRENT_USER, kPreferences, L"UseNewOutlook", 1);
    }
    void TearDown() override {
        for (const wchar_t* id : {L"Kestrova.Connect", L"Other.Addin", L"Kestrova.Machine"}) {
            RegDeleteTreeW(HKEY_CURRENT_USER, (kAddins + std::wstring(id)).c_str());
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kAddins + std::wstring(id)).c_str());
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + std::wstring(id)).c_str());
        }
        for (const wchar_t* clsid :
             {L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}", L"{0D7E0B4E-1111-4C1E-9E4F-2B7A3C5D8E91}"})
            RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                           (L"Software\\Classes\\CLSID\\" + std::wstring(clsid)).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\16.0");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kOutlook16);
    }
    static void Register(HKEY root, const std::wstring& id, const std::wstring& clsid,
                         const std::wstring& server, DWORD loadBehavior) {
        Text(root, kAddins + id, L"FriendlyName", id);
        test::WriteDword(root, kAddins + id, L"LoadBehavior", loadBehavior);
        Text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + id + L"\\CLSID", nullptr, clsid);
        Text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32",
             nullptr, server);
    }
    static DWORD Dword(HKEY root, const std::wstring& path, const wchar_t* name) {
        DWORD v = 0xDEADBEEF;
        test::ReadDword(root, path, name, v);
        return v;
    }
    static bool Has(const std::string& out, const std::string& line) {
        return out.find(line + "\r\n") != std::string::npos;
    }
};

// The user's Outlook switched the add-in off and moved to the new Outlook.
TEST_F(QuillardCom, StatusNamesWhatStopsTheAddinAndRepairPutsRightOnlyOurs) {
    const std::string newOutlook = "  - the new Outlook is in use, which loads no add-ins / das "
                                   "neue Outlook wird verwendet, es l\xC3\xA4"
                                   "dt keine Add-Ins "
                                   "(UseNewOutlook 1)";
    Outcome status = RunCom(L"/status");
    EXPECT_EQ(status.exitCode, 1u);
    for (const std::string& line :
         {std::string("Verdict / Ergebnis: the add-in will not run / das Add-In wird nicht laufen"),
          newOutlook, std::string("  - HKCU Kestrova.Connect: LoadBehavior 2"),
          std::string("  - Outlook 16.0 disabled items / deaktivierte Elemente: \"7A3B\"")})
        EXPECT_TRUE(Has(status.out, line)) << line << "\n" << status.out;

    // Everything of ours is put right; the new Outlook is told and stays, so something is left.
    Outcome repair = RunCom(L"-REPAIR");
    EXPECT_EQ(repair.exitCode, 2u) << repair.out;
    EXPECT_EQ(
        Dword(HKEY_CURRENT_USER, kAddins + std::wstring(L"Kestrova.Connect"), L"LoadBehavior"), 3u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kAddins + std::wstring(L"Other.Addin"), L"LoadBehavior"),
              2u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, std::wstring(kResiliency) + L"DoNotDisableAddinList",
                    L"Kestrova.Connect"),
              1u);
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER,
                           (std::wstring(kResiliency) + L"DisabledItems").c_str(), L"7A3B",
                           RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kPreferences, L"UseNewOutlook"), 1u);
    EXPECT_TRUE(Has(repair.out, newOutlook)) << repair.out;
    EXPECT_TRUE(Has(repair.out, "  left / bleibt: the new Outlook is in use, which is not changed "
                                "here: the user switches the 'New Outlook' toggle off / das neue "
                                "Outlook wird verwendet, das hier nicht umgestellt wird: der "
                                "Benutzer schaltet den Schalter 'Neues Outlook' aus"))
        << repair.out;

    // Back in the classic Outlook: nothing is left, and a second repair writes nothing.
    test::WriteDword(HKEY_CURRENT_USER, kPreferences, L"UseNewOutlook", 0);
    const std::wstring keys[] = {kAddins + std::wstring(L"Kestrova.Connect"),
                                 std::wstring(kResiliency) + L"DoNotDisableAddinList",
                                 std::wstring(kResiliency) + L"DisabledItems"};
    ULONGLONG before[3];
    for (int i = 0; i < 3; ++i)
        before[i] = Written(HKEY_CURRENT_USER, keys[i]);
    repair = RunCom(L"/repair");
    EXPECT_EQ(repair.exitCode, 0u) << repair.out;
    EXPECT_TRUE(Has(repair.out, "  nothing to change / nichts zu \xC3\xA4ndern")) << repair.out;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Written(HKEY_CURRENT_USER, keys[i]), before[i]) << Narrow(keys[i]);
    EXPECT_EQ(RunCom(L"/status").exitCode, 0u);
}

// A machine registration that this user may not write: named, and the exit code says so.
TEST_F(QuillardCom, RepairNamesAMachineEntryItMayNotChange) {
    test::WriteDword(HKEY_CURRENT_USER, kPreferences, L"UseNewOutlook", 0);
    Register(HKEY_LOCAL_MACHINE, L"Kestrova.Machine", L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}",
             L"C:\\Program Files\\Kestrova\\Kestrova.dll", 2);
    const test::ReadOnlyKey readOnly(
        HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Machine");
    const Outcome repair = RunCom(L"/repair");
    EXPECT_EQ(repair.exitCode, 2u);
    // Wine's process is always an administrator, so the write is tried and refused.
    EXPECT_TRUE(Has(repair.out, "  not changed / nicht ge\xC3\xA4ndert (access denied / Zugriff "
                                "verweigert, needs an administrator / braucht einen "
                                "Administrator): LoadBehavior 3 for / f\xC3\xBCr HKLM 64-bit "
                                "Kestrova.Machine (was / war 2)"))
        << repair.out;
    EXPECT_TRUE(Has(repair.out, "  - HKLM 64-bit Kestrova.Machine: LoadBehavior 2")) << repair.out;
    EXPECT_EQ(
        Dword(HKEY_CURRENT_USER, kAddins + std::wstring(L"Kestrova.Connect"), L"LoadBehavior"), 3u);
}

TEST_F(QuillardCom, BadArgumentsPrintTheUsageAndRunNothing) {
    const struct {
        const wchar_t* args;
        DWORD exitCode;
    } rows[] = {{L"/?", 0}, {L"/stat", 3}, {L"status", 3}, {L"/status /repair", 3}};
    for (const auto& row : rows) {
        const Outcome run = RunCom(row.args);
        EXPECT_EQ(run.exitCode, row.exitCode) << Narrow(row.args);
        EXPECT_EQ(run.out, kUsage) << Narrow(row.args);
    }
    EXPECT_EQ(
        Dword(HKEY_CURRENT_USER, kAddins + std::wstring(L"Kestrova.Connect"), L"LoadBehavior"), 2u);
}

// Names as they are: UTF-8 to a file, UTF-16 through the console's own call to a console.
TEST_F(QuillardCom, NamesAreNeverMangledInAFileOrAConsole) {
    const std::wstring name = L"Kestrov\x00E1 \x2713 \x9023\x643A \xD83D\xDE00";
    Text(HKEY_CURRENT_USER, kAddins + std::wstring(L"Kestrova.Connect"), L"FriendlyName", name);
    const std::string line = "FriendlyName \"" + Narrow(name) + "\"";
    const Outcome file = RunCom(L"/status");
    EXPECT_NE(file.out.find(line), std::string::npos) << file.out;

    // A console of this process, with a screen buffer of its own for the run's output.
    if (!AllocConsole()) {
        // Attached to one already (or none can be had): a console of its own is asked anew.
        FreeConsole();
        ASSERT_TRUE(AllocConsole()) << GetLastError();
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    const UniqueKernelHandle screen(
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &sa, CONSOLE_TEXTMODE_BUFFER, nullptr));
    ASSERT_TRUE(screen.Get() != INVALID_HANDLE_VALUE && screen.Get() != nullptr) << GetLastError();
    COORD size{300, 200};
    SetConsoleScreenBufferSize(screen.Get(), size);
    ASSERT_TRUE(WriteText(screen.Get(), Narrow(name)));
    std::wstring shown(name.size(), L'\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.Get(), shown.data(),
                                            static_cast<DWORD>(shown.size()), {0, 0}, &read));
    EXPECT_EQ(shown, name);

    // The program itself, its output on that screen buffer.
    EXPECT_EQ(RunCom(L"/status", screen.Get()).exitCode, 1u);
    std::wstring screenText(size.X * size.Y, L'\0');
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.Get(), screenText.data(),
                                            static_cast<DWORD>(screenText.size()), {0, 0}, &read));
    EXPECT_NE(screenText.find(Widen(line)), std::wstring::npos);
    FreeConsole();
}

// Without arguments, as typed at a prompt: Quillard.exe opens and the prompt is back at once.
TEST_F(QuillardCom, WithoutArgumentsOpensTheWindowAndReturns) {
    const Outcome run = RunCom(L"");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "");
    const HWND form = driver::WaitForQuillard(20000);
    ASSERT_NE(form, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(form, &pid);
    const UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostMessageW(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.Get(), 20000), WAIT_OBJECT_0);
}

} // namespace
} // namespace kes::status
