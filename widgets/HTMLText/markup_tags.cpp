// Actions of the formatting and picture tags, the colour readers and the shell icons.
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/markup_internal.h"

#include <algorithm>
#include <array>

namespace kes {

using namespace markup_detail;

namespace {

struct NamedColor {
    std::string_view name;
    TColor value;
};

constexpr std::array<NamedColor, 16> kPlainColors{{
    {"clred", 0x000000FF},
    {"clblack", 0x00000000},
    {"clblue", 0x00FF0000},
    {"clgreen", 0x00008000},
    {"claqua", 0x00FFFF00},
    {"clyellow", 0x0000FFFF},
    {"clfuchsia", 0x00FF00FF},
    {"clwhite", 0x00FFFFFF},
    {"cllime", 0x0000FF00},
    {"clsilver", 0x00C0C0C0},
    {"clgray", 0x00808080},
    {"clolive", 0x00008080},
    {"clnavy", 0x00800000},
    {"clpurple", 0x00800080},
    {"clteal", 0x00808000},
    {"clmaroon", 0x00000080},
}};

constexpr std::array<std::string_view, 24> kSystemColors{
    "clbackground",
    "clactivecaption",
    "clinactivecaption",
    "clmenu",
    "clwindow",
    "clwindowframe",
    "clmenutext",
    "clwindowtext",
    "clcaptiontext",
    "clactiveborder",
    "clinactiveborder",
    "clappworkspace",
    "clhighlight",
    "clhighlighttext",
    "clbtnface",
    "clbtnshadow",
    "clgraytext",
    "clbtntext",
    "clinactivecaptiontext",
    "clbtnhighlight",
    "cl3ddkshadow",
    "cl3dlight",
    "clinfotext",
    "clinfobk",
};

// A colour value as FONT COLOR and P BGCOLOR write it: "#RRGGBB" or a name.
TColor ColorOf(const std::string& value) {
    if (!value.empty() && value[0] == '#')
        return ColorFromHex(value);
    return ColorFromName(LowerAscii(value));
}

// Pictures named by IMG SRC and BODY BACKGROUND: a container name, or a URL loaded once into
// the label's cache.
THTMLPicture* FindSourcePicture(Run& run, const std::string& source) {
    if (source.find(':') == std::string::npos && run.p.PictureContainer)
        return run.p.PictureContainer->FindPicture(source);
    if (source.find("://") != std::string::npos && run.p.PictureCache) {
        THTMLPictureCache& cache = *run.p.PictureCache;
        if (THTMLPicture* known = cache.FindPicture(source))
            return known;
        THTMLPicture* added = cache.AddPicture();
        added->LoadInBackground = false;
        try {
            added->LoadFromURL(source);
        } catch (...) {
            // An unreadable picture is shown as nothing.
        }
        THTMLPicture* found = cache.FindPicture(source);
        return found ? found : added;
    }
    return nullptr;
}

bool Usable(THTMLPicture* picture) {
    return picture && !picture->GetEmpty();
}

} // namespace

TColor ColorFromName(std::string_view name) {
    for (const NamedColor& c : kPlainColors)
        if (c.name == name && c.value != 0)
            return c.value;
    for (std::size_t i = 0; i < kSystemColors.size(); ++i)
        if (kSystemColors[i] == name)
            return kSystemColor + static_cast<TColor>(i + 1);
    return 0;
}

TColor ColorFromHex(std::string_view text) {
    auto digit = [](unsigned char c) -> int { return c <= 64 ? c - 48 : c - 55; };
    auto pair = [&](std::size_t at) -> TColor {
        if (at + 1 >= text.size())
            return 0;
        int v = digit(static_cast<unsigned char>(text[at])) * 16 +
                digit(static_cast<unsigned char>(text[at + 1]));
        return static_cast<TColor>(v) & 0xFF;
    };
    return pair(1) | (pair(3) << 8) | (pair(5) << 16);
}

Size DrawSystemIcon(Canvas& canvas, int x, int y, const std::string& source, bool large,
                    bool draw) {
    int index = 0;
    bool numeric = !source.empty() && std::all_of(source.begin(), source.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
    if (numeric)
        index = ReadLeadingNumber(source);
    else
        index = canvas.SystemIconIndex(source);
    Size size = canvas.SystemIconSize(large);
    if (draw)
        canvas.DrawSystemIcon(index, large, x, y);
    return size;
}

namespace markup_detail {

void TagFont(Run& run, Pass& pass, std::string_view tag) {
    Canvas& cv = run.cv;
    std::string attrs = UpperAscii(TagAttributes(tag));
    bool found = false;
    std::string face = AttrValue(attrs, "FACE", &found);
    if (found)
        cv.font.face = face;
    std::string color = AttrValue(attrs, " COLOR");
    if (!color.empty())
        cv.font.color = ColorOf(color);
    if (pass.drawing) {
        std::string bg = AttrValue(attrs, "BGCOLOR", &found);
        if (found) {
            run.fontBackgroundSave = cv.brush;
            if (!bg.empty())
                cv.brush = ColorOf(bg);
        }
    }
    std::size_t at = attrs.find("SIZE");
    if (at != std::string::npos) {
        std::string_view s = std::string_view(attrs).substr(at + 4);
        std::size_t eq = s.find('=');
        if (eq != std::string_view::npos)
            s = s.substr(eq + 1);
        std::size_t q = s.find('"');
        if (q != std::string_view::npos)
            s = s.substr(q + 1);
        int n = 0;
        for (std::size_t i = 0; i < s.size() && s[i] >= '0' && s[i] <= '9' && n < kNumberLimit; ++i)
            n = n * 10 + (s[i] - '0');
        static constexpr int kSizes[] = {8, 10, 12, 14, 16};
        cv.font.size = (n >= 1 && n <= 5) ? kSizes[n - 1] : n;
    }
}

void TagP(Run& run, Pass& pass, std::string_view tag) {
    Canvas& cv = run.cv;
    std::string attrs = UpperAscii(TagAttributes(tag));
    bool found = false;
    std::string align = AttrValue(attrs, "ALIGN", &found);
    if (found) {
        if (align.find("RIGHT") != std::string::npos)
            run.align = Align::Right;
        if (align.find("LEFT") != std::string::npos)
            run.align = Align::Left;
        if (align.find("CENTER") != std::string::npos)
            run.align = Align::Center;
    }
    std::string indent = AttrValue(attrs, "INDENT", &found);
    if (found)
        run.indent = ReadLeadingNumber(indent);
    std::string bg = AttrValue(attrs, "BGCOLOR", &found);
    if (found && pass.drawing) {
        TColor color = bg.empty() ? clNone : ColorOf(bg);
        run.paraBackground = true;
        run.paraBackgroundSave = cv.brush;
        cv.brush = color;
        cv.penColor = color;
        if (color != clNone) {
            LRect band{run.rect.left, pass.line.top, run.rect.right, pass.line.bottom};
            cv.FillRect(ToRect(band), color);
        }
    }
}

void TagBody(Run& run, Pass& pass, std::string_view tag) {
    if (!pass.drawing)
        return;
    Canvas& cv = run.cv;
    std::string attrs = UpperAscii(TagAttributes(tag));
    bool found = false;
    // The colour first: filling the page after tiling its picture would hide the picture.
    std::string bg = AttrValue(attrs, "BGCOLOR", &found);
    if (found) {
        bool named = bg.find("CL") != std::string::npos;
        if (named || bg.find('#') != std::string::npos) {
            TColor color = named ? ColorFromName(LowerAscii(bg)) : ColorFromHex(bg);
            cv.brush = color;
            run.fontBackgroundSave = color;
            TColor pen = cv.penColor;
            cv.penColor = color;
            cv.FillRect(run.rect, color);
            cv.penColor = pen;
        }
    }
    std::string background = AttrValue(attrs, "BACKGROUND", &found);
    if (found) {
        THTMLPicture* picture = FindSourcePicture(run, background);
        if (Usable(picture) && picture->GetWidth() > 0 && picture->GetHeight() > 0) {
            const Rect& r = run.rect;
            // Only the tiles that can be seen: an auto-sizing label's rectangle reaches 65535
            // pixels beyond its window.
            const Rect seen = cv.VisibleBounds();
            const i64 w = picture->GetWidth(), h = picture->GetHeight();
            const i64 left = std::max<i64>(r.left, seen.left), top = std::max<i64>(r.top, seen.top);
            const i64 right = std::min<i64>(r.right, seen.right);
            const i64 bottom = std::min<i64>(r.bottom, seen.bottom);
            cv.SetClipRect(&r);
            for (i64 y = r.top + (top - r.top) / h * h; y < bottom; y += h)
                for (i64 x = r.left + (left - r.left) / w * w; x < right; x += w)
                    picture->DrawAt(cv, Pin(x), Pin(y));
            cv.SetClipRect(nullptr);
        }
    }
}

void TagInd(Run& run, Pass& pass, std::string_view tag) {
    std::string_view attrs = TagAttributes(tag);
    std::size_t at = attrs.find_first_of("xX");
    if (at == std::string_view::npos)
        return;
    std::string value = AttrValue(attrs.substr(at), attrs.substr(at, 1));
    int n = 0;
    if (!ReadStrictInt(value, n))
        return;
    if (pass.x < n) {
        pass.x = n;
        pass.dp.left = static_cast<i64>(run.rect.left) + n;
    }
}

void TagR(Run& run, std::string_view tag) {
    std::string_view attrs = TagAttributes(tag);
    std::size_t at = attrs.find_first_of("aA");
    if (at == std::string_view::npos)
        return;
    int degrees = ReadLeadingNumber(AttrValue(attrs.substr(at), attrs.substr(at, 1)));
    // Rotation does not nest: /R always goes back to the font before the first R.
    if (!run.rotated)
        run.rotationSave = run.cv.font.escapement;
    run.rotated = true;
    run.cv.font.escapement = degrees * 10;
}

void TagEndR(Run& run) {
    if (!run.rotated)
        return;
    run.cv.font.escapement = run.rotationSave;
    run.rotated = false;
}

bool TagImg(Run& run, Pass& pass, std::string_view tag) {
    Canvas& cv = run.cv;
    std::string attrs = UpperAscii(TagAttributes(tag));
    int index = run.imageCounter + 1;
    bool hasAlt = false;
    std::string alt = AttrValue(attrs, "ALT", &hasAlt);
    std::string source = (hasAlt && index == run.hoveredImage) ? alt : AttrValue(attrs, "SRC");
    int width = ReadLeadingNumber(AttrValue(attrs, "WIDTH"));
    int height = ReadLeadingNumber(AttrValue(attrs, "HEIGHT"));
    const int ppiX = cv.PixelsPerInchX(), ppiY = cv.PixelsPerInchY();

    // Size first: an image that does not fit stays for the next line and is not drawn here.
    enum { none, idx, ssys, lsys, picture } kind = none;
    i64 w = 0, h = 0;
    int listIndex = 0;
    std::string icon;
    THTMLPicture* pic = nullptr;
    if (source.find("IDX:") != std::string::npos) {
        listIndex = ReadLeadingNumber(DropChars(source, 4));
        if (run.p.Images && listIndex >= 0 && listIndex < run.p.Images->Count()) {
            kind = idx;
            w = ScaleToDevice(run.p.Images->Width(), ppiX);
            h = ScaleToDevice(run.p.Images->Height(), ppiY);
        }
    } else if (source.find("SSYS:") != std::string::npos ||
               source.find("LSYS:") != std::string::npos) {
        kind = source.find("SSYS:") != std::string::npos ? ssys : lsys;
        icon = std::string(DropChars(source, 5));
        Size s = DrawSystemIcon(cv, 0, 0, icon, kind == lsys, false);
        w = ScaleToDevice(s.cx, ppiX);
        h = ScaleToDevice(s.cy, ppiY);
    } else {
        pic = FindSourcePicture(run, source);
        if (Usable(pic)) {
            kind = picture;
            bool sized = width >= 1 && height >= 1;
            w = ScaleToDevice(sized ? width : pic->GetMaxWidth(), ppiX);
            h = ScaleToDevice(sized ? height : pic->GetMaxHeight(), ppiY);
        }
    }

    i64 avail = pass.Avail();
    if (pass.x + w > avail && w < avail)
        return false;
    run.imageCounter = index;

    i64 left = pass.dp.left, top = pass.line.top;
    if (pass.drawing) {
        switch (kind) {
        case idx:
            cv.DrawImage(*run.p.Images, listIndex, Pin(left), Pin(top));
            break;
        case ssys:
        case lsys:
            DrawSystemIcon(cv, Pin(left), Pin(top), icon, kind == lsys, true);
            break;
        case picture:
            if (width >= 1 && height >= 1) {
                pic->DrawStretched(cv, {Pin(left), Pin(top), Pin(left + width), Pin(top + height)});
            } else {
                if (pic->GetFrameCount() > 1) {
                    // Animation frames may not cover the whole screen of the GIF.
                    cv.brush = run.entryBackground;
                    cv.penColor = run.entryBackground;
                    if (run.entryBackground != clNone)
                        cv.FillRect(Rect{Pin(left), Pin(top), Pin(left + pic->GetMaxWidth()),
                                         Pin(top + pic->GetMaxHeight())},
                                    run.entryBackground);
                }
                pic->DrawAt(cv, Pin(left + pic->GetFrameXPos()), Pin(top + pic->GetFrameYPos()));
            }
            break;
        case none:
            break;
        }
    }

    i64 px = static_cast<i64>(run.p.X) - pass.line.left;
    if (pass.x < px && px < pass.x + w && pass.line.top < run.p.Y && run.p.Y < pass.line.top + h &&
        run.inAnchor) {
        pass.imageHit = true;
        run.out.Href = run.href;
        run.hoveredImage = index;
        run.hitIndex = run.anchorCounter;
    }

    pass.x += w;
    pass.dp.left = left + w;
    run.lineHeight = std::max(run.lineHeight, h);

    if (attrs.find("ALIGN") != std::string::npos) {
        if (attrs.find("\"TOP") != std::string::npos)
            run.imageRaise = run.lineHeight - run.ghHeight;
        else if (attrs.find("\"MIDDLE") != std::string::npos)
            run.imageRaise = (run.lineHeight - run.ghHeight) / 2;
    }
    return true;
}

bool TagLi(Run& run, Pass& pass) {
    if (pass.listItemSeen)
        return false; // the item starts the next line
    pass.listItemSeen = true;
    // Each level indents by one step; the bullet stands in the step before the text.
    constexpr i64 kListStep = 12;
    i64 indent = static_cast<i64>(run.listLevel) * kListStep;
    pass.x += indent;
    pass.dp.left += indent - kListStep;
    if (pass.drawing) {
        Canvas& cv = run.cv;
        std::string face = cv.font.face;
        cv.font.face = "Symbol";
        Rect r = ToRect(pass.dp);
        // The Symbol face has its bullet at 0xB7.
        cv.DrawText(run.listLevel % 2 == 1 ? "\xC2\xB7" : "o", r, 0);
        cv.font.face = face;
    }
    pass.dp.left += kListStep;
    return true;
}

void DrawErrorMark(Run& run, Pass& pass, i64 left, i64 right) {
    Canvas& cv = run.cv;
    cv.penColor = clRed;
    cv.penWidth = 1;
    i64 x = left / 2 * 2;
    int phase = x % 4 == 0 ? 2 : 0;
    i64 bottom = pass.line.bottom;
    cv.MoveTo(Pin(x), Pin(bottom + phase - 1));
    while (x < right) {
        phase = 2 - phase;
        cv.LineTo(Pin(x + 2), Pin(bottom + phase - 1));
        x += 2;
    }
}

} // namespace markup_detail
} // namespace kes
