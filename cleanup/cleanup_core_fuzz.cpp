// Arbitrary registry data through the matcher and the trace spelling, checked against a plain
// search.
#include "cleanup/cleanup_core.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::size_t units = std::min(size / 2, cleanup::kValueUnits);
    std::vector<char16_t> data(units + 1);
    for (std::size_t i = 0; i < units; ++i)
        data[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    std::u16string_view text = cleanup::MakeDataText(data.data(), units);
    std::u16string copy(text);
    bool expected = false;
    for (std::u16string_view file : {u"kestrova.dll", u"tarnwick.dll"})
        expected = expected || (copy.size() > 1 && copy.find(file, 1) != std::u16string::npos);
    if (cleanup::NamesAddIn(text) != expected || copy.find(u'\0') != std::u16string::npos ||
        cleanup::LowBytes(text).size() != units)
        std::abort();
    return 0;
}
