// The add-in's status: the window of the upper panel's menu, and the report for the mail.
#include "console/form/AdminUnit1.h"
#include "console/status/status_source_win32.h"
#include "console/viewer/log_viewer_win32.h"

namespace kes {

namespace {

// The log is looked for where the log view looks.
status::Win32StatusSource SourceOf(const Services& services) {
    return status::Win32StatusSource(
        services.DebugLogPath ? services.DebugLogPath : std::function<std::string()>(DebugLogPath),
        services.FallbackLogPath ? services.FallbackLogPath
                                 : std::function<std::string()>(FallbackLogPath));
}

} // namespace

std::string TQuillard::StatusReport(const char* newline) {
    status::Win32StatusSource source = SourceOf(services_);
    return status::CurrentStatusReport(*services_.Registry, source, newline);
}

void TQuillard::addinstatus1Click(TComponent*) {
    // Read afresh each time it opens, off this thread; the worker has its own source and
    // shares the registry backend, which the Win32 one allows.
    const std::shared_ptr<RegistryBackend> registry = services_.Registry;
    const Services services = services_;
    StatusWork work;
    work.Read = [registry, services] {
        status::Win32StatusSource source = SourceOf(services);
        return status::ReadStatus(*registry, source);
    };
    work.Apply = [registry, services](const std::vector<status::RepairStep>& plan) {
        status::Win32StatusSource source = SourceOf(services);
        return status::ApplyRepair(*registry, source, plan);
    };
    TStatusWindow window(this, std::move(work));
    window.ShowModal(hwnd_);
}

} // namespace kes
