// THTMLStaticText on a real window under Wine, driven by real messages: mouse, keys, timer
// ticks, painting into a bitmap and a screen reader's WM_GETOBJECT.
#include "widgets/HTMLText/HTMLText_win32.h"

#include "toolkit/testing/window_test_kit_win32.h"
#include "widgets/HTMLText/gdi_canvas_win32.h"
#include "widgets/HTMLText/testing/gif_test_data.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <commctrl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>

namespace kes {
namespace {

using ::testing::ElementsAre;

using test::PumpUntil;
using testdata::Bitmap;

constexpr std::uint32_t kBlue = 0x0000FF, kRed = 0xFF0000, kGreen = 0x00FF00,
                        kYellow = 0xFFFF00; // as Bitmap::Pixel reads them

// What the label paints, through WM_PRINTCLIENT.
std::unique_ptr<Bitmap> Painted(HWND label) {
    RECT rc;
    GetClientRect(label, &rc);
    auto bmp = std::make_unique<Bitmap>(rc.right, rc.bottom);
    SendMessageW(label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bmp->dc()), PRF_CLIENT);
    return bmp;
}

// What the window shows on the screen now.
std::unique_ptr<Bitmap> OnScreen(HWND window) {
    RECT rc;
    GetClientRect(window, &rc);
    auto bmp = std::make_unique<Bitmap>(rc.right, rc.bottom);
    WindowDC dc(window);
    BitBlt(bmp->dc(), 0, 0, rc.right, rc.bottom, dc.Get(), 0, 0, SRCCOPY);
    return bmp;
}

// The first pixel of a colour in the rows top..bottom, scanning each row left to right.
std::optional<POINT> Find(const Bitmap& bmp, std::uint32_t colour, int top, int bottom, int width) {
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < width; ++x)
            if (bmp.Pixel(x, y) == colour)
                return POINT{x, y};
    return std::nullopt;
}

bool HasColour(const Bitmap& bmp, std::uint32_t colour, const Rect& r) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (bmp.Pixel(x, y) == colour)
                return true;
    return false;
}

// Keys typed in one go, as a fast typist does: all of them are queued before the first is
// handled, so nothing the label leaves for a later paint has happened in between.
bool TypeAtOnce(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    for (WORD vk : keys)
        for (bool up : {false, true}) {
            INPUT i{};
            i.type = INPUT_KEYBOARD;
            i.ki.wVk = vk;
            i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
            i.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) |
                           (vk >= VK_LEFT && vk <= VK_DOWN ? KEYEVENTF_EXTENDEDKEY : 0);
            in.push_back(i);
        }
    return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
}

// The events without the pointer's jitter: Wine may move the pointer back to where X last saw
// it and on again, which leaves and enters the anchor once more.
std::vector<std::string> Settled(const std::vector<std::string>& events) {
    std::vector<std::string> out;
    std::string entered;
    for (const std::string& e : events) {
        if (e == "exit:")
            continue;
        if (e.rfind("enter:", 0) == 0) {
            if (e == entered)
                continue;
            entered = e;
        }
        out.push_back(e);
    }
    return out;
}

// Screen readers' focus events of one window, with the child each names.
HWND g_focusWindow = nullptr;
std::vector<LONG> g_focusChildren;
void CALLBACK OnFocusEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                           DWORD) {
    if (event == EVENT_OBJECT_FOCUS && hwnd == g_focusWindow && object == OBJID_CLIENT &&
        child != CHILDID_SELF)
        g_focusChildren.push_back(child);
}

// Fired inside a context menu's own loop: notes which menu is open and closes it. A named
// function, since a lambda does not convert to a 32-bit stdcall pointer.
HMENU g_openMenu = nullptr;
void CALLBACK NoteAndCloseMenu(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu))
        g_openMenu = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    EndMenu();
}

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

// The label's tooltip: over a link its href, shown beside the pointer; elsewhere its hint, where
// the tooltip puts it.
BOOL CALLBACK FindTip(HWND h, LPARAM lp) {
    auto* found = reinterpret_cast<std::pair<HWND, HWND>*>(lp); // the label, its tip
    wchar_t cls[32];
    GetClassNameW(h, cls, 32);
    TTTOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    if (wcscmp(cls, TOOLTIPS_CLASSW) == 0 &&
        SendMessageW(h, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&ti)) &&
        ti.hwnd == found->first)
        found->second = h;
    return TRUE;
}

TEST_F(LabelWindow, HintsShowTheLinkBesideThePointerOrTheLabelsHint) {
    label->AnchorHint = true;
    label->ShowHint = true;
    label->Hint = "label hint";
    const struct {
        int x; // 0: on the plain text
        const wchar_t* text;
        LRESULT shown; // TRUE: placed by the label
    } rows[] = {{anchorX[3], L"http://example.invalid/", TRUE}, {2, L"label hint", 0}};
    for (const auto& r : rows) {
        POINT at{r.x, 8};
        ClientToScreen(label->Handle(), &at);
        ASSERT_TRUE(test::MovePointer(at, host));
        std::pair<HWND, HWND> found{label->Handle(), nullptr};
        EnumThreadWindows(GetCurrentThreadId(), FindTip, reinterpret_cast<LPARAM>(&found));
        ASSERT_NE(found.second, nullptr);
        NMTTDISPINFOW info{};
        info.hdr = {found.second, 0, static_cast<UINT>(TTN_GETDISPINFOW)};
        Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_STREQ(info.lpszText, r.text);
        NMHDR show{found.second, 0, static_cast<UINT>(TTN_SHOW)};
        EXPECT_EQ(Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&show)), r.shown) << r.x;
        RECT tip;
        GetWindowRect(found.second, &tip);
        EXPECT_TRUE(!r.shown || tip.left == at.x + 10) << tip.left << " for " << at.x;
    }
}

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

TEST_F(LabelWindow, KeysActOnTheLinkTheyFocusAndScreenReadersFollow) {
    // Out of the tab order until asked, as created.
    EXPECT_FALSE(label->TabStop());
    TButton before(nullptr, "before", host, {10, 100, 80, 24}, "before", 100);
    SetFocus(before.Handle());
    ASSERT_TRUE(test::PressKey(VK_TAB, test::kNoModifier, host));
    EXPECT_EQ(GetFocus(), before.Handle()) << "a label off the tab order was tabbed to";
    label->SetTabStop(true);
    EXPECT_TRUE(label->TabStop());
    g_focusWindow = label->Handle();
    g_focusChildren.clear();
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnFocusEvent,
                        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(test::PressKey(VK_TAB, test::kNoModifier, host));
    ASSERT_TRUE(owner->PumpUntil([&] { return GetFocus() == label->Handle(); }));

    // Right and Enter typed at once: Enter acts on the second link, which Right focused.
    ASSERT_TRUE(TypeAtOnce({VK_RIGHT, VK_RETURN}));
    ASSERT_TRUE(owner->PumpUntil([&] { return events.size() == 1; }));
    ASSERT_TRUE(TypeAtOnce({VK_LEFT, VK_LEFT, VK_SPACE}));
    ASSERT_TRUE(owner->PumpUntil([&] { return events.size() == 2; }));
    EXPECT_THAT(events,
                ElementsAre("open:mailto:me@example.invalid", "open:http://example.invalid/"));
    // Each move told screen readers which link has the focus (child ids count from 1).
    ASSERT_TRUE(owner->PumpUntil([&] { return g_focusChildren.size() >= 4; }));
    EXPECT_THAT(g_focusChildren, ElementsAre(1, 2, 1, 3));
    UnhookWinEvent(hook);
    g_focusWindow = nullptr;

    // A click on a link of a label in the tab order takes the focus there: the keys go on
    // from the link clicked.
    SetFocus(before.Handle());
    events.clear();
    ASSERT_TRUE(test::Click(label->Handle(), {anchorX[2], 8}, host));
    EXPECT_EQ(GetFocus(), label->Handle());
    ASSERT_TRUE(TypeAtOnce({VK_RIGHT, VK_RETURN}));
    ASSERT_TRUE(owner->PumpUntil([&] { return events.size() >= 3; }));
    EXPECT_THAT(Settled(events),
                ElementsAre("enter:mailto:me@example.invalid", "open:mailto:me@example.invalid",
                            "open:http://example.invalid/"));
    // Out of the tab order again, a click leaves the focus where it was.
    label->SetTabStop(false);
    SetFocus(before.Handle());
    ASSERT_TRUE(test::Click(label->Handle(), {anchorX[1], 8}, host));
    EXPECT_EQ(GetFocus(), before.Handle());
}

TEST_F(LabelWindow, RightClickShowsTheLabelsMenuOrItsParentsAndMouseEventsComeFirst) {
    TPanel panel(nullptr, "panel", host, {0, 100, 300, 60});
    TPopupMenu panelMenu(nullptr, "panelMenu"), ownMenu(nullptr, "ownMenu");
    TMenuItem a(nullptr, "a", "panel item"), b(nullptr, "b", "own item");
    panelMenu.Add(&a);
    ownMenu.Add(&b);
    panel.PopupMenu = &panelMenu;
    THTMLStaticText inner(nullptr, "inner", panel.Handle(), {10, 10, 200, 30});
    inner.SetHTMLText({"help text without links"});
    std::vector<std::string> seen;
    inner.OnMouseDown = [&](TComponent* s, TMouseButton btn, TShiftState, int, int) {
        EXPECT_EQ(s, &inner);
        seen.push_back("down:" + std::to_string(btn));
    };
    inner.OnMouseUp = [&](TComponent*, TMouseButton btn, TShiftState, int, int) {
        seen.push_back("up:" + std::to_string(btn));
    };
    for (TPopupMenu* own : {static_cast<TPopupMenu*>(nullptr), &ownMenu}) {
        inner.PopupMenu = own;
        g_openMenu = nullptr;
        const UINT_PTR t = SetTimer(nullptr, 0, 10, NoteAndCloseMenu);
        ASSERT_TRUE(test::RightClick(inner.Handle(), {20, 10}, host));
        owner->PumpUntil([] { return g_openMenu != nullptr; }, 2000);
        KillTimer(nullptr, t);
        EXPECT_EQ(g_openMenu, (own ? own : &panelMenu)->Handle());
    }
    EXPECT_THAT(seen, ElementsAre("down:1", "up:1", "down:1", "up:1"));

    // The control's own events run before the label's handling of the same input: the move
    // before the anchor is entered, the press before the anchor's click, and a double click
    // opens the anchor once.
    label->OnMouseMove = [&](TComponent*, TShiftState, int, int) {
        if (std::find(events.begin(), events.end(), "move") == events.end())
            events.push_back("move");
    };
    label->OnMouseDown = [&](TComponent*, TMouseButton, TShiftState shift, int, int) {
        events.push_back(shift & ssDouble ? "down:double" : "down");
    };
    label->OnMouseUp = [&](TComponent*, TMouseButton, TShiftState, int, int) {
        events.push_back("up");
    };
    label->OnClick = [&](TComponent* s) {
        EXPECT_EQ(s, label.get());
        events.push_back("OnClick");
    };
    label->OnDblClick = [&](TComponent*) { events.push_back("OnDblClick"); };
    ASSERT_TRUE(test::MovePointer(
        [&] {
            POINT p{2, 8};
            ClientToScreen(label->Handle(), &p);
            return p;
        }(),
        host));
    events.clear();
    ASSERT_TRUE(test::DoubleClick(label->Handle(), {anchorX[1], 8}, host));
    EXPECT_THAT(Settled(events), ElementsAre("move", "enter:x", "down", "click:x", "up", "OnClick",
                                             "OnDblClick", "down:double", "up"));

    // The shift state names the button and the keys held; Alt comes from the keyboard's state.
    TShiftState shift = 0;
    label->OnMouseDown = [&](TComponent*, TMouseButton, TShiftState s, int, int) { shift = s; };
    Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, At(2, 8));
    Send(WM_LBUTTONUP, MK_SHIFT, At(2, 8));
    EXPECT_EQ(shift, ssLeft | ssShift);
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE alt = keys[VK_MENU];
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, At(2, 8));
    Send(WM_LBUTTONUP, 0, At(2, 8));
    keys[VK_MENU] = alt;
    SetKeyboardState(keys);
    EXPECT_EQ(shift, ssLeft | ssCtrl | ssAlt);
}

TEST_F(LabelWindow, FramesAutoSizeClipAndEveryDrawnLineIsHitWhereDrawn) {
    const int line = [&] {
        const UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
        GdiCanvas cv(dc.Get());
        return cv.Metrics().height;
    }();
    // Auto-sizing with a 4-pixel border: the frames and every line fit, and the last line's
    // link is clicked where it is drawn.
    label->SetBorderWidth(4);
    label->SetHTMLText({"one<BR>two <A href=\"last\">link</A>"});
    label->SetAutoSizeP(true);
    UpdateWindow(label->Handle());
    RECT rc;
    GetClientRect(label->Handle(), &rc);
    EXPECT_EQ(rc.bottom, 2 * line + 6 + 2 * 4);
    auto bmp = Painted(label->Handle());
    const auto link = Find(*bmp, kBlue, 0, rc.bottom, rc.right);
    ASSERT_TRUE(link);
    EXPECT_GE(link->y, 4 + line);
    events.clear();
    ASSERT_TRUE(test::Click(label->Handle(), *link, host));
    EXPECT_THAT(Settled(events), ElementsAre("enter:last", "click:last"));

    // A single outline of 3 pixels inside the border stays clear of the red text.
    label->SetAutoSizeP(false);
    label->SetBorderWidth(3);
    label->SetBorderStyle(bsSingle);
    label->Font.color = 0x000000FF;
    label->SetHTMLText({"Wide words"});
    SetWindowPos(label->Handle(), nullptr, 0, 0, 200, 40, SWP_NOMOVE | SWP_NOZORDER);
    bmp = Painted(label->Handle());
    EXPECT_TRUE(HasColour(*bmp, kRed, {0, 0, 200, 40}));
    for (int y = 3; y < 37; ++y)
        for (int x = 3; x < 6; ++x)
            ASSERT_EQ(bmp->Pixel(x, y), 0u) << x << "," << y;
    for (int y = 3; y < 6; ++y)
        for (int x = 3; x < 197; ++x)
            ASSERT_EQ(bmp->Pixel(x, y), 0u) << x << "," << y;

    // A line that does not fit is clipped, not left out: half of the second line shows.
    label->SetBorderStyle(bsNone);
    label->SetBorderWidth(0);
    label->Font.color = clBlack;
    label->SetHTMLText({"first<BR>second"});
    SetWindowPos(label->Handle(), nullptr, 0, 0, 200, line + line / 2 + 1,
                 SWP_NOMOVE | SWP_NOZORDER);
    bmp = Painted(label->Handle());
    EXPECT_TRUE(HasColour(*bmp, 0x000000, {0, line, 200, line + line / 2 + 1}));
}

TEST_F(LabelWindow, HoverRepaintsEveryLineOfAWrappedLinkWhichReadersFindWhereItIs) {
    label->SetHover(true);
    label->HoverColor = 0x0000FFFF; // yellow behind the hovered link
    label->SetHTMLText({"plain words to fill the line <A href=\"w\">one two three four five "
                        "six seven</A> end"});
    SetWindowPos(label->Handle(), nullptr, 0, 0, 160, 60, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(label->Handle());
    const std::vector<Rect> lines = label->AnchorRects(1);
    ASSERT_GE(lines.size(), 2u);
    const auto screen = [&](int x, int y) {
        POINT p{x, y};
        ClientToScreen(label->Handle(), &p);
        return p;
    };
    const auto allLit = [&](bool lit) {
        auto shown = OnScreen(label->Handle());
        for (const Rect& r : lines)
            if (HasColour(*shown, kYellow, r) != lit)
                return false;
        return true;
    };
    // In over the plain text, then onto the link's last line: all its lines light up. The
    // second move is sent, not made: Wine may move the real pointer back and on again, and
    // leaving the link repaints the whole label, which would hide what entering repaints.
    ASSERT_TRUE(test::MovePointer(screen(2, 8), host));
    ASSERT_TRUE(owner->PumpUntil([&] { return allLit(false); }));
    const Rect& last = lines.back();
    Send(WM_MOUSEMOVE, 0, At((last.left + last.right) / 2, last.top + 4));
    EXPECT_TRUE(owner->PumpUntil([&] { return allLit(true); }));
    // Out of the window (what TrackMouseEvent reports; sent for the same reason): none stays lit.
    Send(WM_MOUSELEAVE);
    EXPECT_TRUE(owner->PumpUntil([&] { return allLit(false); }));

    // A screen reader finds the link where its lines are, and names it as it is shown.
    label->SetHTMLText({"plain words to fill the line <A href=\"w\">one two&nbsp;three four "
                        "five six seven</A> <A href=\"h\">help &amp; support</A>"});
    const std::vector<Rect> wrapped = label->AnchorRects(1);
    ASSERT_GE(wrapped.size(), 2u);
    ComInit com;
    ComPtr<IAccessible> acc;
    ASSERT_EQ(AccessibleObjectFromWindow(label->Handle(), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), acc.PutVoid()),
              S_OK);
    VARIANT child;
    child.vt = VT_I4;
    child.lVal = 1;
    long x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(acc->accLocation(&x, &y, &w, &h, child), S_OK);
    const POINT top = screen(0, wrapped.front().top), bottom = screen(0, wrapped.back().bottom);
    EXPECT_EQ(y, top.y);
    EXPECT_EQ(y + h, bottom.y);
    EXPECT_LE(w, 160);
    child.lVal = 2;
    long x2 = 0, y2 = 0, w2 = 0, h2 = 0;
    ASSERT_EQ(acc->accLocation(&x2, &y2, &w2, &h2, child), S_OK);
    EXPECT_GE(y2 + h2, y + h); // on the first link's last line or below it
    EXPECT_GT(w2, 0);
    UniqueBstr one, two, all;
    child.lVal = 1;
    acc->get_accName(child, one.Put());
    child.lVal = 2;
    acc->get_accName(child, two.Put());
    EXPECT_STREQ(one.Get(), L"one two three four five six seven");
    EXPECT_STREQ(two.Get(), L"help & support");
    child.lVal = CHILDID_SELF;
    acc->get_accName(child, all.Put());
    EXPECT_STREQ(all.Get(),
                 L"plain words to fill the line one two three four five six seven help & support");
}

TEST_F(LabelWindow, HitsFollowTheScrollTicksStepPicturesAndAFreedContainerIsForgotten) {
    // Scrolled by the down arrow, a link is hit where it is drawn.
    std::string text;
    for (int i = 1; i <= 8; ++i)
        text += "<A href=\"l" + std::to_string(i) + "\">link " + std::to_string(i) + "</A><BR>";
    label->SetHTMLText({text});
    label->SetMiniScroll(true);
    SetWindowPos(label->Handle(), nullptr, 0, 0, 200, 40, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(label->Handle());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(test::Click(label->Handle(), {195, 35}, host));
    ASSERT_EQ(label->VOffset(), 12);
    const int line = label->AnchorRects(2).at(0).bottom - label->AnchorRects(2).at(0).top;
    const int middle = 2 * line - 12 + line / 2; // the third link, as drawn
    auto bmp = Painted(label->Handle());
    const auto third = Find(*bmp, kBlue, middle - 2, middle + 2, 180);
    ASSERT_TRUE(third);
    events.clear();
    ASSERT_TRUE(test::Click(label->Handle(), *third, host));
    EXPECT_THAT(Settled(events), ElementsAre("enter:l3", "click:l3"));
    label->SetMiniScroll(false);

    // Animated pictures, one from a container and one from a file, step on the label's ticks.
    const std::vector<std::uint8_t> gif =
        testdata::MakeGif(10, 10, {{0, 0, 10, 10, 10, 0}, {0, 0, 10, 10, 10, 1}});
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring file = std::wstring(dir) + L"kes_label_anim.gif";
    std::ofstream(file.c_str(), std::ios::binary)
        .write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
    auto container = std::make_unique<TPictureContainer>();
    TPictureItem& item = container->Items().Add();
    item.Name = "ANIM";
    item.Picture().LoadFromBytes(gif);
    label->SetPictureContainer(container.get());
    char path[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, file.c_str(), -1, path, sizeof path, nullptr, nullptr);
    label->SetHTMLText({"<IMG src=\"anim\"> <IMG src=\"FILE://" + std::string(path) + "\">"});
    bmp = Painted(label->Handle());
    const Rect first{1, 0, 11, 10}, second{15, 0, 40, 10};
    ASSERT_TRUE(HasColour(*bmp, kRed, first));
    ASSERT_TRUE(HasColour(*bmp, kRed, second));
    for (int i = 0; i < 3; ++i)
        Send(WM_TIMER, 1);
    bmp = Painted(label->Handle());
    EXPECT_TRUE(HasColour(*bmp, kGreen, first));
    EXPECT_TRUE(HasColour(*bmp, kGreen, second));

    // The container goes while the label names it: ticks and paints go on without it.
    container.reset();
    EXPECT_EQ(label->PictureContainer(), nullptr);
    for (int i = 0; i < 3; ++i)
        Send(WM_TIMER, 1);
    bmp = Painted(label->Handle());
    int pictured = 0; // pixels of either picture: only the file's is left
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 60; ++x)
            pictured += bmp->Pixel(x, y) == kRed || bmp->Pixel(x, y) == kGreen;
    EXPECT_EQ(pictured, 10 * 10);
    DeleteFileW(file.c_str());
}

// Eight links, one per line, in a label that shows about two of them.
std::string EightLinks() {
    std::string text;
    for (int i = 1; i <= 8; ++i)
        text += "<A href=\"l" + std::to_string(i) + "\">link " + std::to_string(i) + "</A><BR>";
    return text;
}

VARIANT Id(LONG child) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = child;
    return v;
}

TEST_F(LabelWindow, ScreenReadersOnAClientThreadSeeWhatIsShownAndMoveBetweenLinks) {
    ComInit com;
    // The second link reaches under the arrows.
    label->SetHTMLText({EightLinks().replace(EightLinks().find("link 2") + 6, 0,
                                             " wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww")});
    label->SetMiniScroll(true);
    SetWindowPos(label->Handle(), nullptr, 0, 0, 200, 40, SWP_NOMOVE | SWP_NOZORDER);
    label->SetVOffset(13);
    UpdateWindow(label->Handle());
    std::vector<Rect> boxes; // where each link lies, shown or not
    for (int i = 1; i <= 8; ++i)
        boxes.push_back(label->AnchorRects(i).at(0));
    struct Seen {
        long state = 0, x = 0, y = 0, w = 0, h = 0;
        HRESULT location = E_FAIL;
    };
    std::vector<Seen> seen(8);
    struct Nav {
        LONG start;
        long dir;
        HRESULT hr;
        LONG to; // 0: none
    };
    const std::vector<Nav> navs = {
        {CHILDID_SELF, NAVDIR_FIRSTCHILD, S_OK, 1},
        {CHILDID_SELF, NAVDIR_LASTCHILD, S_OK, 8},
        {1, NAVDIR_NEXT, S_OK, 2},
        {5, NAVDIR_PREVIOUS, S_OK, 4},
        {8, NAVDIR_NEXT, S_FALSE, 0},
        {1, NAVDIR_PREVIOUS, S_FALSE, 0},
        {3, NAVDIR_FIRSTCHILD, E_INVALIDARG, 0},
        {9, NAVDIR_NEXT, E_INVALIDARG, 0},
    };
    std::vector<std::pair<HRESULT, LONG>> went(navs.size());
    const HWND window = label->Handle();
    ASSERT_TRUE(test::OnClientThread(
        [&] {
            ComPtr<IAccessible> acc;
            if (AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                           __uuidof(IAccessible), acc.PutVoid()) != S_OK)
                return;
            for (LONG i = 1; i <= 8; ++i) {
                Seen& s = seen[static_cast<std::size_t>(i - 1)];
                UniqueVariant state;
                acc->get_accState(Id(i), &state.v);
                s.state = state.v.lVal;
                s.location = acc->accLocation(&s.x, &s.y, &s.w, &s.h, Id(i));
            }
            for (std::size_t n = 0; n < navs.size(); ++n) {
                UniqueVariant to;
                went[n].first = acc->accNavigate(navs[n].dir, Id(navs[n].start), &to.v);
                went[n].second = to.v.vt == VT_I4 ? to.v.lVal : 0;
            }
        },
        10000, host));
    // What is shown of the text: beside the arrows, within the window.
    POINT origin{0, 0};
    ClientToScreen(label->Handle(), &origin);
    for (std::size_t i = 0; i < 8; ++i) {
        const Rect& b = boxes[i];
        const Rect c{b.left, std::max(b.top, 0), std::min(b.right, 190), std::min(b.bottom, 40)};
        const bool shown = c.top < c.bottom;
        SCOPED_TRACE("link " + std::to_string(i + 1));
        EXPECT_EQ((seen[i].state & STATE_SYSTEM_OFFSCREEN) != 0, !shown);
        EXPECT_EQ(seen[i].location, shown ? S_OK : S_FALSE);
        if (shown) {
            EXPECT_EQ(seen[i].x, origin.x + c.left);
            EXPECT_EQ(seen[i].y, origin.y + c.top);
            EXPECT_EQ(seen[i].w, c.right - c.left);
            EXPECT_EQ(seen[i].h, c.bottom - c.top);
        }
    }
    EXPECT_TRUE(seen[0].state & STATE_SYSTEM_OFFSCREEN) << "the first link is scrolled above";
    EXPECT_FALSE(seen[1].state & STATE_SYSTEM_OFFSCREEN) << "the second is partly shown";
    for (std::size_t n = 0; n < navs.size(); ++n) {
        EXPECT_EQ(went[n].first, navs[n].hr) << "row " << n;
        EXPECT_EQ(went[n].second, navs[n].to) << "row " << n;
    }
}

TEST_F(LabelWindow, ANewTextIsAnnouncedAndNamedAsItIsDrawn) {
    ComInit com;
    test::WinEventLog log(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE);
    struct Row {
        std::string markup;
        std::wstring name, link; // the label's and its first link's
        bool announced;
    };
    const std::vector<Row> rows = {
        {"M\xFCller <A href=\"m\">Gr\xFC\xDF Gott</A>", L"M\u00FCller Gr\u00FC\u00DF Gott",
         L"Gr\u00FC\u00DF Gott", true},
        {"M\xFCller <A href=\"m\">Gr\xFC\xDF Gott</A>", L"M\u00FCller Gr\u00FC\u00DF Gott",
         L"Gr\u00FC\u00DF Gott", false}, // the same text again
        {"\xE2\x82\xAC <A href=\"e\">\x80 5</A>", L"\u20AC \u20AC 5", L"\u20AC 5", true},
    };
    const HWND window = label->Handle();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.markup);
        log.Clear();
        label->SetHTMLText({row.markup});
        std::wstring name, link;
        ASSERT_TRUE(test::OnClientThread(
            [&] {
                ComPtr<IAccessible> acc;
                AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                           __uuidof(IAccessible), acc.PutVoid());
                UniqueBstr a, b;
                if (acc && acc->get_accName(Id(CHILDID_SELF), a.Put()) == S_OK &&
                    acc->get_accName(Id(1), b.Put()) == S_OK) {
                    name.assign(a.Get(), SysStringLen(a.Get()));
                    link.assign(b.Get(), SysStringLen(b.Get()));
                }
            },
            10000, host));
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(link, row.link);
        // Events of this process arrive as this thread pumps: the name's is there or never.
        const std::pair<DWORD, LONG> change{EVENT_OBJECT_NAMECHANGE, CHILDID_SELF};
        owner->PumpUntil([&] { return !log.Of(window).empty(); }, row.announced ? 5000 : 300);
        using Events = std::vector<std::pair<DWORD, LONG>>;
        EXPECT_EQ(log.Of(window), row.announced ? Events{change} : Events{});
    }
}

TEST_F(LabelWindow, TheKeysScrollTheLinkTheyFocusIntoView) {
    label->SetHTMLText({EightLinks()});
    label->SetMiniScroll(true);
    // A move over a link takes the keys' link away. Wine may still deliver moves of earlier
    // tests' pointer, so the label stands where none went, and the pointer rests beside it.
    SetWindowPos(label->Handle(), nullptr, 10, 130, 200, 40, SWP_NOZORDER);
    POINT beside{350, 150};
    ClientToScreen(host, &beside);
    ASSERT_TRUE(test::MovePointer(beside, host));
    label->SetTabStop(true);
    SetFocus(label->Handle());
    ASSERT_TRUE(owner->PumpUntil([&] { return GetFocus() == label->Handle(); }));
    // Down past the last link wraps to the first, Up from it to the last.
    const std::vector<std::pair<WORD, int>> steps = {
        {VK_DOWN, 2}, {VK_DOWN, 3}, {VK_DOWN, 4}, {VK_DOWN, 5}, {VK_DOWN, 6},
        {VK_DOWN, 7}, {VK_DOWN, 8}, {VK_DOWN, 1}, {VK_UP, 8},   {VK_UP, 7},
    };
    for (const auto& [key, link] : steps) {
        ASSERT_TRUE(test::PressKey(key, test::kNoModifier, host));
        ASSERT_EQ(label->FocusedAnchor() + 1, link);
        const Rect box = label->AnchorRects(link).at(0);
        EXPECT_TRUE(box.top >= 0 && box.bottom <= 40) << "link " << link << " not wholly shown";
    }
    EXPECT_GT(label->VOffset(), 0);
}

TEST_F(LabelWindow, FontsPicturesAndMetricsFollowTheWindowsDpi) {
    label->Font.face = "Tahoma"; // scalable, as the console sets it
    const std::vector<Rect> base = label->AnchorRects(1);
    ASSERT_EQ(base.size(), 1u);
    const int baseHeight = base[0].bottom - base[0].top, baseWidth = base[0].right - base[0].left;
    for (UINT dpi : {96u, 120u, 144u, 192u, 96u}) {
        SCOPED_TRACE("dpi " + std::to_string(dpi));
        // What the system sends a window moved to a monitor of another DPI.
        Send(kWmDpiChanged, MAKEWPARAM(dpi, dpi), 0);
        const Rect link = label->AnchorRects(1).at(0);
        const int want = static_cast<int>(dpi);
        // Text does not scale exactly: a font of the scaled size is within about a pixel.
        EXPECT_NEAR((link.bottom - link.top) * 96, baseHeight * want, 2 * want);
        EXPECT_NEAR((link.right - link.left) * 96, baseWidth * want, 3 * want);
        // The mini-scroll arrows and their step.
        label->SetHTMLText({EightLinks()});
        label->SetMiniScroll(true);
        UpdateWindow(label->Handle());
        ASSERT_TRUE(label->DownArrow());
        const int arrow = MulDiv(10, want, 96);
        for (int x : {300 - arrow, 300 - arrow + 1}) // beside the arrow, on it
            ASSERT_TRUE(test::Click(label->Handle(), {x, 60 - arrow + 1}, host));
        EXPECT_EQ(label->VOffset(), MulDiv(4, want, 96));
        label->SetMiniScroll(false);
        label->SetHTMLText(
            {"plain <A href=\"x\">aa</A> <A href=\"mailto:me@example.invalid\">bb</A> "
             "<A href=\"http://example.invalid/\">cc</A>"});
    }
}

std::uint32_t Rgb(int sysColor) {
    const COLORREF c = GetSysColor(sysColor);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Wine keeps high contrast off whatever it is asked (SPI_SETHIGHCONTRAST is not implemented
// there): then, and only then, the label is told it is on.
class ContrastLabel : public THTMLStaticText {
public:
    using THTMLStaticText::THTMLStaticText;
    bool told = false;

protected:
    bool HighContrast() const override { return told || THTMLStaticText::HighContrast(); }
};

TEST_F(LabelWindow, HighContrastDrawsInTheSystemsColours) {
    label = std::make_unique<ContrastLabel>(nullptr, "contrast", host, Bounds{10, 10, 300, 60});
    label->SetHTMLText({"plain <A href=\"x\">aa</A>"});
    label->Color = 0x0000FFFF; // yellow, and a red link
    label->SetURLColor(0x000000FF);
    label->Font.color = 0x0000FF00;
    const Rect all{0, 0, 300, 60};
    {
        auto bmp = Painted(label->Handle());
        ASSERT_TRUE(HasColour(*bmp, kRed, all) && HasColour(*bmp, kYellow, all));
    }
    HIGHCONTRASTW saved{sizeof saved, 0, nullptr}, on{sizeof on, HCF_HIGHCONTRASTON, nullptr};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof saved, &saved, 0));
    saved.lpszDefaultScheme = nullptr;
    const ScopeExit restore(
        [&] { SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof saved, &saved, SPIF_SENDCHANGE); });
    const bool switched =
        SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof on, &on, SPIF_SENDCHANGE) != FALSE;
    static_cast<ContrastLabel&>(*label).told = !switched;
    // A window-text colour of its own: the prefix's is the black of several other elements.
    const int element = COLOR_WINDOWTEXT;
    const COLORREF text = GetSysColor(element), purple = RGB(0x80, 0, 0x80);
    SetSysColors(1, &element, &purple);
    const ScopeExit restoreText([&] { SetSysColors(1, &element, &text); });
    EXPECT_EQ(THTMLStaticText::SystemHighContrast(), switched);
    auto bmp = Painted(label->Handle());
    EXPECT_FALSE(HasColour(*bmp, kRed, all) || HasColour(*bmp, kYellow, all) ||
                 HasColour(*bmp, kGreen, all));
    EXPECT_EQ(bmp->Pixel(299, 59), Rgb(COLOR_WINDOW));
    // Each link in the hot-light colour, the plain text in the window's text colour.
    const Rect link{anchorX[1] - 2, 0, anchorX[1] + 6, 20}, plain{0, 0, anchorX[1] - 8, 20};
    EXPECT_TRUE(HasColour(*bmp, Rgb(COLOR_HOTLIGHT), link));
    EXPECT_TRUE(HasColour(*bmp, Rgb(COLOR_WINDOWTEXT), plain));
}

} // namespace
} // namespace kes
