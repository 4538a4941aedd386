// A drawing surface with simple fixed metrics that records what is drawn where, so that tests
// can state exact positions. Every character (UTF-8 code point) of a font of size s points is
// s / 2 pixels wide and every line s * 3 / 2 pixels high (size 0 counts as 8): an 8-point font
// has 4 x 12 pixel cells. Tabs go to the next multiple of eight cells; "&" is the mnemonic
// prefix unless tfNoPrefix; tfEndEllipsis shortens text to whole cells followed by "...".
#pragma once

#include "widgets/HTMLText/canvas.h"

#include <string>
#include <vector>

namespace kes {

struct DrawOp {
    enum Kind {
        Text,
        Fill,
        Line,
        Focus,
        Clip,
        Unclip,
        Picture,
        Image,
        Icon,
        Frame3D,   // rect; color top-left, x0 bottom-right colour, x1 width
        Rectangle, // rect; color the pen, x0 its width, x1 the fill
        Arrow,     // rect; large: the up arrow
    } kind = Text;
    std::string text;        // text: as shown (prefix processed, shortened)
    Rect rect;               // text: the text's own cell; fill, focus, clip, picture: the rectangle
    FontSpec font;           // text: the font (colour included)
    TColor color = clNone;   // text: background (clNone: transparent); fill, line: the colour
    int underlinedChar = -1; // text: index of the character a mnemonic underlines
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // line; image and icon: (x0, y0) and x1 = index
    bool large = false;
};

class RecordingCanvas : public Canvas {
public:
    RecordingCanvas();
    ~RecordingCanvas() override;

    std::vector<DrawOp> ops;
    int ppiX = 96, ppiY = 96;
    int fontsMade = 0;
    static inline int fontsAlive = 0; // over all recording surfaces and caches
    // The device's bounds: drawing outside them cannot be seen.
    Rect device{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};
    Rect VisibleBounds() const override;

    // Test helpers.
    std::vector<DrawOp> Texts() const;
    std::string AllText() const; // the texts drawn, concatenated in drawing order
    static int CellWidth(int size) { return (size > 0 ? size : 8) / 2; }
    static int CellHeight(int size) { return (size > 0 ? size : 8) * 3 / 2; }

    int PixelsPerInchX() const override { return ppiX; }
    int PixelsPerInchY() const override { return ppiY; }
    void RenderPicture(const DecodedPicture& picture, const PictureRect& rect) override;
    void DrawImage(const ImageList& images, int index, int x, int y) override;
    int SystemIconIndex(const std::string& path) override;
    Size SystemIconSize(bool large) override;
    void DrawSystemIcon(int index, bool large, int x, int y) override;

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

private:
    FontSpec current;
};

// A list of count images of w x h pixels.
class TestImageList : public ImageList {
public:
    TestImageList(int count, int w, int h) : count_(count), w_(w), h_(h) {}
    int Count() const override { return count_; }
    int Width() const override { return w_; }
    int Height() const override { return h_; }

private:
    int count_, w_, h_;
};

} // namespace kes
