#pragma once
// The widgets' colours: 0x00BBGGRR for an RGB colour, kSystemColor + index for a system colour
// (the index of GetSysColor), clNone for no colour. Portable: the markup engine uses them too.
#include <cstdint>

namespace kes {

using TColor = std::uint32_t;
constexpr TColor kSystemColor = 0x80000000u;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clRed = 0x000000FF;
constexpr TColor clWindow = kSystemColor + 5;
constexpr TColor clHighlight = kSystemColor + 13;
constexpr TColor clHighlightText = kSystemColor + 14;

} // namespace kes
