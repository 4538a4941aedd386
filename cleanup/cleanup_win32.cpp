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

bool OpenKey(const wchar_t* keyPath, kes::UniqueKey& key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, key.Put()) == ERROR_SUCCESS;
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

} // namespace

bool IsDotEntry(const wchar_t* name) {
    return cleanup::IsDotEntry<wchar_t>(name);
}

bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace) {
    kes::UniqueKey key;
    if (!OpenKey(keyPath, key))
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
    if (!OpenKey(keyPath, key))
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
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                !PurgeHufFiles(path))
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

} // namespace cleanup
