#include "console/store/win32_registry.h"

#include "platform/utf_win32.h"

#include <windows.h>

namespace kes {
namespace {
HKEY H(RegKey k) {
    return reinterpret_cast<HKEY>(k);
}
// Refused as Windows refuses them, also under Wine, which would store one unit more.
bool NameTooLong(const std::wstring& path) {
    std::size_t run = 0;
    for (wchar_t c : path) {
        run = c == L'\\' ? 0 : run + 1;
        if (run > kMaxKeyName)
            return true;
    }
    return false;
}
} // namespace

long Win32Registry::OpenKey(RegKey parent, const std::string& path, std::uint32_t access,
                            bool create, RegKey& out) {
    HKEY key = nullptr;
    const std::wstring wpath = Widen(path);
    if (create && NameTooLong(wpath))
        return ERROR_INVALID_PARAMETER;
    LONG rc = create ? RegCreateKeyExW(H(parent), wpath.c_str(), 0, nullptr, 0, access, nullptr,
                                       &key, nullptr)
                     : RegOpenKeyExW(H(parent), wpath.c_str(), 0, access, &key);
    if (rc == ERROR_SUCCESS)
        out = reinterpret_cast<RegKey>(key);
    return rc;
}

void Win32Registry::CloseKey(RegKey key) {
    RegCloseKey(H(key));
}

long Win32Registry::QueryValue(RegKey key, const std::string& name, std::size_t capacity,
                               std::uint32_t& type, std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> buf(capacity);
    DWORD size = static_cast<DWORD>(capacity);
    DWORD t = 0;
    const std::wstring wname = Widen(name);
    LONG rc = RegQueryValueExW(H(key), wname.c_str(), nullptr, &t, buf.data(), &size);
    type = t;
    if (rc == ERROR_SUCCESS) {
        buf.resize(size);
        data = std::move(buf);
    }
    return rc;
}

long Win32Registry::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                             const std::vector<std::uint8_t>& data) {
    const std::wstring wname = Widen(name);
    return RegSetValueExW(H(key), wname.c_str(), 0, type, data.data(),
                          static_cast<DWORD>(data.size()));
}

long Win32Registry::EnumKeys(RegKey key, std::vector<std::string>& names) {
    names.clear();
    // Windows keeps key names to 255 units, Wine to 256: room for either, and more.
    wchar_t buf[1024];
    for (DWORD i = 0;; ++i) {
        DWORD len = 1024;
        LONG rc = RegEnumKeyExW(H(key), i, buf, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS)
            return rc;
        names.push_back(Narrow(std::wstring_view(buf, len)));
    }
}

long Win32Registry::DeleteKey(RegKey parent, const std::string& name) {
    const std::wstring wname = Widen(name);
    return RegDeleteKeyW(H(parent), wname.c_str());
}

long Win32Registry::RenameKey(RegKey parent, const std::string& from, const std::string& to) {
    const std::wstring wfrom = Widen(from), wto = Widen(to);
    if (NameTooLong(wto))
        return ERROR_INVALID_PARAMETER;
    return RegRenameKey(H(parent), wfrom.c_str(), wto.c_str());
}

} // namespace kes

namespace kes {

int Win32Registry::CompareNames(const std::string& a, const std::string& b) {
    const std::wstring wa = Widen(a), wb = Widen(b);
    // Case ignored, this uses the upper-case table of the registry's own name comparison.
    const int r = CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                       static_cast<int>(wb.size()), TRUE);
    if (r == 0) // refused: an order all the same, so that sets keyed by it stay sound
        return a < b ? -1 : a == b ? 0 : 1;
    return r == CSTR_EQUAL ? 0 : r == CSTR_LESS_THAN ? -1 : 1;
}

} // namespace kes
