#include "widgets/HTMLText/gdi_canvas_win32.h"

#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "widgets/HTMLText/ole_picture_win32.h"

#include <shellapi.h>

namespace kes {
namespace {

RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

HIMAGELIST SystemImageList(bool large) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_SYSICONINDEX | (large ? 0 : SHGFI_SMALLICON);
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"", 0, &info, sizeof info, flags));
}

} // namespace

int GdiImageList::Count() const {
    return list_ ? ImageList_GetImageCount(list_) : 0;
}

int GdiImageList::Width() const {
    int w = 0, h = 0;
    if (list_)
        ImageList_GetIconSize(list_, &w, &h);
    return w;
}

int GdiImageList::Height() const {
    int w = 0, h = 0;
    if (list_)
        ImageList_GetIconSize(list_, &w, &h);
    return h;
}

GdiCanvas::GdiCanvas(HDC dc, int dpi) : dc_(dc), saved_(SaveDC(dc)), dpi_(dpi) {}

GdiCanvas::~GdiCanvas() {
    // Our fonts can only be deleted once the context no longer holds one of them.
    RestoreDC(dc_, saved_);
    ReleaseFonts();
}

std::wstring GdiCanvas::ToWide(std::string_view text) {
    if (text.empty())
        return {};
    const int n = static_cast<int>(text.size());
    for (UINT cp : {UINT(CP_UTF8), UINT(1252)}) {
        DWORD flags = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int len = MultiByteToWideChar(cp, flags, text.data(), n, nullptr, 0);
        if (len <= 0)
            continue;
        std::wstring out(static_cast<std::size_t>(len), L'\0');
        MultiByteToWideChar(cp, flags, text.data(), n, out.data(), len);
        return out;
    }
    return {};
}

int GdiCanvas::PixelsPerInchX() const {
    return dpi_ > 0 ? dpi_ : GetDeviceCaps(dc_, LOGPIXELSX);
}
int GdiCanvas::PixelsPerInchY() const {
    return dpi_ > 0 ? dpi_ : GetDeviceCaps(dc_, LOGPIXELSY);
}

void GdiCanvas::RenderPicture(const DecodedPicture& picture, const PictureRect& r) {
    if (const auto* ole = dynamic_cast<const OlePicture*>(&picture))
        ole->Render(dc_, RECT{r.left, r.top, r.right, r.bottom});
}

void GdiCanvas::DrawImage(const ImageList& images, int index, int x, int y) {
    if (const auto* list = dynamic_cast<const GdiImageList*>(&images))
        if (list->Handle())
            ImageList_Draw(list->Handle(), index, dc_, x, y, ILD_TRANSPARENT);
}

int GdiCanvas::SystemIconIndex(const std::string& path) {
    std::wstring w = ToWide(path);
    SHFILEINFOW info{};
    UINT flags = SHGFI_SYSICONINDEX;
    DWORD attributes = 0;
    // A name that exists nowhere is judged by its file attributes alone (".txt" gives the
    // icon of text files).
    if (GetFileAttributesW(w.c_str()) == INVALID_FILE_ATTRIBUTES) {
        flags |= SHGFI_USEFILEATTRIBUTES;
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SHGetFileInfoW(w.c_str(), attributes, &info, sizeof info, flags))
        return 0;
    return info.iIcon;
}

Size GdiCanvas::SystemIconSize(bool large) {
    int w = 0, h = 0;
    if (HIMAGELIST list = SystemImageList(large))
        ImageList_GetIconSize(list, &w, &h);
    return {w, h};
}

void GdiCanvas::DrawSystemIcon(int index, bool large, int x, int y) {
    if (HIMAGELIST list = SystemImageList(large))
        ImageList_Draw(list, index, dc_, x, y, ILD_TRANSPARENT);
}

Canvas::FontHandle GdiCanvas::CreateFontHandle(const FontSpec& desc, FontMetrics& metrics) {
    LOGFONTW lf{};
    lf.lfHeight = desc.size == 0 ? 0 : -MulDiv(desc.size, PixelsPerInchY(), 72);
    lf.lfWeight = (desc.style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (desc.style & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (desc.style & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (desc.style & fsStrikeOut) ? TRUE : FALSE;
    lf.lfEscapement = desc.escapement;
    lf.lfOrientation = desc.escapement;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    std::wstring face = Widen(desc.face);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font)
        font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    {
        SelectedObject selected(dc_, font);
        GetTextMetricsW(dc_, &tm);
    }
    metrics.height = tm.tmHeight;
    metrics.ascent = tm.tmAscent;
    metrics.avgCharWidth = tm.tmAveCharWidth;
    return reinterpret_cast<FontHandle>(font);
}

FontCache::Release GdiCanvas::FontReleaser() const {
    // A font outlives the context it was made on: any context may select it.
    return [](FontHandle font) { DeleteObject(reinterpret_cast<HGDIOBJ>(font)); };
}

void GdiCanvas::SelectFontHandle(FontHandle font) {
    // Stays selected until the next font: RestoreDC gives the context its own back.
    SelectObject(dc_, reinterpret_cast<HGDIOBJ>(font));
}

Size GdiCanvas::DoTextExtent(std::string_view text) {
    std::wstring w = ToWide(text);
    SIZE s{};
    GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &s);
    return {s.cx, s.cy};
}

void GdiCanvas::DoDrawText(std::string_view text, Rect& r, unsigned flags, TColor color,
                           TColor background) {
    std::wstring w = ToWide(text);
    RECT rc = ToRECT(r);
    SetTextColor(dc_, ToColorRef(color));
    if (background == clNone) {
        SetBkMode(dc_, TRANSPARENT);
    } else {
        SetBkMode(dc_, OPAQUE);
        SetBkColor(dc_, ToColorRef(background));
    }
    // DrawTextW may write the shortened text back with DT_MODIFYSTRING only; never asked here.
    ::DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, flags);
    if (flags & tfCalcRect)
        r = Rect{rc.left, rc.top, rc.right, rc.bottom};
}

void GdiCanvas::DoFillRect(const Rect& r, TColor color) {
    if (color == clNone)
        return;
    RECT rc = ToRECT(r);
    UniqueBrush brush(CreateSolidBrush(ToColorRef(color)));
    ::FillRect(dc_, &rc, brush.Get());
}

void GdiCanvas::DoLine(int x0, int y0, int x1, int y1, TColor color, int width) {
    UniquePen pen(CreatePen(PS_SOLID, width, ToColorRef(color)));
    SelectedObject selected(dc_, pen.Get());
    MoveToEx(dc_, x0, y0, nullptr);
    ::LineTo(dc_, x1, y1);
}

void GdiCanvas::DoDrawFocusRect(const Rect& r) {
    RECT rc = ToRECT(r);
    // DrawFocusRect inverts with the text colours of the context: make them the usual ones.
    COLORREF oldText = SetTextColor(dc_, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dc_, RGB(255, 255, 255));
    ::DrawFocusRect(dc_, &rc);
    SetTextColor(dc_, oldText);
    SetBkColor(dc_, oldBk);
}

void GdiCanvas::DoSetClipRect(const Rect* r) {
    if (!r) {
        SelectClipRgn(dc_, nullptr);
        return;
    }
    UniqueRegion rgn(CreateRectRgn(r->left, r->top, r->right, r->bottom));
    SelectClipRgn(dc_, rgn.Get()); // the context keeps a copy
}

Rect GdiCanvas::VisibleBounds() const {
    RECT rc;
    if (GetClipBox(dc_, &rc) == ERROR)
        return Canvas::VisibleBounds();
    return Rect{rc.left, rc.top, rc.right, rc.bottom};
}

void GdiCanvas::DoFrame3D(const Rect& r, TColor topLeft, TColor bottomRight, int width) {
    RECT rc = ToRECT(r);
    for (int i = 0; i < width && rc.right > rc.left && rc.bottom > rc.top; ++i) {
        UniqueBrush tl(CreateSolidBrush(ToColorRef(topLeft)));
        UniqueBrush br(CreateSolidBrush(ToColorRef(bottomRight)));
        RECT top{rc.left, rc.top, rc.right - 1, rc.top + 1};
        RECT left{rc.left, rc.top, rc.left + 1, rc.bottom - 1};
        RECT bottom{rc.left, rc.bottom - 1, rc.right, rc.bottom};
        RECT right{rc.right - 1, rc.top, rc.right, rc.bottom};
        ::FillRect(dc_, &top, tl.Get());
        ::FillRect(dc_, &left, tl.Get());
        ::FillRect(dc_, &bottom, br.Get());
        ::FillRect(dc_, &right, br.Get());
        InflateRect(&rc, -1, -1);
    }
}

void GdiCanvas::DoRectangle(const Rect& r, TColor pen, int width, TColor fill) {
    // Square corners: a wide pen of its own would round them.
    const LOGBRUSH lb{BS_SOLID, ToColorRef(pen), 0};
    UniquePen p(width > 1
                    ? ExtCreatePen(PS_GEOMETRIC | PS_INSIDEFRAME | PS_JOIN_MITER | PS_ENDCAP_SQUARE,
                                   static_cast<DWORD>(width), &lb, 0, nullptr)
                    : CreatePen(PS_INSIDEFRAME, width, ToColorRef(pen)));
    UniqueBrush b(fill == clNone ? nullptr : CreateSolidBrush(ToColorRef(fill)));
    SelectedObject selectedPen(dc_, p.Get());
    SelectedObject selectedBrush(dc_, fill == clNone ? GetStockObject(NULL_BRUSH) : b.Get());
    ::Rectangle(dc_, r.left, r.top, r.right, r.bottom);
}

void GdiCanvas::DoScrollArrow(const Rect& r, bool up) {
    RECT rc = ToRECT(r);
    DrawFrameControl(dc_, &rc, DFC_SCROLL, (up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN) | DFCS_FLAT);
}

} // namespace kes
