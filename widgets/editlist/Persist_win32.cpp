// The list's entries in an ini file or below the current user's registry root, in the format of
// persist_format.h.
#include "platform/utf_win32.h"
#include "widgets/editlist/EditListBox_win32.h"
#include "widgets/editlist/editlist_core.h"

#include <map>

namespace kes {
namespace {

// A section is read into a buffer that grows up to this many characters.
constexpr DWORD kMaxIniSection = 1u << 25;

class PersistStore {
public:
    PersistStore(const TELPersist& p, bool forWriting) : p_(p) {
        // Empty, either would reach the root of the current user's registry, or no section.
        if (p.Key.empty() || p.Section.empty())
            throw Exception(std::string("Persist.") + (p.Key.empty() ? "Key" : "Section") +
                            " ist leer: die Liste wird nicht gespeichert");
        if (p.Storage != stRegistry) {
            file_ = Widen(p.Key);
            section_ = Widen(p.Section);
            if (!forWriting)
                ReadSection();
            return;
        }
        std::string path = p.Key;
        while (!path.empty() && path.front() == '\\')
            path.erase(0, 1);
        // Nothing but "\" names no key either: the values would go to a key of the root.
        if (path.empty() || p.Section.find_first_not_of('\\') == std::string::npos)
            throw Exception(std::string("Persist.") + (path.empty() ? "Key" : "Section") +
                            " ist leer: die Liste wird nicht gespeichert");
        path += "\\" + p.Section;
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
        const auto it = section_values_.find(UpperAscii(name));
        if (it == section_values_.end())
            return std::nullopt;
        return it->second;
    }
    void Write(const std::string& name, const std::string& value) {
        const std::wstring n = Widen(name);
        if (p_.Storage == stRegistry) {
            const std::wstring v = Widen(value);
            if (RegSetValueExW(
                    key_.Get(), n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                    static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
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
    // The whole section at once, each value as its line holds it (quotes kept, so that a value
    // of ours is told from one written by an older build or by hand); the first of a doubled
    // name counts, as for the profile functions.
    void ReadSection() {
        for (DWORD size = 1u << 16;; size *= 2) {
            std::wstring buf(size, L'\0');
            const DWORD len =
                GetPrivateProfileSectionW(section_.c_str(), buf.data(), size, file_.c_str());
            if (len + 2 >= size) {
                if (size >= kMaxIniSection)
                    throw Exception("Abschnitt [" + p_.Section + "] in " + p_.Key +
                                    " ist zu gro\xC3\x9F");
                continue;
            }
            for (std::size_t at = 0; at < len;) {
                const std::size_t end = buf.find(L'\0', at);
                const std::wstring line = buf.substr(at, end - at);
                at = end + 1;
                const std::size_t eq = line.find(L'=');
                if (eq == std::wstring::npos)
                    continue;
                std::string name = Narrow(line.substr(0, eq));
                const std::size_t first = name.find_first_not_of(" \t");
                name = first == std::string::npos
                           ? ""
                           : name.substr(first, name.find_last_not_of(" \t") - first + 1);
                section_values_.emplace(UpperAscii(name), Narrow(line.substr(eq + 1)));
            }
            return;
        }
    }

    const TELPersist& p_;
    UniqueKey key_;
    std::wstring file_, section_;
    std::map<std::string, std::string> section_values_; // by upper-case name
};

} // namespace

void TEditListBox::LoadPersist() {
    if (!Persist.Enable)
        return;
    PersistStore store(Persist, false);
    const PersistRead read = PersistReads([&](const std::string& n) { return store.Read(n); },
                                          store.Escapes() ? IniValue : RegistryValue);
    Clear();
    {
        BeginUpdate();
        const ScopeExit refresh([this] { EndUpdate(); });
        for (const auto& value : read.values)
            AddItem(value);
    }
    // Everything readable is in the list; the rest is named.
    if (!read.unreadable.empty()) {
        std::string names;
        for (const auto& n : read.unreadable)
            names += (names.empty() ? "" : ", ") + n;
        throw Exception("Konnte Daten f\xC3\xBCr '" + names + "' nicht holen");
    }
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
