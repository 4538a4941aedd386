// The markup sweep: preprocessing, the line loop with its two passes per line, the tag
// dispatch with the simple tags, and anchors. Everything works on UTF-8; tags, entities and
// colours are ASCII, so case-insensitive comparisons fold ASCII letters only and never change a
// string's length.
#include "widgets/HTMLText/markup.h"

#include "widgets/HTMLText/markup_internal.h"

#include <algorithm>
#include <climits>
#include <span>

namespace kes {

using namespace markup_detail;

namespace markup_detail {

int Pin(i64 v) {
    constexpr i64 kLimit = 1 << 30;
    return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

Rect ToRect(const LRect& r) {
    return {Pin(r.left), Pin(r.top), Pin(r.right), Pin(r.bottom)};
}

std::string_view DropChars(std::string_view s, std::size_t n) {
    std::size_t i = 0;
    while (n > 0 && i < s.size()) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80)
            ++i;
        --n;
    }
    return s.substr(i);
}

int ReadLeadingNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    int value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        value = std::min(kNumberLimit, value * 10 + (s[i] - '0'));
        ++i;
    }
    // Only a number that stands alone keeps its sign.
    return (negative && i == s.size()) ? -value : value;
}

bool ReadStrictInt(std::string_view s, int& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == s.size())
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = std::min<long long>(kNumberLimit, v * 10 + (s[i] - '0'));
    }
    value = static_cast<int>(negative ? -v : v);
    return true;
}

std::string AttrValue(std::string_view attrs, std::string_view name, bool* found) {
    std::size_t at = attrs.find(name);
    if (found)
        *found = at != std::string_view::npos;
    if (at == std::string_view::npos)
        return {};
    std::size_t q1 = attrs.find('"', at + name.size());
    if (q1 == std::string_view::npos)
        return {};
    std::size_t q2 = attrs.find('"', q1 + 1);
    if (q2 == std::string_view::npos)
        return {};
    return std::string(attrs.substr(q1 + 1, q2 - q1 - 1));
}

std::string_view TagAttributes(std::string_view tag) {
    std::size_t i = 1; // after "<"
    if (i < tag.size() && tag[i] == '/')
        ++i;
    while (i < tag.size()) {
        char c = UpperChar(tag[i]);
        if (c < 'A' || c > 'Z')
            break;
        ++i;
    }
    std::size_t gt = tag.find('>', i);
    return tag.substr(i, gt == std::string_view::npos ? std::string_view::npos : gt - i);
}

i64 ScaleToDevice(i64 v, int ppi) {
    // Rounded as MulDiv rounds: half away from zero.
    i64 n = v * ppi;
    constexpr i64 half = kDesignPpi / 2;
    return n >= 0 ? (n + half) / kDesignPpi : -((-n + half) / kDesignPpi);
}

} // namespace markup_detail

// ---------------------------------------------------------------------------------------------
// Text helpers

int PosNoCase(std::string_view sub, std::string_view s) {
    if (sub.empty() || sub.size() > s.size())
        return 0;
    for (std::size_t i = 0; i + sub.size() <= s.size(); ++i)
        if (StartsNoCase(s.substr(i), sub))
            return static_cast<int>(i + 1);
    return 0;
}

bool ReplaceFirstNoCase(std::string_view find, std::string_view replacement, std::string& s) {
    int at = PosNoCase(find, s);
    if (at == 0)
        return false;
    s.replace(static_cast<std::size_t>(at - 1), find.size(), replacement);
    return true;
}

std::string StripMarkup(std::string_view markup) {
    std::string out;
    out.reserve(markup.size());
    std::size_t i = 0;
    while (i < markup.size()) {
        if (markup[i] != '<') {
            out += markup[i++];
            continue;
        }
        std::string_view rest = markup.substr(i);
        if (StartsNoCase(rest, "<BR>") || StartsNoCase(rest, "<HR>")) {
            out += "\r\n";
            i += 4;
            continue;
        }
        std::size_t gt = markup.find('>', i);
        if (gt == std::string_view::npos) {
            out.append(rest);
            break;
        }
        i = gt + 1;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Preprocessing

namespace {

struct Entity {
    std::string_view name; // without the leading "&"
    std::string_view replacement;
};

// The characters that the Windows-1252 bytes of these entities stand for, in UTF-8.
constexpr Entity kEntities[] = {
    {"amp;", "&&"},
    {"quot;", "\""},
    {"sect;", "\xC2\xA7"},
    {"permil;", "\xE2\x80\xB0"},
    {"reg;", "\xC2\xAE"},
    {"copy;", "\xC2\xA9"},
    {"para;", "\xC2\xB6"},
    {"trade;", "\xE2\x84\xA2"},
    {"euro;", "\xE2\x82\xAC"},
};

// Replacing entities until none is left, in one sweep: no entity can overlap another or be
// formed by a replacement, except that the second "&" of an "&amp;" begins a new one with what
// follows it ("&amp;amp;" gives "&&&").
std::string ReplaceEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        std::size_t pos = i + 1; // an "&" stands before pos
        for (;;) {
            const Entity* hit = nullptr;
            for (const Entity& e : kEntities)
                if (StartsNoCase(text.substr(pos), e.name)) {
                    hit = &e;
                    break;
                }
            if (!hit) {
                out += '&';
                break;
            }
            pos += hit->name.size();
            if (hit->name == "amp;") {
                out += '&'; // and the second "&" stands before pos again
                continue;
            }
            out.append(hit->replacement);
            break;
        }
        i = pos;
    }
    return out;
}

} // namespace

std::string PreprocessMarkup(std::string_view text) {
    std::string s =
        text.find('&') != std::string_view::npos ? ReplaceEntities(text) : std::string(text);
    std::size_t hash = s.find("<#");
    if (hash != std::string::npos) {
        std::size_t gt = s.find('>', hash + 1);
        if (gt != std::string::npos)
            s.erase(gt, 1);
        s.erase(hash, 1);
    }
    if (s.find_first_of("\r\n") == std::string::npos)
        return s;
    std::string out;
    out.reserve(s.size() + 16);
    for (char c : s)
        if (c == '\r')
            out += "<BR>";
        else if (c != '\n')
            out += c;
    return out;
}

bool MarkupDrawsPoint(std::string_view text) {
    // Every tag whose name begins with "IM" is an image (see kOpeningTags).
    return PosNoCase("<IM", PreprocessMarkup(text)) != 0;
}

// ---------------------------------------------------------------------------------------------
// The sweep

namespace {

// "&nbsp;", "&lt;" and "&gt;" of a segment, in one pass (none can be formed by another).
std::string SegmentText(std::string_view raw) {
    if (raw.find('&') == std::string_view::npos)
        return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        std::string_view rest = raw.substr(i);
        if (raw[i] == '&') {
            if (StartsNoCase(rest, "&nbsp;")) {
                out += ' ';
                i += 6;
                continue;
            }
            if (StartsNoCase(rest, "&lt;")) {
                out += '<';
                i += 4;
                continue;
            }
            if (StartsNoCase(rest, "&gt;")) {
                out += '>';
                i += 4;
                continue;
            }
        }
        out += raw[i++];
    }
    return out;
}

// What DrawText shows of a text drawn with the mnemonic prefix: "&&" is one "&", a single "&"
// only underlines the character after it.
std::string WithoutPrefix(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            if (i + 1 >= s.size())
                break;
            ++i;
        }
        out += s[i];
    }
    return out;
}

// True when s holds at most n UTF-8 characters.
bool AtMostChars(std::string_view s, std::size_t n) {
    std::size_t count = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 && ++count > n)
            return false;
    return true;
}

// RecordAnchors: the open anchor's box on this line ends at the pass's x.
void CloseBox(Run& run, Pass& pass) {
    const i64 right = pass.line.left + pass.x;
    if (right > run.boxLeft)
        run.out.AnchorBoxes.push_back(
            {run.anchorCounter, ToRect({run.boxLeft, pass.line.top, right, pass.line.bottom})});
}

bool Decorated(const Run& run, int index) {
    return !run.p.Hover || index == run.p.HoverAnchor;
}

TColor CurrentBackground(const Run& run) {
    return run.cv.brush;
}

void DrawFocus(Run& run, LRect r) {
    run.cv.DrawFocusRect(ToRect(r));
}

void OpenAnchor(Run& run, Pass& pass, std::string_view tag) {
    if (pass.drawing && run.p.FocusAnchor == run.anchorCounter) {
        run.focusRect.left = pass.dp.left;
        run.focusRect.top = pass.dp.top;
    }
    ++run.anchorCounter;
    int index = run.anchorCounter;
    if (pass.drawing && Decorated(run, index)) {
        run.cv.font.style |= fsUnderline;
        if (run.p.HoverColor != clNone) {
            run.anchorBackgroundSave = CurrentBackground(run);
            run.cv.brush = run.p.HoverColor;
        }
        if (run.p.HoverFontColor != clNone)
            run.cv.font.color = run.p.HoverFontColor;
    }
    if (run.p.HoverFontColor == clNone || !run.p.Hover || index != run.p.HoverAnchor)
        run.cv.font.color = run.p.URLColor;
    run.href.clear();
    std::size_t gt = tag.find('>');
    std::string_view body = tag.substr(0, gt);
    std::size_t q1 = body.find('"');
    if (q1 != std::string_view::npos) {
        std::size_t q2 = body.find('"', q1 + 1);
        if (q2 != std::string_view::npos)
            run.href = std::string(body.substr(q1 + 1, q2 - q1 - 1));
    }
    run.inAnchor = true;
    if (pass.Recording(run))
        run.boxLeft = pass.line.left + pass.x;
    run.hitRect.left = pass.line.left + pass.x;
    run.hitRect.top = pass.line.top;
}

void CloseAnchor(Run& run, Pass& pass) {
    if (pass.drawing && Decorated(run, run.anchorCounter)) {
        run.cv.font.style &= ~fsUnderline;
        if (run.p.HoverColor != clNone)
            run.cv.brush = run.anchorBackgroundSave;
    }
    run.cv.font.color = run.baseFont.color;
    if (run.inAnchor && pass.Recording(run))
        CloseBox(run, pass);
    run.inAnchor = false;
    if (run.hitPending) {
        run.hitRect.bottom = pass.line.bottom;
        run.hitRect.right = pass.line.left + pass.x;
        if (run.hitRect.top != pass.line.top) {
            run.hitRect.left = pass.line.left;
            run.hitRect.top = pass.line.top;
        }
        run.closedHitRect = ToRect(run.hitRect);
        run.closedHitIndex = run.anchorCounter;
        run.hitPending = false;
    }
    if (run.anchorCounter == run.p.FocusAnchor + 1) {
        run.focusRect.right = pass.dp.left;
        run.focusRect.bottom = pass.dp.bottom - run.imageRaise;
        run.focusRect.top = run.focusRect.bottom - run.ghHeight;
        run.focusRect.left -= 1;
        run.focusRect.right += 1;
        if (pass.drawing)
            DrawFocus(run, run.focusRect);
    }
}

void DrawHr(Run& run, Pass& pass) {
    TColor save = run.cv.penColor;
    run.cv.penColor = clBlack;
    i64 y = pass.dp.bottom + 1;
    run.cv.MoveTo(Pin(pass.line.left), Pin(y));
    run.cv.LineTo(Pin(pass.line.right), Pin(y));
    run.cv.penColor = save;
}

// A tag name (or the start of one) and its action. A tag takes the first entry whose name its
// text after "<" or "</" begins with, ignoring case; the rest of the text does not matter, so
// "<ABBR>" opens an anchor, "<UL>" a list, and "<B>" must come before "<B". An action that
// leaves the tag for the next line (LI, IMG) marks the line full.
struct TagAction {
    std::string_view name;
    void (*act)(Run& run, Pass& pass, std::string_view tag);
};

bool HasGt(std::string_view tag) {
    return !tag.empty() && tag.back() == '>';
}

constexpr TagAction kOpeningTags[] = {
    {"A", [](Run& run, Pass& pass, std::string_view tag) { OpenAnchor(run, pass, tag); }},
    {"B>", [](Run& run, Pass&, std::string_view) { run.cv.font.style |= fsBold; }},
    {"BR", [](Run&, Pass& pass, std::string_view) { pass.lineBreak = true; }},
    {"BL", // BLINK: text in the entry background while the blink phase is off
     [](Run& run, Pass&, std::string_view) {
         if (!run.p.BlinkPhase)
             run.cv.font.color = run.entryBackground;
     }},
    {"BO", [](Run& run, Pass& pass, std::string_view tag) { TagBody(run, pass, tag); }},
    {"E",
     [](Run& run, Pass& pass, std::string_view) {
         if (pass.drawing)
             run.errorMark = true;
     }},
    {"F",
     [](Run& run, Pass& pass, std::string_view tag) {
         if (HasGt(tag))
             TagFont(run, pass, tag);
     }},
    {"HI",
     [](Run& run, Pass& pass, std::string_view) {
         if (!pass.drawing)
             return;
         run.hiColorSave = run.cv.font.color;
         run.hiBackgroundSave = run.cv.brush;
         run.cv.brush = clHighlight;
         run.cv.font.color = clHighlightText;
     }},
    {"HR",
     [](Run& run, Pass& pass, std::string_view) {
         pass.lineBreak = true;
         if (pass.drawing)
             DrawHr(run, pass);
     }},
    {"I>", [](Run& run, Pass&, std::string_view) { run.cv.font.style |= fsItalic; }},
    {"IN", [](Run& run, Pass& pass, std::string_view tag) { TagInd(run, pass, tag); }},
    {"IM",
     [](Run& run, Pass& pass, std::string_view tag) { pass.lineFull = !TagImg(run, pass, tag); }},
    {"L", [](Run& run, Pass& pass, std::string_view) { pass.lineFull = !TagLi(run, pass); }},
    {"P",
     [](Run& run, Pass& pass, std::string_view tag) {
         if (HasGt(tag))
             TagP(run, pass, tag);
     }},
    {"R", [](Run& run, Pass&, std::string_view tag) { TagR(run, tag); }},
    {"S>", [](Run& run, Pass&, std::string_view) { run.cv.font.style |= fsStrikeOut; }},
    {"SH", [](Run& run, Pass&, std::string_view) { run.shadow = true; }},
    {"SUB>", [](Run& run, Pass&, std::string_view) { run.sub = true; }},
    {"SUP>", [](Run& run, Pass&, std::string_view) { run.sup = true; }},
    {"U>", [](Run& run, Pass&, std::string_view) { run.cv.font.style |= fsUnderline; }},
    {"U", [](Run& run, Pass&, std::string_view) { ++run.listLevel; }}, // UL, and any other U
    {"Z", [](Run& run, Pass&, std::string_view) { run.hidden = true; }},
};

constexpr TagAction kClosingTags[] = {
    {"A", [](Run& run, Pass& pass, std::string_view) { CloseAnchor(run, pass); }},
    {"B>", [](Run& run, Pass&, std::string_view) { run.cv.font.style &= ~fsBold; }},
    {"B", [](Run& run, Pass&, std::string_view) { run.cv.font.color = run.baseFont.color; }},
    {"E",
     [](Run& run, Pass& pass, std::string_view) {
         if (pass.drawing)
             run.errorMark = false;
     }},
    {"F",
     [](Run& run, Pass& pass, std::string_view) {
         run.cv.font.face = run.baseFont.face;
         run.cv.font.size = run.baseFont.size;
         if (pass.drawing) {
             run.cv.font.color = run.baseFont.color;
             run.cv.brush = run.fontBackgroundSave;
         }
     }},
    {"H",
     [](Run& run, Pass& pass, std::string_view) {
         if (pass.drawing) {
             run.cv.font.color = run.hiColorSave;
             run.cv.brush = run.hiBackgroundSave;
         }
     }},
    {"I", [](Run& run, Pass&, std::string_view) { run.cv.font.style &= ~fsItalic; }},
    {"P",
     [](Run& run, Pass& pass, std::string_view) {
         pass.lineBreak = true;
         if (pass.drawing) {
             run.cv.brush = run.paraBackgroundSave;
             run.paraBackground = false;
         }
     }},
    {"R", [](Run& run, Pass&, std::string_view) { TagEndR(run); }},
    {"SU", [](Run& run, Pass&, std::string_view) { run.sub = run.sup = false; }},
    {"SH", [](Run& run, Pass&, std::string_view) { run.shadow = false; }},
    {"S", [](Run& run, Pass&, std::string_view) { run.cv.font.style &= ~fsStrikeOut; }},
    {"U>", [](Run& run, Pass&, std::string_view) { run.cv.font.style &= ~fsUnderline; }},
    {"U", // a list, or an underline closed with more after the U
     [](Run& run, Pass&, std::string_view) {
         if (run.listLevel > 0)
             --run.listLevel;
         else
             run.cv.font.style &= ~fsUnderline;
     }},
    {"Z", [](Run& run, Pass&, std::string_view) { run.hidden = false; }},
};

// Acts on the tag at the start of the remaining text (rest; tag is rest up to its first ">").
// Returns false when the tag must stay for the next line.
bool HandleTag(Run& run, Pass& pass, std::string_view rest, std::string_view tag) {
    std::string_view name = rest.substr(1);
    std::span<const TagAction> table = kOpeningTags;
    if (StartsNoCase(name, "/")) {
        // "</" and one character close nothing.
        if (AtMostChars(rest, 3))
            return true;
        name.remove_prefix(1);
        table = kClosingTags;
    }
    for (const TagAction& t : table)
        if (StartsNoCase(name, t.name)) {
            t.act(run, pass, tag);
            break;
        }
    return !pass.lineFull;
}

// The measured width of a segment placed in r: only a shortened one depends on r.
i64 SegmentWidth(Run& run, const std::string& seg, Rect r) {
    if (!(run.textFlags & tfEndEllipsis))
        return run.cv.LineWidth(seg, run.textFlags);
    run.cv.MeasureText(seg, r, run.textFlags);
    return r.right - r.left;
}

void TextSegment(Run& run, Pass& pass, std::string_view raw) {
    Canvas& cv = run.cv;
    std::string seg = SegmentText(raw);
    i64 h = cv.TextHeight(seg);
    if (run.sub)
        run.subExtra = std::max(run.subExtra, h / 4);
    if (run.sup)
        run.supExtra = std::max(run.supExtra, h / 4);
    run.lineHeight = std::max(run.lineHeight, h);
    if (run.hidden) {
        pass.cur.pos += raw.size();
        return;
    }
    i64 w = 0;
    if (!pass.drawing) {
        pass.dp = pass.line;
        w = SegmentWidth(run, seg, ToRect(pass.dp));
        i64 x0 = pass.x;
        pass.x += w;
        i64 px = static_cast<i64>(run.p.X) - pass.line.left;
        if (!pass.lineMarkup && run.inAnchor && run.anchorCounter == run.p.FocusAnchor + 1)
            run.out.FocusHref = run.href; // hit-testing learns the focused href as drawing does
        if (run.inAnchor && x0 <= px && px <= pass.x) {
            pass.textHit = true;
            if (run.p.Y > pass.line.top) {
                run.out.Href = run.href;
                run.hitPending = true;
                run.hitIndex = run.anchorCounter;
            }
        }
    } else {
        LRect sr = pass.dp;
        if (run.sup)
            sr.bottom -= run.supExtra;
        if (run.sub)
            sr.bottom += run.subExtra;
        sr.bottom -= run.imageRaise;
        if (run.shadow) {
            TColor color = cv.font.color;
            cv.font.color = run.p.ShadowColor;
            LRect shadow = sr;
            shadow.left += run.p.ShadowOffset;
            shadow.right += run.p.ShadowOffset;
            shadow.top += run.p.ShadowOffset;
            shadow.bottom += run.p.ShadowOffset;
            Rect r = ToRect(shadow);
            cv.DrawText(seg, r, run.textFlags);
            cv.font.color = color;
        }
        Rect r = ToRect(sr);
        cv.DrawText(seg, r, run.textFlags);
        r = ToRect(sr);
        i64 right = r.left + SegmentWidth(run, seg, r);
        if (run.inAnchor && run.anchorCounter == run.p.FocusAnchor + 1)
            run.out.FocusHref = run.href;
        if (run.errorMark)
            DrawErrorMark(run, pass, pass.dp.left, right);
        pass.dp.left = right;
        pass.dp.right = pass.line.right;
        pass.dp.top = pass.line.top;
        pass.dp.bottom = pass.line.bottom;
    }
    i64 avail = pass.Avail();
    // The second pass of a line replays what the first accepted: an aligned or indented line
    // is narrower there, and stopping early would leave an anchor open into the next line.
    const bool replay = !pass.lineMarkup;
    bool fits = replay || pass.x < avail || avail <= w;
    if (!fits && pass.soFarNonEmpty && !pass.soFarEndsBlank)
        fits = true; // the segment continues a word that a tag interrupted
    if (!seg.empty()) {
        pass.soFarNonEmpty = true;
        pass.soFarEndsBlank = seg.back() == ' ';
    }
    if (fits || !run.p.WordWrap) {
        if (pass.lineMarkup)
            pass.lineMarkup->append(raw);
        pass.cur.pos += raw.size();
        if (!fits && !pass.drawing)
            pass.cur.pos = pass.cur.s.size(); // no wrapping: this line is the last
        pass.trailingBlank = (!seg.empty() && seg.back() == ' ') ? cv.TextWidth(" ") : 0;
    } else {
        pass.lineBreak = true;
        pass.x -= w;
    }
}

void DrawMarkupLine(Run& run, Pass& pass) {
    Cursor& cur = pass.cur;
    pass.line.bottom -= run.subExtra;
    pass.dp = pass.line;
    if (run.inAnchor && pass.Recording(run))
        run.boxLeft = pass.line.left; // an anchor wrapped from the line above
    if (pass.drawing && run.paraBackground && CurrentBackground(run) != clNone) {
        LRect band{run.rect.left, pass.line.top, run.rect.right, pass.line.top + run.lineHeight};
        run.cv.penColor = CurrentBackground(run);
        run.cv.FillRect(ToRect(band), CurrentBackground(run));
    }
    while (!cur.Empty() && !pass.lineBreak && !pass.lineFull) {
        std::size_t lt = cur.NextLt();
        std::size_t sp = run.p.WordWrap ? cur.NextSp() : std::string_view::npos;
        std::size_t end;
        if (lt == std::string_view::npos || (sp != std::string_view::npos && sp < lt))
            end = sp == std::string_view::npos ? cur.s.size() : sp + 1;
        else
            end = lt;
        if (end > cur.pos)
            TextSegment(run, pass, cur.s.substr(cur.pos, end - cur.pos));
        if (cur.Empty() || cur.s[cur.pos] != '<')
            continue;
        std::string_view rest = cur.Rest();
        if (AtMostChars(rest, 2)) {
            cur.pos = cur.s.size();
            continue;
        }
        if (pass.lineBreak)
            continue;
        std::size_t gt = rest.find('>');
        std::string_view tag = gt == std::string_view::npos ? rest : rest.substr(0, gt + 1);
        if (!HandleTag(run, pass, rest, tag)) {
            pass.lineFull = true;
            continue;
        }
        if (pass.lineMarkup)
            pass.lineMarkup->append(tag);
        cur.pos += tag.size();
    }
    // The blank a wrapped link ends its line with is drawn with the link's look: its box
    // holds it, or a hover repaint would leave it behind.
    if (run.inAnchor && pass.Recording(run))
        CloseBox(run, pass);
    pass.x -= pass.trailingBlank;
    run.lineWidth = pass.x;
    run.width = std::max(run.width, pass.x);
    if (pass.drawing && run.inAnchor && run.anchorCounter == run.p.FocusAnchor + 1) {
        run.focusRect.right = pass.dp.left;
        run.focusRect.bottom = pass.dp.bottom;
        run.focusRect.left -= 1;
        run.focusRect.right += 1;
        DrawFocus(run, run.focusRect);
        run.focusRect.left = pass.line.left + 1;
        run.focusRect.top = run.focusRect.bottom;
    }
}

} // namespace

std::string ShownText(std::string_view preprocessed) {
    return WithoutPrefix(SegmentText(StripMarkup(preprocessed)));
}

bool DrawMarkup(Canvas& canvas, std::string_view text, const Rect& rect, const MarkupParams& params,
                MarkupOutputs& out) {
    Run run(canvas, params, out, rect);
    run.baseFont = canvas.font;
    FontSpec measureFont = canvas.font, secondFont = canvas.font;
    run.entryBackground = canvas.brush;
    canvas.brush = clNone;
    run.textFlags = tfSingleLine | tfBottom | tfExpandTabs | tfExternalLeading;
    if (!params.WordWrap)
        run.textFlags |= tfEndEllipsis;
    out.Width = out.Height = out.AnchorCount = 0;
    out.FocusHref.clear();
    out.AnchorBoxes.clear();
    out.AnchorIndex = -1;

    std::string markup = PreprocessMarkup(text);
    Cursor cur(markup);
    i64 lineTop = rect.top;
    i64 height = 0;
    std::string lineMarkup;
    while (!cur.Empty()) {
        canvas.font = measureFont;
        bool savedInAnchor = run.inAnchor;
        std::string savedHref = run.href;
        run.imageRaise = run.supExtra = run.subExtra = 0;
        run.sub = run.sup = false;
        run.ghHeight = canvas.TextHeight(kLineSample);
        run.lineHeight = run.ghHeight;
        int savedImages = run.imageCounter, savedAnchors = run.anchorCounter,
            savedLevel = run.listLevel;

        lineMarkup.clear();
        Pass measure{
            false, cur, &lineMarkup, {rect.left + 1, lineTop, rect.right, rect.bottom}, {}};
        DrawMarkupLine(run, measure);
        run.inAnchor = savedInAnchor;
        run.href = savedHref;
        measureFont = canvas.font;

        LRect second{rect.left + 1, lineTop, rect.right, 0};
        if (run.align == Align::Right) {
            if (second.right - run.lineWidth > second.left)
                second.left = second.right - run.lineWidth;
        } else if (run.align == Align::Center) {
            if (second.right - second.left - run.lineWidth > 0)
                second.left += (second.right - second.left - run.lineWidth) / 2;
        }
        second.left += run.indent;
        second.bottom = lineTop + run.lineHeight + run.subExtra + run.supExtra;

        if (!params.MeasureOnly) {
            canvas.font = secondFont;
            run.anchorCounter = savedAnchors;
            run.listLevel = savedLevel;
            run.imageCounter = savedImages;
            Cursor lineCur(lineMarkup);
            Pass pass{!params.HitTest, lineCur, nullptr, second, {}};
            DrawMarkupLine(run, pass);
            i64 bottom = second.bottom - run.imageRaise;
            // A drawing pass finds images under the point too (for ALT), but only hit-testing
            // reports a hit.
            if (!pass.drawing &&
                ((pass.textHit && params.Y > bottom - run.ghHeight && params.Y < bottom) ||
                 pass.imageHit))
                run.result = true;
            secondFont = canvas.font;
        }
        i64 step = run.lineHeight + run.subExtra + run.supExtra;
        lineTop += step;
        height += step;
        if (!params.MeasureOnly && lineTop > rect.bottom)
            break;
    }
    if (height == 0)
        height = canvas.TextHeight(kLineSample);
    canvas.brush = run.entryBackground;
    canvas.font = run.baseFont;

    out.Width = Pin(run.width);
    out.Height = Pin(height);
    out.AnchorCount = run.anchorCounter;
    // Only the anchor actually under the point is reported: anchors on the lines above it
    // pass the horizontal test of the first pass too.
    if (run.result) {
        out.AnchorIndex = run.hitIndex;
        if (run.closedHitIndex == run.hitIndex)
            out.AnchorRect = run.closedHitRect;
    } else {
        out.Href.clear();
        out.AnchorIndex = -1;
    }
    return run.result;
}

} // namespace kes
