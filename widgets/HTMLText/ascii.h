#pragma once
// ASCII letter case for tags, entities, colour names and URLs: other bytes (UTF-8 included)
// stay as they are, so no string changes its length.
#include <string>
#include <string_view>

namespace kes {

inline char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string UpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = UpperChar(c);
    return r;
}

inline std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = LowerChar(c);
    return r;
}

// Whether s begins with prefix, ignoring the case of ASCII letters.
inline bool StartsNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (UpperChar(s[i]) != UpperChar(prefix[i]))
            return false;
    return true;
}

} // namespace kes
