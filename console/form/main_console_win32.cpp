// Quillard.com, the console twin of Quillard.exe: "/status" and "/repair" for scripts, which
// a shell waits for and hands the exit code on. Without arguments it starts Quillard.exe beside
// it and returns at once, as double-clicking does; shells find "Quillard" as the .com first.
#include "console/status/status_console_win32.h"

#include <string>
#include <vector>

namespace {

int OpenWindow() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    const std::size_t dot = path.find_last_of(L'.');
    if (n == 0 || dot == std::wstring::npos || dot < path.find_last_of(L'\\'))
        return kes::status::kExitUsage;
    path = path.substr(0, dot) + L".exe";
    std::wstring command = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        kes::status::WriteText(GetStdHandle(STD_ERROR_HANDLE),
                               "Quillard.exe could not be started (error " +
                                   std::to_string(GetLastError()) + ")\r\n");
        return kes::status::kExitWillNotRun;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return kes::status::kExitWillRun;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return kes::status::ConsoleMain(GetStdHandle(STD_OUTPUT_HANDLE), args, OpenWindow);
}
