#pragma once
// UTF-8 inside, UTF-16 at the Win32 boundary; ANSI code page for bytes from outside.
// Every conversion either succeeds whole or throws: std::length_error for texts longer than
// the API's int sizes (INT_MAX units), std::runtime_error when the system refuses it. A failed
// conversion never passes for an empty text.
#include <string>
#include <string_view>

namespace kes {
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// Bytes in the system's ANSI code page (CP_ACP) to UTF-16 and back.
std::wstring WidenAnsi(std::string_view ansi);
std::string NarrowAnsi(std::wstring_view utf16);
} // namespace kes
