// The GDI drawing surface under Wine with the prefix's real fonts: metrics, text flags,
// rotation, fills, lines, focus rectangles, clipping, shell icons and pictures.
#include "widgets/HTMLText/gdi_canvas_win32.h"

#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/testing/gif_test_data.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace kes {
namespace {

constexpr unsigned kTextFlags = tfSingleLine | tfBottom | tfExpandTabs | tfExternalLeading;

using testdata::Bitmap;

SIZE RealExtent(HDC dc, const wchar_t* face, int points, const wchar_t* text) {
    UniqueFont f(CreateFontW(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL,
                             0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face));
    SelectedObject selected(dc, f.Get());
    SIZE s{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &s);
    return s;
}

TEST(GdiCanvas, FontsHaveTheMetricsOfTheRealFace) {
    Bitmap bmp(300, 100);
    GdiCanvas canvas(bmp.dc());
    canvas.font.face = "Tahoma";
    canvas.font.size = 8;
    const FontMetrics m = canvas.Metrics();
    SIZE gh = RealExtent(bmp.dc(), L"Tahoma", 8, L"gh");
    EXPECT_EQ(m.height, gh.cy);
    EXPECT_GT(m.ascent, 0);
    EXPECT_LT(m.ascent, m.height);
    EXPECT_GT(m.avgCharWidth, 0);
    EXPECT_EQ(canvas.TextHeight("gh"), gh.cy);
    EXPECT_EQ(canvas.TextWidth("Hello"), RealExtent(bmp.dc(), L"Tahoma", 8, L"Hello").cx);

    canvas.font.size = 16;
    EXPECT_GT(canvas.Metrics().height, m.height);
    canvas.font.style = fsBold;
    EXPECT_GT(canvas.TextWidth("Wide words"),
              RealExtent(bmp.dc(), L"Tahoma", 16, L"Wide words").cx);
}

TEST(GdiCanvas, MeasuresWithTheTextFlags) {
    Bitmap bmp(300, 100);
    GdiCanvas canvas(bmp.dc());
    canvas.font.face = "Tahoma";
    auto width = [&](std::string_view text, unsigned flags, int right = 1000) {
        Rect r{10, 5, right, 50};
        canvas.MeasureText(text, r, flags);
        EXPECT_EQ(r.left, 10) << text;
        return r.Width();
    };
    struct Case {
        const char* text;
        const char* same;
    } cases[] = {
        {"A&B", "AB"},   // "&" underlines the next character
        {"A&&B", "A&B"}, // "&&" draws one
        {"Kategorien", "Kategorien"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(width(c.text, kTextFlags), canvas.TextWidth(c.same)) << c.text;
    EXPECT_EQ(width("A&B", kTextFlags | tfNoPrefix), canvas.TextWidth("A&B"));
    // A tab reaches the next stop of eight average characters.
    EXPECT_EQ(width("\tx", kTextFlags), 8 * canvas.Metrics().avgCharWidth + canvas.TextWidth("x"));
    // UTF-8 and Windows-1252 text give the same glyphs.
    EXPECT_EQ(width("k\xC3\xB6nnen", kTextFlags), width("k\xF6nnen", kTextFlags));

    // The measured height includes the external leading; bottom-aligned text keeps the
    // rectangle's bottom (GDI measures from where it would draw).
    TEXTMETRICW tm{};
    GetTextMetricsW(bmp.dc(), &tm);
    Rect r{0, 0, 1000, 1000};
    canvas.MeasureText("gh", r, tfSingleLine | tfExternalLeading);
    EXPECT_EQ(r.Height(), canvas.Metrics().height + tm.tmExternalLeading);
    r = Rect{0, 0, 1000, 1000};
    canvas.MeasureText("gh", r, kTextFlags);
    EXPECT_EQ(r.bottom, 1000);
}

TEST(GdiCanvas, EndEllipsisShortensTextThatDoesNotFit) {
    Bitmap bmp(300, 40);
    GdiCanvas canvas(bmp.dc());
    canvas.font.face = "Tahoma";
    const std::string text = "Please select first the user you want to modify";
    const int full = canvas.TextWidth(text);
    Rect r{0, 0, full / 2, 30};
    canvas.DrawText(text, r, kTextFlags | tfEndEllipsis);
    RECT ink = bmp.Inked();
    EXPECT_GT(ink.right, 0);
    EXPECT_LE(ink.right, full / 2);
    // Text bottom-aligned in the rectangle.
    EXPECT_GT(ink.top, 30 - canvas.Metrics().height - 2);
    EXPECT_LE(ink.bottom, 30);
}

TEST(GdiCanvas, RotatedFontsRunUpwards) {
    Bitmap bmp(200, 200);
    GdiCanvas canvas(bmp.dc());
    canvas.font.face = "Tahoma";
    canvas.font.size = 12;
    canvas.font.escapement = 900;
    // DrawText clips to its rectangle: give the rising text room above the baseline.
    Rect r{80, 0, 200, 150};
    canvas.DrawText("Rotated text", r, kTextFlags);
    RECT ink = bmp.Inked();
    ASSERT_GT(ink.bottom, ink.top);
    EXPECT_GT(ink.bottom - ink.top, 2 * (ink.right - ink.left));
    EXPECT_LE(ink.bottom, 151); // drawn upwards from the start point
}

TEST(GdiCanvas, FillsLinesFocusRectanglesAndClipping) {
    Bitmap bmp(100, 100);
    {
        GdiCanvas canvas(bmp.dc());
        canvas.FillRect({10, 10, 20, 20}, 0x000000FF); // red, as 0x00BBGGRR
        canvas.penColor = 0x00FF0000;                  // blue
        canvas.MoveTo(0, 50);
        canvas.LineTo(30, 50);
        const Rect clip{40, 40, 60, 60};
        canvas.SetClipRect(&clip);
        canvas.FillRect({0, 0, 100, 100}, 0x0000FF00);
        canvas.SetClipRect(nullptr);
        canvas.FillRect({0, 90, 5, 95}, kSystemColor + COLOR_HIGHLIGHT);
    }
    EXPECT_EQ(bmp.Pixel(10, 10), 0xFF0000u);
    EXPECT_EQ(bmp.Pixel(19, 19), 0xFF0000u);
    EXPECT_EQ(bmp.Pixel(20, 20), 0xFFFFFFu);
    EXPECT_EQ(bmp.Pixel(0, 50), 0x0000FFu);
    EXPECT_EQ(bmp.Pixel(29, 50), 0x0000FFu);
    EXPECT_EQ(bmp.Pixel(30, 50), 0xFFFFFFu); // LineTo leaves out the end point
    EXPECT_EQ(bmp.Pixel(45, 45), 0x00FF00u);
    EXPECT_EQ(bmp.Pixel(39, 45), 0xFFFFFFu); // outside the clip
    EXPECT_EQ(bmp.Pixel(60, 60), 0xFFFFFFu);
    COLORREF hl = GetSysColor(COLOR_HIGHLIGHT);
    EXPECT_EQ(bmp.Pixel(1, 91),
              (std::uint32_t(GetRValue(hl)) << 16) | (GetGValue(hl) << 8) | GetBValue(hl));

    Bitmap focus(50, 50);
    GdiCanvas canvas(focus.dc());
    canvas.DrawFocusRect({5, 5, 30, 20});
    RECT ink = focus.Inked();
    EXPECT_EQ(ink.left, 5);
    EXPECT_EQ(ink.top, 5);
    EXPECT_EQ(ink.right, 30);
    EXPECT_EQ(ink.bottom, 20);
    EXPECT_EQ(focus.Pixel(15, 12), 0xFFFFFFu); // only the outline
    canvas.DrawFocusRect({5, 5, 30, 20});      // inverting: twice leaves nothing
    EXPECT_GT(focus.Inked().left, focus.Inked().right);
}

TEST(GdiCanvas, LeavesTheContextAsItWas) {
    Bitmap bmp(50, 50);
    HGDIOBJ font = GetCurrentObject(bmp.dc(), OBJ_FONT);
    SetBkMode(bmp.dc(), OPAQUE);
    {
        GdiCanvas canvas(bmp.dc());
        canvas.font.face = "Tahoma";
        canvas.font.size = 20;
        Rect r{0, 0, 50, 50};
        canvas.DrawText("x", r, 0);
        const Rect clip{0, 0, 5, 5};
        canvas.SetClipRect(&clip);
    }
    EXPECT_EQ(GetCurrentObject(bmp.dc(), OBJ_FONT), font);
    EXPECT_EQ(GetBkMode(bmp.dc()), OPAQUE);
    UniqueRegion rgn(CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(GetClipRgn(bmp.dc(), rgn.Get()), 0); // no clip region any more
}

TEST(GdiCanvas, SystemIconsAndImageLists) {
    Bitmap bmp(64, 64);
    GdiCanvas canvas(bmp.dc());
    Size small = canvas.SystemIconSize(false);
    Size large = canvas.SystemIconSize(true);
    EXPECT_GT(small.cx, 0);
    EXPECT_GT(large.cx, small.cx);
    wchar_t windir[MAX_PATH];
    GetWindowsDirectoryW(windir, MAX_PATH);
    // A folder that exists and a name that exists nowhere (judged by its type alone) get the
    // shell's indices, and a folder does not look like a text file.
    auto shellIndex = [](const wchar_t* name, DWORD attributes, UINT flags) {
        SHFILEINFOW info{};
        EXPECT_NE(SHGetFileInfoW(name, attributes, &info, sizeof info, SHGFI_SYSICONINDEX | flags),
                  0u);
        return info.iIcon;
    };
    const int folder = canvas.SystemIconIndex(Narrow(windir));
    const int text = canvas.SystemIconIndex(".txt");
    EXPECT_EQ(folder, shellIndex(windir, 0, 0));
    EXPECT_EQ(text, shellIndex(L".txt", FILE_ATTRIBUTE_NORMAL, SHGFI_USEFILEATTRIBUTES));
    EXPECT_NE(folder, text);
    canvas.DrawSystemIcon(folder, true, 0, 0);
    RECT ink = bmp.Inked();
    // Drawn, large, and within the large size.
    ASSERT_LT(ink.left, ink.right);
    EXPECT_GT(ink.right, small.cx);
    EXPECT_LE(ink.right, large.cx);
    EXPECT_LE(ink.bottom, large.cy);

    UniqueImageList list(ImageList_Create(12, 10, ILC_COLOR32, 2, 0));
    UniqueBitmap strip(CreateBitmap(24, 10, 1, 32, nullptr));
    {
        UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
        SelectedObject selected(dc.Get(), strip.Get());
        RECT r{0, 0, 24, 10};
        UniqueBrush red(CreateSolidBrush(RGB(255, 0, 0)));
        FillRect(dc.Get(), &r, red.Get());
    }
    ImageList_Add(list.Get(), strip.Get(), nullptr);
    GdiImageList images(list.Get());
    EXPECT_EQ(images.Count(), 2);
    EXPECT_EQ(images.Width(), 12);
    EXPECT_EQ(images.Height(), 10);
    Bitmap target(40, 40);
    {
        GdiCanvas c(target.dc());
        c.DrawImage(images, 1, 20, 20);
    }
    RECT drawn = target.Inked();
    EXPECT_EQ(drawn.left, 20);
    EXPECT_EQ(drawn.right, 32);
    EXPECT_EQ(drawn.bottom, 30);
}

TEST(GdiCanvas, RendersPicturesAtTheSurfaceResolution) {
    THTMLPicture pic;
    pic.LoadFromBytes(testdata::MakePng(6, 4, 0, 0, 0));
    Bitmap bmp(40, 40);
    {
        GdiCanvas canvas(bmp.dc());
        ASSERT_EQ(canvas.PixelsPerInchX(), GetDeviceCaps(bmp.dc(), LOGPIXELSX));
        pic.DrawAt(canvas, 10, 10);
        pic.DrawStretched(canvas, {0, 30, 20, 40});
    }
    const int ppi = GetDeviceCaps(bmp.dc(), LOGPIXELSX);
    RECT ink = bmp.Inked();
    EXPECT_EQ(ink.top, 10);
    EXPECT_EQ(ink.right, std::max(10 + MulDiv(6, ppi, 96), 20));
    EXPECT_EQ(bmp.Pixel(19, 39), 0u);
    EXPECT_EQ(bmp.Pixel(10, 10), 0u);
}

} // namespace
} // namespace kes
