#include "console/status/status_source_win32.h"

#include "cleanup/cleanup_core.h"
#include "cleanup/cleanup_win32.h"
#include "deploy/version.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <cstdio>

namespace kes::status {
namespace {

// A value longer than this is not one of Outlook's records: it is noted, not read.
constexpr DWORD kMaxValueBytes = 1 << 20;
// Outlook may grow a value between its size and its read: a few tries.
constexpr int kReadTries = 4;

HKEY Root(RootKey root) {
    return root == RootKey::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string Error(DWORD code) {
    return code == ERROR_ACCESS_DENIED ? "access denied / Zugriff verweigert"
                                       : "error / Fehler " + std::to_string(code);
}

std::string LocalTime(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t))
        return "?";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return buf;
}

// Windows' own version: GetVersionEx answers what the manifest declares, RtlGetVersion does not.
std::string WindowsVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto get = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(
                                 GetProcAddress(ntdll, "RtlGetVersion")))
                           : nullptr;
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!get || get(&v) != 0)
        return {};
    return std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) + "." +
           std::to_string(v.dwBuildNumber);
}

} // namespace

Win32StatusSource::Win32StatusSource(std::function<std::string()> debugLogPath,
                                     std::function<std::string()> fallbackLogPath)
    : debugLogPath_(std::move(debugLogPath)), fallbackLogPath_(std::move(fallbackLogPath)) {}

SystemFacts Win32StatusSource::System() {
    SystemFacts s;
    s.consoleVersion = KES_FILE_VERSION_TEXT;
    s.consoleBits = sizeof(void*) * 8;
    s.windowsVersion = WindowsVersion();
    BOOL wow64 = FALSE;
    s.windowsBits =
        sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) ? 64 : 32;
    HANDLE raw = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        s.elevated = {ValueFact::State::Unreadable, 0, "", Error(GetLastError())};
        return s;
    }
    const UniqueKernelHandle token(raw);
    if (GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size))
        s.elevated = {ValueFact::State::Number, elevation.TokenIsElevated ? 1u : 0u, "", ""};
    else
        s.elevated = {ValueFact::State::Unreadable, 0, "", Error(GetLastError())};
    return s;
}

long Win32StatusSource::ListValues(RootKey root, RegView view, const std::string& path,
                                   std::vector<NamedValue>& values) {
    values.clear();
    UniqueKey key;
    LONG rc = RegOpenKeyExW(Root(root), Widen(path).c_str(), 0,
                            KEY_QUERY_VALUE | static_cast<REGSAM>(view), key.Put());
    if (rc != ERROR_SUCCESS)
        return rc;
    // Value names are at most 16383 units.
    std::wstring name(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD units = static_cast<DWORD>(name.size());
        rc = RegEnumValueW(key.Get(), index, name.data(), &units, nullptr, nullptr, nullptr,
                           nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return rc;
        NamedValue v;
        v.name = Narrow(std::wstring_view(name.data(), units));
        const std::wstring wname(name.data(), units);
        DWORD size = 0;
        rc = RegQueryValueExW(key.Get(), wname.c_str(), nullptr, nullptr, nullptr, &size);
        for (int tries = 0; rc == ERROR_SUCCESS && tries < kReadTries; ++tries) {
            if (size > kMaxValueBytes) {
                rc = ERROR_MORE_DATA;
                break;
            }
            v.data.resize(size);
            DWORD got = size;
            rc = RegQueryValueExW(key.Get(), wname.c_str(), nullptr, nullptr, v.data.data(), &got);
            if (rc == ERROR_SUCCESS) {
                v.data.resize(got);
                break;
            }
            if (rc == ERROR_MORE_DATA) {
                size = got;
                rc = ERROR_SUCCESS;
            }
        }
        if (rc != ERROR_SUCCESS)
            v.error = rc;
        values.push_back(std::move(v));
    }
}

long Win32StatusSource::DeleteValue(RootKey root, RegView view, const std::string& path,
                                    const std::string& name) {
    UniqueKey key;
    const LONG rc = RegOpenKeyExW(Root(root), Widen(path).c_str(), 0,
                                  KEY_SET_VALUE | static_cast<REGSAM>(view), key.Put());
    return rc != ERROR_SUCCESS ? rc : RegDeleteValueW(key.Get(), Widen(name).c_str());
}

FileFact Win32StatusSource::File(const std::string& path) {
    FileFact f;
    f.path = path;
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &a)) {
        const DWORD e = GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
            f.found = Found::Unreadable;
            f.why = Error(e);
        }
        return f;
    }
    if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        f.found = Found::Unreadable;
        f.why = "a folder / ein Ordner";
        return f;
    }
    f.found = Found::Yes;
    f.size = std::uint64_t(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
    f.modified = LocalTime(a.ftLastWriteTime);
    // As the log view opens it: while the add-in holds it open for writing this fails.
    const UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    f.readable = file.Valid();
    if (!f.readable)
        f.why = GetLastError() == ERROR_SHARING_VIOLATION
                    ? "in use by Outlook? / von Outlook belegt?"
                    : Error(GetLastError());
    return f;
}

HufCount Win32StatusSource::CountHufFiles(const std::string& folder, bool expand) {
    HufCount c;
    std::wstring base = Widen(folder);
    // Counted where Outlook and cleanup look.
    if (std::wstring expanded; expand) {
        if (const LONG rc = cleanup::ExpandFolderValue(base.c_str(), expanded);
            rc != ERROR_SUCCESS) {
            c.folder = Found::Unreadable;
            c.why = Error(static_cast<DWORD>(rc));
            return c;
        }
        base = expanded;
    }
    const DWORD attributes = GetFileAttributesW(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
            c.folder = Found::Unreadable;
            c.why = Error(e);
        }
        return c;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return c;
    c.folder = Found::Yes;
    if (base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW entry;
    const UniqueFind search(FindFirstFileExW((base + L"*.huf").c_str(), FindExInfoBasic, &entry,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search.Valid()) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            c.folder = Found::Unreadable;
            c.why = Error(GetLastError());
        }
        return c;
    }
    do {
        // The search also matches through 8.3 names; only a name of its own counts.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            cleanup::HasHufExtension(std::wstring_view(entry.cFileName)))
            ++c.files;
    } while (FindNextFileW(search.Get(), &entry));
    return c;
}

std::string Win32StatusSource::DebugLogPath() {
    return debugLogPath_ ? debugLogPath_() : std::string();
}

std::string Win32StatusSource::FallbackLogPath() {
    return fallbackLogPath_ ? fallbackLogPath_() : std::string();
}

std::string CurrentStatusReport(RegistryBackend& reg, StatusSource& source, const char* newline) {
    return JoinLines(ComposeReport(ReadStatus(reg, source)), newline);
}

} // namespace kes::status
