#pragma once
// The status report's Windows side: the system, value lists, files and folders, read only.
#include "console/status/status.h"

#include <functional>
#include <string>

namespace kes::status {

class Win32StatusSource : public StatusSource {
public:
    // Where the log view looks for the add-in's log, as the console's services say.
    Win32StatusSource(std::function<std::string()> debugLogPath,
                      std::function<std::string()> fallbackLogPath);
    SystemFacts System() override;
    long ListValues(RootKey root, RegView view, const std::string& path,
                    std::vector<NamedValue>& values) override;
    long DeleteValue(RootKey root, RegView view, const std::string& path,
                     const std::string& name) override;
    FileFact File(const std::string& path) override;
    HufCount CountHufFiles(const std::string& folder, bool expand) override;
    std::string DebugLogPath() override;
    std::string FallbackLogPath() override;

private:
    std::function<std::string()> debugLogPath_, fallbackLogPath_;
};

// The report as it stands now, lines ended by `newline`; reading through `reg`.
std::string CurrentStatusReport(RegistryBackend& reg, StatusSource& source, const char* newline);

} // namespace kes::status
