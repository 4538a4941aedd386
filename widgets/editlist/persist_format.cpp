#include "widgets/editlist/persist_format.h"

#include "platform/hex_digit.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace kes {
namespace {

std::string ItemName(int n) {
    return "Item" + std::to_string(n);
}

std::uint32_t Hash(const std::vector<std::string>& values) {
    std::uint32_t h = 2166136261u;
    const auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 16777619u;
    };
    for (const auto& v : values) {
        for (unsigned char c : v)
            mix(c);
        mix(0); // so that "ab","c" and "a","bc" differ
    }
    return h;
}

std::string Marker(const std::vector<std::string>& values) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(Hash(values)));
    return std::to_string(values.size()) + ":" + hex;
}

// "n:hhhhhhhh" with n of at most nine digits; false for anything else.
bool ParseMarker(const std::string& s, int& n, std::uint32_t& hash) {
    const std::size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 9 || s.size() != colon + 9)
        return false;
    n = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        n = n * 10 + (s[i] - '0');
    }
    hash = 0;
    for (std::size_t i = colon + 1; i < s.size(); ++i) {
        const int d = HexDigit(s[i]);
        if (d < 0)
            return false;
        hash = hash << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

// The code point of the UTF-8 sequence at s[i] and its length; length 0 when it is not one.
std::pair<char32_t, int> DecodeUtf8(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size())
        return {0, 0};
    char32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return {0, 0};
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return {0, 0};
    return {cp, len};
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::vector<std::pair<std::string, std::string>>
PersistWrites(const std::vector<std::string>& entries, int count, bool maxCount,
              const std::function<std::string(const std::string&)>& encode) {
    const int total = static_cast<int>(entries.size());
    const int n = maxCount ? std::max(count, 0) : total;
    const int skip = (maxCount && total > count) ? total - count : 0;
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> kept;
    for (int i = 1; i <= n; ++i) {
        const int at = skip + i - 1;
        if (at < total) {
            kept.push_back(encode ? encode(entries[at]) : entries[at]);
            out.emplace_back(ItemName(i), kept.back());
        } else {
            out.emplace_back(ItemName(i), std::string());
        }
    }
    out.emplace_back(ItemName(n + 1), std::string());
    out.emplace_back(kItemCountName, Marker(kept));
    return out;
}

PersistValue RegistryValue(const std::string& raw) {
    return {raw, raw, false, raw.empty()};
}

PersistValue IniValue(const std::string& raw) {
    const std::size_t first = raw.find_first_not_of(" \t");
    const std::size_t last = raw.find_last_not_of(" \t");
    const std::string v = first == std::string::npos ? "" : raw.substr(first, last - first + 1);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        std::string inner = v.substr(1, v.size() - 2);
        return {inner, UnescapeIniValue(inner), false, false};
    }
    if (!v.empty() && v.front() == '"') // cut off: what is there is still ours
        return {v, UnescapeIniValue(v.substr(1)), true, false};
    return {v, v, false, v.empty()};
}

PersistRead PersistReads(const std::function<std::optional<std::string>(const std::string&)>& read,
                         const PersistDecode& decode) {
    // Missing values within a count are passed over, up to this many: a count of a billion
    // names no list.
    constexpr int kMaxMissing = 1000;
    PersistRead out;
    int n = 0;
    std::uint32_t hash = 0;
    const auto marker = read(kItemCountName);
    // Values up to the first empty or missing one, the older way.
    const auto readOn = [&](int from) {
        for (int i = from;; ++i) {
            const auto v = read(ItemName(i));
            if (!v)
                return;
            PersistValue p = decode(*v);
            if (p.entry.empty()) {
                // An empty entry of ours ends nothing: without the count the rest cannot be
                // told from what an earlier, longer list left behind.
                if (!p.bare && !marker)
                    out.unreadable.push_back(kItemCountName);
                return;
            }
            if (p.broken)
                out.unreadable.push_back(ItemName(i));
            out.values.push_back(std::move(p.entry));
        }
    };
    if (marker && ParseMarker(decode(*marker).entry, n, hash)) {
        std::vector<std::string> stored;
        bool bare = false, afterBare = false;
        int missing = 0;
        for (int i = 1; i <= n; ++i) {
            const auto v = read(ItemName(i));
            if (!v) {
                out.unreadable.push_back(ItemName(i));
                if (++missing == kMaxMissing && i < n) {
                    out.unreadable.push_back(ItemName(i + 1) + ".." + ItemName(n));
                    return out;
                }
                continue;
            }
            PersistValue p = decode(*v);
            if (p.broken)
                out.unreadable.push_back(ItemName(i));
            afterBare = afterBare || (bare && !p.entry.empty());
            bare = bare || p.bare;
            stored.push_back(std::move(p.stored));
            out.values.push_back(std::move(p.entry));
        }
        if (!bare || Hash(stored) == hash) {
            // Ours ends with an empty value; entries after the count were added by another
            // writer (an older one's longer list, or by hand) and are kept.
            readOn(n + 1);
            return out;
        }
        // An older writer saved a shorter list over ours, or an entry was emptied by hand: read
        // the older way, and what that leaves unread within the count is named, not dropped.
        out = PersistRead();
        if (afterBare)
            out.unreadable.push_back(kItemCountName);
    } else if (marker) {
        out.unreadable.push_back(kItemCountName);
    }
    readOn(1);
    return out;
}

std::string EscapeIniValue(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    char buf[12];
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const auto [cp, len] = DecodeUtf8(utf8, i);
        if (len == 0 || cp < 0x80)
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
        else if (cp <= 0xFFFF)
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
        else
            std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(cp));
        out += buf;
        i += len == 0 ? 1 : static_cast<std::size_t>(len);
    }
    return out;
}

std::string UnescapeIniValue(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char kind = s[i + 1];
        if (kind == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        const std::size_t digits = kind == 'x' ? 2 : kind == 'u' ? 4 : kind == 'U' ? 8 : 0;
        std::uint32_t v = 0;
        bool ok = digits > 0 && i + 2 + digits <= s.size();
        for (std::size_t k = 0; ok && k < digits; ++k) {
            const int d = HexDigit(s[i + 2 + k]);
            ok = d >= 0;
            v = v << 4 | static_cast<std::uint32_t>(d < 0 ? 0 : d);
        }
        if (ok && kind != 'x' && (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out += s[i];
            continue;
        }
        if (kind == 'x')
            out += static_cast<char>(v);
        else
            AppendUtf8(out, static_cast<char32_t>(v));
        i += 1 + digits;
    }
    return out;
}

} // namespace kes
