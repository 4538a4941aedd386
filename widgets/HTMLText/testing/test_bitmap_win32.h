#pragma once
// The Wine tests' drawing target: a 32-bit top-down DIB selected into a memory context, filled
// with white, whose pixels the tests read back.
#include "platform/scoped_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kes::testdata {

class Bitmap {
public:
    Bitmap(int w, int h)
        : w_(w), h_(h), dc_(CreateCompatibleDC(nullptr)), bmp_(MakeDib(dc_.Get(), w, h, bits_)),
          selected_(dc_.Get(), bmp_.Get()) {
        RECT r{0, 0, w, h};
        FillRect(dc_.Get(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }

    HDC dc() const { return dc_.Get(); }
    // 0x00RRGGBB
    std::uint32_t Pixel(int x, int y) const {
        GdiFlush();
        return bits_[y * w_ + x] & 0xFFFFFF;
    }
    // Bounding box of all pixels that are not white; empty when there are none.
    RECT Inked() const {
        GdiFlush();
        RECT box{w_, h_, 0, 0};
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (!IsWhite(x, y)) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
    // Rows that hold at least one pixel that is not white.
    std::vector<int> InkedRows() const {
        GdiFlush();
        std::vector<int> rows;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (!IsWhite(x, y)) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    }

private:
    bool IsWhite(int x, int y) const { return (bits_[y * w_ + x] & 0xFFFFFF) == 0xFFFFFF; }

    static HBITMAP MakeDib(HDC dc, int w, int h, std::uint32_t*& bits) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr,
                                0);
    }

    int w_, h_;
    std::uint32_t* bits_ = nullptr; // set while bmp_ is made
    UniqueMemoryDC dc_;
    UniqueBitmap bmp_;
    SelectedObject selected_;
};

} // namespace kes::testdata
