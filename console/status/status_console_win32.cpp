#include "console/status/status_console_win32.h"

#include "console/status/status_source_win32.h"
#include "console/store/win32_registry.h"
#include "console/viewer/log_viewer_win32.h"
#include "platform/utf_win32.h"

namespace kes::status {

bool WriteText(HANDLE out, const std::string& utf8) {
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        for (std::size_t at = 0; at < utf8.size();) {
            DWORD written = 0;
            const DWORD n = static_cast<DWORD>(std::min<std::size_t>(utf8.size() - at, 1 << 16));
            if (!WriteFile(out, utf8.data() + at, n, &written, nullptr) || written == 0)
                return false;
            at += written;
        }
        return true;
    }
    const std::wstring text = Widen(utf8);
    // Older consoles refuse large writes; a surrogate pair is never split.
    constexpr std::size_t kChunk = 8192;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = std::min(text.size() - at, kChunk);
        if (at + n < text.size() && text[at + n - 1] >= 0xD800 && text[at + n - 1] < 0xDC00)
            --n;
        DWORD written = 0;
        if (!WriteConsoleW(out, text.data() + at, static_cast<DWORD>(n), &written, nullptr) ||
            written == 0)
            return false;
        at += written;
    }
    return true;
}

int ConsoleMain(HANDLE out, const std::vector<std::u16string_view>& args,
                const std::function<int()>& openWindow) {
    const Command command = ParseCommand(args);
    if (command == Command::Window)
        return openWindow();
    if (command == Command::Help || command == Command::Unknown) {
        WriteText(out, kUsage);
        return command == Command::Help ? kExitWillRun : kExitUsage;
    }
    Win32Registry reg;
    Win32StatusSource source(DebugLogPath, FallbackLogPath);
    const CommandOutcome outcome =
        command == Command::Status ? RunStatus(reg, source) : RunRepair(reg, source);
    WriteText(out, JoinLines(outcome.lines, "\r\n"));
    return outcome.exitCode;
}

} // namespace kes::status
