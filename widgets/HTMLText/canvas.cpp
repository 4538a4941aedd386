#include "widgets/HTMLText/canvas.h"

#include <algorithm>

namespace kes {

namespace {
// A run of markup may ask for many sizes and faces; keep the surface's font count bounded.
constexpr std::size_t kMaxFonts = 32;
// Texts measured per font; a long markup starts afresh rather than growing without bound.
constexpr std::size_t kMaxMeasured = 4096;
} // namespace

void FontCache::Clear() {
    for (const Entry& f : fonts_)
        f.release(f.handle);
    fonts_.clear();
}

FontCache::Entry& Canvas::Realize() {
    std::vector<FontCache::Entry>& fonts = cache_->fonts_;
    auto it = std::find_if(fonts.begin(), fonts.end(),
                           [&](const FontCache::Entry& f) { return f.desc.SameHandle(font); });
    if (it == fonts.end()) {
        if (fonts.size() >= kMaxFonts) {
            // The oldest is never the selected one: a selected font was used last.
            auto victim = fonts.begin();
            if (haveSelected && victim->handle == selected)
                ++victim;
            victim->release(victim->handle);
            fonts.erase(victim);
        }
        FontCache::Entry made{font, 0, {}, FontReleaser(), {}};
        made.handle = CreateFontHandle(font, made.metrics);
        fonts.push_back(std::move(made));
        it = fonts.end() - 1;
    } else if (it != fonts.end() - 1) {
        std::rotate(it, it + 1, fonts.end());
        it = fonts.end() - 1;
    }
    if (!haveSelected || selected != it->handle) {
        SelectFontHandle(it->handle);
        selected = it->handle;
        haveSelected = true;
    }
    return *it;
}

const FontMetrics& Canvas::Metrics() {
    return Realize().metrics;
}

FontCache::Measured& Canvas::Measures(FontCache::Entry& f, std::string_view text) {
    auto it = f.measured.find(text);
    if (it != f.measured.end())
        return it->second;
    if (f.measured.size() >= kMaxMeasured)
        f.measured.clear();
    return f.measured.emplace(std::string(text), FontCache::Measured{}).first->second;
}

Size Canvas::TextExtent(std::string_view text) {
    FontCache::Measured& m = Measures(Realize(), text);
    if (m.extent.cx < 0)
        m.extent = DoTextExtent(text);
    return m.extent;
}

int Canvas::LineWidth(std::string_view text, unsigned flags) {
    FontCache::Measured& m = Measures(Realize(), text);
    if (m.width < 0 || m.widthFlags != flags) {
        Rect r{0, 0, 0x7FFF, 0x7FFF};
        DoDrawText(text, r, flags | tfCalcRect, font.color, brush);
        m.width = r.Width();
        m.widthFlags = flags;
    }
    return m.width;
}

void Canvas::DrawText(std::string_view text, Rect& r, unsigned flags) {
    Realize();
    DoDrawText(text, r, flags, font.color, brush);
}

void Canvas::LineTo(int x, int y) {
    DoLine(posX, posY, x, y, penColor, penWidth);
    posX = x;
    posY = y;
}

void Canvas::ReleaseFonts() {
    own_.Clear();
    haveSelected = false;
    selected = 0;
}

Rect Canvas::VisibleBounds() const {
    constexpr int kFar = 1 << 30;
    return clip_.value_or(Rect{-kFar, -kFar, kFar, kFar});
}

void Canvas::Frame3D(Rect& r, TColor topLeft, TColor bottomRight, int width) {
    if (width <= 0)
        return;
    DoFrame3D(r, topLeft, bottomRight, width);
    r.left += width;
    r.top += width;
    r.right -= width;
    r.bottom -= width;
}

} // namespace kes
