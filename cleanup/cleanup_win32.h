// The registry and file work of cleanup: plain functions returning flags, as the tool raises
// nothing. The plain run always ends with 0; a run from a script (/report, /run) collects its
// findings and tells them by exit code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace cleanup {

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

// What a run from a script collects. With `remove` false (/report) nothing is deleted and every
// finding is listed; otherwise (/run) every removal and everything of ours that stays. Lines end
// in CR LF.
struct Findings {
    bool remove = true;
    std::string lines;
    int found = 0;   // of ours and there (/report)
    int removed = 0; // removed (/run)
    int left = 0;    // of ours and still there, or not looked into (both)

    // `what` is the finding as listed; `error` the platform's code.
    void Found(const std::string& what);
    void Removed(const std::string& what);
    void NotRemoved(const std::string& what, long error);
    // A key or folder that may hold something of ours but could not be looked into.
    void NotReadable(const std::string& what, long error);
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

// The same steps run from a script: keys that may only be read are read, every entry of ours
// is tried (a failure stops nothing), read-only files are removed, and whatever stays is named.

void SweepDisabledItems(const wchar_t* keyPath, Findings& findings);
void SweepSecureTempFolder(const wchar_t* keyPath, Findings& findings);
// The "*.huf" entries of `folder`, recursively; for /run the folder itself goes when it ends up
// empty. True when nothing of ours stays in it (for /report: when nothing of ours is in it).
bool SweepHufFiles(const std::wstring& folder, Findings& findings);

bool IsDotEntry(const wchar_t* name);

// The whole run, writing the trace to `out` (a null or invalid handle drops it).
void RunCleanup(HANDLE out);

// The same run from a script: its lines go to `out`; returns the exit code.
int RunScripted(HANDLE out, bool remove);

// The program: what the arguments (without the program's name) ask for; returns the exit code.
int Main(HANDLE out, const std::wstring_view* args, std::size_t count);

void WriteTrace(HANDLE out, std::string_view bytes);
// Lines for a script or a prompt: the bytes to a file or pipe, the text to a console.
void WriteLines(HANDLE out, std::string_view lines);

} // namespace cleanup
