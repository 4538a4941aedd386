#pragma once
// The high-resolution clock the timing programs read.
#include <windows.h>

namespace kes {

inline double MillisecondsNow() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

} // namespace kes
