#include "platform/utf_win32.h"

#include <windows.h>

namespace kes {
namespace {
std::wstring ToWide(UINT cp, std::string_view s) {
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}
std::string ToBytes(UINT cp, std::wstring_view w) {
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
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
