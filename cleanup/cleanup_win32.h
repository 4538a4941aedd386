// The registry and file work of cleanup: plain functions returning flags, as the tool raises
// nothing. One walk serves every run: the plain run always ends with 0 and writes its trace; a
// run from a script (/report, /run) collects its findings and tells them by exit code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace cleanup {

// Outlook expands a REG_EXPAND_SZ folder value, as Group Policy Preferences write it with
// %USERPROFILE%: so do cleanup and the console's status. A reference to a variable that is not
// set would leave a path that names nothing, and is refused with its code.
LONG ExpandFolderValue(const wchar_t* text, std::wstring& expanded);

// Outlook's lists of disabled add-ins, in the order they are purged. 14.0 to 16.0 are the
// Outlook versions from 2010 on (there never was a 13.0 Office, but its key is still visited).
inline constexpr const wchar_t* kDisabledItemsKeys[] = {
    L"Software\\Microsoft\\Office\\11.0\\Outlook\\Resiliency\\DisabledItems",
    L"Software\\Microsoft\\Office\\12.0\\Outlook\\Resiliency\\DisabledItems",
    L"Software\\Microsoft\\Office\\13.0\\Outlook\\Resiliency\\DisabledItems",
    L"Software\\Microsoft\\Office\\14.0\\Outlook\\Resiliency\\DisabledItems",
    L"Software\\Microsoft\\Office\\15.0\\Outlook\\Resiliency\\DisabledItems",
    L"Software\\Microsoft\\Office\\16.0\\Outlook\\Resiliency\\DisabledItems",
};

// Outlook's security settings naming the secure temporary folder, in order.
inline constexpr const wchar_t* kSecurityKeys[] = {
    L"Software\\Microsoft\\Office\\9.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\10.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\11.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\12.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\13.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\14.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\15.0\\Outlook\\Security",
    L"Software\\Microsoft\\Office\\16.0\\Outlook\\Security",
};

// What one walk of the keys and folders tells, and the rules it walks by. The plain run and the
// runs from a script walk the same way; only their reporters and these rules differ.
class Reporter {
public:
    enum class Outcome { Found, Removed, NotRemoved, NotReadable };

    Reporter(bool remove, bool plain) : remove(remove), plain(plain) {}
    virtual ~Reporter() = default;

    // false for /report: nothing is deleted, every finding is told.
    const bool remove;
    // The plain run's rules: a key is opened with full access or passed over, value names of
    // more than 521 units end the list, and the first entry that stays ends its folder's purge
    // (a read-only file, a "*.huf" folder without a "*.huf" entry and a folder link stay).
    // Otherwise a key that may only be read is read and every entry of ours is tried: a
    // read-only file loses its attribute, an empty "*.huf" folder goes, a link is passed over.
    const bool plain;

    // One enumeration call of a disabled-items key: its result code and, for a value, its data
    // as the trace shows it (zero units as "_").
    virtual void Enumerated(long code, std::wstring_view data) = 0;
    // A disabled-items value of ours (with its data as above), or a key that could not be read.
    virtual void Value(Outcome outcome, const std::wstring& what, long error,
                       std::wstring_view data) = 0;
    // A "*.huf" entry (a folder with a trailing "\"), or a folder value or folder that could
    // not be read.
    virtual void Entry(Outcome outcome, const std::wstring& what, long error) = 0;
};

// What a run from a script collects, in lines ending in CR LF. With `remove` false (/report)
// every finding is listed; otherwise (/run) every removal and everything of ours that stays.
class Findings : public Reporter {
public:
    explicit Findings(bool remove) : Reporter(remove, false) {}

    std::wstring lines;
    int found = 0;   // of ours and there (/report)
    int removed = 0; // removed (/run)
    int left = 0;    // of ours and still there, or not looked into (both)

    void Enumerated(long, std::wstring_view) override {}
    void Value(Outcome outcome, const std::wstring& what, long error, std::wstring_view) override {
        Entry(outcome, what, error);
    }
    void Entry(Outcome outcome, const std::wstring& what, long error) override;
    int ExitCode() const;
};

// The plain run's steps, as they always were.

// Deletes the values of one disabled-items key (below HKEY_CURRENT_USER) whose data names one
// of our add-ins, appending the trace to `trace`. False when the key could not be opened.
bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace);

// Purges the folder named by "OutlookSecureTempFolder" of one security key. False when the
// key could not be opened.
bool PurgeSecureTempFolder(const wchar_t* keyPath);

// Deletes the "*.huf" entries of a folder, recursively, then removes the folder. True only
// when the folder itself was removed. Stops at the first entry that stays.
bool PurgeHufFiles(const wchar_t* folder);

// Any run's steps, told to `reporter`. True when the key could be opened.
bool WalkDisabledItems(const wchar_t* keyPath, Reporter& reporter);
bool WalkSecureTempFolder(const wchar_t* keyPath, Reporter& reporter);

bool IsDotEntry(const wchar_t* name);

// The whole run, writing the trace to `out` (a null or invalid handle drops it).
void RunCleanup(HANDLE out);

// The same run from a script: its lines go to `out`; returns the exit code.
int RunScripted(HANDLE out, bool remove);

// The program: what the arguments (without the program's name) ask for; returns the exit code.
int Main(HANDLE out, const std::wstring_view* args, std::size_t count);

void WriteTrace(HANDLE out, std::string_view bytes);
// Lines for a script or a prompt: to a console the text itself, to a file or pipe UTF-8 (a lone
// surrogate in its three-byte form), never mapped to look-alike characters.
void WriteLines(HANDLE out, std::wstring_view lines);

} // namespace cleanup
