#pragma once
// The hierarchical key/value store behind SettingsStore. Result codes are the platform's
// (0 success, 2 not found, 5 access denied, 234 more data, ...), so that the in-memory tree and
// the Windows registry answer alike and one conformance suite can hold them to it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kes {

using RegKey = std::uintptr_t;

enum class RootKey : std::uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };

inline RegKey RootHandle(RootKey r) {
    return static_cast<RegKey>(r);
}

namespace regcode {
constexpr long Success = 0;
constexpr long FileNotFound = 2;
constexpr long AccessDenied = 5;
constexpr long InvalidHandle = 6;
constexpr long InvalidParameter = 87;
constexpr long BadPathname = 161;
constexpr long MoreData = 234;
constexpr long NoMoreItems = 259;
constexpr long KeyDeleted = 1018;
} // namespace regcode

namespace regtype {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Sz = 1;
constexpr std::uint32_t ExpandSz = 2;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
constexpr std::uint32_t MultiSz = 7;
constexpr std::uint32_t Qword = 11;
} // namespace regtype

constexpr std::uint32_t kKeyAllAccess = 0xF003F;
// The longest key name, in UTF-16 units, that Windows creates (Wine's registry takes one more).
constexpr std::size_t kMaxKeyName = 255;
constexpr std::uint32_t kKeyRead = 0x20019;

// Which of the machine's two registry views a key is opened in; the value is the access bit
// that asks for it (KEY_WOW64_64KEY, KEY_WOW64_32KEY), 0 for the program's own view. Below
// HKEY_LOCAL_MACHINE\Software the 32-bit view is the 64-bit view's Software\Wow6432Node;
// HKEY_CURRENT_USER\Software is one for both.
enum class RegView : std::uint32_t { Own = 0, Bits64 = 0x0100, Bits32 = 0x0200 };
constexpr std::uint32_t kViewBits = 0x0300;

class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;
    // Opens (or with create, creates) `path` below `parent`; names are UTF-8, "\"-separated.
    virtual long OpenKey(RegKey parent, const std::string& path, std::uint32_t access, bool create,
                         RegKey& out) = 0;
    virtual void CloseKey(RegKey key) = 0;
    // Reads at most `capacity` bytes; a larger value gives MoreData and no data.
    virtual long QueryValue(RegKey key, const std::string& name, std::size_t capacity,
                            std::uint32_t& type, std::vector<std::uint8_t>& data) = 0;
    virtual long SetValue(RegKey key, const std::string& name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
    // Direct subkeys in the store's enumeration order.
    virtual long EnumKeys(RegKey key, std::vector<std::string>& names) = 0;
    // Deletes one key that has no subkeys.
    virtual long DeleteKey(RegKey parent, const std::string& name) = 0;
    // Gives the direct subkey `from` the name `to`, with everything below it, in one step; a
    // `to` that names an existing key (also `from` itself in another letter case) is refused.
    virtual long RenameKey(RegKey parent, const std::string& from, const std::string& to) = 0;
    // Orders two names as the store compares them: 0 when they name one key.
    virtual int CompareNames(const std::string& a, const std::string& b) = 0;
};

} // namespace kes

namespace kes {

// Orders names as a backend compares them, so that a set or map keyed by it holds one entry
// per key of the store.
class NameOrder {
public:
    explicit NameOrder(RegistryBackend& backend) : backend_(&backend) {}
    bool operator()(const std::string& a, const std::string& b) const {
        return backend_->CompareNames(a, b) < 0;
    }

private:
    RegistryBackend* backend_;
};

} // namespace kes
