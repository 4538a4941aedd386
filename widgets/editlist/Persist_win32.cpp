// The list's entries in an ini file or below the current user's registry root, in the format of
// persist_format.h.
#include "widgets/editlist/EditListBox_win32.h"

#include "platform/utf_win32.h"

namespace kes {
namespace {

// Returned for a value that is not there: no value read from a file of ours can be this, as
// the ini store writes ASCII only.
constexpr wchar_t kMissing[] = L"\xFFFF";
// Profile values are read into a buffer that grows up to this many characters.
constexpr DWORD kMaxIniValue = 1u << 24;

class PersistStore {
public:
    PersistStore(const TELPersist& p, bool forWriting) : p_(p) {
        if (p.Storage != stRegistry) {
            file_ = Widen(p.Key);
            section_ = Widen(p.Section);
            return;
        }
        std::string path = p.Key;
        while (!path.empty() && path.front() == '\\')
            path.erase(0, 1);
        if (!p.Section.empty())
            path += (path.empty() ? "" : "\\") + p.Section;
        const std::wstring w = Widen(path);
        if (!forWriting) {
            RegOpenKeyExW(HKEY_CURRENT_USER, w.c_str(), 0, KEY_READ, key_.Put());
            return;
        }
        if (RegCreateKeyExW(HKEY_CURRENT_USER, w.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key_.Put(), nullptr) != ERROR_SUCCESS)
            throw Exception("Erzeugung von Schl\xC3\xBCssel " + path + " misslungen");
    }

    // The value as stored; nothing when it is missing.
    std::optional<std::string> Read(const std::string& name) {
        const std::wstring n = Widen(name);
        if (p_.Storage == stRegistry) {
            DWORD type = 0, size = 0;
            if (!key_.Get() ||
                RegQueryValueExW(key_.Get(), n.c_str(), nullptr, &type, nullptr, &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                return std::nullopt;
            std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
            if (RegQueryValueExW(key_.Get(), n.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(v.data()), &size) != ERROR_SUCCESS)
                return std::nullopt;
            v.resize(wcsnlen(v.c_str(), v.size()));
            return Narrow(v);
        }
        // A value that fills the buffer may have been cut: read it again with more room.
        for (DWORD size = 4096;; size *= 2) {
            std::wstring buf(size, L'\0');
            const DWORD len = GetPrivateProfileStringW(section_.c_str(), n.c_str(), kMissing,
                                                       buf.data(), size, file_.c_str());
            if (len + 1 >= size && size < kMaxIniValue)
                continue;
            buf.resize(len);
            if (buf == kMissing)
                return std::nullopt;
            return Narrow(buf);
        }
    }

    void Write(const std::string& name, const std::string& value) {
        const std::wstring n = Widen(name);
        if (p_.Storage == stRegistry) {
            const std::wstring v = Widen(value);
            if (RegSetValueExW(key_.Get(), n.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(v.c_str()),
                               static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))) !=
                ERROR_SUCCESS)
                throw Exception("Konnte Daten f\xC3\xBCr '" + name + "' nicht setzen");
            return;
        }
        // In quotes, the profile functions keep blanks and quotes at both ends.
        const std::wstring v = L"\"" + Widen(value) + L"\"";
        if (!WritePrivateProfileStringW(section_.c_str(), n.c_str(), v.c_str(), file_.c_str()))
            throw Exception("Konnte Daten f\xC3\xBCr '" + name + "' nicht setzen");
    }

    bool Escapes() const { return p_.Storage != stRegistry; }

private:
    const TELPersist& p_;
    UniqueKey key_;
    std::wstring file_, section_;
};

} // namespace

void TEditListBox::LoadPersist() {
    if (!Persist.Enable)
        return;
    PersistStore store(Persist, false);
    PersistRead read = PersistReads([&](const std::string& n) { return store.Read(n); });
    Clear();
    BeginUpdate();
    const ScopeExit refresh([this] { EndUpdate(); });
    for (const auto& value : read.values)
        AddItem(read.exact && store.Escapes() ? UnescapeIniValue(value) : value);
}

void TEditListBox::SavePersist() {
    if (!Persist.Enable)
        return;
    PersistStore store(Persist, true);
    const auto encode = [&store](const std::string& e) {
        return store.Escapes() ? EscapeIniValue(e) : e;
    };
    for (const auto& [name, value] :
         PersistWrites(Items(), Persist.Count, Persist.MaxCount, encode))
        store.Write(name, value);
}

} // namespace kes
