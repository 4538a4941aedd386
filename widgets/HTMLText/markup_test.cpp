// The markup sweep on the recording surface: an 8-point font has 4 x 12 pixel cells, so every
// position below is exact. Lines start one pixel right of the rectangle's left edge.
#include "widgets/HTMLText/markup.h"

#include "widgets/HTMLText/testing/markup_test_support.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kes {
namespace {

using ::testing::ElementsAre;

TEST(Markup, EmptyTextDrawsNothingAndIsOneLineHigh) {
    Layout l;
    l.out.AnchorIndex = 77;
    Lay(l, "");
    EXPECT_FALSE(l.result);
    EXPECT_TRUE(l.cv.Texts().empty());
    EXPECT_EQ(l.out.Width, 0);
    EXPECT_EQ(l.out.Height, 12);
    EXPECT_EQ(l.out.AnchorCount, 0);
    EXPECT_EQ(l.out.AnchorIndex, -1);
}

TEST(Markup, EntitiesAndMnemonics) {
    struct Case {
        const char* markup;
        const char* shown;
        int underlined;
    } cases[] = {
        {"A&amp;B", "A&B", -1},
        {"A&AMP;B", "A&B", -1},
        {"A&B", "AB", 1},
        {"1&lt;2", "1<2", -1},
        {"1&GT;2", "1>2", -1},
        {"a&nbsp;b", "a b", -1},
        {"&quot;x&quot;", "\"x\"", -1},
        {"&sect;&permil;&reg;&copy;&para;&trade;&euro;",
         "\xC2\xA7\xE2\x80\xB0\xC2\xAE\xC2\xA9\xC2\xB6\xE2\x84\xA2\xE2\x82\xAC", -1},
        {"&amp;amp;", "&", -1}, // "&&&": one "&", then a prefix with nothing to underline
        {"A<", "A", -1},
        {"A<B", "A", -1},
    };
    for (const Case& c : cases) {
        Layout l;
        Lay(l, c.markup);
        ASSERT_EQ(l.cv.Texts().size(), 1u) << c.markup;
        EXPECT_EQ(l.cv.AllText(), c.shown) << c.markup;
        EXPECT_EQ(l.cv.Texts()[0].underlinedChar, c.underlined) << c.markup;
        EXPECT_EQ(l.cv.Texts()[0].font.style, 0u) << c.markup; // no tag was opened
    }
}

TEST(Markup, OnlyTheFirstHashTagShowsAsText) {
    Layout l;
    Lay(l, "<#FOO>x<#BAR>y");
    EXPECT_EQ(l.cv.AllText(), "#FOOxy");
}

TEST(Markup, CarriageReturnBreaksLinesAndLineFeedsVanish) {
    Layout l;
    Lay(l, "ab\r\ncd");
    EXPECT_THAT(Placed(l.cv), ElementsAre("ab@1,0", "cd@1,12"));
    EXPECT_EQ(l.out.Height, 24);
}

TEST(Markup, WordWiderThanTheLineIsPlacedUnbroken) {
    Layout l;
    // 40 pixels of room: ten cells.
    Lay(l, "bbbbbbbbbbbbbbbbbbbb cc dd", {}, {0, 0, 41, 100});
    EXPECT_THAT(Placed(l.cv), ElementsAre("bbbbbbbbbbbbbbbbbbbb @1,0", "cc @1,12", "dd@13,12"));
    EXPECT_EQ(l.out.Width, 80); // without the trailing blank
    EXPECT_EQ(l.out.Height, 24);
}

TEST(Markup, WordSplitByTagsIsNotBrokenAtTheTags) {
    Layout l;
    Lay(l, "aaaaaa wo<B>rd</B> next", {}, {0, 0, 41, 100});
    auto texts = l.cv.Texts();
    EXPECT_THAT(Placed(l.cv),
                ElementsAre("aaaaaa @1,0", "wo@29,0", "rd@37,0", " @45,0", "next@1,12"));
    EXPECT_EQ(texts[2].font.style, unsigned(fsBold));
}

TEST(Markup, WithoutWordWrapTheOverflowEndsInAnEllipsisAndNothingFollows) {
    Layout l;
    MarkupParams p;
    p.WordWrap = false;
    Lay(l, "ab <B>cdefghijklmnop</B><BR>next", p, {0, 0, 43, 100});
    EXPECT_THAT(Placed(l.cv), ElementsAre("ab @1,0", "cdef...@13,0"));
    EXPECT_EQ(l.out.Height, 12);
}

TEST(Markup, CenteredParagraphKeepsItsAlignmentUntilAnotherAlign) {
    Layout l;
    // 100 pixels of line: "ab" (8 pixels) starts at 1 + 46.
    Lay(l, "<P ALIGN=\"CENTER\">ab</P>cd<BR><P align=\"left\">ef", {}, {0, 0, 101, 100});
    EXPECT_THAT(Placed(l.cv), ElementsAre("ab@47,0", "cd@47,12", "ef@1,24"));
}

TEST(Markup, RightAlignmentAndIndent) {
    Layout l;
    Lay(l, "<P ALIGN=\"RIGHT\">ab<BR><P ALIGN=\"LEFT\" INDENT=\"20\">cd", {}, {0, 0, 101, 100});
    EXPECT_THAT(Placed(l.cv), ElementsAre("ab@93,0", "cd@21,12"));
}

TEST(Markup, AnchorsAreNumberedAndOnlyTheHoveredOneIsDecorated) {
    const char* markup = "<A href=\"one\">x</A> <A href=\"two\">y</A>";
    {
        Layout l;
        MarkupParams p;
        p.Hover = true;
        p.HoverAnchor = 2;
        p.URLColor = 0x123456;
        Lay(l, markup, p);
        auto t = l.cv.Texts();
        ASSERT_EQ(t.size(), 3u);
        EXPECT_EQ(l.out.AnchorCount, 2);
        EXPECT_EQ(t[0].font.style & fsUnderline, 0u);
        EXPECT_EQ(t[2].font.style & fsUnderline, unsigned(fsUnderline));
        EXPECT_EQ(t[0].font.color, 0x123456u);
        EXPECT_EQ(t[1].font.color, clBlack); // the blank between them
        EXPECT_EQ(t[2].font.color, 0x123456u);
    }
    {
        Layout l;
        MarkupParams p;
        p.Hover = true;
        p.HoverAnchor = 2;
        p.URLColor = 0x123456;
        p.HoverFontColor = 0x00ABCDEF;
        p.HoverColor = 0x00FFEEDD;
        Lay(l, markup, p);
        auto t = l.cv.Texts();
        ASSERT_EQ(t.size(), 3u);
        EXPECT_EQ(t[0].font.color, 0x123456u);
        EXPECT_EQ(t[0].color, clNone);
        EXPECT_EQ(t[2].font.color, 0x00ABCDEFu);
        EXPECT_EQ(t[2].color, 0x00FFEEDDu);
        EXPECT_EQ(l.cv.brush, clNone); // background restored at the end
    }
    {
        Layout l; // without Hover every anchor is decorated and drawn in URLColor
        MarkupParams p;
        p.HoverFontColor = 0x00ABCDEF;
        Lay(l, markup, p);
        auto t = l.cv.Texts();
        EXPECT_EQ(t[0].font.style & fsUnderline, unsigned(fsUnderline));
        EXPECT_EQ(t[2].font.style & fsUnderline, unsigned(fsUnderline));
        EXPECT_EQ(t[2].font.color, clBlue);
    }
}

TEST(Markup, HitTests) {
    const char* markup = "ab <A href=\"Target\">link</A> cd<BR>plain text <A href=\"two\">x</A>";
    struct Case {
        int x, y;
        bool hit;
        const char* href;
        int index;
        Rect rect;
    } cases[] = {
        {20, 5, true, "Target", 1, {13, 0, 29, 12}}, // on "link"
        {47, 20, true, "two", 2, {45, 12, 49, 24}},  // on "x", second line
        {5, 5, false, "", -1, {-1, -1, -1, -1}},     // on "ab"
        {20, 18, false, "", -1, {-1, -1, -1, -1}},   // plain text below the first anchor
        {20, 40, false, "", -1, {-1, -1, -1, -1}},   // below everything
    };
    for (const Case& c : cases) {
        Layout l;
        l.out.AnchorRect = {-1, -1, -1, -1};
        MarkupParams p;
        p.HitTest = true;
        p.X = c.x;
        p.Y = c.y;
        Lay(l, markup, p);
        EXPECT_EQ(l.result, c.hit) << c.x << "," << c.y;
        EXPECT_EQ(l.out.Href, c.href) << c.x << "," << c.y;
        EXPECT_EQ(l.out.AnchorIndex, c.index) << c.x << "," << c.y;
        EXPECT_EQ(l.out.AnchorRect, c.rect) << c.x << "," << c.y;
        EXPECT_TRUE(l.cv.Texts().empty()); // hit-testing draws nothing
    }
}

TEST(Markup, HitTestAfterAnAlignedLineEndsItsAnchorWhereTheLineDid) {
    // The second pass of a narrower (aligned or indented) line must still reach "</A>": else
    // the anchor stays open and the plain text below hit-tests as the link.
    const char* m = "<P ALIGN=\"RIGHT\">ab <A href=\"y\">cd</A><BR>plain";
    for (int x : {84, 88, 96}) { // on "plain", right-aligned as the line above
        MarkupParams p;
        p.HitTest = true;
        p.X = x;
        p.Y = 18;
        Layout plain;
        Lay(plain, m, p, {0, 0, 101, 100});
        EXPECT_FALSE(plain.result) << x;
        EXPECT_EQ(plain.out.Href, "") << x;
    }
    MarkupParams p;
    p.HitTest = true;
    p.X = 96;
    p.Y = 6;
    Layout link;
    Lay(link, m, p, {0, 0, 101, 100});
    EXPECT_TRUE(link.result);
    EXPECT_EQ(link.out.Href, "y");
    EXPECT_EQ(link.out.AnchorRect, (Rect{93, 0, 101, 12}));
}

TEST(Markup, FontsSharedThroughACacheAreMadeOnce) {
    const int alive = RecordingCanvas::fontsAlive;
    {
        FontCache cache;
        for (int i = 0; i < 3; ++i) {
            RecordingCanvas cv;
            cv.ShareFonts(cache);
            MarkupOutputs out;
            DrawMarkup(cv, "a <B>b</B> <FONT face=\"Tahoma\">c</FONT>", {0, 0, 200, 50}, {}, out);
            EXPECT_EQ(cv.fontsMade, i == 0 ? 3 : 0);
        }
        EXPECT_EQ(cache.Count(), 3u);
        EXPECT_EQ(RecordingCanvas::fontsAlive, alive + 3);
    }
    EXPECT_EQ(RecordingCanvas::fontsAlive, alive);
}

TEST(Markup, MeasuresKeptWithTheFontsFollowTheFontAndTheFlags) {
    FontCache cache;
    RecordingCanvas cv;
    cv.ShareFonts(cache);
    EXPECT_EQ(cv.LineWidth("a&b", tfSingleLine), 8); // "&" marks the mnemonic: "ab"
    EXPECT_EQ(cv.LineWidth("a&b", tfSingleLine | tfNoPrefix), 12);
    EXPECT_EQ(cv.TextWidth("a&b"), 12);
    cv.font.size = 16;
    EXPECT_EQ(cv.LineWidth("a&b", tfSingleLine | tfNoPrefix), 24);
    EXPECT_EQ(cv.TextExtent("a&b"), (Size{24, 24}));
    cv.font.size = 8;
    EXPECT_EQ(cv.LineWidth("a&b", tfSingleLine), 8);
    RecordingCanvas other;
    other.ShareFonts(cache);
    other.font.size = 16;
    EXPECT_EQ(other.TextWidth("a&b"), 24);
}

TEST(Markup, HiddenWordIsNotDrawnButCountsTowardTheLineHeight) {
    Layout l;
    Lay(l, "<FONT SIZE=\"5\"><Z>big</Z></FONT>small");
    // Size 5 is 16 points: 24 pixels high; "small" sits on the line's bottom.
    EXPECT_THAT(Placed(l.cv), ElementsAre("small@1,12"));
    EXPECT_EQ(l.out.Height, 24);
}

TEST(Markup, TwoLineBreaksAreTwoLinesOfGh) {
    Layout l;
    Lay(l, "<BR><BR>");
    EXPECT_EQ(l.out.Height, 24);
    EXPECT_TRUE(l.cv.Texts().empty());
}

TEST(Markup, MeasureOnlyDrawsNothingAndIgnoresTheBottom) {
    Layout l;
    MarkupParams p;
    p.MeasureOnly = true;
    p.HitTest = true;
    Lay(l, "a<BR>b<BR>c<BR>d", p, {0, 0, 201, 20});
    EXPECT_TRUE(l.cv.ops.empty());
    EXPECT_EQ(l.out.Height, 48);
    EXPECT_EQ(l.out.Width, 4);

    Layout drawn; // drawing stops after the line that crosses the bottom
    Lay(drawn, "a<BR>b<BR>c<BR>d", {}, {0, 0, 201, 20});
    EXPECT_THAT(Placed(drawn.cv), ElementsAre("a@1,0", "b@1,12"));
}

TEST(Markup, SubscriptAndSuperscriptAddAQuarterOfTheirHeight) {
    Layout l;
    Lay(l, "a<SUP>b</SUP><SUB>c</SUB>");
    // Line: 12 high plus 3 above and 3 below. Plain text sits on 15, sup 3 higher, sub 3 lower.
    EXPECT_THAT(Placed(l.cv), ElementsAre("a@1,3", "b@5,0", "c@9,6"));
    EXPECT_EQ(l.out.Height, 18);
}

TEST(Markup, StyleTagsAndTheirClosingTags) {
    Layout l;
    Lay(l, "<B>a</B><I>b</I><U>c</U><S>d</S><HI>e</HI>f");
    auto t = l.cv.Texts();
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].font.style, unsigned(fsBold));
    EXPECT_EQ(t[1].font.style, unsigned(fsItalic));
    EXPECT_EQ(t[2].font.style, unsigned(fsUnderline));
    EXPECT_EQ(t[3].font.style, unsigned(fsStrikeOut));
    EXPECT_EQ(t[4].font.color, clHighlightText);
    EXPECT_EQ(t[4].color, clHighlight);
    EXPECT_EQ(t[5].font.style, 0u);
    EXPECT_EQ(t[5].color, clNone);
    EXPECT_EQ(l.cv.font, FontSpec{}); // the surface's font as at entry
}

TEST(Markup, BlinkTextTakesTheEntryBackgroundOutOfPhase) {
    for (bool phase : {false, true}) {
        Layout l;
        l.cv.brush = 0x00C0FFEE;
        MarkupParams p;
        p.BlinkPhase = phase;
        Lay(l, "<BLINK>on</BLINK>off", p);
        auto t = l.cv.Texts();
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[0].font.color, phase ? clBlack : 0x00C0FFEEu);
        EXPECT_EQ(t[0].color, clNone); // text is drawn transparently
        EXPECT_EQ(t[1].font.color, clBlack);
        EXPECT_EQ(l.cv.brush, 0x00C0FFEEu);
    }
}

TEST(Markup, ShadowIsDrawnFirstInShadowColour) {
    Layout l;
    MarkupParams p;
    p.ShadowColor = 0x00111111;
    p.ShadowOffset = 2;
    Lay(l, "<SHAD>s</SHAD>", p);
    auto t = l.cv.Texts();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].font.color, 0x00111111u);
    EXPECT_EQ(t[0].rect.left, 3);
    EXPECT_EQ(t[0].rect.top, 2);
    EXPECT_EQ(t[1].font.color, clBlack);
    EXPECT_EQ(t[1].rect.left, 1);
}

TEST(Markup, FocusRectangleAroundTheFocusedAnchor) {
    Layout l;
    MarkupParams p;
    p.FocusAnchor = 1;
    Lay(l, "<A href=\"a\">x</A> <A href=\"b\">yy</A>", p);
    EXPECT_EQ(l.out.FocusHref, "b");
    std::vector<Rect> focus;
    for (const DrawOp& op : l.cv.ops)
        if (op.kind == DrawOp::Focus)
            focus.push_back(op.rect);
    // "yy" spans 9..17; widened by a pixel on each side, "gh" high above the line's bottom.
    EXPECT_THAT(focus, ElementsAre(Rect{8, 0, 18, 12}));
}

TEST(Markup, HorizontalRuleBreaksTheLineAndDrawsBelowIt) {
    Layout l;
    Lay(l, "a<HR>b", {}, {0, 0, 101, 100});
    std::vector<DrawOp> lines;
    for (const DrawOp& op : l.cv.ops)
        if (op.kind == DrawOp::Line)
            lines.push_back(op);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].color, clBlack);
    EXPECT_EQ(lines[0].x0, 1);
    EXPECT_EQ(lines[0].x1, 101);
    EXPECT_EQ(lines[0].y0, 13);
    EXPECT_THAT(Placed(l.cv), ElementsAre("a@1,0", "b@1,12"));
}

TEST(Markup, UnterminatedTagsSwallowTheRest) {
    struct Case {
        const char* markup;
        const char* shown;
    } cases[] = {
        {"ab<B cd", "ab"},    {"ab<FONT face=\"x\" more", "ab"},
        {"a</UL>b", "ab"}, // /UL at level 0 only turns underline off
        {"a<QQ>b<>c", "abc"}, {"a</>b", "ab"},
    };
    for (const Case& c : cases) {
        Layout l;
        Lay(l, c.markup);
        EXPECT_EQ(l.cv.AllText(), c.shown) << c.markup;
    }
}

TEST(MarkupHelpers, StripMarkup) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"<FONT face=\"Tahoma\">one<br>two</FONT>", "one\r\ntwo"},
        {"a<HR>b<Hr>c", "a\r\nb\r\nc"},
        {"&amp; stays", "&amp; stays"},
        {"a<b", "a<b"},
        {"a<b>c<d", "ac<d"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StripMarkup(c.in), c.out) << c.in;
}

TEST(MarkupHelpers, PosNoCaseAndReplaceFirstNoCase) {
    EXPECT_EQ(PosNoCase("bc", "aBcbc"), 2);
    EXPECT_EQ(PosNoCase("x", "abc"), 0);
    EXPECT_EQ(PosNoCase("", "abc"), 0);
    EXPECT_EQ(PosNoCase("abcd", "abc"), 0);
    std::string s = "one ONE one";
    EXPECT_TRUE(ReplaceFirstNoCase("one", "1", s));
    EXPECT_EQ(s, "1 ONE one");
    EXPECT_TRUE(ReplaceFirstNoCase("ONE", "", s));
    EXPECT_EQ(s, "1  one");
    EXPECT_FALSE(ReplaceFirstNoCase("two", "2", s));
    EXPECT_EQ(s, "1  one");
}

} // namespace
} // namespace kes
