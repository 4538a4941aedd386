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

// "Office 16.0 disabled item "name"", the version taken from the key's path.
std::string DisabledItemName(std::wstring_view keyPath, const wchar_t* name) {
    constexpr std::wstring_view kOffice = L"\\Office\\";
    std::wstring_view version;
    if (std::size_t at = keyPath.find(kOffice); at != std::wstring_view::npos) {
        version = keyPath.substr(at + kOffice.size());
        version = version.substr(0, version.find(L'\\'));
    }
    return "Office " + Narrow(version) + " disabled item \"" + Narrow(name) + "\"";
}

// How many entries besides "." and ".." a folder holds.
std::size_t CountEntries(std::wstring_view base) {
    wchar_t pattern[kPathUnits];
    if (!JoinPath(pattern, kPathUnits, base, L"*"sv))
        return 0;
    WIN32_FIND_DATAW entry;
    kes::UniqueFind search(
        FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0));
    std::size_t count = 0;
    if (search.Valid())
        do
            count += IsDotEntry<wchar_t>(entry.cFileName) ? 0 : 1;
        while (FindNextFileW(search.Get(), &entry));
    return count;
}

} // namespace

void Findings::Note(const std::string& what) {
    ++found;
    lines += "found: " + what + "\r\n";
}

void Findings::Removed(const std::string& what) {
    ++removed;
    lines += "removed: " + what + "\r\n";
}

void Findings::NotRemoved(const std::string& what, long error) {
    ++failed;
    lines += "not removed (error " + std::to_string(error) + "): " + what + "\r\n";
}

int Findings::ExitCode() const {
    if (failed > 0)
        return kExitFailed;
    return found > 0 || removed > 0 ? kExitFound : kExitNothing;
}

bool IsDotEntry(const wchar_t* name) {
    return cleanup::IsDotEntry<wchar_t>(name);
}

// A key the user may read but not change: the plain run passes over it in silence, but a script
// must hear of our entries there, as found (/report) or as not removable (/run).
void ListUnremovable(const wchar_t* keyPath, LONG openError, Findings& findings) {
    kes::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return;
    wchar_t name[kNameUnits];
    wchar_t data[kDataUnits];
    for (DWORD index = 0;; ++index) {
        DWORD nameUnits = kNameCapacity;
        if (RegEnumValueW(key.Get(), index, name, &nameUnits, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return;
        const std::size_t bytes = ReadRawData(key.Get(), name, data);
        if (!NamesAddIn(MakeDataText(data, bytes / sizeof(wchar_t))))
            continue;
        if (findings.remove)
            findings.NotRemoved(DisabledItemName(keyPath, name), openError);
        else
            findings.Note(DisabledItemName(keyPath, name));
    }
}

bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace, Findings* findings) {
    kes::UniqueKey key;
    if (const LONG opened = OpenKey(keyPath, key); opened != ERROR_SUCCESS) {
        if (findings != nullptr && opened != ERROR_FILE_NOT_FOUND)
            ListUnremovable(keyPath, opened, *findings);
        return false;
    }
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
        if (findings != nullptr && !findings->remove) {
            findings->Note(DisabledItemName(keyPath, name));
            ++index;
            continue;
        }
        if (LONG deleted = RegDeleteValueW(key.Get(), name); deleted == ERROR_SUCCESS) {
            // The next value has moved into this position.
            trace += "OK";
            if (findings != nullptr)
                findings->Removed(DisabledItemName(keyPath, name));
        } else {
            AppendDeleteFailure(trace, shown);
            if (findings != nullptr)
                findings->NotRemoved(DisabledItemName(keyPath, name), deleted);
            ++index;
        }
    }
}

bool PurgeSecureTempFolder(const wchar_t* keyPath, Findings* findings) {
    kes::UniqueKey key;
    if (OpenKey(keyPath, key) != ERROR_SUCCESS)
        return false;
    wchar_t folder[kFolderUnits];
    // An empty path names no folder; searching "\*.huf" would sweep the current drive's root.
    if (ReadString(key.Get(), L"OutlookSecureTempFolder", folder, kFolderUnits) && folder[0] != 0)
        PurgeHufFiles(folder, findings);
    return true;
}

bool PurgeHufFiles(const wchar_t* folder, Findings* findings) {
    const bool listOnly = findings != nullptr && !findings->remove;
    // For /report: the entries that a run would remove, to tell whether the folder would go.
    std::size_t going = 0;
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
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                !PurgeHufFiles(path, findings))
                return false;
            ++going;
        } else if (listOnly) {
            findings->Note(Narrow(path));
            ++going;
        } else if (!DeleteFileW(path)) {
            if (findings != nullptr)
                findings->NotRemoved(Narrow(path), static_cast<long>(GetLastError()));
            return false;
        } else if (findings != nullptr) {
            findings->Removed(Narrow(path));
        }
    } while (FindNextFileW(search.Get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        return false;
    if (listOnly)
        return going == CountEntries(baseView);
    // The open search would keep the folder from going.
    search.Reset();
    return RemoveDirectoryW(folder) != FALSE;
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
    // The plain run's trace is not wanted here: the lines say it for a script.
    std::string trace;
    for (const wchar_t* key : kDisabledItemsKeys)
        PurgeDisabledItems(key, trace, &findings);
    for (const wchar_t* key : kSecurityKeys)
        PurgeSecureTempFolder(key, &findings);
    WriteTrace(out, findings.lines);
    return findings.ExitCode();
}

int Main(HANDLE out, const std::wstring_view* args, std::size_t count) {
    switch (ParseArguments(args, count)) {
    case Mode::Plain:
        RunCleanup(out);
        return kExitNothing;
    case Mode::Help:
        WriteTrace(out, kUsage);
        return kExitNothing;
    case Mode::Report:
        return RunScripted(out, false);
    case Mode::Run:
        return RunScripted(out, true);
    case Mode::Unknown:
        break;
    }
    WriteTrace(out, kUsage);
    return kExitUsage;
}

} // namespace cleanup
