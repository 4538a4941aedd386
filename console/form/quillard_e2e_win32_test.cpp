// End to end: Quillard.exe started with a prepared registry, driven through its window handles
// by another process, the registry checked afterwards. Uses the test prefix's own registry.
#include "console/form/control_ids.h"
#include "console/testing/driver_win32.h"
#include "console/testing/test_registry_win32.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <optional>
#include <string>

namespace kes {
namespace {

const wchar_t kBranch[] = L"Software\\Varnholt";
const wchar_t kConfig[] = L"Software\\Varnholt\\Kestrova\\Config";

std::wstring ProgramPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    dir.resize(dir.find_last_of(L'\\') + 1);
    return dir + L"" QUILLARD_EXE;
}

class QuillardExe : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kBranch);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kBranch);
    }
    void TearDown() override {
        if (quillard) {
            if (WaitForSingleObject(Process(), 0) == WAIT_TIMEOUT)
                TerminateProcess(Process(), 1);
            quillard.reset();
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kBranch);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kBranch);
    }
    HWND Launch() {
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        std::wstring cmd = L"\"" + ProgramPath() + L"\"";
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi))
            return nullptr;
        quillard.emplace(pi);
        WaitForInputIdle(Process(), 20000);
        return driver::WaitForQuillard(20000);
    }
    HANDLE Process() const { return quillard->Process.Get(); }
    std::optional<UniqueProcess> quillard;
};

TEST_F(QuillardExe, ShowsTheStoredStateWritesAClickAndClosesWithOk) {
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"debug", 3);
    test::WriteString(HKEY_CURRENT_USER, kConfig, L"journal", L"yes");
    test::WriteDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", 1);
    const std::wstring f = L"Software\\Varnholt\\Kestrova\\Folders\\";
    test::CreateKey(HKEY_CURRENT_USER, f + L"Posteingang\\Users\\meier@example.org");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Kalender\\Users\\meier@example.org");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Kalender\\Users\\Schulz");

    HWND form = Launch();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(driver::IsChecked(form, ids::chkDebug));
    EXPECT_FALSE(driver::IsChecked(form, ids::Journal));
    EXPECT_TRUE(driver::IsChecked(form, ids::Desktopbenachrichtigung));
    EXPECT_FALSE(driver::IsChecked(form, ids::chkReminders));
    EXPECT_FALSE(driver::IsChecked(form, ids::chk_pack_every_mail));
    EXPECT_TRUE(driver::IsChecked(form, ids::chkAdmin));
    EXPECT_TRUE(driver::IsEnabled(form, ids::chkAdmin));
    EXPECT_FALSE(driver::IsEnabled(form, ids::categoriesList));
    // Folders are enumerated by name: Kalender before Posteingang.
    EXPECT_EQ(driver::ComboEntries(form, ids::users),
              (std::vector<std::string>{"meier@example.org", "Schulz"}));
    // A screen reader in another process hears the help paragraph and the glyph buttons' names.
    {
        const ComInit com;
        const auto accessibleName = [&](int id) {
            ComPtr<IAccessible> acc;
            UniqueBstr name;
            VARIANT self;
            self.vt = VT_I4;
            self.lVal = CHILDID_SELF;
            if (FAILED(AccessibleObjectFromWindow(driver::Control(form, id),
                                                  static_cast<DWORD>(OBJID_CLIENT),
                                                  __uuidof(IAccessible), acc.PutVoid())) ||
                acc->get_accName(self, name.Put()) != S_OK)
                return std::wstring();
            return std::wstring(name.Get());
        };
        const std::wstring help = accessibleName(ids::HTMLStaticText1);
        EXPECT_EQ(help.rfind(L"If you need, to synchronize categories only with the user", 0), 0u)
            << Narrow(help);
        EXPECT_NE(help.find(L"Um mit jedem Benutzer andere Kategorien"), std::wstring::npos);
        EXPECT_EQ(help.find(L'<'), std::wstring::npos) << "no markup is read out";
        EXPECT_EQ(accessibleName(ids::catAdd), L"Add category / Kategorie hinzuf\u00fcgen");
    }

    driver::Click(form, ids::Journal);
    EXPECT_TRUE(driver::IsChecked(form, ids::Journal));
    driver::Click(form, ids::chkAdmin);
    EXPECT_FALSE(driver::IsChecked(form, ids::chkAdmin));
    driver::Click(form, ids::Button1);
    ASSERT_EQ(WaitForSingleObject(Process(), 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(Process(), &code);
    EXPECT_EQ(code, 0u);

    DWORD v = 0;
    ASSERT_TRUE(test::ReadDword(HKEY_CURRENT_USER, kConfig, L"debug", v));
    EXPECT_EQ(v, 1u);
    ASSERT_TRUE(test::ReadDword(HKEY_CURRENT_USER, kConfig, L"journal", v));
    EXPECT_EQ(v, 1u);
    ASSERT_TRUE(test::ReadDword(HKEY_CURRENT_USER, kConfig, L"desktopnotification", v));
    EXPECT_EQ(v, 1u);
    EXPECT_FALSE(test::ReadDword(HKEY_CURRENT_USER, kConfig, L"removereminder", v));
    ASSERT_TRUE(test::ReadDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", v));
    EXPECT_EQ(v, 0u);
}

TEST_F(QuillardExe, CarriesItsVersionInformation) {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000012u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000000u);
    WORD* lang = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&lang), &len));
    EXPECT_EQ(lang[0], 0x0407);
    EXPECT_EQ(lang[1], 1252);
    const struct {
        const wchar_t* field;
        const wchar_t* value;
    } fields[] = {{L"CompanyName", L"Varnholt"},
                  {L"FileDescription", L"Quillard for Kestrova"},
                  {L"ProductName", L"Kestrova"},
                  {L"FileVersion", L"1.2.0.18"},
                  {L"ProductVersion", L"1.2.0.0"}};
    for (const auto& f : fields) {
        wchar_t* value = nullptr;
        const std::wstring q = std::wstring(L"\\StringFileInfo\\040704E4\\") + f.field;
        ASSERT_TRUE(VerQueryValueW(data.data(), q.c_str(), reinterpret_cast<void**>(&value), &len))
            << f.field;
        EXPECT_STREQ(value, f.value);
    }
}

TEST_F(QuillardExe, CarriesTheManifestIconAndGlyphs) {
    const UniqueLibrary module(
        LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    HMODULE exe = module.Get();
    HRSRC manifest = FindResourceExW(exe, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
                                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(manifest, nullptr);
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(exe, manifest))),
                          SizeofResource(exe, manifest));
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
    for (const char* part :
         {"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">",
          "version=\"1.0.0.0\"", "name=\"CompanyName.ProductName.YourApp\"",
          "<description>Your application description here.</description>",
          "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
          "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
          // Without an execution level a 32-bit console's lock writes would be virtualized
          // into the user's VirtualStore instead of failing for a non-administrator.
          "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">",
          "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
          "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">",
          "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
          "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
          "<gdiScaling xmlns=\"http://schemas.microsoft.com/SMI/2017/WindowsSettings\">true"
          "</gdiScaling>",
          // Per-monitor v2 where Windows has it (1703 on), per-monitor before; no stretching.
          "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
          "PerMonitorV2, PerMonitor</dpiAwareness>",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm"
          "</dpiAware>"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    EXPECT_EQ(xml.find("requireAdministrator"), std::string::npos);

    // One icon group with images from 16 to 128 pixels.
    HRSRC group = FindResourceW(exe, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(exe, group)));
    const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(dir[6], 16);                     // first entry
    EXPECT_EQ(dir[6 + 14 * (count - 1)], 128); // last entry
    for (int id : {101, 102, 103}) {
        const UniqueBitmap bmp(static_cast<HBITMAP>(
            LoadImageW(exe, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
        ASSERT_TRUE(bmp) << id;
        BITMAP bm{};
        GetObjectW(bmp.Get(), sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, 16);
        EXPECT_EQ(bm.bmHeight, 16);
    }
}

} // namespace
} // namespace kes
