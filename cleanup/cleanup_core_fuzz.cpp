// Arbitrary registry data through the matcher and the trace spelling, checked against a plain
// search.
#include "cleanup/cleanup_core.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::size_t units = std::min(size / 2, cleanup::kValueUnits);
    const bool cut = size / 2 > units;
    std::vector<char16_t> data(units + 1);
    for (std::size_t i = 0; i < units; ++i)
        data[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    std::u16string lower(data.data(), units);
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    bool expected = false;
    for (std::u16string_view file : {u"kestrova.dll", u"tarnwick.dll"})
        for (std::size_t at = lower.find(file, 1); at != std::u16string::npos;
             at = lower.find(file, at + 1)) {
            const char16_t before = lower[at - 1];
            const std::size_t end = at + file.size();
            expected = expected || ((before == u'\\' || before == u'/' || before == 0) &&
                                    (end == lower.size() ? !cut : lower[end] == 0));
        }
    if (cleanup::NamesAddIn(std::u16string_view(data.data(), units), cut) != expected)
        std::abort();
    std::u16string_view text = cleanup::MakeDataText(data.data(), units);
    std::string utf8;
    cleanup::AppendUtf8(utf8, text);
    if (text.find(u'\0') != std::u16string::npos || cleanup::LowBytes(text).size() != units ||
        utf8.size() < units || utf8.size() > 3 * units)
        std::abort();
    return 0;
}
