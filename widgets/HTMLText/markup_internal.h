// State shared by the markup sweep (markup.cpp) and the tag actions (markup_tags.cpp).
#pragma once

#include "widgets/HTMLText/ascii.h"
#include "widgets/HTMLText/markup.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kes::markup_detail {

using i64 = long long;

// Coordinates of the sweep: wide, so that any amount of markup adds up without overflow.
struct LRect {
    i64 left = 0, top = 0, right = 0, bottom = 0;
};

// Canvas coordinates are int; far-away positions are pinned to a range GDI still accepts.
int Pin(i64 v);
Rect ToRect(const LRect& r);

// The remaining text of a pass: a view with a read position. The next "<" and the next blank
// are remembered, so that finding the next segment never rescans the rest of the text.
struct Cursor {
    std::string_view s;
    std::size_t pos = 0;
    std::size_t lt = 0, sp = 0;
    bool ltKnown = false, spKnown = false;

    explicit Cursor(std::string_view text) : s(text) {}
    bool Empty() const { return pos >= s.size(); }
    std::string_view Rest() const { return s.substr(pos); }
    std::size_t NextLt() {
        if (!ltKnown || lt < pos) {
            lt = s.find('<', pos);
            ltKnown = true;
        }
        return lt;
    }
    std::size_t NextSp() {
        if (!spKnown || sp < pos) {
            sp = s.find(' ', pos);
            spKnown = true;
        }
        return sp;
    }
};

// Text with an ascender and a descender: its height is a line's least height.
constexpr std::string_view kLineSample = "gh";

enum class Align { Left, Right, Center };

// Run state of one DrawMarkup call, carried from line to line.
struct Run {
    Canvas& cv;
    const MarkupParams& p;
    MarkupOutputs& out;
    Rect rect;
    unsigned textFlags = 0;

    FontSpec baseFont;
    TColor entryBackground = clNone;
    bool inAnchor = false;
    std::string href;
    int anchorCounter = 0;
    int listLevel = 0;
    Align align = Align::Left;
    i64 indent = 0;
    bool paraBackground = false;
    TColor paraBackgroundSave = clNone;
    TColor fontBackgroundSave = clNone;
    TColor anchorBackgroundSave = clNone;
    TColor hiColorSave = clBlack, hiBackgroundSave = clNone;
    bool shadow = false, hidden = false, errorMark = false;
    bool sub = false, sup = false;
    bool rotated = false;
    int rotationSave = 0; // escapement before R
    int imageCounter = 0;
    int hoveredImage = -1;
    bool hitPending = false;
    LRect hitRect;
    int hitIndex = -1;       // anchor registered last under the point
    int closedHitIndex = -1; // anchor whose rectangle was completed last
    Rect closedHitRect;
    LRect focusRect;
    i64 boxLeft = 0; // RecordAnchors: where the open anchor's text starts on this line
    bool result = false;
    i64 width = 0;

    // Per line.
    i64 lineHeight = 0;
    i64 ghHeight = 0;
    i64 supExtra = 0, subExtra = 0;
    i64 imageRaise = 0;
    i64 lineWidth = 0;

    Run(Canvas& c, const MarkupParams& params, MarkupOutputs& o, const Rect& r)
        : cv(c), p(params), out(o), rect(r) {}
};

// One pass of DrawMarkupLine.
struct Pass {
    bool drawing; // false: measuring (the first pass, or a hit-testing second pass)
    Cursor& cur;
    std::string* lineMarkup; // measuring pass of a line: receives what it consumed
    LRect line;              // the line rectangle
    LRect dp;                // drawing position
    i64 x = 0;
    bool lineBreak = false, lineFull = false, listItemSeen = false;
    bool textHit = false, imageHit = false;
    i64 trailingBlank = 0;
    bool soFarNonEmpty = false, soFarEndsBlank = false;

    i64 Avail() const { return line.right - line.left; }
    // The second pass of a hit test: x advances as the text is placed at its final position.
    bool Recording(const Run& run) const { return !drawing && !lineMarkup && run.p.RecordAnchors; }
};

// Numbers in markup are pixel sizes, points and degrees; anything beyond this is nonsense and
// must not overflow the arithmetic that follows.
constexpr int kNumberLimit = 1000000;

// Helpers shared by both files.
// Leading blanks skipped, decimal digits read; a value followed by other characters is used
// without its sign. Saturates at kNumberLimit.
int ReadLeadingNumber(std::string_view s);
// A whole string that is an integer (optional sign); false otherwise.
bool ReadStrictInt(std::string_view s, int& value);
// Value of an attribute: the text between the two double quotes after the first occurrence of
// name in attrs; empty when the name or its quotes are missing. found tells whether name was.
std::string AttrValue(std::string_view attrs, std::string_view name, bool* found = nullptr);
// The tag's text after its name, up to (not including) the first ">".
std::string_view TagAttributes(std::string_view tag);
std::string_view DropChars(std::string_view s, std::size_t n); // drops n UTF-8 characters
i64 ScaleToDevice(i64 v, int ppi);

// Tag actions.
void TagFont(Run& run, Pass& pass, std::string_view tag);
void TagP(Run& run, Pass& pass, std::string_view tag);
void TagBody(Run& run, Pass& pass, std::string_view tag);
void TagInd(Run& run, Pass& pass, std::string_view tag);
void TagR(Run& run, std::string_view tag);
void TagEndR(Run& run);
// Returns false when the image does not fit on this line (the tag stays).
bool TagImg(Run& run, Pass& pass, std::string_view tag);
// Returns false when the item starts the next line (the tag stays).
bool TagLi(Run& run, Pass& pass);
void DrawErrorMark(Run& run, Pass& pass, i64 left, i64 right);

} // namespace kes::markup_detail
