// The console's help paragraph laid out and drawn by DrawMarkup on the GDI surface, with the
// Wine prefix's real Tahoma: sizes are checked against the font, not pixel by pixel.
#include "widgets/HTMLText/gdi_canvas_win32.h"
#include "widgets/HTMLText/markup.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace kes {
namespace {

// The label's six HTMLText strings, joined without a separator.
const std::string kHelp =
    std::string("<FONT face=\"Tahoma\">If you need, to synchronize categories only with the user "
                "of your choice, you can define the categories you need in ") +
    "this section. Please select first the user you want to modify and click the button "
    "\"+\".<br><br>" +
    "Um mit jedem Benutzer andere Kategorien abgleichen zu k\xC3\xB6nnen, gehen Sie bitte wie "
    "folgt vor. Suchen Sie aus der rechten Box einen " +
    "Benutzer aus und klicken auf den \"+\" Button. Legen Sie nun die Kategorie fest. Mit "
    "weiteren Nutzern k\xC3\xB6nnen Sie ebenso verfahren." +
    "</FONT>" + "";

using testdata::Bitmap;

TEST(HelpParagraph, LaidOutInTahomaLinesWithinTheLabel) {
    // The prefix has the real Tahoma (./dev copies Wine's fonts in): without it the face falls
    // back to another one whose metrics say nothing about Windows.
    {
        const UniqueFont tahoma(CreateFontW(
            -11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
        const UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
        const SelectedObject selected(dc.Get(), tahoma.Get());
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc.Get(), LF_FACESIZE, face);
        ASSERT_STREQ(face, L"Tahoma");
    }
    const Rect label{0, 0, 545, 81}; // HTMLStaticText1's size on the form
    Bitmap bmp(545, 200);
    GdiCanvas canvas(bmp.dc());

    canvas.font.face = "Tahoma";
    const int line = canvas.Metrics().height;
    const int widest =
        canvas.TextWidth("If you need, to synchronize categories only with the user");
    canvas.font = FontSpec{}; // the label's own font: the markup switches to Tahoma

    MarkupParams measure;
    measure.MeasureOnly = true;
    measure.HitTest = true;
    MarkupOutputs all;
    DrawMarkup(canvas, kHelp, label, measure, all);
    // English (wrapped), two BR lines, German (wrapped): every line is a Tahoma line.
    EXPECT_EQ(all.Height % line, 0) << all.Height << " / " << line;
    const int lines = all.Height / line;
    EXPECT_GE(lines, 5);
    EXPECT_LE(lines, 8);
    EXPECT_GT(all.Width, widest);
    EXPECT_LE(all.Width, label.Width());
    EXPECT_EQ(all.AnchorCount, 0);

    MarkupParams draw;
    MarkupOutputs drawn;
    EXPECT_FALSE(DrawMarkup(canvas, kHelp, label, draw, drawn));
    std::vector<int> rows = bmp.InkedRows();
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.front(), line);
    // The whole paragraph fits the label, its last sentence included.
    EXPECT_LE(all.Height, label.Height());
    EXPECT_GE(rows.back(), all.Height - line);
    // Drawing stops at the label's bottom: the line that starts inside it is the last.
    EXPECT_LT(rows.back(), (label.bottom / line + 1) * line);
    EXPECT_LE(bmp.Inked().right, label.right);
    // The blank line between the paragraphs stays blank.
    int blankLines = 0;
    for (int l = 0; l * line < label.bottom; ++l) {
        bool inked = false;
        for (int y : rows)
            inked = inked || (y >= l * line + 2 && y < (l + 1) * line - 2);
        blankLines += inked ? 0 : 1;
    }
    EXPECT_GE(blankLines, 1);
    // The canvas font is the label's again.
    EXPECT_EQ(canvas.font, FontSpec{});
}

} // namespace
} // namespace kes
