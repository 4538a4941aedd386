#include "platform/utf_win32.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace kes {
namespace {
int CheckedLength(size_t units) {
    if (units > static_cast<size_t>(INT_MAX))
        throw std::length_error("text too long to convert");
    return static_cast<int>(units);
}

std::wstring ToWide(UINT cp, std::string_view s) {
    if (s.empty())
        return {};
    const int len = CheckedLength(s.size());
    const int n = MultiByteToWideChar(cp, 0, s.data(), len, nullptr, 0);
    if (n <= 0)
        throw std::runtime_error("text cannot be converted to UTF-16");
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (MultiByteToWideChar(cp, 0, s.data(), len, w.data(), n) != n)
        throw std::runtime_error("text cannot be converted to UTF-16");
    return w;
}

std::string ToBytes(UINT cp, std::wstring_view w) {
    if (w.empty())
        return {};
    const int len = CheckedLength(w.size());
    const int n = WideCharToMultiByte(cp, 0, w.data(), len, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        throw std::runtime_error("text cannot be converted from UTF-16");
    std::string s(static_cast<size_t>(n), '\0');
    if (WideCharToMultiByte(cp, 0, w.data(), len, s.data(), n, nullptr, nullptr) != n)
        throw std::runtime_error("text cannot be converted from UTF-16");
    return s;
}
} // namespace

std::wstring Widen(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}
std::string Narrow(std::wstring_view utf16) {
    return ToBytes(CP_UTF8, utf16);
}
std::wstring WidenAnsi(std::string_view ansi) {
    return ToWide(CP_ACP, ansi);
}
std::string NarrowAnsi(std::wstring_view utf16) {
    return ToBytes(CP_ACP, utf16);
}
} // namespace kes
