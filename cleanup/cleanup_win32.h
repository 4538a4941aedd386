// The registry and file work of cleanup: plain functions returning flags, as the tool raises
// nothing and always ends with 0.
#pragma once

#include <windows.h>

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

// Deletes the values of one disabled-items key (below HKEY_CURRENT_USER) whose data names one
// of our add-ins, appending the trace to `trace`. False when the key could not be opened.
bool PurgeDisabledItems(const wchar_t* keyPath, std::string& trace);

// Purges the folder named by "OutlookSecureTempFolder" of one security key. False when the
// key could not be opened.
bool PurgeSecureTempFolder(const wchar_t* keyPath);

// Deletes the "*.huf" entries of a folder, recursively, then removes the folder. True only
// when the folder itself was removed.
bool PurgeHufFiles(const wchar_t* folder);

bool IsDotEntry(const wchar_t* name);

// The whole run, writing the trace to `out` (a null or invalid handle drops it).
void RunCleanup(HANDLE out);

void WriteTrace(HANDLE out, std::string_view bytes);

} // namespace cleanup
