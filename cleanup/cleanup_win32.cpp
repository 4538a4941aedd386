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
// Units written to a console at once.
constexpr std::size_t kConsolePiece = 8192;

LONG OpenKey(const wchar_t* keyPath, kes::UniqueKey& key) {
    return RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, key.Put());
}

// Reads a value's data whatever its type into data[0..kDataBytes) and returns the byte count.
// A longer value is read whole elsewhere and only its first kDataBytes are kept (`cut`: a unit
// other than zero follows them); a value that cannot be read counts as empty.
std::size_t ReadRawData(HKEY key, const wchar_t* name, wchar_t* data, bool& cut) {
    DWORD type = 0;
    DWORD size = kDataBytes;
    cut = false;
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
    // A zero right after the kept units ends a name there as well as the end of the data.
    cut = size / sizeof(wchar_t) > kValueUnits &&
          (whole[kDataBytes] != 0 || whole[kDataBytes + 1] != 0);
    const std::size_t kept = size < kDataBytes ? size : kDataBytes;
    CopyMemory(data, whole.data(), kept);
    return kept;
}

// A string value as text: only REG_SZ or REG_EXPAND_SZ, of even length, ending in a zero unit
// and fitting `units`. Returns the platform's code (13 for another type or form); on failure
// `text` is empty.
LONG ReadString(HKEY key, const wchar_t* name, wchar_t* text, DWORD units, DWORD& type) {
    DWORD size = units * sizeof(wchar_t);
    type = 0;
    text[0] = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (rc == ERROR_SUCCESS &&
        ((type != REG_SZ && type != REG_EXPAND_SZ) || size % sizeof(wchar_t) != 0 ||
         size < sizeof(wchar_t) || text[size / sizeof(wchar_t) - 1] != 0))
        rc = ERROR_INVALID_DATA;
    if (rc != ERROR_SUCCESS)
        text[0] = 0;
    return rc;
}

} // namespace

LONG ExpandFolderValue(const wchar_t* text, std::wstring& expanded) {
    for (const wchar_t* at = wcschr(text, L'%'); at != nullptr;) {
        const wchar_t* end = wcschr(at + 1, L'%');
        if (end == nullptr)
            break;
        const std::wstring variable(at + 1, end);
        if (!variable.empty() && GetEnvironmentVariableW(variable.c_str(), nullptr, 0) == 0 &&
            GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return ERROR_ENVVAR_NOT_FOUND;
        at = wcschr(end + 1, L'%');
    }
    expanded.assign(kFolderUnits, L'\0');
    for (int tries = 0; tries < kReadTries; ++tries) {
        const DWORD n =
            ExpandEnvironmentStringsW(text, expanded.data(), static_cast<DWORD>(expanded.size()));
        if (n == 0)
            return static_cast<LONG>(GetLastError());
        if (n <= expanded.size()) {
            expanded.resize(n - 1);
            return ERROR_SUCCESS;
        }
        expanded.assign(n, L'\0');
    }
    return ERROR_MORE_DATA;
}

namespace {

// "16.0", taken from a key's path.
std::wstring OfficeVersion(std::wstring_view keyPath) {
    constexpr std::wstring_view kOffice = L"\\Office\\";
    std::wstring_view version;
    if (std::size_t at = keyPath.find(kOffice); at != std::wstring_view::npos) {
        version = keyPath.substr(at + kOffice.size());
        version = version.substr(0, version.find(L'\\'));
    }
    return std::wstring(version);
}

// "Office 16.0 disabled item "name"", or with no name "Office 16.0 disabled items".
std::wstring DisabledItemName(std::wstring_view keyPath, const wchar_t* name) {
    const std::wstring office = L"Office " + OfficeVersion(keyPath) + L" disabled item";
    return name == nullptr ? office + L"s" : office + L" \"" + name + L"\"";
}

std::wstring SecurityName(std::wstring_view keyPath) {
    return L"Office " + OfficeVersion(keyPath) + L" security settings";
}

// The folder and the separator before an entry's name; a folder value that already ends in one
// gets no second.
std::wstring WithSeparator(const std::wstring& folder) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        return folder;
    return folder + L'\\';
}

// Removes a file or an emptied folder of ours. For a script a read-only attribute, which only
// keeps the shell from deleting, does not keep us; the plain run stops there, as it always did.
// Returns the platform's code.
DWORD RemoveEntry(const std::wstring& path, DWORD attributes, bool isFolder, bool clearReadOnly) {
    const bool readOnly = clearReadOnly && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
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

using Outcome = Reporter::Outcome;

// Outlook or another program removed the entry between the walk's look and its removal. A script
// is told of nothing that stays; the plain run reports and stops as it always did.
bool GoneMeanwhile(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The one walk of the folders: what is ours and what may be deleted is decided here alone.
class FolderWalk {
public:
    explicit FolderWalk(Reporter& reporter) : r(reporter) {}

    // The folder that Outlook names: its "*.huf" entries, then the folder itself when the walk
    // emptied it. True when the folder was removed.
    bool Top(const std::wstring& folder) {
        const int before = removed;
        if (!Folder(folder) || !r.remove || removed == before)
            return false;
        // On a junction or directory link RemoveDirectoryW removes the link, whatever its
        // target still holds: only a real folder goes.
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        return MayRemoveFolder(attributes) && RemoveDirectoryW(folder.c_str()) != FALSE;
    }

private:
    // The "*.huf" entries of `folder`, recursively. True when nothing of ours stays in it (for
    // /report: when none is in it).
    bool Folder(const std::wstring& folder) {
        const std::wstring base = WithSeparator(folder);
        WIN32_FIND_DATAW entry;
        kes::UniqueFind search;
        // The pattern and every entry path fit the fixed buffers of the plain run.
        if (base.size() + 5 < kPathUnits)
            search.Reset(FindFirstFileExW((base + L"*.huf").c_str(), FindExInfoBasic, &entry,
                                          FindExSearchNameMatch, nullptr,
                                          FIND_FIRST_EX_LARGE_FETCH));
        else
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        if (!search.Valid()) {
            const DWORD error = GetLastError();
            // Nothing of ours in it. The plain run leaves such a folder and stops its parent's
            // purge there, as it always did; a script removes an empty "*.huf" folder.
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return !r.plain;
            r.Entry(Outcome::NotReadable, folder, static_cast<long>(error));
            return false;
        }
        bool clean = true;
        do {
            const std::wstring_view name(entry.cFileName);
            if (IsDotEntry(entry.cFileName) || !HasHufExtension(name))
                continue;
            const DWORD attributes = entry.dwFileAttributes;
            const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // A junction or link leads out of the folder: nothing there is ours, not even the
            // link. It stays, and the plain run's purge ends at it as at anything that stays.
            if (isFolder && !MayRemoveFolder(attributes)) {
                if (r.plain)
                    return false;
                continue;
            }
            const std::wstring path = base + std::wstring(name);
            const std::wstring shown = isFolder ? path + L'\\' : path;
            if (path.size() >= kPathUnits) {
                // Skipped, not cut: a cut path names another file.
                r.Entry(r.remove ? Outcome::NotRemoved : Outcome::Found, shown,
                        ERROR_FILENAME_EXCED_RANGE);
                clean = false;
                continue;
            }
            // A subfolder that keeps something of ours keeps itself: its removal below fails.
            if (isFolder && !Folder(path) && r.plain)
                return false;
            if (!r.remove) {
                r.Entry(Outcome::Found, shown, 0);
                clean = false;
            } else if (const DWORD error = RemoveEntry(path, attributes, isFolder, !r.plain);
                       error != ERROR_SUCCESS && !(GoneMeanwhile(error) && !r.plain)) {
                r.Entry(Outcome::NotRemoved, shown, static_cast<long>(error));
                clean = false;
                if (r.plain)
                    return false;
            } else if (error == ERROR_SUCCESS) {
                ++removed;
                r.Entry(Outcome::Removed, shown, 0);
            }
        } while (FindNextFileW(search.Get(), &entry));
        if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
            r.Entry(Outcome::NotReadable, folder, static_cast<long>(error));
            return false;
        }
        return clean;
    }

    Reporter& r;
    int removed = 0;
};

// The plain run's trace: ":%d" of every enumeration, the data's low bytes, "OK" or the German
// report of a value that stayed. The file purge writes nothing.
class Trace : public Reporter {
public:
    Trace() : Reporter(true, true) {}
    std::string bytes;

    void Enumerated(long code, std::wstring_view data) override {
        AppendCode(bytes, code);
        bytes += LowBytes(data);
    }
    void Value(Outcome outcome, const std::wstring&, long, std::wstring_view data) override {
        if (outcome == Outcome::Removed)
            bytes += "OK";
        else if (outcome == Outcome::NotRemoved)
            AppendDeleteFailure(bytes, LowBytes(data));
    }
    void Entry(Outcome, const std::wstring&, long) override {}
};

} // namespace

void Findings::Entry(Outcome outcome, const std::wstring& what, long error) {
    switch (outcome) {
    case Outcome::Found:
        ++found;
        lines += L"found: ";
        break;
    case Outcome::Removed:
        ++removed;
        lines += L"removed: ";
        break;
    case Outcome::NotRemoved:
        ++left;
        lines += L"not removed (error " + std::to_wstring(error) + L"): ";
        break;
    case Outcome::NotReadable:
        ++left;
        lines += L"not readable (error " + std::to_wstring(error) + L"): ";
        break;
    }
    lines += what;
    lines += L"\r\n";
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

bool WalkDisabledItems(const wchar_t* keyPath, Reporter& r) {
    kes::UniqueKey key;
    LONG opened = ERROR_SUCCESS;
    if (r.plain) {
        if (OpenKey(keyPath, key) != ERROR_SUCCESS)
            return false;
    } else {
        // Only what the work needs: a key the user may read but not change is still read, and
        // each deletion of ours in it fails with its own code.
        opened =
            RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0,
                          r.remove ? KEY_QUERY_VALUE | KEY_SET_VALUE : KEY_QUERY_VALUE, key.Put());
        if (opened == ERROR_ACCESS_DENIED && r.remove)
            opened = RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.Put());
    }
    if (opened == ERROR_FILE_NOT_FOUND)
        return false;
    if (opened != ERROR_SUCCESS) {
        r.Value(Outcome::NotReadable, DisabledItemName(keyPath, nullptr), opened, {});
        return false;
    }
    // A script has room for the longest name the registry allows, so that no entry ends the
    // list early.
    std::vector<wchar_t> name((r.plain ? kNameCapacity : kMaxValueNameUnits) + 1);
    wchar_t data[kDataUnits];
    for (DWORD index = 0;;) {
        DWORD nameUnits = static_cast<DWORD>(name.size() - 1);
        const LONG rc = RegEnumValueW(key.Get(), index, name.data(), &nameUnits, nullptr, nullptr,
                                      nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            r.Enumerated(rc, {});
            if (rc != ERROR_NO_MORE_ITEMS)
                r.Value(Outcome::NotReadable, DisabledItemName(keyPath, nullptr), rc, {});
            return true;
        }
        bool cut = false;
        const std::size_t units = ReadRawData(key.Get(), name.data(), data, cut) / sizeof(wchar_t);
        // The zeros of the data mark where a path starts and ends: matched before they are
        // made visible.
        const bool ours = NamesAddIn(std::wstring_view(data, units), cut);
        const std::wstring_view text = MakeDataText(data, units);
        r.Enumerated(rc, text);
        if (!ours) {
            ++index;
            continue;
        }
        const std::wstring item = DisabledItemName(keyPath, name.data());
        if (!r.remove) {
            r.Value(Outcome::Found, item, 0, text);
            ++index;
        } else if (const LONG deleted = RegDeleteValueW(key.Get(), name.data());
                   deleted == ERROR_SUCCESS) {
            // The next value has moved into this position.
            r.Value(Outcome::Removed, item, 0, text);
        } else if (GoneMeanwhile(static_cast<DWORD>(deleted)) && !r.plain) {
            // Another program removed it: nothing of ours stays, and the next value has moved.
        } else {
            r.Value(Outcome::NotRemoved, item, deleted, text);
            ++index;
        }
    }
}

bool WalkSecureTempFolder(const wchar_t* keyPath, Reporter& r) {
    kes::UniqueKey key;
    const LONG opened =
        r.plain ? OpenKey(keyPath, key)
                : RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, key.Put());
    if (r.plain && opened != ERROR_SUCCESS)
        return false;
    if (opened == ERROR_FILE_NOT_FOUND)
        return false;
    if (opened != ERROR_SUCCESS) {
        r.Entry(Outcome::NotReadable, SecurityName(keyPath), opened);
        return false;
    }
    wchar_t raw[kFolderUnits];
    DWORD type = 0;
    LONG rc = ReadString(key.Get(), L"OutlookSecureTempFolder", raw, kFolderUnits, type);
    std::wstring folder;
    if (rc == ERROR_SUCCESS)
        rc = type == REG_EXPAND_SZ ? ExpandFolderValue(raw, folder) : (folder = raw, ERROR_SUCCESS);
    // A missing value names no folder; one that cannot be read may name one.
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        r.Entry(Outcome::NotReadable, SecurityName(keyPath) + L" \"OutlookSecureTempFolder\"", rc);
    // An empty path names no folder; searching "\*.huf" would sweep the current drive's root.
    if (rc == ERROR_SUCCESS && !folder.empty())
        FolderWalk(r).Top(folder);
    return true;
}

bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace) {
    Trace t;
    const bool opened = WalkDisabledItems(keyPath, t);
    trace += t.bytes;
    return opened;
}

bool PurgeSecureTempFolder(const wchar_t* keyPath) {
    Trace t;
    return WalkSecureTempFolder(keyPath, t);
}

bool PurgeHufFiles(const wchar_t* folder) {
    Trace t;
    return FolderWalk(t).Top(folder);
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

void WriteLines(HANDLE out, std::wstring_view lines) {
    DWORD mode = 0;
    if (!lines.empty() && GetConsoleMode(out, &mode)) {
        // A console is given the text itself, which no code page can narrow; in pieces, as
        // older consoles refuse large writes, and never between the halves of a pair.
        while (!lines.empty()) {
            std::size_t piece = lines.size() < kConsolePiece ? lines.size() : kConsolePiece;
            if (piece < lines.size() && lines[piece - 1] >= 0xD800 && lines[piece - 1] < 0xDC00)
                --piece;
            DWORD written = 0;
            if (!WriteConsoleW(out, lines.data(), static_cast<DWORD>(piece), &written, nullptr) ||
                written == 0)
                return;
            lines.remove_prefix(written);
        }
        return;
    }
    std::string bytes;
    AppendUtf8(bytes, lines);
    WriteTrace(out, bytes);
}

void RunCleanup(HANDLE out) {
    for (const wchar_t* key : kDisabledItemsKeys) {
        Trace t;
        WalkDisabledItems(key, t);
        WriteTrace(out, t.bytes);
    }
    for (const wchar_t* key : kSecurityKeys) {
        Trace t;
        WalkSecureTempFolder(key, t);
    }
}

int RunScripted(HANDLE out, bool remove) {
    Findings findings(remove);
    for (const wchar_t* key : kDisabledItemsKeys)
        WalkDisabledItems(key, findings);
    for (const wchar_t* key : kSecurityKeys)
        WalkSecureTempFolder(key, findings);
    WriteLines(out, findings.lines);
    return findings.ExitCode();
}

int Main(HANDLE out, const std::wstring_view* args, std::size_t count) {
    const std::wstring usage(kUsage.begin(), kUsage.end());
    switch (ParseArguments(args, count)) {
    case Mode::Plain:
        RunCleanup(out);
        return kExitNothing;
    case Mode::Help:
        WriteLines(out, usage);
        return kExitNothing;
    case Mode::Report:
        return RunScripted(out, false);
    case Mode::Run:
        return RunScripted(out, true);
    case Mode::Unknown:
        break;
    }
    WriteLines(out, usage);
    return kExitUsage;
}

} // namespace cleanup
