#include "console/store/memory_registry.h"

#include <algorithm>
#include <iterator>

namespace kes {

struct MemoryRegistry::Node {
    std::string name;
    bool deleted = false;
    std::map<std::u16string, std::shared_ptr<Node>> children;
    struct Value {
        std::string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    std::map<std::u16string, Value> values;
};

namespace {
struct Upcase {
    char16_t from, to;
};
constexpr Upcase kUpcase[] = {
#include "console/store/registry_upcase.inc"
};
} // namespace

char16_t RegistryUpcase(char16_t c) {
    const auto it = std::lower_bound(std::begin(kUpcase), std::end(kUpcase), c,
                                     [](const Upcase& u, char16_t v) { return u.from < v; });
    return it != std::end(kUpcase) && it->from == c ? it->to : c;
}

namespace {
std::u16string ToU16(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            cp = b;
        } else if ((b >> 5) == 6 && i + 1 < s.size()) {
            cp = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            len = 2;
        } else if ((b >> 4) == 14 && i + 2 < s.size()) {
            cp = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            len = 3;
        } else if ((b >> 3) == 30 && i + 3 < s.size()) {
            cp = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                 (s[i + 3] & 0x3F);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += len;
    }
    return out;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '\\') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

} // namespace

std::u16string FoldName(const std::string& utf8) {
    std::u16string s = ToU16(utf8);
    for (auto& c : s)
        c = RegistryUpcase(c);
    return s;
}

int MemoryRegistry::CompareNames(const std::string& a, const std::string& b) {
    return FoldName(a).compare(FoldName(b));
}

MemoryRegistry::MemoryRegistry() {
    for (auto& r : roots_)
        r = std::make_shared<Node>();
}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::LimitRootAccess(RootKey root, std::uint32_t allowed) {
    limits_[root == RootKey::CurrentUser ? 0 : 1] = allowed;
}

MemoryRegistry::Handle* MemoryRegistry::Find(RegKey key) {
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
}

long MemoryRegistry::OpenKey(RegKey parent, const std::string& path, std::uint32_t access,
                             bool create, RegKey& out) {
    std::shared_ptr<Node> node;
    RootKey root;
    if (parent == RootHandle(RootKey::CurrentUser) || parent == RootHandle(RootKey::LocalMachine)) {
        root = static_cast<RootKey>(parent);
        node = roots_[root == RootKey::CurrentUser ? 0 : 1];
    } else {
        Handle* h = Find(parent);
        if (!h)
            return regcode::InvalidHandle;
        if (h->node->deleted)
            return regcode::KeyDeleted;
        node = h->node;
        root = h->root;
    }
    // The registry refuses a path that begins with "\" and skips doubled or trailing ones.
    if (!path.empty() && path.front() == '\\')
        return regcode::BadPathname;
    const std::uint32_t limit = limits_[root == RootKey::CurrentUser ? 0 : 1];
    if ((access & ~limit & ~kViewBits) != 0)
        return regcode::AccessDenied;
    auto parts = SplitPath(path);
    // Only a path from the machine's root itself changes views; a key once opened stays in its
    // view.
    if (parent == RootHandle(RootKey::LocalMachine) &&
        (access & kViewBits) == static_cast<std::uint32_t>(RegView::Bits32) && !parts.empty() &&
        FoldName(parts[0]) == FoldName("Software"))
        parts.insert(parts.begin() + 1, "Wow6432Node");
    // A name too long anywhere in the path refuses the whole of it: nothing is created.
    for (const auto& part : parts)
        if (create && ToU16(part).size() > kMaxKeyName)
            return regcode::InvalidParameter;
    for (const auto& part : parts) {
        const auto folded = FoldName(part);
        auto it = node->children.find(folded);
        if (it == node->children.end()) {
            if (!create)
                return regcode::FileNotFound;
            if ((limit & 0x4) == 0) // KEY_CREATE_SUB_KEY
                return regcode::AccessDenied;
            auto child = std::make_shared<Node>();
            child->name = part;
            it = node->children.emplace(folded, child).first;
        }
        node = it->second;
    }
    out = next_++;
    handles_[out] = Handle{node, root, access};
    return regcode::Success;
}

void MemoryRegistry::CloseKey(RegKey key) {
    handles_.erase(key);
}

long MemoryRegistry::QueryValue(RegKey key, const std::string& name, std::size_t capacity,
                                std::uint32_t& type, std::vector<std::uint8_t>& data) {
    Handle* h = Find(key);
    if (!h)
        return regcode::InvalidHandle;
    if (h->node->deleted)
        return regcode::KeyDeleted;
    auto it = h->node->values.find(FoldName(name));
    if (it == h->node->values.end())
        return regcode::FileNotFound;
    type = it->second.type;
    if (it->second.data.size() > capacity)
        return regcode::MoreData;
    data = it->second.data;
    return regcode::Success;
}

long MemoryRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                              const std::vector<std::uint8_t>& data) {
    Handle* h = Find(key);
    if (!h)
        return regcode::InvalidHandle;
    if (h->node->deleted)
        return regcode::KeyDeleted;
    if ((h->access & 0x2) == 0) // KEY_SET_VALUE
        return regcode::AccessDenied;
    h->node->values[FoldName(name)] = Node::Value{name, type, data};
    return regcode::Success;
}

long MemoryRegistry::EnumKeys(RegKey key, std::vector<std::string>& names) {
    Handle* h = Find(key);
    if (!h)
        return regcode::InvalidHandle;
    if (h->node->deleted)
        return regcode::KeyDeleted;
    // The registry keeps subkeys ordered by their folded names.
    names.clear();
    for (const auto& [folded, child] : h->node->children)
        names.push_back(child->name);
    return regcode::Success;
}

long MemoryRegistry::DeleteKey(RegKey parent, const std::string& name) {
    if (!name.empty() && name.front() == '\\')
        return regcode::BadPathname;
    auto parts = SplitPath(name);
    if (parts.empty())
        return regcode::InvalidParameter;
    const std::string last = parts.back();
    parts.pop_back();
    std::string prefix;
    for (const auto& p : parts)
        prefix += p + "\\";
    RegKey holder = 0;
    long rc = OpenKey(parent, prefix, 0x10000 /* DELETE */, false, holder);
    if (rc != regcode::Success)
        return rc;
    auto node = Find(holder)->node;
    CloseKey(holder);
    auto it = node->children.find(FoldName(last));
    if (it == node->children.end())
        return regcode::FileNotFound;
    if (!it->second->children.empty())
        return regcode::AccessDenied;
    it->second->deleted = true;
    node->children.erase(it);
    return regcode::Success;
}

long MemoryRegistry::RenameKey(RegKey parent, const std::string& from, const std::string& to) {
    if (from.empty() || to.empty() || from.find('\\') != std::string::npos ||
        to.find('\\') != std::string::npos)
        return regcode::InvalidParameter;
    RegKey holder = 0;
    long rc = OpenKey(parent, "", 0x4 /* KEY_CREATE_SUB_KEY */, false, holder);
    if (rc != regcode::Success)
        return rc;
    auto node = Find(holder)->node;
    CloseKey(holder);
    auto it = node->children.find(FoldName(from));
    if (it == node->children.end())
        return regcode::FileNotFound;
    if (ToU16(to).size() > kMaxKeyName)
        return regcode::InvalidParameter;
    // As Wine's registry does: a name taken, even by the key itself, is refused.
    if (node->children.count(FoldName(to)) != 0)
        return regcode::AccessDenied;
    auto child = it->second;
    node->children.erase(it);
    child->name = to;
    node->children.emplace(FoldName(to), child);
    return regcode::Success;
}

} // namespace kes
