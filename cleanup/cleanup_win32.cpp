#include "cleanup/cleanup_win32.h"

#include "cleanup/cleanup_core.h"
#include "platform/scoped_win32.h"

#include <vector>

namespace cleanup {
namespace {

using namespace std::string_view_literals;

// Outlook runs alongside and may grow a value between the size query and the read: a few
// tries, then the value counts as unreadable.
constexpr int kReadTries = 4;
// The registry's limit on a value name, in units.
constexpr std::size_t kMaxValueNameUnits = 16383;

LONG OpenKey(const wchar_t* keyPath, kes::UniqueKey& key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, key.Put());
}

// Reads a value's data whatever its type into data[0..kDataBytes) and returns the byte count.
// A longer value is read whole elsewhere and only its first kDataBytes are kept; a value that
// cannot be read counts as empty.
std::size_t ReadRawData(HKEY key, const wchar_t* name, wchar_t* data) {
    DWORD type = 0;
    DWORD size = kDataBytes;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (rc == ERROR_SUCCESS)
        return size <= kDataBytes ? size : 0;
    std::vector<BYTE> whole;
    for (int tries = 0; rc == ERROR_MORE_DATA && tries < kReadTries; ++tries) {
        whole.resize(size);
        rc = RegQueryValueExW(key, name, nullptr, &type, whole.data(), &size);
    }
    if (rc != ERROR_SUCCESS)
        return 0;
    std::size_t kept = size < kDataBytes ? size : kDataBytes;
    CopyMemory(data, whole.data(), kept);
    return kept;
}

// A string value as text: only REG_SZ or REG_EXPAND_SZ (unexpanded), of even length, ending in
// a zero unit and fitting `units`. False yields no text.
bool ReadString(HKEY key, const wchar_t* name, wchar_t* text, DWORD units) {
    DWORD type = 0;
    DWORD size = units * sizeof(wchar_t);
    text[0] = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    bool ok = rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
              size % sizeof(wchar_t) == 0 && size >= sizeof(wchar_t) &&
              text[size / sizeof(wchar_t) - 1] == 0;
    if (!ok)
        text[0] = 0;
    return ok;
}

// Script lines are in the ANSI code page, like the rest of the program's output.
std::string Narrow(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// "16.0", taken from a key's path.
std::string OfficeVersion(std::wstring_view keyPath) {
    constexpr std::wstring_view kOffice = L"\\Office\\";
    std::wstring_view version;
    if (std::size_t at = keyPath.find(kOffice); at != std::wstring_view::npos) {
        version = keyPath.substr(at + kOffice.size());
        version = version.substr(0, version.find(L'\\'));
    }
    return Narrow(version);
}

// "Office 16.0 disabled item "name"", or with no name "Office 16.0 disabled items".
std::string DisabledItemName(std::wstring_view keyPath, const wchar_t* name) {
    const std::string office = "Office " + OfficeVersion(keyPath) + " disabled item";
    return name == nullptr ? office + "s" : office + " \"" + Narrow(name) + "\"";
}

std::string SecurityName(std::wstring_view keyPath) {
    return "Office " + OfficeVersion(keyPath) + " security settings";
}

// Removes a file or an emptied folder of ours; a read-only attribute, which only keeps the
// shell from deleting, does not keep us. Returns the platform's code.
DWORD RemoveEntry(const std::wstring& path, DWORD attributes, bool isFolder) {
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly) {
        const DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesW(path.c_str(), writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    if (isFolder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    // What stays keeps the attribute it had.
    if (readOnly)
        SetFileAttributesW(path.c_str(), attributes);
    return error;
}

} // namespace

void Findings::Found(const std::string& what) {
    ++found;
    lines += "found: " + what + "\r\n";
}

void Findings::Removed(const std::string& what) {
    ++removed;
    lines += "removed: " + what + "\r\n";
}

void Findings::NotRemoved(const std::string& what, long error) {
    ++left;
    lines += "not removed (error " + std::to_string(error) + "): " + what + "\r\n";
}

void Findings::NotReadable(const std::string& what, long error) {
    ++left;
    lines += "not readable (error " + std::to_string(error) + "): " + what + "\r\n";
}

int Findings::ExitCode() const {
    // Detection asks "anything to fix?", remediation "is it fixed?": what could not be looked
    // into is never "nothing".
    if (remove)
        return left > 0 ? kExitLeft : kExitNothing;
    return found > 0 || left > 0 ? kExitFound : kExitNothing;
}

bool IsDotEntry(const wchar_t* name) {
    return cleanup::IsDotEntry<wchar_t>(name);
}

bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace) {
    kes::UniqueKey key;
    if (OpenKey(keyPath, key) != ERROR_SUCCESS)
        return false;
    wchar_t name[kNameUnits];
    wchar_t data[kDataUnits];
    DWORD index = 0;
    for (;;) {
        DWORD nameUnits = kNameCapacity;
        LONG rc =
            RegEnumValueW(key.Get(), index, name, &nameUnits, nullptr, nullptr, nullptr, nullptr);
        AppendCode(trace, rc);
        if (rc != ERROR_SUCCESS)
            return true;
        std::size_t bytes = ReadRawData(key.Get(), name, data);
        std::wstring_view text = MakeDataText(data, bytes / sizeof(wchar_t));
        std::string shown = LowBytes(text);
        trace += shown;
        if (!NamesAddIn(text)) {
            ++index;
            continue;
        }
        if (RegDeleteValueW(key.Get(), name) == ERROR_SUCCESS) {
            // The next value has moved into this position.
            trace += "OK";
        } else {
            AppendDeleteFailure(trace, shown);
            ++index;
        }
    }
}

bool PurgeSecureTempFolder(const wchar_t* keyPath) {
    kes::UniqueKey key;
    if (OpenKey(keyPath, key) != ERROR_SUCCESS)
        return false;
    wchar_t folder[kFolderUnits];
    // An empty path names no folder; searching "\*.huf" would sweep the current drive's root.
    if (ReadString(key.Get(), L"OutlookSecureTempFolder", folder, kFolderUnits) && folder[0] != 0)
        PurgeHufFiles(folder);
    return true;
}

bool PurgeHufFiles(const wchar_t* folder) {
    const std::wstring_view dir(folder);
    wchar_t pattern[kPathUnits];
    wchar_t base[kPathUnits];
    if (!JoinPath(pattern, kPathUnits, dir, L"\\*.huf"sv) ||
        !JoinPath(base, kPathUnits, dir, L"\\"sv))
        return false;
    const std::wstring_view baseView(base);
    WIN32_FIND_DATAW entry;
    kes::UniqueFind search(FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch,
                                            nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!search.Valid())
        return false;
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        const std::wstring_view name(entry.cFileName);
        if (!HasHufExtension(name))
            continue;
        wchar_t path[kPathUnits];
        if (!JoinPath(path, kPathUnits, baseView, name))
            continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // A junction or link leads out of the folder: nothing there is ours.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !PurgeHufFiles(path))
                return false;
        } else if (!DeleteFileW(path)) {
            return false;
        }
    } while (FindNextFileW(search.Get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        return false;
    // The open search would keep the folder from going.
    search.Reset();
    return RemoveDirectoryW(folder) != FALSE;
}

void SweepDisabledItems(const wchar_t* keyPath, Findings& findings) {
    kes::UniqueKey key;
    // Only what the work needs: a key the user may read but not change is still read.
    LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0,
                                findings.remove ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_QUERY_VALUE,
                                key.Put());
    LONG refused = ERROR_SUCCESS; // why nothing here can be deleted
    if (opened == ERROR_ACCESS_DENIED && findings.remove) {
        refused = opened;
        opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.Put());
    }
    const std::string list = DisabledItemName(keyPath, nullptr);
    if (opened == ERROR_FILE_NOT_FOUND)
        return;
    if (opened != ERROR_SUCCESS) {
        findings.NotReadable(list, opened);
        return;
    }
    // Room for the longest name the registry allows, so that no entry ends the list early.
    std::vector<wchar_t> name(kMaxValueNameUnits + 1);
    wchar_t data[kDataUnits];
    for (DWORD index = 0;;) {
        DWORD nameUnits = static_cast<DWORD>(name.size());
        const LONG rc = RegEnumValueW(key.Get(), index, name.data(), &nameUnits, nullptr, nullptr,
                                      nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return;
        if (rc != ERROR_SUCCESS) {
            findings.NotReadable(list, rc);
            return;
        }
        const std::size_t bytes = ReadRawData(key.Get(), name.data(), data);
        if (!NamesAddIn(MakeDataText(data, bytes / sizeof(wchar_t)))) {
            ++index;
            continue;
        }
        const std::string item = DisabledItemName(keyPath, name.data());
        if (!findings.remove) {
            findings.Found(item);
            ++index;
        } else if (refused != ERROR_SUCCESS) {
            findings.NotRemoved(item, refused);
            ++index;
        } else if (const LONG deleted = RegDeleteValueW(key.Get(), name.data());
                   deleted == ERROR_SUCCESS) {
            // The next value has moved into this position.
            findings.Removed(item);
        } else {
            findings.NotRemoved(item, deleted);
            ++index;
        }
    }
}

void SweepSecureTempFolder(const wchar_t* keyPath, Findings& findings) {
    kes::UniqueKey key;
    const LONG opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return;
    if (opened != ERROR_SUCCESS) {
        findings.NotReadable(SecurityName(keyPath), opened);
        return;
    }
    wchar_t folder[kFolderUnits];
    if (!ReadString(key.Get(), L"OutlookSecureTempFolder", folder, kFolderUnits) || folder[0] == 0)
        return;
    const int removedBefore = findings.removed;
    // As in the plain run, the folder that Outlook names goes when it was emptied of ours.
    if (SweepHufFiles(folder, findings) && findings.remove && findings.removed > removedBefore)
        RemoveDirectoryW(folder);
}

bool SweepHufFiles(const std::wstring& folder, Findings& findings) {
    const std::wstring base = folder + L"\\";
    WIN32_FIND_DATAW entry;
    kes::UniqueFind search;
    if (base.size() + 5 < kPathUnits)
        search.Reset(FindFirstFileExW((base + L"*.huf").c_str(), FindExInfoBasic, &entry,
                                      FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    else
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
    if (!search.Valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return true;
        findings.NotReadable(Narrow(folder), static_cast<long>(error));
        return false;
    }
    bool clean = true;
    do {
        const std::wstring_view name(entry.cFileName);
        if (IsDotEntry(entry.cFileName) || !HasHufExtension(name))
            continue;
        const DWORD attributes = entry.dwFileAttributes;
        // A junction or link leads out of the folder: nothing there is ours, not even the link.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        const std::wstring path = base + std::wstring(name);
        const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::string shown = Narrow(path) + (isFolder ? "\\" : "");
        if (isFolder && !SweepHufFiles(path, findings))
            clean = false;
        if (!findings.remove) {
            findings.Found(shown);
            clean = false;
        } else if (const DWORD error = RemoveEntry(path, attributes, isFolder);
                   error != ERROR_SUCCESS) {
            findings.NotRemoved(shown, static_cast<long>(error));
            clean = false;
        } else {
            findings.Removed(shown);
        }
    } while (FindNextFileW(search.Get(), &entry));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        findings.NotReadable(Narrow(folder), static_cast<long>(error));
        return false;
    }
    return clean;
}

void WriteTrace(HANDLE out, std::string_view bytes) {
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0)
            return;
        bytes.remove_prefix(written);
    }
}

void WriteLines(HANDLE out, std::string_view lines) {
    DWORD mode = 0;
    if (lines.empty() || !GetConsoleMode(out, &mode)) {
        WriteTrace(out, lines);
        return;
    }
    // A console shows bytes in its own (OEM) code page: it is given the text itself.
    const int n = MultiByteToWideChar(CP_ACP, 0, lines.data(), static_cast<int>(lines.size()),
                                      nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, lines.data(), static_cast<int>(lines.size()), text.data(), n);
    DWORD written = 0;
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void RunCleanup(HANDLE out) {
    std::string trace;
    for (const wchar_t* key : kDisabledItemsKeys) {
        PurgeDisabledItems(key, trace);
        WriteTrace(out, trace);
        trace.clear();
    }
    for (const wchar_t* key : kSecurityKeys)
        PurgeSecureTempFolder(key);
}

int RunScripted(HANDLE out, bool remove) {
    Findings findings;
    findings.remove = remove;
    for (const wchar_t* key : kDisabledItemsKeys)
        SweepDisabledItems(key, findings);
    for (const wchar_t* key : kSecurityKeys)
        SweepSecureTempFolder(key, findings);
    WriteLines(out, findings.lines);
    return findings.ExitCode();
}

int Main(HANDLE out, const std::wstring_view* args, std::size_t count) {
    switch (ParseArguments(args, count)) {
    case Mode::Plain:
        RunCleanup(out);
        return kExitNothing;
    case Mode::Help:
        WriteLines(out, kUsage);
        return kExitNothing;
    case Mode::Report:
        return RunScripted(out, false);
    case Mode::Run:
        return RunScripted(out, true);
    case Mode::Unknown:
        break;
    }
    WriteLines(out, kUsage);
    return kExitUsage;
}

} // namespace cleanup
