// cleanup.exe: no window. Without arguments it runs as it always did; with them it is run from
// a script ("cleanup /?" tells how). Its output goes to whatever standard output the starter
// gave it.
#include "cleanup/cleanup_win32.h"
#include "platform/scoped_win32.h"

#include <cstdlib>
#include <string_view>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::vector<std::wstring_view> args;
    for (int i = 1; i < __argc; ++i)
        args.emplace_back(__wargv[i]);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    // Typed at a prompt, a desktop program has no standard output: with arguments, the text
    // goes to the prompt's console instead.
    kes::UniqueFile console;
    if (!args.empty() && (out == nullptr || out == INVALID_HANDLE_VALUE) &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        console.Reset(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
        out = console.Get();
    }
    return cleanup::Main(out, args.data(), args.size());
}
