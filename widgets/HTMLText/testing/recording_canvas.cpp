#include "widgets/HTMLText/testing/recording_canvas.h"

#include <algorithm>

namespace kes {

namespace {

// Splits UTF-8 into code points, each kept as its bytes.
std::vector<std::string> Chars(std::string_view s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = 1;
        while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80)
            ++n;
        out.emplace_back(s.substr(i, n));
        i += n;
    }
    return out;
}

} // namespace

RecordingCanvas::RecordingCanvas() = default;

RecordingCanvas::~RecordingCanvas() {
    ReleaseFonts();
}

Canvas::FontHandle RecordingCanvas::CreateFontHandle(const FontSpec& desc, FontMetrics& metrics) {
    ++fontsMade;
    ++fontsAlive;
    metrics.height = CellHeight(desc.size);
    metrics.ascent = metrics.height * 3 / 4;
    metrics.avgCharWidth = CellWidth(desc.size);
    // The handle is a copy of the description, so any recording surface can select it.
    return reinterpret_cast<FontHandle>(new FontSpec(desc));
}

FontCache::Release RecordingCanvas::FontReleaser() const {
    return [](FontHandle font) {
        delete reinterpret_cast<FontSpec*>(font);
        --fontsAlive;
    };
}

void RecordingCanvas::SelectFontHandle(FontHandle font) {
    current = *reinterpret_cast<const FontSpec*>(font);
}

Size RecordingCanvas::DoTextExtent(std::string_view text) {
    int n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return {n * CellWidth(current.size), CellHeight(current.size)};
}

void RecordingCanvas::DoDrawText(std::string_view text, Rect& r, unsigned flags, TColor color,
                                 TColor background) {
    const int cw = CellWidth(current.size), ch = CellHeight(current.size);
    if ((flags & tfCalcRect) && text.find_first_of("&\t") == std::string_view::npos) {
        // Plain text: the common case of the engine's measuring, kept cheap for the benchmark.
        int n = 0;
        for (char c : text)
            n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (!(flags & tfEndEllipsis) || n * cw <= r.Width()) {
            r.right = r.left + n * cw;
            r.bottom = r.top + ch;
            return;
        }
    }
    // Shown characters with their widths, after prefix and tab handling.
    std::vector<std::string> shown;
    std::vector<int> widths;
    int underlined = -1;
    std::vector<std::string> chars = Chars(text);
    int x = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        std::string c = chars[i];
        if (!(flags & tfNoPrefix) && c == "&") {
            if (i + 1 >= chars.size())
                break; // a trailing prefix shows nothing
            ++i;
            c = chars[i];
            if (c != "&")
                underlined = static_cast<int>(shown.size());
        }
        int w = cw;
        if (c == "\t" && (flags & tfExpandTabs)) {
            int tab = 8 * cw;
            w = tab - x % tab;
        }
        shown.push_back(c);
        widths.push_back(w);
        x += w;
    }
    int width = x;
    if ((flags & tfEndEllipsis) && width > r.Width()) {
        int room = r.Width() - 3 * cw;
        std::size_t keep = 0;
        int used = 0;
        while (keep < shown.size() && used + widths[keep] <= room)
            used += widths[keep++];
        shown.resize(keep);
        shown.insert(shown.end(), {".", ".", "."});
        width = used + 3 * cw;
        if (underlined >= static_cast<int>(keep))
            underlined = -1;
    }
    if (flags & tfCalcRect) {
        r.right = r.left + width;
        r.bottom = r.top + ch;
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Text;
    for (const std::string& c : shown)
        op.text += c;
    int top = ((flags & tfSingleLine) && (flags & tfBottom)) ? r.bottom - ch : r.top;
    op.rect = {r.left, top, r.left + width, top + ch};
    op.font = current;
    op.font.color = color;
    op.color = background;
    op.underlinedChar = underlined;
    ops.push_back(op);
}

void RecordingCanvas::DoFillRect(const Rect& r, TColor color) {
    DrawOp op;
    op.kind = DrawOp::Fill;
    op.rect = r;
    op.color = color;
    ops.push_back(op);
}

void RecordingCanvas::DoLine(int x0, int y0, int x1, int y1, TColor color, int) {
    DrawOp op;
    op.kind = DrawOp::Line;
    op.x0 = x0, op.y0 = y0, op.x1 = x1, op.y1 = y1;
    op.color = color;
    ops.push_back(op);
}

void RecordingCanvas::DoDrawFocusRect(const Rect& r) {
    DrawOp op;
    op.kind = DrawOp::Focus;
    op.rect = r;
    ops.push_back(op);
}

void RecordingCanvas::DoSetClipRect(const Rect* r) {
    DrawOp op;
    op.kind = r ? DrawOp::Clip : DrawOp::Unclip;
    if (r)
        op.rect = *r;
    ops.push_back(op);
}

void RecordingCanvas::RenderPicture(const DecodedPicture&, const PictureRect& rect) {
    DrawOp op;
    op.kind = DrawOp::Picture;
    op.rect = {rect.left, rect.top, rect.right, rect.bottom};
    ops.push_back(op);
}

void RecordingCanvas::DrawImage(const ImageList&, int index, int x, int y) {
    DrawOp op;
    op.kind = DrawOp::Image;
    op.x0 = x, op.y0 = y, op.x1 = index;
    ops.push_back(op);
}

int RecordingCanvas::SystemIconIndex(const std::string& path) {
    return static_cast<int>(path.size()); // stands for the shell's answer
}

Size RecordingCanvas::SystemIconSize(bool large) {
    return large ? Size{32, 32} : Size{16, 16};
}

void RecordingCanvas::DrawSystemIcon(int index, bool large, int x, int y) {
    DrawOp op;
    op.kind = DrawOp::Icon;
    op.x0 = x, op.y0 = y, op.x1 = index;
    op.large = large;
    ops.push_back(op);
}

Rect RecordingCanvas::VisibleBounds() const {
    Rect v = Canvas::VisibleBounds();
    return {std::max(v.left, device.left), std::max(v.top, device.top),
            std::min(v.right, device.right), std::min(v.bottom, device.bottom)};
}

void RecordingCanvas::DoFrame3D(const Rect& r, TColor topLeft, TColor bottomRight, int width) {
    DrawOp op;
    op.kind = DrawOp::Frame3D;
    op.rect = r;
    op.color = topLeft;
    op.x0 = static_cast<int>(bottomRight);
    op.x1 = width;
    ops.push_back(op);
}

void RecordingCanvas::DoRectangle(const Rect& r, TColor pen, int width, TColor fill) {
    DrawOp op;
    op.kind = DrawOp::Rectangle;
    op.rect = r;
    op.color = pen;
    op.x0 = width;
    op.x1 = static_cast<int>(fill);
    ops.push_back(op);
}

void RecordingCanvas::DoScrollArrow(const Rect& r, bool up) {
    DrawOp op;
    op.kind = DrawOp::Arrow;
    op.rect = r;
    op.large = up;
    ops.push_back(op);
}

std::vector<DrawOp> RecordingCanvas::Texts() const {
    std::vector<DrawOp> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text)
            out.push_back(op);
    return out;
}

std::string RecordingCanvas::AllText() const {
    std::string out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text)
            out += op.text;
    return out;
}

} // namespace kes
