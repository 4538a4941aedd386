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
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clWindow = kSystemColor + 5;
constexpr TColor clHighlight = kSystemColor + 13;
constexpr TColor clHighlightText = kSystemColor + 14;
constexpr TColor clBtnFace = kSystemColor + 15;
constexpr TColor clBtnShadow = kSystemColor + 16;
constexpr TColor clGrayText = kSystemColor + 17;
constexpr TColor clBtnText = kSystemColor + 18;
constexpr TColor clBtnHighlight = kSystemColor + 20;
constexpr TColor clHotLight = kSystemColor + 26;

} // namespace kes
