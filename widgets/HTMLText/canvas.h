// The drawing surface the markup engine works on. The engine never asks the OS anything itself:
// a surface (GDI on Windows, a recording one in the tests) implements the protected primitives,
// and the public part keeps the state a device context would keep (font, text background, pen,
// current position) and turns font descriptions into the surface's font handles.
#pragma once

#include "toolkit/colors.h"
#include "toolkit/component.h"
#include "widgets/HTMLText/picture_decoder.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Whichever comes first, this header or <windows.h> (which maps DrawText to DrawTextW), the
// surface's own DrawText keeps its name.
#ifdef DrawText
#undef DrawText
#endif

namespace kes {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int cx = 0, cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

enum TFontStyle : unsigned {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};

// What a font is made from. The colour travels with the font, as in a form's Font property, but
// is not part of the handle: the surface gets it with every text call.
struct FontSpec {
    std::string face = "MS Sans Serif"; // UTF-8
    int size = 8;                       // points; 0 lets the surface choose its default height
    TColor color = clBlack;
    unsigned style = 0; // TFontStyle bits
    int escapement = 0; // tenths of a degree, counter-clockwise; orientation follows it
    bool SameHandle(const FontSpec& o) const {
        return face == o.face && size == o.size && style == o.style && escapement == o.escapement;
    }
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// Filled in by the surface once, when it makes the font.
struct FontMetrics {
    int height = 0;       // cell height, the height of any single-line text such as "gh"
    int ascent = 0;       // baseline from the cell top
    int avgCharWidth = 0; // average character width
};

// Text flags. The values are those of the Windows DrawText flags, so the GDI surface passes
// them through unchanged. Flags 0 draw from the rectangle's top-left corner.
enum TTextFlag : unsigned {
    tfBottom = 0x0008,          // single line: aligned to the rectangle's bottom
    tfSingleLine = 0x0020,      // no line breaks
    tfExpandTabs = 0x0040,      // tabs to the next multiple of eight average characters
    tfExternalLeading = 0x0200, // the font's external leading is part of the line height
    tfCalcRect = 0x0400,        // measure only: right and bottom of the rectangle are set
    tfNoPrefix = 0x0800,        // "&" is an ordinary character (without it "&x" underlines
                                // x and "&&" shows one "&")
    tfEndEllipsis = 0x8000,     // text wider than the rectangle ends in "..."; when measured,
                                // the width is that of the shortened text
};

// A list of equally sized images chosen by index; the surface that draws it knows the concrete
// kind (the GDI surface draws an image-list handle). A component, so that a label naming it
// hears of its end.
class ImageList : public TComponent {
public:
    explicit ImageList(TComponent* owner = nullptr) : TComponent(owner) {}
    virtual int Count() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

using FontHandle = std::uintptr_t;

// Fonts made by surfaces, kept by description. A surface keeps its own by default; a control
// that lays out on every mouse move hands its surfaces one cache for its whole life, so fonts
// are made once, not once per paint.
class FontCache {
public:
    using Release = void (*)(FontHandle);
    FontCache() = default;
    FontCache(const FontCache&) = delete;
    FontCache& operator=(const FontCache&) = delete;
    ~FontCache() { Clear(); }
    void Clear();
    std::size_t Count() const { return fonts_.size(); }

private:
    friend class Canvas;
    // What a font's texts measured: a layout measures the same words on every pass, paint and
    // mouse move, and a font's measures never change.
    struct Measured {
        Size extent{-1, -1};     // TextExtent; cx -1 until asked
        unsigned widthFlags = 0; // the flags of width
        int width = -1;          // LineWidth; -1 until asked
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    struct Entry {
        FontSpec desc;
        FontHandle handle;
        FontMetrics metrics;
        Release release;
        std::unordered_map<std::string, Measured, Hash, std::equal_to<>> measured;
    };
    std::vector<Entry> fonts_; // most recently used last
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// Pictures are rendered through the PictureSurface part (RenderPicture), which THTMLPicture
// calls from its Draw.
class Canvas : public PictureSurface {
public:
    using FontHandle = kes::FontHandle;

    Canvas() = default;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    virtual ~Canvas() = default;

    // Device-context state, changed freely by the engine.
    FontSpec font;         // the current font
    TColor brush = clNone; // text background and fill colour; clNone: transparent text
    TColor penColor = clBlack;
    int penWidth = 1;

    // Metrics of the current font (the handle is made on first use and kept).
    const FontMetrics& Metrics();
    // Extent of a string in the current font, no prefix or tab handling (GetTextExtentPoint32).
    Size TextExtent(std::string_view text);
    int TextWidth(std::string_view text) { return TextExtent(text).cx; }
    int TextHeight(std::string_view text) { return TextExtent(text).cy; }
    // Width of one line of text as MeasureText gives it; flags hold tfSingleLine and not
    // tfEndEllipsis, so the width depends on the text and the font only.
    int LineWidth(std::string_view text, unsigned flags);

    // Draws single-line or top-left text in the current font and colour, on the brush when it is
    // not clNone. With tfCalcRect nothing is drawn and r.right, r.bottom receive the extent.
    void DrawText(std::string_view text, Rect& r, unsigned flags);
    // Same as DrawText with tfCalcRect added.
    void MeasureText(std::string_view text, Rect& r, unsigned flags) {
        DrawText(text, r, flags | tfCalcRect);
    }

    // Fills r with the colour, outline included (a rectangle drawn with pen and brush of it).
    void FillRect(const Rect& r, TColor color) { DoFillRect(r, color); }
    // Lines with the current pen; LineTo leaves out the end point, as GDI does.
    void MoveTo(int x, int y) { posX = x, posY = y; }
    void LineTo(int x, int y);
    // Dotted, inverting: drawing it twice in the same place removes it.
    void DrawFocusRect(const Rect& r) { DoDrawFocusRect(r); }
    // Clips all drawing to r; nullptr removes the clipping.
    void SetClipRect(const Rect* r) {
        clip_ = r ? std::optional<Rect>(*r) : std::nullopt;
        DoSetClipRect(r);
    }
    // What drawing can still reach: the device's bounds within the clipping.
    virtual Rect VisibleBounds() const;

    // The label's frames. A 3-D frame of width lines just inside r (top and left in topLeft,
    // bottom and right in bottomRight); r shrinks by width.
    void Frame3D(Rect& r, TColor topLeft, TColor bottomRight, int width);
    // r outlined with the current pen (colour, width) and filled with the brush.
    void Rectangle(const Rect& r) { DoRectangle(r, penColor, penWidth, brush); }
    // The flat frame of a small scroll arrow filling r.
    void ScrollArrow(const Rect& r, bool up) { DoScrollArrow(r, up); }

    // Fonts from then on come from and stay in cache, which must outlive the surface.
    void ShareFonts(FontCache& cache) {
        ReleaseFonts();
        cache_ = &cache;
    }

    // From PictureSurface: PixelsPerInchX, PixelsPerInchY, RenderPicture.

    // Image `index` of the list with its top-left at (x, y).
    virtual void DrawImage(const ImageList& images, int index, int x, int y) = 0;

    // The shell's system icons: the index for a path (an existing file or folder, or else a name
    // judged by its file attributes alone, such as ".txt"), the size of the small or large list,
    // and drawing one transparently. A surface without icons answers 0, (0, 0) and draws nothing.
    virtual int SystemIconIndex(const std::string& path) = 0;
    virtual Size SystemIconSize(bool large) = 0;
    virtual void DrawSystemIcon(int index, bool large, int x, int y) = 0;

    int PenX() const { return posX; }
    int PenY() const { return posY; }

protected:
    // Makes a font and fills its metrics; the handle stays valid until FontReleaser frees it.
    virtual FontHandle CreateFontHandle(const FontSpec& desc, FontMetrics& metrics) = 0;
    // Makes the font current for the text calls that follow.
    virtual void SelectFontHandle(FontHandle font) = 0;
    virtual Size DoTextExtent(std::string_view text) = 0;
    // color is the font colour; background clNone means transparent.
    virtual void DoDrawText(std::string_view text, Rect& r, unsigned flags, TColor color,
                            TColor background) = 0;
    virtual void DoFillRect(const Rect& r, TColor color) = 0;
    virtual void DoLine(int x0, int y0, int x1, int y1, TColor color, int width) = 0;
    virtual void DoDrawFocusRect(const Rect& r) = 0;
    virtual void DoSetClipRect(const Rect* r) = 0;
    virtual void DoFrame3D(const Rect& r, TColor topLeft, TColor bottomRight, int width) = 0;
    virtual void DoRectangle(const Rect& r, TColor pen, int width, TColor fill) = 0;
    virtual void DoScrollArrow(const Rect& r, bool up) = 0;
    // How the cache frees this surface's fonts once no surface uses them.
    virtual FontCache::Release FontReleaser() const = 0;
    const std::optional<Rect>& Clip() const { return clip_; }

    // A surface calls this in its destructor, once its context no longer holds one of its fonts,
    // to free the fonts it made (a shared cache keeps them).
    void ReleaseFonts();

private:
    FontCache::Entry& Realize();
    FontCache::Measured& Measures(FontCache::Entry& f, std::string_view text);

    FontCache own_;
    FontCache* cache_ = &own_;
    std::optional<Rect> clip_;
    FontHandle selected = 0;
    bool haveSelected = false;
    int posX = 0, posY = 0;
};

} // namespace kes
