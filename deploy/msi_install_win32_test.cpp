// The x64 package as an administrator uses it: installed silently with msiexec, checked (files,
// Start-menu shortcut, version), its cleanup.exe run, upgraded by a package of a higher version,
// uninstalled, and nothing of it left. The add-in's own registry branch is never touched.
// Both packages are made from this build by deploy/package.sh and lie beside this test.
#include "platform/scoped_win32.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRunTimeoutMs = 120000; // only a hung installer reaches it
const wchar_t kShortcut[] = L"Extended configuration for Kestrova.lnk";
const wchar_t kAddInBranch[] = L"Software\\Varnholt\\Kestrova";
const wchar_t kMarker[] = L"kes_msi_test_marker";

std::wstring Beside(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

std::wstring Folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line and returns its exit code.
DWORD RunCommand(std::wstring cmd) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // No output: only the exit codes count here.
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "did not start: " << GetLastError();
        return ~0u;
    }
    const kes::UniqueProcess started(pi);
    EXPECT_EQ(WaitForSingleObject(started.Process.Get(), kRunTimeoutMs), WAIT_OBJECT_0);
    DWORD code = ~0u;
    GetExitCodeProcess(started.Process.Get(), &code);
    return code;
}

DWORD Msiexec(const wchar_t* action, const std::wstring& package) {
    return RunCommand(L"msiexec.exe " + std::wstring(action) + L" \"" + package + L"\" /qn");
}

// A property of a package, read from the package itself.
std::wstring PackageProperty(const std::wstring& package, const wchar_t* name) {
    MSIHANDLE db = 0, view = 0, record = 0;
    std::wstring value;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &db) == ERROR_SUCCESS) {
        const std::wstring query =
            L"SELECT `Value` FROM `Property` WHERE `Property` = '" + std::wstring(name) + L"'";
        if (MsiDatabaseOpenViewW(db, query.c_str(), &view) == ERROR_SUCCESS &&
            MsiViewExecute(view, 0) == ERROR_SUCCESS &&
            MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            wchar_t buf[256];
            DWORD len = 256;
            if (MsiRecordGetStringW(record, 1, buf, &len) == ERROR_SUCCESS)
                value.assign(buf, len);
        }
    }
    for (MSIHANDLE h : {record, view, db})
        if (h != 0)
            MsiCloseHandle(h);
    return value;
}

std::vector<std::wstring> RelatedProducts(const std::wstring& upgradeCode) {
    std::vector<std::wstring> codes;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, code) == ERROR_SUCCESS;
         ++i)
        codes.emplace_back(code);
    return codes;
}

std::wstring InstalledVersion(const std::wstring& product) {
    wchar_t buf[64];
    DWORD len = 64;
    if (MsiGetProductInfoW(product.c_str(), INSTALLPROPERTY_VERSIONSTRING, buf, &len) !=
        ERROR_SUCCESS)
        return {};
    return std::wstring(buf, len);
}

// "a.b.c.d" of a program's fixed product version.
std::wstring ProgramVersion(const std::wstring& exe) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (size == 0 || !GetFileVersionInfoW(exe.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len))
        return {};
    return std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." +
           std::to_wstring(HIWORD(fixed->dwProductVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwProductVersionLS));
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    const kes::UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &fd));
    if (search) {
        do
            if (std::wstring(fd.cFileName) != L"." && std::wstring(fd.cFileName) != L"..")
                names.emplace_back(fd.cFileName);
        while (FindNextFileW(search.Get(), &fd));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Where the shortcut's link leads; empty when there is no link.
std::wstring LinkTarget(const std::wstring& link) {
    kes::ComPtr<IShellLinkW> shell;
    kes::ComPtr<IPersistFile> file;
    wchar_t target[MAX_PATH] = {};
    if (!Exists(link) ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(shell.Put()))) ||
        FAILED(shell->QueryInterface(IID_PPV_ARGS(file.Put()))) ||
        FAILED(file->Load(link.c_str(), STGM_READ)) ||
        FAILED(shell->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)))
        return {};
    return target;
}

// Every key, value name, type and data below a key, as one text.
void Snapshot(HKEY root, const std::wstring& path, std::wstring& out) {
    kes::UniqueKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return;
    out += L"[" + path + L"]\n";
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        BYTE data[1024];
        DWORD nameLen = 256, size = sizeof data, type = 0;
        if (RegEnumValueW(key.Get(), i, name, &nameLen, nullptr, &type, data, &size) != 0)
            break;
        out += std::wstring(name, nameLen) + L"=" + std::to_wstring(type) + L":";
        for (DWORD b = 0; b < size; ++b)
            out += std::to_wstring(data[b]) + L",";
        out += L"\n";
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLen = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        Snapshot(root, path + L"\\" + std::wstring(name, nameLen), out);
    }
}

std::wstring AddInBranches() {
    std::wstring out;
    Snapshot(HKEY_CURRENT_USER, kAddInBranch, out);
    out += L"--\n";
    Snapshot(HKEY_LOCAL_MACHINE, kAddInBranch, out);
    return out;
}

class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.Result()));
        ASSERT_TRUE(Exists(current)) << "no package beside the test";
        ASSERT_TRUE(Exists(upgrade));
        upgradeCode = PackageProperty(current, L"UpgradeCode");
        ASSERT_FALSE(upgradeCode.empty());
        ASSERT_EQ(PackageProperty(upgrade, L"UpgradeCode"), upgradeCode);
        // What an interrupted earlier run left behind goes first.
        for (const std::wstring& product : RelatedProducts(upgradeCode))
            Msiexec(L"/x", product);
        ASSERT_TRUE(RelatedProducts(upgradeCode).empty());
        // The add-in's settings, which the package must leave alone.
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            kes::UniqueKey probe;
            varnholtExisted.push_back(RegOpenKeyExW(root, L"Software\\Varnholt", 0, KEY_READ,
                                                    probe.Put()) == ERROR_SUCCESS);
            const DWORD one = 1;
            ASSERT_EQ(RegSetKeyValueW(root, L"Software\\Varnholt\\Kestrova\\Config", kMarker,
                                      REG_DWORD, &one, sizeof one),
                      ERROR_SUCCESS);
        }
    }
    void TearDown() override {
        HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
        for (std::size_t i = 0; i < varnholtExisted.size(); ++i) {
            if (varnholtExisted[i]) {
                RegDeleteKeyValueW(roots[i], L"Software\\Varnholt\\Kestrova\\Config", kMarker);
            } else {
                RegDeleteTreeW(roots[i], L"Software\\Varnholt");
                RegDeleteKeyW(roots[i], L"Software\\Varnholt");
            }
        }
    }

    kes::ComInit com;
    const std::wstring current = Beside(L"kes_current-x64.msi");
    const std::wstring upgrade = Beside(L"kes_upgrade-x64.msi");
    const std::wstring dir = Folder(CSIDL_PROGRAM_FILES) + L"\\Kestrova";
    // Per machine it belongs in the common Start menu; Wine's installer puts it in the user's.
    const std::wstring links[2] = {Folder(CSIDL_COMMON_PROGRAMS) + L"\\" + kShortcut,
                                   Folder(CSIDL_PROGRAMS) + L"\\" + kShortcut};
    std::wstring upgradeCode;
    std::vector<bool> varnholtExisted;
};

TEST_F(MsiPackage, InstallsUpgradesAndUninstallsWithoutATrace) {
    const std::wstring branches = AddInBranches();
    const std::wstring quillard = dir + L"\\Quillard.exe";
    const std::wstring cleanup = dir + L"\\cleanup.exe";

    ASSERT_EQ(Msiexec(L"/i", current), 0u);
    std::vector<std::wstring> products = RelatedProducts(upgradeCode);
    ASSERT_EQ(products.size(), 1u);
    const std::wstring first = products[0];
    EXPECT_EQ(Entries(dir), (std::vector<std::wstring>{L"Quillard.exe", L"cleanup.exe"}));
    // One version: the package's is the programs' own.
    const std::wstring version = ProgramVersion(quillard);
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(InstalledVersion(first), version);
    EXPECT_EQ(PackageProperty(current, L"ProductVersion"), version);
    EXPECT_EQ(ProgramVersion(cleanup), version);
    const std::wstring target = LinkTarget(links[0]) + LinkTarget(links[1]);
    EXPECT_EQ(CompareStringOrdinal(target.c_str(), -1, quillard.c_str(), -1, TRUE), CSTR_EQUAL)
        << "the shortcut leads to " << std::string(target.begin(), target.end());
    // The installed cleanup.exe runs: a report on a prefix without Outlook finds nothing.
    EXPECT_EQ(RunCommand(L"\"" + cleanup + L"\" /report"), 0u);
    EXPECT_EQ(RunCommand(L"\"" + cleanup + L"\" /nonsense"), 3u);
    EXPECT_EQ(AddInBranches(), branches);

    ASSERT_EQ(Msiexec(L"/i", upgrade), 0u);
    products = RelatedProducts(upgradeCode);
    ASSERT_EQ(products.size(), 1u) << "the newer package replaces the older one";
    EXPECT_NE(products[0], first);
    EXPECT_EQ(MsiQueryProductStateW(first.c_str()), INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(InstalledVersion(products[0]), PackageProperty(upgrade, L"ProductVersion"));
    EXPECT_NE(InstalledVersion(products[0]), version);
    EXPECT_EQ(Entries(dir), (std::vector<std::wstring>{L"Quillard.exe", L"cleanup.exe"}));
    EXPECT_TRUE(Exists(links[0]) || Exists(links[1]));

    ASSERT_EQ(Msiexec(L"/x", upgrade), 0u);
    EXPECT_TRUE(RelatedProducts(upgradeCode).empty());
    EXPECT_EQ(MsiQueryProductStateW(products[0].c_str()), INSTALLSTATE_UNKNOWN);
    EXPECT_FALSE(Exists(dir));
    EXPECT_FALSE(Exists(links[0]));
    EXPECT_FALSE(Exists(links[1]));
    kes::UniqueKey arp;
    EXPECT_NE(
        RegOpenKeyExW(
            HKEY_LOCAL_MACHINE,
            (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + products[0]).c_str(), 0,
            KEY_READ, arp.Put()),
        ERROR_SUCCESS);
    EXPECT_EQ(AddInBranches(), branches);
}

} // namespace
