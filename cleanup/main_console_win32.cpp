// cleanup.com, the console twin of cleanup.exe: the same program for prompts and scripts. Being
// a console program, cmd and PowerShell wait for it and hand on its exit code, and its lines
// reach their console or pipe; both shells find "cleanup" as the .com before the .exe.
#include "cleanup/cleanup_win32.h"

#include <string_view>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring_view> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return cleanup::Main(GetStdHandle(STD_OUTPUT_HANDLE), args.data(), args.size());
}
