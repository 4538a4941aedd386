#pragma once
// The Windows registry behind SettingsStore (advapi32, W functions).
#include "console/store/registry_backend.h"

namespace kes {

class Win32Registry : public RegistryBackend {
public:
    long OpenKey(RegKey parent, const std::string& path, std::uint32_t access, bool create,
                 RegKey& out) override;
    void CloseKey(RegKey key) override;
    long QueryValue(RegKey key, const std::string& name, std::size_t capacity, std::uint32_t& type,
                    std::vector<std::uint8_t>& data) override;
    long SetValue(RegKey key, const std::string& name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override;
    long EnumKeys(RegKey key, std::vector<std::string>& names) override;
    long DeleteKey(RegKey parent, const std::string& name) override;
    long RenameKey(RegKey parent, const std::string& from, const std::string& to) override;
    int CompareNames(const std::string& a, const std::string& b) override;
};

} // namespace kes
