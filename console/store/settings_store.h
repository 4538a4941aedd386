#pragma once
// The short-lived handle through which the console reads and writes the add-in's
// configuration. One handle per piece of work; nothing is cached.
#include "console/store/registry_backend.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kes {

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    explicit SettingsStore(RegistryBackend& backend) : backend_(backend) {}
    ~SettingsStore() { Close(); }
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void SetRoot(RootKey root);
    void SetAccess(std::uint32_t access) { access_ = access; }
    // The machine's registry view for the keys this handle opens; like the root, a change
    // releases the current key.
    void SetView(RegView view);
    bool Open(const std::string& path, bool mayCreate);
    void Close();

    std::int32_t GetInt(const std::string& name);
    bool GetFlag(const std::string& name) { return GetInt(name) != 0; }
    void PutInt(const std::string& name, std::int32_t value);
    void PutFlag(const std::string& name, bool value) { PutInt(name, value ? 1 : 0); }

    void ListChildren(std::vector<std::string>& names);
    void AddChild(const std::string& name);
    bool RemoveChild(const std::string& name);
    // Renames a direct subkey, keeping what is below it. A change of letter case only, which
    // the registry may refuse as a name already taken, goes through a passing name.
    bool RenameChild(const std::string& from, const std::string& to);

    RootKey Root() const { return root_; }
    std::uint32_t Access() const { return access_; }
    RegView View() const { return view_; }
    bool HasCurrentKey() const { return current_ != 0; }
    const std::string& CurrentPath() const { return path_; }

private:
    RegKey Base(bool absolute) const;
    std::uint32_t Mask(std::uint32_t access) const {
        return (access & ~kViewBits) | static_cast<std::uint32_t>(view_);
    }
    bool DeleteTree(RegKey parent, const std::string& name);

    RegistryBackend& backend_;
    RootKey root_ = RootKey::CurrentUser;
    std::uint32_t access_ = kKeyAllAccess;
    RegView view_ = RegView::Own;
    RegKey current_ = 0;
    std::string path_;
};

} // namespace kes
