#include "platform/utf_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

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
