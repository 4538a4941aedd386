#pragma once
// An in-memory tree that answers like the Windows registry: names compared the way the
// registry folds them, typed values, keys that vanish under open handles, and the machine's
// two views as a 64-bit program sees them (the 32-bit one below Software\Wow6432Node).
#include "console/store/registry_backend.h"

#include <map>
#include <memory>

namespace kes {

// Upper-cases one UTF-16 code unit the way the registry compares names: Unicode's simple
// upper-case mapping (no ß to SS); surrogate halves stay as they are.
char16_t RegistryUpcase(char16_t c);
// Folded form of a UTF-8 name, used as the comparison key.
std::u16string FoldName(const std::string& utf8);

class MemoryRegistry : public RegistryBackend {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;

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

    // Stands for a user without administrator rights: below this root only the access bits in
    // `allowed` may be asked for, and nothing may be created.
    void LimitRootAccess(RootKey root, std::uint32_t allowed);
    std::size_t OpenHandleCount() const { return handles_.size(); }

private:
    struct Node;
    struct Handle {
        std::shared_ptr<Node> node;
        RootKey root;
        std::uint32_t access;
    };
    Handle* Find(RegKey key);
    std::map<RegKey, Handle> handles_;
    std::shared_ptr<Node> roots_[2];
    std::uint32_t limits_[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    RegKey next_ = 0x1000;
};

} // namespace kes
