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
// finding is listed; otherwise (/run) every removal and every failure is. Lines end in CR LF.
struct Findings {
    bool remove = true;
    std::string lines;
    int found = 0;
    int removed = 0;
    int failed = 0;

    // `what` is the finding as listed; `error` the platform's code when removing failed.
    void Note(const std::string& what);
    void Removed(const std::string& what);
    void NotRemoved(const std::string& what, long error);
    int ExitCode() const;
};

// Deletes the values of one disabled-items key (below HKEY_CURRENT_USER) whose data names one
// of our add-ins, appending the trace to `trace`. False when the key could not be opened.
// With findings, the selected values are listed there (and, for /report, not deleted).
bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace, Findings* findings = nullptr);

// Purges the folder named by "OutlookSecureTempFolder" of one security key. False when the
// key could not be opened.
bool PurgeSecureTempFolder(const wchar_t* keyPath, Findings* findings = nullptr);

// Deletes the "*.huf" entries of a folder, recursively, then removes the folder. True only
// when the folder itself was removed; for /report, when it would be.
bool PurgeHufFiles(const wchar_t* folder, Findings* findings = nullptr);

bool IsDotEntry(const wchar_t* name);

// The whole run, writing the trace to `out` (a null or invalid handle drops it).
void RunCleanup(HANDLE out);

// The same run from a script: its lines go to `out`; returns the exit code.
int RunScripted(HANDLE out, bool remove);

// The program: what the arguments (without the program's name) ask for; returns the exit code.
int Main(HANDLE out, const std::wstring_view* args, std::size_t count);

void WriteTrace(HANDLE out, std::string_view bytes);

} // namespace cleanup
