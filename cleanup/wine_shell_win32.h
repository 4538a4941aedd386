#pragma once
// Reaching the Unix side from a Windows program under Wine, for tests and benchmarks that stage
// what Windows calls cannot (links, folders of many files).
#include "platform/scoped_win32.h"

#include <windows.h>

#include <iterator>
#include <string>

namespace cleanup {

using UnixName = char*(CDECL*)(const wchar_t*);

// How often RunUnix looks for the command's marker, and how long it waits by default.
inline constexpr DWORD kUnixPollMs = 10;
inline constexpr DWORD kUnixWaitMs = 30000;

// Wine's own export giving the Unix path of a Windows path; null on Windows.
inline UnixName WineUnixName() {
    return reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// The Unix path of a Windows path; empty on Windows or when Wine has none. Wine hands the name
// out on the process heap.
inline std::string UnixPath(const std::wstring& path) {
    const UnixName unixName = WineUnixName();
    const kes::UniqueHeapMemory name(unixName != nullptr ? unixName(path.c_str()) : nullptr);
    if (!name)
        return {};
    return static_cast<const char*>(name.Get());
}

// Runs a shell command through Wine, which starts Unix programs from CreateProcess but hands
// back no process handle: the command touches a marker file when done, which is waited for.
inline bool RunUnix(const std::string& command, DWORD waitMs = kUnixWaitMs) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    std::wstring marker =
        std::wstring(temp, n) + L"kes_unix_done_" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(marker.c_str());
    const std::string unixMarker = UnixPath(marker);
    if (unixMarker.empty())
        return false;
    std::string cmd = "/bin/sh -c \"" + command + "; : > '" + unixMarker + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    // Null handles when Wine started a Unix program; the owners skip those.
    const kes::UniqueProcess started(pi);
    for (DWORD waited = 0;
         waited < waitMs && GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kUnixPollMs)
        Sleep(kUnixPollMs);
    return DeleteFileW(marker.c_str()) != FALSE;
}

} // namespace cleanup
