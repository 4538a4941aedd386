#pragma once
// Everything that reaches the console from outside, so tests can stand in a refusing registry
// or a scripted dialog. Win32Services() gives the real thing.
#include "console/store/registry_backend.h"

#include <functional>
#include <memory>
#include <string>

namespace kes {

class TSaveDialog;

struct Services {
    std::shared_ptr<RegistryBackend> Registry;
    std::function<void(const std::string& message)> ErrorBox;
    std::function<void(const std::string& text)> ShowNotice;
    std::function<std::string(const std::string& caption, const std::string& prompt,
                              const std::string& defaultText)>
        PromptText;
    // Where the add-in's debug log is looked for: the user's temporary folder (empty when it
    // cannot be had) and the fallback beside the program.
    std::function<std::string()> DebugLogPath;
    std::function<std::string()> FallbackLogPath;
    // Shows the save dialog modally; false when cancelled.
    std::function<bool(TSaveDialog& dialog)> ExecuteSaveDialog;
};

Services Win32Services();

} // namespace kes
