// THTMLStaticText on a real window under Wine, driven by real messages: mouse, keys, timer
// ticks, painting into a bitmap and a screen reader's WM_GETOBJECT.
#include "widgets/HTMLText/HTMLText_win32.h"

#include "toolkit/testing/window_test_kit_win32.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

namespace kes {
namespace {

using ::testing::ElementsAre;

using test::PumpUntil;

LPARAM At(int x, int y) {
    return MAKELPARAM(x, y);
}

class LabelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        owner = std::make_unique<test::TestHost>(Bounds{100, 100, 400, 200});
        host = owner->Handle();
        label = std::make_unique<THTMLStaticText>(nullptr, "label", host, Bounds{10, 10, 300, 60});
        label->OpenTarget = [this](const std::string& t) { events.push_back("open:" + t); };
        label->OnAnchorEnter = [this](TComponent* s, const std::string& a) {
            EXPECT_EQ(s, label.get());
            events.push_back("enter:" + a);
        };
        label->OnAnchorExit = [this](TComponent*, const std::string& a) {
            events.push_back("exit:" + a);
        };
        label->OnAnchorClick = [this](TComponent*, const std::string& a) {
            events.push_back("click:" + a);
        };
        label->OnAnchorKeypress = [this](TComponent*, const std::string& a) {
            events.push_back("key:" + a);
        };
        label->SetHTMLText(
            {"plain <A href=\"x\">aa</A> <A href=\"mailto:me@example.invalid\">bb</A> ",
             "<A href=\"http://example.invalid/\">cc</A>"});
        UpdateWindow(label->Handle());
        // Where the anchors are, as the real font lays them out.
        for (int x = 0; x < 300; ++x)
            if (int i = label->AnchorAt(x, 8); i > 0 && !anchorX.count(i))
                anchorX[i] = x + 2;
        ASSERT_EQ(anchorX.size(), 3u);
    }
    void TearDown() override {
        label.reset();
        owner.reset();
    }
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
        return SendMessageW(label->Handle(), msg, wp, lp);
    }

    std::unique_ptr<test::TestHost> owner;
    HWND host = nullptr;
    std::unique_ptr<THTMLStaticText> label;
    std::vector<std::string> events;
    std::map<int, int> anchorX; // a point inside each anchor, on the first line
};

TEST_F(LabelWindow, MouseTracksAnchorsClicksOpenOrReportAndLeavingIsNoticed) {
    // The real pointer comes onto the plain text first: the system's own move arrives.
    bool entered = false;
    label->OnMouseEnter = [&](TComponent*) { entered = true; };
    POINT screen{2, 8};
    ClientToScreen(label->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    ASSERT_TRUE(PumpUntil([&] { return entered; }));
    Send(WM_MOUSEMOVE, 0, At(2, 8)); // plain text
    EXPECT_EQ(label->Cursor(), crDefault);
    Send(WM_MOUSEMOVE, 0, At(anchorX[1], 8));
    EXPECT_EQ(label->Cursor(), crHandPoint);
    EXPECT_EQ(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(label->Handle()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    Send(WM_MOUSEMOVE, 0, At(anchorX[2], 8));
    for (int i = 1; i <= 3; ++i) {
        Send(WM_LBUTTONDOWN, MK_LBUTTON, At(anchorX[i], 8));
        Send(WM_LBUTTONUP, 0, At(anchorX[i], 8));
    }
    EXPECT_EQ(GetCapture(), nullptr);
    // The pointer goes away: TrackMouseEvent reports it, and the anchor is left.
    SetCursorPos(5, 5);
    ASSERT_TRUE(PumpUntil([&] { return label->Cursor() == crDefault; }));
    EXPECT_THAT(events, ElementsAre("enter:x", "enter:mailto:me@example.invalid", "click:x",
                                    "open:mailto:me@example.invalid",
                                    "open:http://example.invalid/", "exit:"));
}

TEST_F(LabelWindow, KeyboardFocusTimerAndPaint) {
    const LRESULT code = Send(WM_GETDLGCODE);
    EXPECT_EQ(code & DLGC_WANTARROWS, DLGC_WANTARROWS);
    SetFocus(label->Handle());
    EXPECT_EQ(label->FocusedAnchor(), 0);
    Send(WM_KEYDOWN, VK_RIGHT);
    Send(WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(label->FocusedAnchor(), 2);
    Send(WM_KEYDOWN, VK_RIGHT);
    Send(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(label->FocusedAnchor(), 2);
    UpdateWindow(label->Handle()); // the paint learns the focused href
    Send(WM_CHAR, VK_RETURN);
    Send(WM_KEYDOWN, VK_LEFT);
    UpdateWindow(label->Handle());
    Send(WM_CHAR, ' ');
    Send(WM_KEYDOWN, VK_LEFT);
    UpdateWindow(label->Handle());
    Send(WM_CHAR, ' ');
    EXPECT_THAT(events, ElementsAre("open:http://example.invalid/",
                                    "open:mailto:me@example.invalid", "key:x"));

    // Painted into a bitmap: black text, blue anchors, nothing outside the label's 300 x 60.
    testdata::Bitmap bmp(320, 80);
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bmp.dc()), PRF_CLIENT);
    int blue = 0, black = 0, beyond = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 320; ++x) {
            const auto p = bmp.Pixel(x, y);
            if (x >= 300 || y >= 60) {
                beyond += p != 0xFFFFFF;
                continue;
            }
            blue += p == 0x0000FF;
            black += p == 0x000000;
        }
    EXPECT_GT(blue, 10);
    EXPECT_GT(black, 10);
    EXPECT_EQ(beyond, 0);

    // The kept paint buffer follows the label's size and the target's format: a larger label is
    // painted all over, and after a buffer made for a one-bit context the colours are back.
    label->Color = 0x00336699;
    SetWindowPos(label->Handle(), nullptr, 0, 0, 320, 80, SWP_NOMOVE | SWP_NOZORDER);
    testdata::Bitmap larger(320, 80);
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(larger.dc()), PRF_CLIENT);
    EXPECT_EQ(larger.Pixel(319, 79), 0x996633u);
    SetWindowPos(label->Handle(), nullptr, 0, 0, 300, 60, SWP_NOMOVE | SWP_NOZORDER);
    const UniqueMemoryDC mono(CreateCompatibleDC(nullptr)); // holds a 1 x 1 one-bit bitmap
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mono.Get()), PRF_CLIENT);
    testdata::Bitmap colour(300, 60);
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(colour.dc()), PRF_CLIENT);
    int blueAgain = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x)
            blueAgain += colour.Pixel(x, y) == 0x0000FF;
    EXPECT_EQ(blueAgain, blue);

    // BLINK on the 100 ms timer: its ticks arrive as WM_TIMER 1; every fifth toggles the phase.
    label->SetHTMLText({"<BLINK>on</BLINK>"});
    label->SetEnableBlink(true);
    EXPECT_TRUE(PumpUntil([&] { return label->BlinkPhase(); })); // the real timer runs
    const bool phase = label->BlinkPhase();
    for (int i = 0; i < 5; ++i)
        Send(WM_TIMER, 1);
    EXPECT_NE(label->BlinkPhase(), phase);
    label->SetEnableBlink(false);
    EXPECT_FALSE(KillTimer(label->Handle(), 1)); // already stopped
    EXPECT_FALSE(label->BlinkPhase());

    // Auto-sizing to the text's height + 6 at the next paint.
    label->SetHTMLText({"one<BR>two"});
    label->SetAutoSizeP(true);
    UpdateWindow(label->Handle());
    RECT rc;
    GetClientRect(label->Handle(), &rc);
    const int line = rc.bottom - 6;
    EXPECT_GT(line, 20);
    EXPECT_LT(line, 40);
}

TEST_F(LabelWindow, ScreenReaderReadsTheTextAndEachAnchorAsALink) {
    ComInit com;
    ComPtr<IAccessible> acc;
    ASSERT_EQ(AccessibleObjectFromWindow(label->Handle(), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), acc.PutVoid()),
              S_OK);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    UniqueBstr name;
    ASSERT_EQ(acc->get_accName(self, name.Put()), S_OK);
    EXPECT_STREQ(name.Get(), L"plain aa bb cc");
    long count = 0;
    EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 3);
    VARIANT link;
    link.vt = VT_I4;
    link.lVal = 2;
    UniqueBstr linkName, value;
    acc->get_accName(link, linkName.Put());
    acc->get_accValue(link, value.Put());
    EXPECT_STREQ(linkName.Get(), L"bb");
    EXPECT_STREQ(value.Get(), L"mailto:me@example.invalid");
    UniqueVariant role;
    acc->get_accRole(link, &role.v);
    EXPECT_EQ(role.v.lVal, ROLE_SYSTEM_LINK);
    // Hit test and default action: the anchor under a point, and its click.
    POINT pt{anchorX[3], 8};
    ClientToScreen(label->Handle(), &pt);
    UniqueVariant hit;
    ASSERT_EQ(acc->accHitTest(pt.x, pt.y, &hit.v), S_OK);
    EXPECT_EQ(hit.v.lVal, 3);
    EXPECT_EQ(acc->accDoDefaultAction(link), S_OK);
    EXPECT_THAT(events, ElementsAre("open:mailto:me@example.invalid"));
    // The window goes; the object a client still holds answers with errors, not a crash.
    label.reset();
    UniqueBstr after;
    EXPECT_TRUE(FAILED(acc->get_accName(self, after.Put())));
}

} // namespace
} // namespace kes
