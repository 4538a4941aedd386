// The HTML-like markup of the rich-text label: layout, drawing and hit-testing in one sweep
// (DrawMarkup), and the small text helpers the label uses as well.
#pragma once

#include "widgets/HTMLText/canvas.h"

#include <string>
#include <string_view>
#include <vector>

namespace kes {

class TPictureContainer;
class THTMLPictureCache;

constexpr TColor clGray = 0x00808080;
constexpr TColor clBlue = 0x00FF0000;

struct MarkupParams {
    TPictureContainer* PictureContainer = nullptr; // named pictures for IMG and BODY
    THTMLPictureCache* PictureCache = nullptr;     // pictures loaded from URLs
    const ImageList* Images = nullptr;             // "IDX:" sources
    TColor ShadowColor = clGray;
    TColor HoverFontColor = clNone;
    TColor HoverColor = clNone;
    TColor URLColor = clBlue;
    bool WordWrap = true;    // false: no wrapping, the overflowing piece ends in an ellipsis
    bool Hover = false;      // only the hovered anchor is decorated
    bool BlinkPhase = false; // false: BLINK text is drawn in the entry background colour
    bool MeasureOnly = false;
    bool HitTest = false;
    // Hit-testing records where each anchor lies (MarkupOutputs::AnchorBoxes).
    bool RecordAnchors = false;
    int ShadowOffset = 1;
    int HoverAnchor = -1; // from 1
    int FocusAnchor = -1; // from 0
    int X = 0, Y = 0;     // the point to hit-test
};

// Where an anchor's text lies on one line; a wrapped anchor has one box per line.
struct AnchorBox {
    int index = 0; // from 1
    Rect rect;
    friend bool operator==(const AnchorBox&, const AnchorBox&) = default;
};

struct MarkupOutputs {
    std::string Href; // href of the anchor under (X, Y)
    Rect AnchorRect;  // written only when that anchor's closing tag is reached
    int AnchorIndex = -1;
    int AnchorCount = 0;
    int Width = 0;                      // the widest line
    int Height = 0;                     // all lines laid out, at least the height of "gh"
    std::string FocusHref;              // filled by drawing and by hit-testing
    std::vector<AnchorBox> AnchorBoxes; // with RecordAnchors, in order
};

// Lays out (and, unless measuring or hit-testing, draws) the markup inside rect. Returns true
// when (X, Y) lies on an anchor's text or on an image inside an anchor (hit-test mode only).
// The surface's font and text background are as they were on return.
bool DrawMarkup(Canvas& canvas, std::string_view text, const Rect& rect, const MarkupParams& params,
                MarkupOutputs& out);

// Whether drawing the markup depends on the point (X, Y): only an image can (its ALT text is
// shown while the point is on it).
bool MarkupDrawsPoint(std::string_view text);

// Entities, the first "<#" and line breaks, as DrawMarkup treats the whole text first.
std::string PreprocessMarkup(std::string_view text);

// "<BR>" and "<HR>" become CR LF, every "<...>" is removed; an unclosed "<" keeps the rest.
std::string StripMarkup(std::string_view markup);
// The words of preprocessed markup (PreprocessMarkup) as the label shows them: tags stripped
// as StripMarkup does, "&nbsp;", "&lt;", "&gt;" resolved, and the mnemonic "&" gone ("&&"
// shows one "&", "&x" an x).
std::string ShownText(std::string_view preprocessed);
// Position (from 1) of sub in s, ignoring the case of ASCII letters; 0 when absent.
int PosNoCase(std::string_view sub, std::string_view s);
// Replaces the first occurrence of find in s, ignoring the case of ASCII letters.
bool ReplaceFirstNoCase(std::string_view find, std::string_view replacement, std::string& s);

// Colour names of the form "clred", "clbtnface" (lower case, exact); unknown names give black.
TColor ColorFromName(std::string_view name);
// "#RRGGBB" with upper-case hexadecimal digits; gives 0x00BBGGRR.
TColor ColorFromHex(std::string_view text);
// A shell icon: source is an icon index in decimal, or a path, or a name judged by its file
// type alone. Returns the icon size; draws it at (x, y) when draw is set.
Size DrawSystemIcon(Canvas& canvas, int x, int y, const std::string& source, bool large, bool draw);

} // namespace kes
