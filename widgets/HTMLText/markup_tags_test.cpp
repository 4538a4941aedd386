// Tag actions on the recording surface (8-point cells of 4 x 12 pixels, lines from x = 1).
#include "widgets/HTMLText/PictureContainer.h"
#include "widgets/HTMLText/markup.h"
#include "widgets/HTMLText/testing/gif_test_data.h"
#include "widgets/HTMLText/testing/markup_test_support.h"
#include "widgets/HTMLText/testing/recording_canvas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kes {
namespace {

using ::testing::ElementsAre;

std::vector<DrawOp> OpsOf(const RecordingCanvas& cv, DrawOp::Kind kind) {
    std::vector<DrawOp> out;
    for (const DrawOp& op : cv.ops)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

TEST(MarkupTags, FontSizes) {
    struct Case {
        const char* size;
        int points;
    } cases[] = {{"1", 8}, {"2", 10}, {"3", 12},  {"4", 14}, {"5", 16},
                 {"7", 7}, {"0", 0},  {"24", 24}, {"", 0}};
    for (const Case& c : cases) {
        Layout l;
        Lay(l, std::string("<FONT SIZE=\"") + c.size + "\">x</FONT>y");
        auto t = l.cv.Texts();
        ASSERT_EQ(t.size(), 2u) << c.size;
        EXPECT_EQ(t[0].font.size, c.points) << c.size;
        EXPECT_EQ(t[1].font.size, 8) << c.size; // /FONT goes back to the base size
    }
}

TEST(MarkupTags, FontFaceColourAndBackground) {
    Layout l;
    Lay(l, "<FONT face=\"Tahoma\" COLOR=\"clRed\">a</FONT><FONT color=\"#ff0000\">b</FONT>"
           "<FONT COLOR=\"#0080FF\">c</FONT><FONT BGCOLOR=\"clYellow\">d</FONT>e"
           "<FONT COLOR=\"\">f</FONT><FONT COLOR=\"nosuch\">g");
    auto t = l.cv.Texts();
    ASSERT_EQ(t.size(), 7u);
    EXPECT_EQ(t[0].font.face, "TAHOMA"); // read from the upper-cased tag
    EXPECT_EQ(t[0].font.color, clRed);
    EXPECT_EQ(t[1].font.color, clRed);
    EXPECT_EQ(t[1].font.face, "MS Sans Serif");
    EXPECT_EQ(t[2].font.color, 0x00FF8000u);
    EXPECT_EQ(t[3].color, 0x0000FFFFu);
    EXPECT_EQ(t[3].font.color, clBlack); // BGCOLOR does not match " COLOR"
    EXPECT_EQ(t[4].color, clNone);
    EXPECT_EQ(t[5].font.color, clBlack); // empty colour: unchanged
    EXPECT_EQ(t[6].font.color, clBlack); // unknown name: black
}

TEST(MarkupTags, ListBulletsAndTextAtTwoLevels) {
    Layout l;
    Lay(l, "<UL><LI>a<LI>b<UL><LI>c</UL></UL>");
    EXPECT_THAT(Placed(l.cv), ElementsAre("\xC2\xB7@1,0", "a@13,0", "\xC2\xB7@1,12", "b@13,12",
                                          "o@13,24", "c@25,24"));
    auto t = l.cv.Texts();
    EXPECT_EQ(t[0].font.face, "Symbol");
    EXPECT_EQ(t[1].font.face, "MS Sans Serif");
}

TEST(MarkupTags, IndentToAColumn) {
    Layout l;
    l.cv.font.size = 10; // 5-pixel cells: six letters are 30 pixels
    Lay(l, "abcdef<IND x=\"50\">g<IND x=\"5a\">h");
    EXPECT_THAT(Placed(l.cv), ElementsAre("abcdef@1,0", "g@50,0", "h@55,0"));
}

TEST(MarkupTags, RotatedTextAndItsEnd) {
    Layout l;
    Lay(l, "<R a=\"90\">up</R>x</R>y");
    auto t = l.cv.Texts();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].font.escapement, 900);
    EXPECT_EQ(t[1].font.escapement, 0);
    EXPECT_EQ(t[2].font.escapement, 0);
}

TEST(MarkupTags, ImagesFromTheImageList) {
    TestImageList list(3, 16, 16);
    struct Case {
        const ImageList* images;
        const char* markup;
        int ppi;
        std::vector<std::string> placed;
        int imagesDrawn;
    } cases[] = {
        {&list, "a<IMG SRC=\"IDX:1\">b", 96, {"a@1,4", "b@21,4"}, 1},
        {&list, "a<IMG SRC=\"IDX:1\">b", 144, {"a@1,12", "b@29,12"}, 1},
        {nullptr, "a<IMG SRC=\"IDX:1\">b", 96, {"a@1,0", "b@5,0"}, 0},
        {&list, "a<IMG SRC=\"IDX:3\">b", 96, {"a@1,0", "b@5,0"}, 0},
    };
    for (const Case& c : cases) {
        Layout l;
        l.cv.ppiX = l.cv.ppiY = c.ppi;
        MarkupParams p;
        p.Images = c.images;
        Lay(l, c.markup, p);
        EXPECT_EQ(Placed(l.cv), c.placed) << c.markup << " " << c.ppi;
        auto images = OpsOf(l.cv, DrawOp::Image);
        ASSERT_EQ(images.size(), static_cast<std::size_t>(c.imagesDrawn));
        if (c.imagesDrawn) {
            EXPECT_EQ(images[0].x0, 5);
            EXPECT_EQ(images[0].y0, 0);
            EXPECT_EQ(images[0].x1, 1);
        }
    }
}

TEST(MarkupTags, SystemIcons) {
    struct Case {
        const char* markup;
        int index;
        bool large;
        const char* placed;
    } cases[] = {
        {"<IMG SRC=\"SSYS:.txt\">b", 4, false, "b@17,4"}, // ".TXT" by file type
        {"<IMG SRC=\"LSYS:3\">b", 3, true, "b@33,20"},    // an icon index
    };
    for (const Case& c : cases) {
        Layout l;
        Lay(l, c.markup);
        auto icons = OpsOf(l.cv, DrawOp::Icon);
        ASSERT_EQ(icons.size(), 1u) << c.markup;
        EXPECT_EQ(icons[0].x1, c.index) << c.markup;
        EXPECT_EQ(icons[0].large, c.large) << c.markup;
        EXPECT_EQ(icons[0].x0, 1);
        EXPECT_THAT(Placed(l.cv), ElementsAre(c.placed)) << c.markup;
    }
}

class MarkupPictures : public ::testing::Test {
protected:
    void SetUp() override {
        Add("Logo", testdata::MakeGif(20, 10, {{0, 0, 20, 10, 0, 0}}));
        Add("one", testdata::MakeGif(10, 10, {{0, 0, 10, 10, 0, 0}}));
        Add("two", testdata::MakeGif(30, 10, {{0, 0, 30, 10, 1, 0}}));
        Add("anim", testdata::MakeGif(20, 20, {{5, 5, 10, 10, 10, 0}, {0, 0, 20, 20, 10, 1}}));
        params.PictureContainer = &container;
    }
    void Add(const char* name, const std::vector<std::uint8_t>& bytes) {
        TPictureItem& item = container.Items().Add();
        item.Name = name;
        item.Picture().LoadFromBytes(bytes);
    }
    std::vector<Rect> Pictures(const RecordingCanvas& cv) {
        std::vector<Rect> out;
        for (const DrawOp& op : OpsOf(cv, DrawOp::Picture))
            out.push_back(op.rect);
        return out;
    }
    TPictureContainer container;
    MarkupParams params;
};

TEST_F(MarkupPictures, ContainerPictureAtNaturalAndGivenSize) {
    {
        Layout l;
        Lay(l, "<IMG SRC=\"logo\">b", params);
        EXPECT_THAT(Pictures(l.cv), ElementsAre(Rect{1, 0, 21, 10}));
        EXPECT_THAT(Placed(l.cv), ElementsAre("b@21,0"));
    }
    {
        Layout l;
        Lay(l, "<IMG SRC=\"logo\" WIDTH=\"40\" HEIGHT=\"30\">b", params);
        EXPECT_THAT(Pictures(l.cv), ElementsAre(Rect{1, 0, 41, 30}));
        EXPECT_THAT(Placed(l.cv), ElementsAre("b@41,18")); // bottom-aligned with the image
        EXPECT_EQ(l.out.Height, 30);
    }
    {
        Layout l; // an unknown name takes no room
        Lay(l, "<IMG SRC=\"nosuch\">b", params);
        EXPECT_TRUE(Pictures(l.cv).empty());
        EXPECT_THAT(Placed(l.cv), ElementsAre("b@1,0"));
    }
}

TEST_F(MarkupPictures, AlignTopAndMiddleRaiseTheText) {
    struct Case {
        const char* align;
        const char* placed;
    } cases[] = {{"TOP", "b@21,0"}, {"middle", "b@21,9"}, {"BOTTOM", "b@21,18"}};
    for (const Case& c : cases) {
        Layout l;
        Lay(l,
            std::string("<IMG SRC=\"logo\" WIDTH=\"20\" HEIGHT=\"30\" ALIGN=\"") + c.align + "\">b",
            params);
        EXPECT_THAT(Placed(l.cv), ElementsAre(c.placed)) << c.align;
    }
}

TEST_F(MarkupPictures, AnimatedGifClearsItsScreenAndDrawsTheFrameAtItsOffset) {
    Layout l;
    l.cv.brush = 0x00ABCDEF;
    Lay(l, "<IMG SRC=\"anim\">", params);
    auto fills = OpsOf(l.cv, DrawOp::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect, (Rect{1, 0, 21, 20}));
    EXPECT_EQ(fills[0].color, 0x00ABCDEFu);
    ASSERT_EQ(Pictures(l.cv).size(), 1u);
    EXPECT_EQ(Pictures(l.cv)[0].left, 6);
    EXPECT_EQ(Pictures(l.cv)[0].top, 5);
}

TEST_F(MarkupPictures, AltPictureWhileThePointerRestsOnTheImage) {
    const char* markup = "<A href=\"u\"><IMG SRC=\"one\" ALT=\"two\"></A>";
    {
        Layout l;
        MarkupParams p = params;
        p.X = 5;
        p.Y = 5;
        Lay(l, markup, p);
        EXPECT_THAT(Pictures(l.cv), ElementsAre(Rect{1, 0, 31, 10}));
    }
    {
        Layout l;
        MarkupParams p = params;
        p.X = 150;
        p.Y = 5;
        Lay(l, markup, p);
        EXPECT_THAT(Pictures(l.cv), ElementsAre(Rect{1, 0, 11, 10}));
    }
}

TEST_F(MarkupPictures, HitTestOnAnImageInsideAnAnchor) {
    const char* markup = "x<A href=\"pic\"><IMG SRC=\"one\"></A><IMG SRC=\"one\">";
    struct Case {
        int x, y;
        bool hit;
        int index;
    } cases[] = {{10, 5, true, 1}, {20, 5, false, -1}, {10, 11, false, -1}};
    for (const Case& c : cases) {
        Layout l;
        MarkupParams p = params;
        p.HitTest = true;
        p.X = c.x;
        p.Y = c.y;
        Lay(l, markup, p);
        EXPECT_EQ(l.result, c.hit) << c.x << "," << c.y;
        EXPECT_EQ(l.out.Href, c.hit ? "pic" : "") << c.x << "," << c.y;
        EXPECT_EQ(l.out.AnchorIndex, c.index) << c.x << "," << c.y;
    }
}

TEST_F(MarkupPictures, OnlyHitTestingReportsTheImageUnderThePoint) {
    const char* markup = "x<A href=\"pic\"><IMG SRC=\"one\"></A>";
    for (bool hitTest : {false, true}) {
        Layout l;
        MarkupParams p = params;
        p.HitTest = hitTest;
        p.X = 10;
        p.Y = 5;
        Lay(l, markup, p);
        EXPECT_EQ(l.result, hitTest) << hitTest;
        EXPECT_EQ(l.out.Href, hitTest ? "pic" : "") << hitTest;
        EXPECT_EQ(l.out.AnchorIndex, hitTest ? 1 : -1) << hitTest;
    }
    // The fuzzer's find: a large system icon inside an anchor, drawn without word wrap.
    Layout l;
    MarkupParams p = params;
    p.WordWrap = false;
    p.HoverAnchor = 0;
    p.X = 21;
    p.Y = 5;
    Lay(l,
        "<A?=\"TOP\"><IMG SR\x1d\"TOP\"><IM<#><G SRC=\"8'" + std::string(36, '7') +
            "picLSYS:e\" \x01LT=\"SSYS:.t",
        p, {3, 0, 41, 60});
    EXPECT_FALSE(l.result);
    EXPECT_FALSE(OpsOf(l.cv, DrawOp::Icon).empty()); // the icon under the point was drawn
}

TEST_F(MarkupPictures, UrlPicturesAreRequestedOnceAndWebUrlsStayEmpty) {
    THTMLPictureCache cache;
    MarkupParams p = params;
    p.PictureCache = &cache;
    for (int i = 0; i < 2; ++i) {
        Layout l;
        Lay(l, "<IMG SRC=\"http://example.invalid/a.gif\">b", p);
        EXPECT_THAT(Placed(l.cv), ElementsAre("b@1,0"));
    }
    ASSERT_EQ(cache.Count(), 1);
    EXPECT_TRUE(cache.GetPicture(0)->GetEmpty());
    EXPECT_EQ(cache.GetPicture(0)->SourceURL(), "HTTP://EXAMPLE.INVALID/A.GIF");
    EXPECT_FALSE(cache.GetPicture(0)->DownloadStarted());
}

TEST_F(MarkupPictures, BodyTilesItsBackgroundOverTheRectangle) {
    Layout l;
    Lay(l, "<BODY BACKGROUND=\"one\" BGCOLOR=\"clSilver\">a", params, {0, 0, 25, 15});
    auto fills = OpsOf(l.cv, DrawOp::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect, (Rect{0, 0, 25, 15}));
    EXPECT_EQ(fills[0].color, 0x00C0C0C0u);
    EXPECT_THAT(Pictures(l.cv),
                ElementsAre(Rect{0, 0, 10, 10}, Rect{10, 0, 20, 10}, Rect{20, 0, 30, 10},
                            Rect{0, 10, 10, 20}, Rect{10, 10, 20, 20}, Rect{20, 10, 30, 20}));
    EXPECT_EQ(OpsOf(l.cv, DrawOp::Clip).size(), 1u);
    EXPECT_EQ(OpsOf(l.cv, DrawOp::Unclip).size(), 1u);
    EXPECT_EQ(l.cv.Texts()[0].color, 0x00C0C0C0u);
}

TEST_F(MarkupPictures, BodyTilesOnlyWhatCanBeSeen) {
    // An auto-sizing label lays out 65535 pixels beyond its window.
    Layout l;
    l.cv.device = {0, 0, 25, 15};
    Lay(l, "<BODY BACKGROUND=\"one\">a", params, {0, 0, 25, 15 + 65535});
    EXPECT_THAT(Pictures(l.cv),
                ElementsAre(Rect{0, 0, 10, 10}, Rect{10, 0, 20, 10}, Rect{20, 0, 30, 10},
                            Rect{0, 10, 10, 20}, Rect{10, 10, 20, 20}, Rect{20, 10, 30, 20}));
    // Seen from the middle, the tiles keep the grid of the rectangle.
    Layout mid;
    mid.cv.device = {12, 31, 13, 32};
    Lay(mid, "<BODY BACKGROUND=\"one\">a", params, {0, 0, 25, 15 + 65535});
    EXPECT_THAT(Pictures(mid.cv), ElementsAre(Rect{10, 30, 20, 40}));
}

TEST(MarkupTags, ParagraphBackgroundBand) {
    Layout l;
    Lay(l, "<P BGCOLOR=\"#00FF00\">a</P>b");
    auto fills = OpsOf(l.cv, DrawOp::Fill);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].rect, (Rect{0, 0, 201, 12}));
    EXPECT_EQ(fills[0].color, 0x0000FF00u);
    auto t = l.cv.Texts();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].color, 0x0000FF00u);
    EXPECT_EQ(t[1].color, clNone);
}

TEST(MarkupTags, ErrorMarkZigzag) {
    Layout l;
    Lay(l, "<E>ab</E>c");
    std::vector<std::string> lines;
    for (const DrawOp& op : OpsOf(l.cv, DrawOp::Line)) {
        EXPECT_EQ(op.color, clRed);
        lines.push_back(std::to_string(op.x0) + "," + std::to_string(op.y0) + "-" +
                        std::to_string(op.x1) + "," + std::to_string(op.y1));
    }
    EXPECT_THAT(lines,
                ElementsAre("0,13-2,11", "2,11-4,13", "4,13-6,11", "6,11-8,13", "8,13-10,11"));
}

TEST(MarkupColours, ColorFromName) {
    struct Case {
        const char* name;
        TColor value;
    } cases[] = {
        {"clred", 0x000000FF},
        {"clblue", 0x00FF0000},
        {"clteal", 0x00808000},
        {"clmaroon", 0x00000080},
        {"clblack", 0},
        {"clbackground", 0x80000001},
        {"clhighlight", 0x8000000D},
        {"clinfobk", 0x80000018},
        {"clRed", 0},
        {"", 0},
        {"red", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorFromName(c.name), c.value) << c.name;
}

TEST(MarkupColours, ColorFromHex) {
    struct Case {
        const char* text;
        TColor value;
    } cases[] = {
        {"#FF0000", 0x000000FF},
        {"#00FF00", 0x0000FF00},
        {"#0000FF", 0x00FF0000},
        {"#123456", 0x00563412},
        {"#12345", 0x00003412},
        {"#", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ColorFromHex(c.text), c.value) << c.text;
}

} // namespace
} // namespace kes
