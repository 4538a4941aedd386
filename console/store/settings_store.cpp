#include "console/store/settings_store.h"

namespace kes {
namespace {
std::string Fill(const char* before, const std::string& name, const char* after) {
    return std::string(before) + name + after;
}
} // namespace

void SettingsStore::SetRoot(RootKey root) {
    if (root != root_) {
        Close();
        root_ = root;
    }
}

void SettingsStore::SetView(RegView view) {
    if (view != view_) {
        Close();
        view_ = view;
    }
}

RegKey SettingsStore::Base(bool absolute) const {
    return (absolute || current_ == 0) ? RootHandle(root_) : current_;
}

bool SettingsStore::Open(const std::string& path, bool mayCreate) {
    const bool absolute = !path.empty() && path.front() == '\\';
    const std::string rel = absolute ? path.substr(1) : path;
    RegKey key = 0;
    if (backend_.OpenKey(Base(absolute), rel, Mask(access_), mayCreate && !rel.empty(), key) !=
        regcode::Success)
        return false;
    std::string newPath;
    if (absolute || current_ == 0)
        newPath = rel;
    else
        newPath = rel.empty() ? path_ : path_ + "\\" + rel;
    Close();
    current_ = key;
    path_ = newPath;
    return true;
}

void SettingsStore::Close() {
    if (current_ != 0)
        backend_.CloseKey(current_);
    current_ = 0;
    path_.clear();
}

std::int32_t SettingsStore::GetInt(const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    // A DWORD of fewer than four bytes would leave part of the number undefined: unreadable.
    if (current_ == 0 || backend_.QueryValue(current_, name, 4, type, data) != regcode::Success ||
        (type == regtype::Dword && data.size() != 4))
        throw StoreError(Fill("Konnte Daten f\xC3\xBCr '", name, "' nicht holen"));
    if (type != regtype::Dword)
        throw StoreError(Fill("Ung\xC3\xBCltiger Datentyp f\xC3\xBCr '", name, "'"));
    std::uint32_t v = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                      std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
    return static_cast<std::int32_t>(v);
}

void SettingsStore::PutInt(const std::string& name, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    const std::vector<std::uint8_t> data{std::uint8_t(v), std::uint8_t(v >> 8),
                                         std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    if (current_ == 0 ||
        backend_.SetValue(current_, name, regtype::Dword, data) != regcode::Success)
        throw StoreError(Fill("Konnte Daten f\xC3\xBCr '", name, "' nicht setzen"));
}

void SettingsStore::ListChildren(std::vector<std::string>& names) {
    names.clear();
    if (current_ == 0)
        return;
    std::vector<std::string> found;
    if (backend_.EnumKeys(current_, found) == regcode::Success)
        names = std::move(found);
}

void SettingsStore::AddChild(const std::string& name) {
    // An empty name reaches the current key itself, as the registry's create call does.
    RegKey key = 0;
    if (backend_.OpenKey(Base(false), name, Mask(kKeyAllAccess), true, key) != regcode::Success)
        throw StoreError(Fill("Erzeugung von Schl\xC3\xBCssel ", name, " misslungen"));
    backend_.CloseKey(key);
}

bool SettingsStore::DeleteTree(RegKey parent, const std::string& name) {
    RegKey key = 0;
    if (backend_.OpenKey(parent, name, Mask(kKeyAllAccess), false, key) != regcode::Success)
        return false;
    std::vector<std::string> children;
    bool ok = backend_.EnumKeys(key, children) == regcode::Success;
    for (const auto& child : children)
        ok = DeleteTree(key, child) && ok;
    backend_.CloseKey(key);
    return ok && backend_.DeleteKey(parent, name) == regcode::Success;
}

bool SettingsStore::RemoveChild(const std::string& name) {
    // An empty name would name the current key itself, which is not a child.
    if (name.empty())
        return false;
    const bool absolute = name.front() == '\\';
    return DeleteTree(Base(absolute), absolute ? name.substr(1) : name);
}

bool SettingsStore::RenameChild(const std::string& from, const std::string& to) {
    if (current_ == 0)
        return false;
    if (backend_.RenameKey(current_, from, to) == regcode::Success)
        return true;
    // Short, so that a name of 255 characters passes too.
    const std::string passing = "~Quillard rename";
    if (backend_.RenameKey(current_, from, passing) != regcode::Success)
        return false;
    if (backend_.RenameKey(current_, passing, to) == regcode::Success)
        return true;
    backend_.RenameKey(current_, passing, from);
    return false;
}

} // namespace kes
