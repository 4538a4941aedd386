// The label's decisions on the recording surface (4 x 12 pixel cells): what a paint draws, how
// the anchor bookkeeping follows mouse and keys, and what the timer does.
#include "widgets/HTMLText/HTMLText.h"

#include "widgets/HTMLText/testing/recording_canvas.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace kes {
namespace {

using ::testing::ElementsAre;

TComponent gSender(nullptr);

class TestLabel : public THTMLStaticTextCore {
public:
    TestLabel() : THTMLStaticTextCore(&gSender) {}
    Rect client{0, 0, 100, 40};
    bool focused = false, enabled = true, hc = false, pointer = false;
    int px = 0, py = 0;
    int repaints = 0, hintsCancelled = 0, timerStarts = 0, timerStops = 0;
    std::vector<Rect> invalidated;
    std::vector<std::string> events; // "enter:x", "exit:", "click:x", "key:x", "open:x"

    void Listen() {
        OnAnchorEnter = [this](TComponent* s, const std::string& a) { Note(s, "enter:" + a); };
        OnAnchorExit = [this](TComponent* s, const std::string& a) { Note(s, "exit:" + a); };
        OnAnchorClick = [this](TComponent* s, const std::string& a) { Note(s, "click:" + a); };
        OnAnchorKeypress = [this](TComponent* s, const std::string& a) { Note(s, "key:" + a); };
        OpenTarget = [this](const std::string& t) { events.push_back("open:" + t); };
    }
    std::unique_ptr<RecordingCanvas> Paint(bool full = true) {
        auto cv = std::make_unique<RecordingCanvas>();
        cv->ShareFonts(Fonts());
        cv->device = client;
        DoPaint(*cv, full);
        return cv;
    }
    void MoveTo(int x, int y) {
        px = x, py = y, pointer = true;
        MouseMove(x, y);
    }

protected:
    Rect ClientRect() const override { return client; }
    void SetClientSize(int w, int h) override {
        client.right = client.left + w;
        client.bottom = client.top + h;
    }
    void Invalidate(const Rect* r) override { invalidated.push_back(r ? *r : client); }
    void Measure(const std::function<void(Canvas&)>& f) override {
        RecordingCanvas cv;
        cv.ShareFonts(Fonts());
        f(cv);
    }
    bool Focused() const override { return focused; }
    bool Enabled() const override { return enabled; }
    bool PointerPos(int& x, int& y) const override {
        x = px, y = py;
        return pointer;
    }
    bool HighContrast() const override { return hc; }
    void CursorChanged() override {}
    void CancelHint() override { ++hintsCancelled; }
    void StartTimer() override { ++timerStarts; }
    void StopTimer() override { ++timerStops; }
    // As the window does: the paint comes later, after whatever input is queued.
    void Repaint(bool) override {
        ++repaints;
        invalidated.push_back(client);
    }

private:
    void Note(TComponent* sender, const std::string& e) {
        EXPECT_EQ(sender, &gSender);
        events.push_back(e);
    }
};

std::vector<DrawOp> Ops(const RecordingCanvas& cv, DrawOp::Kind kind) {
    std::vector<DrawOp> out;
    for (const DrawOp& op : cv.ops)
        if (op.kind == kind)
            out.push_back(op);
    return out;
}

std::vector<std::string> Placed(const RecordingCanvas& cv) {
    std::vector<std::string> out;
    for (const DrawOp& op : cv.Texts())
        out.push_back(op.text + "@" + std::to_string(op.rect.left) + "," +
                      std::to_string(op.rect.top));
    return out;
}

TEST(LabelPaint, FramesTextRectangleAndTheDisabledLook) {
    TestLabel l;
    l.SetHTMLText({"ab"});
    l.SetBevelOuter(bvRaised);
    l.SetBevelInner(bvLowered);
    l.SetBevelWidth(2);
    l.SetBorderWidth(3);
    l.SetBorderStyle(bsSingle);
    auto cv = l.Paint();
    auto frames = Ops(*cv, DrawOp::Frame3D);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].rect, (Rect{0, 0, 100, 40}));
    EXPECT_EQ(frames[0].color, clBtnHighlight);
    EXPECT_EQ(static_cast<TColor>(frames[0].x0), clBtnShadow);
    EXPECT_EQ(frames[1].rect, (Rect{2, 2, 98, 38})); // the border in Color
    EXPECT_EQ(frames[1].color, clBtnFace);
    EXPECT_EQ(frames[1].x1, 3);
    EXPECT_EQ(frames[2].rect, (Rect{5, 5, 95, 35})); // lowered: the colours swapped
    EXPECT_EQ(frames[2].color, clBtnShadow);
    auto outline = Ops(*cv, DrawOp::Rectangle);
    ASSERT_EQ(outline.size(), 1u);
    EXPECT_EQ(outline[0].rect, (Rect{7, 7, 93, 33}));
    EXPECT_EQ(outline[0].color, clBlack);
    EXPECT_EQ(outline[0].x0, 3);
    // The text sits inside every frame, the outline's 3 pixels too (clip and position).
    EXPECT_EQ(Ops(*cv, DrawOp::Clip).back().rect, (Rect{10, 10, 90, 30}));
    EXPECT_THAT(Placed(*cv), ElementsAre("ab@11,10"));
    // Without frames only the text.
    EXPECT_TRUE(Ops(*l.Paint(false), DrawOp::Frame3D).empty());

    // Disabled: white one pixel down and right, grey on top.
    l.enabled = false;
    auto texts = l.Paint()->Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rect.left, 12);
    EXPECT_EQ(texts[0].rect.top, 11);
    EXPECT_EQ(texts[0].font.color, clWhite);
    EXPECT_EQ(texts[1].rect.left, 11);
    EXPECT_EQ(texts[1].font.color, clGray);
    // High contrast: the system's colours.
    l.enabled = true;
    l.hc = true;
    l.SetHTMLText({"<A href=\"x\">ab</A>"});
    auto hcTexts = l.Paint()->Texts();
    ASSERT_EQ(hcTexts.size(), 1u);
    EXPECT_EQ(hcTexts[0].font.color, clHotLight);
}

TEST(LabelPaint, VerticalAlignmentAndAutoSize) {
    TestLabel l; // 100 x 40, one 12-pixel line
    l.SetHTMLText({"ab"});
    struct Case {
        TVAlignment v;
        int top;
    } cases[] = {{tvaTop, 0}, {tvaCenter, 14}, {tvaBottom, 28}};
    for (const Case& c : cases) {
        l.SetVAlignment(c.v);
        EXPECT_THAT(Placed(*l.Paint()), ElementsAre("ab@1," + std::to_string(c.top))) << c.v;
    }
    // Hit tests see the text where it is drawn.
    std::string a;
    Rect r;
    l.SetHTMLText({"<A href=\"x\">ab</A>"});
    EXPECT_FALSE(l.IsAnchor(4, 6, a, r));
    EXPECT_TRUE(l.IsAnchor(4, 34, a, r));
    EXPECT_EQ(a, "x");

    // Auto-sizing: the height becomes the text's + 6 after a paint, and a centred text stays
    // in the window although the text is laid out without a bottom.
    l.SetHTMLText({"ab<BR>cd"});
    l.SetVAlignment(tvaCenter);
    l.SetAutoSizeP(true);
    auto cv = l.Paint();
    EXPECT_EQ(l.client.Height(), 24 + 6);
    EXPECT_EQ(l.client.Width(), 100); // asVertical only
    EXPECT_THAT(Placed(*cv), ElementsAre("ab@1,8", "cd@1,20"));
    l.SetAutoSizeType(asBoth);
    l.Paint();
    EXPECT_EQ(l.client.Width(), 8 + 6);
    l.Align = alTop; // a top-aligned control keeps the width its parent gives it
    l.client = {0, 0, 100, 40};
    l.Paint();
    EXPECT_EQ(l.client.Width(), 100);
    EXPECT_EQ(l.client.Height(), 30);
}

TEST(LabelScroll, ArrowsClickRepeatAndTheirSetters) {
    TestLabel l; // 100 x 40: 3 lines fit, 6 are given
    l.SetHTMLText({"1<BR>2<BR>3<BR>4<BR>5<BR>6"});
    l.SetVOffset(8); // ignored while MiniScroll is off
    EXPECT_EQ(l.VOffset(), 0);
    // Without arrows a line reaching below the label is clipped, not left out.
    EXPECT_EQ(l.Paint()->AllText(), "1234");
    l.SetMiniScroll(true);
    auto arrows = Ops(*l.Paint(), DrawOp::Arrow);
    ASSERT_EQ(arrows.size(), 1u);
    EXPECT_EQ(arrows[0].rect, (Rect{90, 30, 100, 40}));
    EXPECT_FALSE(arrows[0].large);
    l.MouseDown(95, 35);
    l.MouseUp(95, 35);
    EXPECT_EQ(l.VOffset(), 4);
    auto cv = l.Paint();
    l.px = 95, l.py = 35, l.pointer = true;
    l.TimerTick(); // released, and no AutoScroll: the arrow does not repeat
    EXPECT_EQ(l.VOffset(), 4);
    EXPECT_EQ(Ops(*cv, DrawOp::Arrow).size(), 2u);
    EXPECT_TRUE(l.UpArrow());
    EXPECT_EQ(Placed(*cv).front(), "1@1,-4");
    EXPECT_EQ(cv->AllText(), "1234"); // the line partly in view too
    EXPECT_EQ(Ops(*cv, DrawOp::Clip).back().rect, (Rect{0, 0, 90, 40})); // not above the label
    // Held on the up arrow, the timer scrolls back; at 0 nothing goes below 0.
    l.MouseDown(95, 2);
    EXPECT_EQ(l.VOffset(), 0);
    l.px = 95, l.py = 2, l.pointer = true;
    l.Paint();
    l.TimerTick(); // no up arrow at 0
    EXPECT_EQ(l.VOffset(), 0);
    l.MouseUp(95, 35);
    l.AutoScroll = true;
    l.px = 95, l.py = 35;
    for (int i = 0; i < 3; ++i) {
        l.TimerTick();
        l.Paint();
    }
    EXPECT_EQ(l.VOffset(), 12);
    // The down arrow goes once the end is in view: 72 pixels of text in 40.
    for (int i = 0; i < 20; ++i) {
        l.TimerTick();
        l.Paint();
    }
    EXPECT_FALSE(l.DownArrow());
    EXPECT_EQ(l.VOffset(), 72 - 40 + 4);

    l.SetVAlignment(tvaCenter);
    EXPECT_FALSE(l.MiniScroll());
    EXPECT_EQ(l.VOffset(), 0);
    l.SetMiniScroll(true);
    EXPECT_EQ(l.VAlignment(), tvaTop);
}

TEST(LabelAnchors, MouseEnterExitClickAndTargets) {
    TestLabel l;
    l.Listen();
    l.SetHover(true);
    // "plain" x 1-21; "a" 25-29 (x); "b" 33-37 (mailto); "c" 41-45 (http); "d" 49-53 (x again)
    l.SetHTMLText({"plain <A href=\"x\">a</A> <A href=\"mailto:me@example.invalid\">b</A> ",
                   "<A href=\"http://example.invalid/\">c</A> <A href=\"x\">d</A>"});
    l.Paint();
    l.MoveTo(10, 6);
    EXPECT_EQ(l.Cursor(), crDefault);
    EXPECT_TRUE(l.events.empty());
    l.MoveTo(27, 6);
    EXPECT_EQ(l.Cursor(), crHandPoint);
    EXPECT_EQ(l.HoveredAnchor(), 1);
    l.invalidated.clear();
    l.MoveTo(28, 6); // the same anchor: nothing new
    EXPECT_TRUE(l.invalidated.empty());
    l.MoveTo(35, 6);
    l.MoveTo(51, 6); // the same href as the first, another anchor
    l.MoveTo(70, 6);
    EXPECT_EQ(l.Cursor(), crDefault);
    EXPECT_THAT(l.events,
                ElementsAre("enter:x", "enter:mailto:me@example.invalid", "enter:x", "exit:"));
    EXPECT_EQ(l.HoveredAnchor(), -1);
    // The hovered anchor is decorated in the paint, the others not.
    l.MoveTo(35, 6);
    std::string decorated;
    for (const DrawOp& t : l.Paint()->Texts())
        if (t.font.style & fsUnderline)
            decorated += t.text;
    EXPECT_EQ(decorated, "b");
    // A click is a press and a release inside; a release alone (a press that began elsewhere)
    // is none.
    int clicks = 0;
    l.OnClick = [&](TComponent*) { ++clicks; };
    l.MouseDown(10, 6);
    l.MouseUp(10, 6);
    l.MouseUp(10, 6);
    l.MouseDown(10, 6);
    l.MouseUp(150, 6); // released outside
    EXPECT_EQ(clicks, 1);
    l.OnClick = nullptr;
    // Leaving the window from an anchor leaves the anchor.
    l.events.clear();
    l.MouseLeave();
    EXPECT_EQ(l.Cursor(), crDefault);
    EXPECT_THAT(l.events, ElementsAre("exit:"));

    l.events.clear();
    for (int x : {10, 27, 35, 43, 51})
        l.MouseDown(x, 6);
    EXPECT_THAT(l.events, ElementsAre("click:x", "open:mailto:me@example.invalid",
                                      "open:http://example.invalid/", "click:x"));
    // The default action of an anchor (accessibility) is the click.
    l.events.clear();
    l.ActivateAnchor(3);
    l.ActivateAnchor(4);
    l.ActivateAnchor(9);
    EXPECT_THAT(l.events, ElementsAre("open:http://example.invalid/", "click:x"));
    // Hints: the href with AnchorHint; elsewhere the control's own.
    bool on = true;
    EXPECT_EQ(l.HintText(27, 6, on), "");
    EXPECT_FALSE(on);
    l.AnchorHint = true;
    EXPECT_EQ(l.HintText(27, 6, on), "x");
    EXPECT_TRUE(on);
    EXPECT_EQ(l.HintText(10, 6, on), "");
    EXPECT_FALSE(on);
}

TEST(LabelAnchors, KeyboardFocusCyclesAndFires) {
    TestLabel l;
    l.Listen();
    l.SetHTMLText({"<A href=\"p\">a</A> <A href=\"q\">b</A> <A href=\"http://r.invalid\">c</A>"});
    l.focused = true;
    l.FocusChanged(true);
    l.Paint();
    EXPECT_EQ(l.AnchorCount(), 3);
    EXPECT_EQ(l.FocusedAnchor(), 0);
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        int key = 39;
        l.KeyDown(key);
        EXPECT_EQ(key, 0);
        seen.push_back(l.FocusedAnchor());
    }
    int left = 37;
    l.KeyDown(left);
    seen.push_back(l.FocusedAnchor());
    EXPECT_THAT(seen, ElementsAre(1, 2, 0, 2));
    auto cv = l.Paint();
    auto focus = Ops(*cv, DrawOp::Focus);
    ASSERT_EQ(focus.size(), 1u);
    EXPECT_EQ(focus[0].rect.left, 16); // around "c" at 17
    l.KeyPress('\r');
    left = 37;
    l.KeyDown(left);
    l.Paint();
    l.KeyPress(' ');
    l.KeyPress('x');
    EXPECT_THAT(l.events, ElementsAre("open:http://r.invalid", "key:q"));
    // A key acts on the anchor it follows at once, not on the one the last paint showed.
    l.events.clear();
    l.focused = true;
    l.SetHTMLText({"<A href=\"p\">a</A> <A href=\"q\">b</A> <A href=\"http://r.invalid\">c</A>"});
    l.FocusChanged(true);
    for (int key : {39, 39, 37}) {
        l.KeyDown(key);
        l.KeyPress('\r');
    }
    EXPECT_THAT(l.events, ElementsAre("key:q", "open:http://r.invalid", "key:q"));
    // Without the focus no rectangle; without anchors the arrows stay with the dialog.
    l.focused = false;
    EXPECT_TRUE(Ops(*l.Paint(), DrawOp::Focus).empty());
    l.SetHTMLText({"plain"});
    l.Paint();
    int right = 39;
    l.KeyDown(right);
    EXPECT_EQ(right, 39);
}

TEST(LabelAnchors, AWrappedAnchorIsEveryLineOfIt) {
    TestLabel l; // 100 x 40: "bb " ends the first line at x 93, "cc" wraps
    l.Listen();
    l.SetHover(true);
    l.SetHTMLText({"aaaaaaaaaaaaaaaaaaa <A href=\"w\">bb cc</A> d"});
    // The first line's box holds the blank it ends with: it is drawn with the link's look.
    const std::vector<Rect> lines{{81, 0, 93, 12}, {1, 12, 9, 24}};
    EXPECT_EQ(l.AnchorRects(1), lines);
    EXPECT_TRUE(l.AnchorRects(2).empty());
    // Entering on the second line repaints both; so does leaving.
    l.invalidated.clear();
    l.MoveTo(5, 18);
    EXPECT_THAT(l.invalidated, ElementsAre(lines[0], lines[1]));
    l.invalidated.clear();
    l.MoveTo(50, 30);
    EXPECT_EQ(l.invalidated.at(0), lines[0]);
    EXPECT_EQ(l.invalidated.at(1), lines[1]);
    l.MoveTo(85, 6);
    l.invalidated.clear();
    l.MouseLeave();
    EXPECT_THAT(l.invalidated, ElementsAre(lines[0], lines[1]));
    EXPECT_THAT(l.events, ElementsAre("enter:w", "exit:", "enter:w", "exit:"));
    // Coming into the window straight onto the anchor and going again repaints both lines too.
    l.px = 5, l.py = 18, l.pointer = true;
    l.MouseEnter();
    l.invalidated.clear();
    l.MouseLeave();
    EXPECT_THAT(l.invalidated, ElementsAre(lines[0], lines[1]));
}

TEST(LabelTimer, BlinkAnimationAndTheTimersLife) {
    TestLabel l;
    // Ticks with nothing to step or blink repaint nothing.
    TPictureContainer still;
    still.Items().Add().Name = "P";
    l.SetPictureContainer(&still);
    l.SetHTMLText({"plain <IMG src=\"P\">"});
    for (int i = 0; i < 5; ++i) // five: the blink count starts over
        l.TimerTick();
    EXPECT_EQ(l.repaints, 0);
    l.SetPictureContainer(nullptr);
    l.SetHTMLText({"<BLINK>on</BLINK>"});
    auto visible = [&] {
        auto t = l.Paint()->Texts();
        return !t.empty() && t[0].font.color != l.Color; // hidden text is drawn in the background
    };
    EXPECT_FALSE(visible());
    std::vector<bool> phases;
    for (int i = 1; i <= 15; ++i) {
        l.TimerTick();
        phases.push_back(l.BlinkPhase());
    }
    EXPECT_EQ(phases[3], false);
    EXPECT_EQ(phases[4], true);
    EXPECT_EQ(phases[8], true);
    EXPECT_EQ(phases[9], false);
    EXPECT_EQ(phases[14], true);
    EXPECT_TRUE(visible());
    // Off stops the timer and hides the text; in high contrast it never blinks, always shows.
    l.SetEnableBlink(true);
    EXPECT_EQ(l.timerStarts, 1);
    l.SetEnableBlink(true);
    EXPECT_EQ(l.timerStarts, 1);
    l.SetEnableBlink(false);
    EXPECT_EQ(l.timerStops, 1);
    EXPECT_FALSE(l.BlinkPhase());
    l.hc = true;
    for (int i = 0; i < 10; ++i)
        l.TimerTick();
    EXPECT_FALSE(l.BlinkPhase());
    EXPECT_TRUE(visible());
}

TEST(LabelText, NewLinesAfterAHoverAreShownAndHitTestedAndImagesFollowThePointer) {
    TestLabel l;
    l.Listen();
    l.SetHTMLText({"<A href=\"x\">ab</A>"});
    l.Paint();
    l.MoveTo(5, 6);
    // "ab" x 1-9 now plain, "cd" 13-21 the anchor.
    l.SetHTMLText({"ab ", "<A href=\"y\">cd</A>"});
    EXPECT_EQ(l.Paint()->AllText(), "ab cd");
    EXPECT_EQ(l.GetText(), "ab cd");
    l.MoveTo(5, 6);
    l.MoveTo(16, 6);
    EXPECT_THAT(l.events, ElementsAre("enter:x", "exit:", "enter:y"));

    // An image in an anchor shows its ALT picture while the pointer rests on it (x 1-11).
    TestImageList images(2, 10, 10);
    l.SetImages(&images);
    l.SetHTMLText({"<A href=\"i\"><IMG SRC=\"IDX:0\" ALT=\"IDX:1\"></A>"});
    const auto shown = [&] {
        auto cv = l.Paint();
        std::vector<int> out;
        for (const DrawOp& op : cv->ops)
            if (op.kind == DrawOp::Image)
                out.push_back(op.x1);
        return out;
    };
    l.MoveTo(5, 5);
    EXPECT_THAT(shown(), ElementsAre(1));
    l.MoveTo(50, 30);
    EXPECT_THAT(shown(), ElementsAre(0));
}

TEST(LabelText, GetTextAnchorsAndBadInput) {
    TestLabel l;
    l.SetHTMLText({"<FONT face=\"Tahoma\">If you need ", "this.<br><br>", "Um mit", "</FONT>", ""});
    EXPECT_EQ(l.GetDisplText(), "<FONT face=\"Tahoma\">If you need this.<br><br>Um mit</FONT>");
    EXPECT_EQ(l.GetText(), "If you need this.\r\n\r\nUm mit");
    EXPECT_TRUE(ListAnchors(l.GetDisplText()).empty());
    auto anchors = ListAnchors("x <A href=\"h1\">one <B>two</B></A> y <A href=\"h2\">open");
    ASSERT_EQ(anchors.size(), 2u);
    EXPECT_EQ(anchors[0].text, "one two");
    EXPECT_EQ(anchors[0].href, "h1");
    EXPECT_EQ(anchors[1].text, "open");
    // Named as shown: entities resolved, "&&" one "&", a mnemonic "&" gone.
    anchors = ListAnchors("<A href=\"1\">user&nbsp;guide</A><A href=\"2\">help &amp; support</A>"
                          "<A href=\"3\">&Print &lt;all&gt;</A><A href=\"4\">a && b &</A>");
    ASSERT_EQ(anchors.size(), 4u);
    EXPECT_EQ(anchors[0].text, "user guide");
    EXPECT_EQ(anchors[1].text, "help & support");
    EXPECT_EQ(anchors[2].text, "Print <all>");
    EXPECT_EQ(anchors[3].text, "a & b");

    // Whatever the markup, a paint stays in the window and the bookkeeping in range.
    auto container = std::make_unique<TPictureContainer>();
    l.SetPictureContainer(container.get());
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "<A href=\"" + std::to_string(i) + "\">a</A>";
    for (const std::string& m :
         {many, std::string("<A href=\"x\">never closed <FONT size=\"99999999\">"),
          std::string("<IMG src=\"missing\"><BODY BACKGROUND=\"none\"><A")}) {
        l.SetHTMLText({m});
        l.SetAutoSizeP(true);
        l.Paint();
        l.MoveTo(5, 5);
        l.MouseDown(5, 5);
        EXPECT_LE(l.client.Height(), 65535 + 100);
    }
    // A container or image list freed while the label names them is forgotten: paints and
    // ticks after that draw without them.
    TestImageList images(1, 8, 8);
    auto list = std::make_unique<TestImageList>(1, 8, 8);
    l.SetImages(list.get());
    l.SetHTMLText({"<IMG src=\"IDX:0\"><IMG src=\"PIC\">"});
    container->Items().Add().Name = "PIC";
    l.Paint();
    l.invalidated.clear();
    container.reset(); // the container goes first: the list stays named, the label repaints
    EXPECT_EQ(l.PictureContainer(), nullptr);
    EXPECT_EQ(l.Images(), list.get());
    EXPECT_EQ(l.invalidated.size(), 1u);
    list.reset();
    EXPECT_EQ(l.Images(), nullptr);
    EXPECT_EQ(l.invalidated.size(), 2u);
    l.TimerTick();
    EXPECT_TRUE(Ops(*l.Paint(), DrawOp::Image).empty());
    // Another list named instead: the first one's end no longer concerns the label.
    auto first = std::make_unique<TestImageList>(1, 8, 8);
    l.SetImages(first.get());
    l.SetImages(&images);
    first.reset();
    EXPECT_EQ(l.Images(), &images);
}

} // namespace
} // namespace kes
