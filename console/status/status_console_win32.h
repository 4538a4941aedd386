#pragma once
// Quillard.com's work: the command run, its lines written, its exit code returned.
#include "console/status/status_cli.h"

#include <windows.h>

#include <functional>

namespace kes::status {

// Writes UTF-8 text: to a console through WriteConsoleW, so that no name is mangled whatever
// the console's code page; to a pipe or file as the UTF-8 bytes themselves.
bool WriteText(HANDLE out, const std::string& utf8);

// Runs `args` as Quillard.com does; no arguments call `openWindow` and return what it returns.
int ConsoleMain(HANDLE out, const std::vector<std::u16string_view>& args,
                const std::function<int()>& openWindow);

} // namespace kes::status
