#include "platform/utf_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

TEST(Utf, RoundTripsUtf8ThroughUtf16) {
    const std::string s = "Synchronisationsempf\xC3\xA4nger \xE2\x82\xAC";
    std::wstring w = kes::Widen(s);
    EXPECT_EQ(w, L"Synchronisationsempf\u00e4nger \u20ac");
    EXPECT_EQ(kes::Narrow(w), s);
    EXPECT_EQ(kes::Widen(""), L"");
}

TEST(Utf, AnsiIsWindows1252HereAndKeepsEveryByte) {
    // The Wine prefix runs with code page 1252, as a western Windows does.
    ASSERT_EQ(GetACP(), 1252u);
    EXPECT_EQ(kes::WidenAnsi("\xE4\x80"), L"\u00e4\u20ac");
    EXPECT_EQ(kes::NarrowAnsi(L"\u00e4\u20ac"), "\xE4\x80");
}

// Texts beyond INT_MAX units are refused before the API sees a truncated length. The memory is
// committed but never touched, so the test costs address space only.
TEST(Utf, SizesAboveIntMaxAreRefusedNotTruncated) {
    const size_t units = static_cast<size_t>(INT_MAX) + 1;
    void* mem =
        VirtualAlloc(nullptr, units * sizeof(wchar_t), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(mem, nullptr);
    const std::string_view bytes(static_cast<const char*>(mem), units);
    const std::wstring_view wide(static_cast<const wchar_t*>(mem), units);
    EXPECT_THROW(kes::Widen(bytes), std::length_error);
    EXPECT_THROW(kes::WidenAnsi(bytes), std::length_error);
    EXPECT_THROW(kes::Narrow(wide), std::length_error);
    EXPECT_THROW(kes::NarrowAnsi(wide), std::length_error);
    VirtualFree(mem, 0, MEM_RELEASE);
}
