#pragma once
// The widgets' colours as GDI takes them.
#include "toolkit/colors.h"

#include <windows.h>

namespace kes {

// A system colour as the system shows it now; an RGB colour as it is. clNone has no colour of
// its own and comes out as white, never as an invalid COLORREF.
inline COLORREF ToColorRef(TColor c) {
    if (c & kSystemColor)
        return GetSysColor(static_cast<int>(c & 0xFF));
    return static_cast<COLORREF>(c & 0x00FFFFFFu);
}

} // namespace kes
