#pragma once
// Everything that reaches the console from outside, so tests can stand in a refusing registry
// or a scripted dialog. Win32Services() gives the real thing.
#include "console/registry_backend.h"

#include <functional>
#include <memory>
#include <string>

namespace kes {

struct Services {
    std::shared_ptr<RegistryBackend> Registry;
    std::function<void(const std::string& message)> ErrorBox;
    std::function<void(const std::string& text)> ShowNotice;
    std::function<std::string(const std::string& caption, const std::string& prompt,
                              const std::string& defaultText)>
        PromptText;
};

Services Win32Services();

} // namespace kes
