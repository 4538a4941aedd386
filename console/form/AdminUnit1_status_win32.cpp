// The add-in's status: the window of the upper panel's menu, and the report for the mail.
#include "console/form/AdminUnit1.h"
#include "console/status/status_source_win32.h"
#include "console/viewer/log_viewer_win32.h"

namespace kes {

std::string TQuillard::StatusReport(const char* newline) {
    // The log is looked for where the log view looks.
    status::Win32StatusSource source(
        services_.DebugLogPath ? services_.DebugLogPath
                               : std::function<std::string()>(DebugLogPath),
        services_.FallbackLogPath ? services_.FallbackLogPath
                                  : std::function<std::string()>(FallbackLogPath));
    return status::CurrentStatusReport(*services_.Registry, source, newline);
}

void TQuillard::addinstatus1Click(TComponent*) {
    // Read afresh each time it opens.
    TStatusWindow window(this, StatusReport("\r\n"));
    window.ShowModal(hwnd_);
}

} // namespace kes
