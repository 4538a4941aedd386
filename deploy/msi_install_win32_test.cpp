// The packages as an administrator uses them: installed silently with msiexec, checked (files,
// Start-menu shortcut, version, the entry in Programs and Features), the installed cleanup run,
// replaced by a rebuild of the same version, by the other architecture's package and by a
// higher version, an older one refused, uninstalled, and nothing of them left. The add-in's own
// registry branch is never touched. The packages are made from this build by deploy/package.sh
// and lie beside this test.
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

DWORD Msiexec(const wchar_t* action, const std::wstring& package,
              const std::wstring& properties = L"") {
    return RunCommand(L"msiexec.exe " + std::wstring(action) + L" \"" + package + L"\" /qn" +
                      (properties.empty() ? L"" : L" " + properties));
}

// Every row of the package's File table: "name=version,language".
std::vector<std::wstring> FileVersions(const std::wstring& package) {
    MSIHANDLE db = 0, view = 0, record = 0;
    std::vector<std::wstring> rows;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &db) == ERROR_SUCCESS &&
        MsiDatabaseOpenViewW(db, L"SELECT `FileName`, `Version`, `Language` FROM `File`", &view) ==
            ERROR_SUCCESS &&
        MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            std::wstring row;
            for (UINT field = 1; field <= 3; ++field) {
                wchar_t buf[256];
                DWORD len = 256;
                if (MsiRecordGetStringW(record, field, buf, &len) == ERROR_SUCCESS)
                    row += std::wstring(buf, len);
                row += field == 1 ? L"=" : field == 2 ? L"," : L"";
            }
            // The long name of "SHORT|long".
            rows.push_back(
                row.substr(row.find(L'|') == std::wstring::npos ? 0 : row.find(L'|') + 1));
            MsiCloseHandle(record);
        }
    }
    for (MSIHANDLE h : {view, db})
        if (h != 0)
            MsiCloseHandle(h);
    std::sort(rows.begin(), rows.end());
    return rows;
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

// "a.b.c.d" of a program's fixed product version, or with `file` its file version.
std::wstring ProgramVersion(const std::wstring& exe, bool file = false) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (size == 0 || !GetFileVersionInfoW(exe.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len))
        return {};
    const DWORD ms = file ? fixed->dwFileVersionMS : fixed->dwProductVersionMS;
    const DWORD ls = file ? fixed->dwFileVersionLS : fixed->dwProductVersionLS;
    return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
           std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
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

// Our entries in Programs and Features: the uninstall keys of both registry views (a 32-bit
// package's is in the 32-bit one) whose name is ours, by product code.
std::vector<std::wstring> ArpEntries() {
    std::vector<std::wstring> entries;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        kes::UniqueKey uninstall;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                          KEY_READ | view, uninstall.Put()) != ERROR_SUCCESS)
            continue;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD len = 256;
            if (RegEnumKeyExW(uninstall.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            wchar_t shown[256] = {};
            DWORD size = sizeof shown;
            if (RegGetValueW(uninstall.Get(), name, L"DisplayName", RRF_RT_REG_SZ, nullptr, shown,
                             &size) == ERROR_SUCCESS &&
                std::wstring_view(shown).starts_with(L"Kestrova Companion") &&
                std::find(entries.begin(), entries.end(), name) == entries.end())
                entries.emplace_back(name);
        }
    }
    return entries;
}

// One value of a product's uninstall key, as text; a number as its digits.
std::wstring ArpValue(const std::wstring& product, const wchar_t* value) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        kes::UniqueKey key;
        if (RegOpenKeyExW(
                HKEY_LOCAL_MACHINE,
                (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product).c_str(), 0,
                KEY_READ | view, key.Put()) != ERROR_SUCCESS)
            continue;
        BYTE data[1024] = {};
        DWORD size = sizeof data - sizeof(wchar_t), type = 0;
        if (RegQueryValueExW(key.Get(), value, nullptr, &type, data, &size) != ERROR_SUCCESS)
            return {};
        if (type == REG_DWORD)
            return std::to_wstring(*reinterpret_cast<DWORD*>(data));
        return reinterpret_cast<const wchar_t*>(data);
    }
    return {};
}

bool SamePath(std::wstring a, std::wstring b) {
    for (std::wstring* p : {&a, &b})
        while (!p->empty() && p->back() == L'\\')
            p->pop_back();
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.Result()));
        for (const std::wstring* package : {&current, &rebuild, &x86, &olderX86, &upgrade})
            ASSERT_TRUE(Exists(*package)) << "no package beside the test: " << Narrow(*package);
        codes[0] = PackageProperty(current, L"UpgradeCode");
        codes[1] = PackageProperty(x86, L"UpgradeCode");
        ASSERT_FALSE(codes[0].empty());
        ASSERT_NE(codes[0], codes[1]) << "each architecture keeps its own upgrade code";
        // What an interrupted earlier run left behind goes first.
        for (const std::wstring& product : Products())
            Msiexec(L"/x", product);
        for (const std::wstring& product : ArpEntries())
            Msiexec(L"/x", product);
        ASSERT_TRUE(Products().empty());
        ASSERT_TRUE(ArpEntries().empty());
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
        for (const std::wstring& product : Products())
            Msiexec(L"/x", product);
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

    // The installed products of either architecture.
    std::vector<std::wstring> Products() const {
        std::vector<std::wstring> all = RelatedProducts(codes[0]);
        for (const std::wstring& p : RelatedProducts(codes[1]))
            all.push_back(p);
        return all;
    }
    // Exactly one product is installed, from `package`, in `folder`, with one shortcut to its
    // console and one entry in Programs and Features; returns its product code.
    std::wstring ExpectOnlyProduct(const std::wstring& package, const std::wstring& folder,
                                   const std::wstring& other) {
        const std::vector<std::wstring> products = Products();
        EXPECT_EQ(products.size(), 1u) << "one product per machine";
        if (products.size() != 1)
            return {};
        const std::wstring& product = products[0];
        EXPECT_EQ(product, PackageProperty(package, L"ProductCode"));
        EXPECT_EQ(InstalledVersion(product), PackageProperty(package, L"ProductVersion"));
        EXPECT_EQ(ArpEntries(), std::vector<std::wstring>{product});
        EXPECT_EQ(Entries(folder), (std::vector<std::wstring>{L"Quillard.com", L"Quillard.exe",
                                                              L"cleanup.com", L"cleanup.exe"}));
        EXPECT_FALSE(Exists(other)) << "the other architecture's folder is gone";
        EXPECT_NE(Exists(links[0]), Exists(links[1])) << "one shortcut";
        const std::wstring target = LinkTarget(links[0]) + LinkTarget(links[1]);
        EXPECT_TRUE(SamePath(target, folder + L"\\Quillard.exe")) << Narrow(target);
        return product;
    }

    kes::ComInit com;
    const std::wstring current = Beside(L"kes_current-x64.msi");
    const std::wstring rebuild = Beside(L"kes_rebuild-x64.msi");
    const std::wstring x86 = Beside(L"kes_current-x86.msi");
    const std::wstring olderX86 = Beside(L"kes_older-x86.msi");
    const std::wstring upgrade = Beside(L"kes_upgrade-x64.msi");
    const std::wstring dir64 = Folder(CSIDL_PROGRAM_FILES) + L"\\Kestrova";
    const std::wstring dir32 = Folder(CSIDL_PROGRAM_FILESX86) + L"\\Kestrova";
    // Per machine it belongs in the common Start menu; Wine's installer puts it in the user's.
    const std::wstring links[2] = {Folder(CSIDL_COMMON_PROGRAMS) + L"\\" + kShortcut,
                                   Folder(CSIDL_PROGRAMS) + L"\\" + kShortcut};
    std::wstring codes[2]; // x64, x86
    std::vector<bool> varnholtExisted;
};

TEST_F(MsiPackage, OneProductPerMachineReplacedByRebuildsOtherArchitecturesAndUpgrades) {
    const std::wstring branches = AddInBranches();
    const std::wstring quillard = dir64 + L"\\Quillard.exe";

    ASSERT_EQ(Msiexec(L"/i", current), 0u);
    const std::wstring first = ExpectOnlyProduct(current, dir64, dir32);
    // One version: the package's is the programs' own.
    const std::wstring version = ProgramVersion(quillard);
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(InstalledVersion(first), version);
    EXPECT_EQ(ProgramVersion(dir64 + L"\\cleanup.exe"), version);
    EXPECT_EQ(ProgramVersion(dir64 + L"\\cleanup.com"), version);
    // The installer and inventory tools see each program's own file version.
    const std::wstring file = ProgramVersion(quillard, true) + L",1033";
    EXPECT_EQ(FileVersions(current),
              (std::vector<std::wstring>{L"Quillard.com=" + file, L"Quillard.exe=" + file,
                                         L"cleanup.com=" + file, L"cleanup.exe=" + file}));
    // Programs and Features: the icon, the help link, the folder; no Change, no Repair.
    // Windows also copies the icon's path into the entry's DisplayIcon; Wine's installer keeps
    // it with the product only, where Programs and Features looks when DisplayIcon is absent.
    wchar_t icon[MAX_PATH] = {};
    DWORD iconLen = MAX_PATH;
    EXPECT_EQ(MsiGetProductInfoW(first.c_str(), INSTALLPROPERTY_PRODUCTICON, icon, &iconLen),
              static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_TRUE(icon[0] != 0 && Exists(icon)) << Narrow(icon);
    EXPECT_EQ(ArpValue(first, L"HelpLink"), PackageProperty(current, L"ARPHELPLINK"));
    EXPECT_FALSE(ArpValue(first, L"HelpLink").empty());
    EXPECT_TRUE(SamePath(ArpValue(first, L"InstallLocation"), dir64))
        << Narrow(ArpValue(first, L"InstallLocation"));
    EXPECT_EQ(ArpValue(first, L"NoModify"), L"1");
    EXPECT_EQ(ArpValue(first, L"NoRepair"), L"1");
    // The installed cleanup runs: a report on a prefix without Outlook finds nothing.
    for (const wchar_t* program : {L"cleanup.exe", L"cleanup.com"}) {
        const std::wstring path = L"\"" + dir64 + L"\\" + program + L"\"";
        EXPECT_EQ(RunCommand(path + L" /report"), 0u) << Narrow(program);
        EXPECT_EQ(RunCommand(path + L" /nonsense"), 3u) << Narrow(program);
    }
    EXPECT_EQ(RunCommand(L"\"" + dir64 + L"\\Quillard.com\" /nonsense"), 3u);
    EXPECT_EQ(ProgramVersion(dir64 + L"\\Quillard.com"), version);
    EXPECT_EQ(AddInBranches(), branches);

    // A rebuild of the same version replaces the build before it.
    ASSERT_NE(PackageProperty(rebuild, L"ProductCode"), first);
    ASSERT_EQ(Msiexec(L"/i", rebuild), 0u);
    ExpectOnlyProduct(rebuild, dir64, dir32);
    EXPECT_EQ(MsiQueryProductStateW(first.c_str()), INSTALLSTATE_UNKNOWN);

    // Either architecture replaces the other.
    ASSERT_EQ(Msiexec(L"/i", x86), 0u);
    ExpectOnlyProduct(x86, dir32, dir64);
    ASSERT_EQ(Msiexec(L"/i", current), 0u);
    ExpectOnlyProduct(current, dir64, dir32);

    // A newer version upgrades; an older one, of either architecture, is refused.
    ASSERT_EQ(Msiexec(L"/i", upgrade), 0u);
    const std::wstring newest = ExpectOnlyProduct(upgrade, dir64, dir32);
    EXPECT_NE(InstalledVersion(newest), version);
    EXPECT_NE(Msiexec(L"/i", olderX86), 0u);
    EXPECT_NE(Msiexec(L"/i", current), 0u);
    ExpectOnlyProduct(upgrade, dir64, dir32);

    ASSERT_EQ(Msiexec(L"/x", upgrade), 0u);
    EXPECT_TRUE(Products().empty());
    EXPECT_EQ(MsiQueryProductStateW(newest.c_str()), INSTALLSTATE_UNKNOWN);
    EXPECT_FALSE(Exists(dir64));
    EXPECT_FALSE(Exists(dir32));
    EXPECT_FALSE(Exists(links[0]));
    EXPECT_FALSE(Exists(links[1]));
    EXPECT_TRUE(ArpEntries().empty());
    EXPECT_EQ(AddInBranches(), branches);
}

// "Kestrova cleanup" of the machine's Run key (this test and the x64 package: the 64-bit view).
std::wstring AtLogon() {
    wchar_t value[MAX_PATH + 3] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"Kestrova cleanup", RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// Cleanup alone, and cleanup at each logon: what the property adds, an upgrade keeps and
// CLEANUP_AT_LOGON=0 or the uninstall removes.
TEST_F(MsiPackage, CleanupAloneAndCleanupAtLogon) {
    const std::wstring atLogon = L"\"" + dir64 + L"\\cleanup.exe\"";
    // Passed on to the installation also when a managed package is installed by a user.
    EXPECT_NE((L";" + PackageProperty(current, L"SecureCustomProperties") + L";")
                  .find(L";CLEANUP_AT_LOGON;"),
              std::wstring::npos);
    const struct {
        const wchar_t* what;
        const std::wstring& package;
        const wchar_t* properties;
        std::vector<std::wstring> files;
        bool shortcut;
        bool logon;
    } steps[] = {
        {L"cleanup alone",
         current,
         L"ADDLOCAL=Cleanup",
         {L"cleanup.com", L"cleanup.exe"},
         false,
         false},
        // Each step another product code: the same one again would only be maintained.
        {L"everything",
         rebuild,
         L"",
         {L"Quillard.com", L"Quillard.exe", L"cleanup.com", L"cleanup.exe"},
         true,
         false},
        {L"at logon",
         current,
         L"CLEANUP_AT_LOGON=1",
         {L"Quillard.com", L"Quillard.exe", L"cleanup.com", L"cleanup.exe"},
         true,
         true},
        {L"a rebuild keeps it",
         rebuild,
         L"",
         {L"Quillard.com", L"Quillard.exe", L"cleanup.com", L"cleanup.exe"},
         true,
         true},
        {L"dropped",
         current,
         L"CLEANUP_AT_LOGON=0",
         {L"Quillard.com", L"Quillard.exe", L"cleanup.com", L"cleanup.exe"},
         true,
         false},
        {L"cleanup alone at logon",
         rebuild,
         L"ADDLOCAL=Cleanup CLEANUP_AT_LOGON=1",
         {L"cleanup.com", L"cleanup.exe"},
         false,
         true},
    };
    for (const auto& step : steps) {
        const std::string what = Narrow(step.what);
        ASSERT_EQ(Msiexec(L"/i", step.package, step.properties), 0u) << what;
        EXPECT_EQ(Products().size(), 1u) << what;
        EXPECT_EQ(Entries(dir64), step.files) << what;
        EXPECT_EQ(Exists(links[0]) || Exists(links[1]), step.shortcut) << what;
        EXPECT_EQ(AtLogon(), step.logon ? atLogon : L"") << what;
    }
    ASSERT_EQ(Msiexec(L"/x", rebuild), 0u);
    EXPECT_TRUE(Products().empty());
    EXPECT_EQ(AtLogon(), L"");
    EXPECT_FALSE(Exists(dir64));
}

} // namespace
