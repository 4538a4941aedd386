#pragma once
// The markup engine's drawing surface over a GDI device context.
#include "toolkit/colors_win32.h"
#include "widgets/HTMLText/canvas.h"

#include <windows.h>

#include <commctrl.h>

// windows.h maps DrawText to DrawTextW, which hides Canvas::DrawText; call DrawTextW by name.
#undef DrawText

namespace kes {

// An image list handle as the engine's ImageList; the handle stays the caller's.
class GdiImageList : public ImageList {
public:
    explicit GdiImageList(HIMAGELIST list) : list_(list) {}
    int Count() const override;
    int Width() const override;
    int Height() const override;
    HIMAGELIST Handle() const { return list_; }

private:
    HIMAGELIST list_;
};

// Draws on a device context that stays the caller's. The context's state (selected font, clip
// region, colours, background mode) is restored when the canvas goes.
class GdiCanvas : public Canvas {
public:
    // dpi: what fonts and pictures are sized for; 0 takes the context's own.
    explicit GdiCanvas(HDC dc, int dpi = 0);
    ~GdiCanvas() override;

    HDC Handle() const { return dc_; }

    int PixelsPerInchX() const override;
    int PixelsPerInchY() const override;
    void RenderPicture(const DecodedPicture& picture, const PictureRect& rect) override;
    void DrawImage(const ImageList& images, int index, int x, int y) override;
    int SystemIconIndex(const std::string& path) override;
    Size SystemIconSize(bool large) override;
    void DrawSystemIcon(int index, bool large, int x, int y) override;

    // A colour of the widgets as a GDI colour: system colours are looked up.
    // Text of the engine: UTF-8 when it is valid UTF-8, else Windows-1252 bytes.
    static std::wstring ToWide(std::string_view text);

protected:
    FontHandle CreateFontHandle(const FontSpec& desc, FontMetrics& metrics) override;
    FontCache::Release FontReleaser() const override;
    void SelectFontHandle(FontHandle font) override;
    Size DoTextExtent(std::string_view text) override;
    void DoDrawText(std::string_view text, Rect& r, unsigned flags, TColor color,
                    TColor background) override;
    void DoFillRect(const Rect& r, TColor color) override;
    void DoLine(int x0, int y0, int x1, int y1, TColor color, int width) override;
    void DoDrawFocusRect(const Rect& r) override;
    void DoSetClipRect(const Rect* r) override;
    void DoFrame3D(const Rect& r, TColor topLeft, TColor bottomRight, int width) override;
    void DoRectangle(const Rect& r, TColor pen, int width, TColor fill) override;
    void DoScrollArrow(const Rect& r, bool up) override;

public:
    Rect VisibleBounds() const override;

private:
    HDC dc_;
    int saved_;
    int dpi_;
};

} // namespace kes
