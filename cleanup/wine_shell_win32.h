#pragma once
// Reaching the Unix side from a Windows program under Wine, for tests and benchmarks that stage
// what Windows calls cannot (links, folders of many files).
#include <windows.h>

#include <string>

namespace kes {

using UnixName = char*(CDECL*)(const wchar_t*);

// Wine's own export giving the Unix path of a Windows path; null on Windows.
inline UnixName WineUnixName() {
    return reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// Runs a shell command through Wine, which starts Unix programs from CreateProcess but hands
// back no process handle: the command touches a marker file when done, which is waited for.
inline bool RunUnix(const std::string& command, int waitTenthsOfSeconds = 300) {
    auto unixName = WineUnixName();
    if (unixName == nullptr) {
        return false;
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring marker =
        std::wstring(temp, n) + L"kes_unix_done_" + std::to_wstring(GetCurrentProcessId());
    DeleteFileW(marker.c_str());
    char* unixMarker = unixName(marker.c_str());
    if (unixMarker == nullptr) {
        return false;
    }
    std::string cmd = "/bin/sh -c \"" + command + "; : > '" + unixMarker + "'\"";
    HeapFree(GetProcessHeap(), 0, unixMarker);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return false;
    }
    if (pi.hProcess != nullptr) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    for (int i = 0; i < waitTenthsOfSeconds * 10 &&
                    GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++i) {
        Sleep(10);
    }
    return DeleteFileW(marker.c_str()) != FALSE;
}

} // namespace kes
