// The dialogs' number reader against a plain reference: same answer for every text.
#include "console/viewer/collect_setting.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Written the long way: strip the blanks, pick the form by its first characters, and let
// 64-bit arithmetic on at most a few digits decide the range.
std::optional<std::int32_t> Reference(const std::string& all) {
    std::string t = all.substr(std::min(all.find_first_not_of(' '), all.size()));
    std::string digits;
    int base = 10;
    bool negative = false;
    if (t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0) {
        base = 16;
        digits = t.substr(2);
    } else if (!t.empty() && (t[0] == '$' || t[0] == 'x' || t[0] == 'X')) {
        base = 16;
        digits = t.substr(1);
    } else if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        digits = t.substr(1);
    } else {
        digits = t;
    }
    if (digits.empty())
        return std::nullopt;
    const std::string allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.find_first_not_of(allowed) != std::string::npos)
        return std::nullopt;
    if (base == 16) {
        if (digits.size() > 8)
            return std::nullopt;
        return static_cast<std::int32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    }
    const std::size_t nz = std::min(digits.find_first_not_of('0'), digits.size());
    if (digits.size() - nz > 10)
        return std::nullopt;
    long long v = std::strtoll(digits.c_str() + nz, nullptr, 10);
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (kes::ParseDialogNumber(text) != Reference(text))
        std::abort();
    return 0;
}
