// The window base through real windows and real input: errors of every kind of handler stop at
// the window procedure and reach the error box while the window goes on; notifications reach
// their control whatever its parent is.
#include "toolkit/controls_win32.h"
#include "toolkit/form_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kes {
namespace {

using test::TestHost;

class WindowBase : public ::testing::Test {
protected:
    void SetUp() override {
        Application().OnException = [this](const std::string& m) { errors.push_back(m); };
    }
    void TearDown() override { Application().OnException = nullptr; }
    POINT Middle(HWND h) {
        RECT r;
        GetClientRect(h, &r);
        return {r.right / 2, r.bottom / 2};
    }
    std::vector<std::string> errors;
};

TEST_F(WindowBase, ControlsOnTheFormAndInAnyContainerFireTheirEvents) {
    TestHost host;
    // Straight on the form, and inside a static label that serves as a container.
    TCheckBox box(nullptr, "box", host.Handle(), {10, 10, 120, 20}, "box", 1);
    TLabel frame(nullptr, "frame", host.Handle(), {10, 50, 200, 60}, "", 2);
    TButton button(nullptr, "button", frame.Handle(), {10, 10, 80, 25}, "button", 3);
    TComboBox combo(nullptr, "combo", host.Handle(), {10, 130, 120, 21}, 4);
    combo.AddItem("a");
    combo.AddItem("b");
    int boxClicks = 0, buttonClicks = 0, changes = 0;
    box.OnClick = [&](TComponent* s) {
        EXPECT_EQ(s, &box);
        ++boxClicks;
    };
    button.OnClick = [&](TComponent*) { ++buttonClicks; };
    combo.OnChange = [&](TComponent*) { ++changes; };

    {
        // The click reaches the form as the box's notification, and the box's handler from it.
        test::MessageLog log({host.Handle()}, {WM_COMMAND});
        ASSERT_TRUE(test::Click(box.Handle(), {8, 10}, host.Handle()));
        EXPECT_TRUE(test::MatchesSequence(
            log, {{WM_COMMAND, test::kSent | test::kWParam, MAKEWPARAM(1, BN_CLICKED)}}));
    }
    EXPECT_EQ(1, boxClicks);
    EXPECT_TRUE(box.Checked());
    ASSERT_TRUE(test::Click(button.Handle(), Middle(button.Handle()), host.Handle()));
    EXPECT_EQ(1, buttonClicks);
    // A selection by keyboard notifies through the parent as a click does.
    SetFocus(combo.Handle());
    ASSERT_TRUE(test::PressKey(VK_DOWN, test::kNoModifier, host.Handle()));
    EXPECT_EQ(1, changes);
    EXPECT_EQ(0, combo.ItemIndex());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowBase, AThrowingHandlerReachesTheErrorBoxAndTheWindowGoesOn) {
    TestHost host;
    TCheckBox box(nullptr, "box", host.Handle(), {10, 10, 120, 20}, "box", 1);
    int clicks = 0;
    box.OnClick = [&](TComponent*) {
        if (++clicks == 1)
            throw std::runtime_error("box failed");
    };
    ASSERT_TRUE(test::Click(box.Handle(), {8, 10}, host.Handle()));
    ASSERT_EQ(std::vector<std::string>{"box failed"}, errors);
    // The window still answers: the next click runs the handler again.
    ASSERT_TRUE(test::Click(box.Handle(), {8, 10}, host.Handle()));
    EXPECT_EQ(2, clicks);
    EXPECT_EQ(1u, errors.size());

    // A timer tick, through the real timer.
    TTimer timer(nullptr, "timer", 10);
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) {
        ++ticks;
        throw std::runtime_error("tick failed");
    };
    ASSERT_TRUE(host.PumpUntil([&] { return ticks >= 2; }));
    EXPECT_EQ("tick failed", errors.back());
    timer.SetEnabled(false);

    // A menu item chosen from a panel's context menu, by keyboard inside the menu's own loop.
    TPanel panel(nullptr, "panel", host.Handle(), {10, 160, 200, 100});
    TPopupMenu menu(nullptr, "menu");
    TMenuItem item(nullptr, "item", "item");
    menu.Add(&item);
    panel.PopupMenu = &menu;
    item.OnClick = [](TComponent*) { throw std::runtime_error("menu failed"); };
    // The menu's loop takes the keys once it runs.
    PostMessageW(host.Handle(), WM_KEYDOWN, 0, 0); // nothing: only to wake the loop below
    SetTimer(host.Handle(), 7, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(GetForegroundWindow(), id);
        INPUT in[4]{};
        for (auto& i : in)
            i.type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = VK_DOWN;
        in[2].ki.wVk = in[3].ki.wVk = VK_RETURN;
        in[1].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(4, in, sizeof(INPUT));
    });
    ASSERT_TRUE(test::RightClick(panel.Handle(), {20, 20}, host.Handle()));
    ASSERT_TRUE(host.PumpUntil([&] { return errors.back() == "menu failed"; }));
    KillTimer(host.Handle(), 7);
    EXPECT_TRUE(IsWindow(host.Handle()));
}

TEST_F(WindowBase, ClosingAskedOfTheFormRunsOnCloseAndAnErrorKeepsItOpen) {
    auto host = std::make_unique<TestHost>();
    int closes = 0;
    bool fail = true;
    host->OnClose = [&](TComponent*) {
        ++closes;
        if (fail)
            throw std::runtime_error("not stored");
    };
    SendMessageW(host->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(1, closes);
    EXPECT_TRUE(IsWindow(host->Handle())) << "a failed close destroyed the window";
    EXPECT_EQ(std::vector<std::string>{"not stored"}, errors);

    // The session's end runs the same path. A failure holds the session up, and is shown only
    // once the session goes on.
    EXPECT_EQ(FALSE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(2, closes);
    EXPECT_EQ(1u, errors.size()) << "a box while the session ends";
    SendMessageW(host->Handle(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_EQ(2u, errors.size());
    EXPECT_TRUE(IsWindow(host->Handle()));

    // A handler that throws something else is named as an unknown error.
    host->OnClose = [&](TComponent*) {
        ++closes;
        if (fail)
            throw 42;
    };
    EXPECT_EQ(FALSE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(host->Handle(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_EQ("Unbekannter Fehler", errors.back());
    closes = 2;

    // Stored at the query, then the session goes on and the next query fails: the end itself
    // tries once more.
    fail = false;
    EXPECT_EQ(TRUE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(host->Handle(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    fail = true;
    EXPECT_EQ(FALSE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(host->Handle(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    fail = false;
    closes = 2;
    EXPECT_EQ(TRUE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(3, closes);
    const HWND h = host->Handle();
    SendMessageW(h, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(3, closes) << "the close path ran twice for one session end";
    EXPECT_FALSE(IsWindow(h));

    // A forced end sends no query: the close path runs at the end itself.
    host = std::make_unique<TestHost>();
    closes = 0;
    host->OnClose = [&](TComponent*) { ++closes; };
    SendMessageW(host->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(1, closes);

    // A failed query before a forced end: the end tries once more, and shows nothing.
    host = std::make_unique<TestHost>();
    closes = 0;
    host->OnClose = [&](TComponent*) {
        if (++closes == 1)
            throw std::runtime_error("busy");
    };
    const std::size_t shown = errors.size();
    EXPECT_EQ(FALSE, SendMessageW(host->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(host->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(2, closes);
    EXPECT_EQ(shown, errors.size());
}

TEST_F(WindowBase, TheMainFormOpensCentredAndItsCloseEndsTheLoopWithZero) {
    TFormWindow form(nullptr);
    form.CreateForm(
        {.className = L"KesTestMainForm", .caption = "main", .width = 300, .height = 200});
    RECT r;
    GetWindowRect(form.Handle(), &r);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 300) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - 200) / 2, r.top);
    form.IsMainForm = true;
    EXPECT_TRUE(form.Close());
    EXPECT_FALSE(IsWindow(form.Handle()));
    MSG m{};
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, m.wParam) << "the program's exit code";

    // Errors of code run outside a window procedure stop there too, whatever is thrown.
    Application().Guard([] { throw 7; });
    EXPECT_EQ("Unbekannter Fehler", errors.back());
    // ProcessMessages dispatches what is waiting.
    TestHost host;
    TTimer timer(nullptr, "timer", 100000);
    int ticks = 0;
    timer.OnTimer = [&](TComponent*) { ++ticks; };
    PostMessageW(timer.Window(), WM_TIMER, 1, 0);
    Application().ProcessMessages();
    EXPECT_EQ(1, ticks);
}

TEST_F(WindowBase, AWindowWhoseParentGoesFirstIsLetGoOnce) {
    auto host = std::make_unique<TestHost>();
    auto box = std::make_unique<TCheckBox>(nullptr, "box", host->Handle(), Bounds{10, 10, 80, 20},
                                           "box", 1);
    const HWND h = box->Handle();
    EXPECT_EQ(box.get(), TWinControl::FromHandle(h));
    EXPECT_EQ(nullptr, TWinControl::FromHandle(GetDesktopWindow()));
    host.reset();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(nullptr, box->Handle()) << "the object still names a destroyed window";
    box.reset();
}

// A window of ours, or a system class subclassed, that writes down what its typed handlers got.
class Probe : public TWindow {
public:
    Probe(HWND parent, PaintMode mode, const wchar_t* cls = L"KesProbe", DWORD style = 0)
        : mode_(mode) {
        // No class background: erasing through the class's own handling then reports 0.
        RegisterWindowClass(L"KesProbe", nullptr, CS_DBLCLKS);
        CreateWindowFor({.className = cls,
                         .style = style | (parent ? WS_CHILD | WS_VISIBLE : WS_POPUP),
                         .bounds = {10, 10, 60, 40},
                         .parent = parent});
    }
    std::vector<std::string> seen;
    int moves = 0;
    HDC paintedInto = nullptr;
    RECT paintArea{};
    std::function<void(KeyEvent&)> rewrite; // changes a key before the class sees it
    using TWindow::PaintMode;

protected:
    PaintMode Painting() const override { return mode_; }
    void HandlePaint(HDC dc, const RECT& area) override {
        paintedInto = dc;
        paintArea = area;
        UniqueBrush red(CreateSolidBrush(RGB(255, 0, 0)));
        FillRect(dc, &area, red.Get());
        seen.push_back("paint");
    }
    bool HandleMouse(const MouseEvent& e) override {
        static const char* const action[] = {"move", "down", "up", "dblclk", "leave"};
        static const char* const button[] = {"", " left", " right", " middle"};
        // Wine repeats moves as it pleases: they are counted, not listed.
        if (e.action == MouseEvent::Move)
            ++moves;
        else
            seen.push_back(std::string(action[e.action]) + button[e.button]);
        if (e.action == MouseEvent::Move)
            TrackMouseLeave();
        return false;
    }
    bool HandleKey(KeyEvent& e) override {
        seen.push_back((e.msg == WM_CHAR      ? "char "
                        : e.msg == WM_KEYDOWN ? "keydown "
                                              : "keyup ") +
                       std::to_string(e.key));
        if (rewrite)
            rewrite(e);
        return false;
    }
    bool HandleFocus(bool gained, HWND) override {
        seen.push_back(gained ? "focus" : "blur");
        return false;
    }
    bool HandleTimer(UINT_PTR id) override {
        seen.push_back("timer " + std::to_string(id));
        return true;
    }
    void HandleDpiChanged(UINT dpi) override { seen.push_back("dpi " + std::to_string(dpi)); }

private:
    PaintMode mode_;
};

using PaintMode = Probe::PaintMode;

TEST_F(WindowBase, RealInputReachesTheTypedHandlers) {
    TestHost host;
    Probe probe(host.Handle(), PaintMode::None);
    const HWND h = probe.Handle();
    struct Case {
        const char* what;
        std::function<bool()> act;
        std::vector<std::string> expected;
        bool moves = false;
    };
    const Case cases[] = {
        {"click",
         [&] {
             return test::Click(h, {20, 20}, host.Handle());
         },
         {"down left", "up left"},
         true},
        {"right click",
         [&] {
             return test::RightClick(h, {40, 25}, host.Handle());
         },
         {"down right", "up right"},
         true},
        {"double click",
         [&] {
             return test::DoubleClick(h, {20, 20}, host.Handle());
         },
         {"down left", "up left", "dblclk left", "up left"},
         true},
        {"pointer leaves",
         [&] {
             POINT out{200, 200};
             ClientToScreen(host.Handle(), &out);
             const bool left = test::MovePointer(out, host.Handle()) && host.PumpUntil([&] {
                 return !probe.seen.empty() && probe.seen.back() == "leave";
             });
             return left;
         },
         {"leave"}},
        {"focus", [&] { return SetFocus(h) != nullptr || GetFocus() == h; }, {"focus"}},
        {"key",
         [&] { return test::PressKey('A', test::kNoModifier); },
         {"keydown 65", "char 97", "keyup 65"}},
        {"timer",
         [&] {
             SetTimer(h, 5, 1, nullptr);
             const bool ticked = host.PumpUntil([&] { return !probe.seen.empty(); });
             KillTimer(h, 5);
             return ticked;
         },
         {"timer 5"}},
        {"timer sent", [&] { return SendMessageW(h, WM_TIMER, 9, 0) == 0; }, {"timer 9"}},
        {"focus elsewhere", [&] { return SetFocus(host.Handle()) == h; }, {"blur"}},
    };
    for (const Case& c : cases) {
        probe.seen.clear();
        probe.moves = 0;
        ASSERT_TRUE(c.act()) << c.what;
        EXPECT_EQ(c.expected, probe.seen) << c.what;
        EXPECT_TRUE(!c.moves || probe.moves > 0) << c.what;
    }
}

TEST_F(WindowBase, AKeyHandlerMayChangeTheKeyTheClassSees) {
    TestHost host;
    Probe edit(host.Handle(), PaintMode::None, L"EDIT");
    edit.rewrite = [](KeyEvent& e) {
        if (e.msg == WM_CHAR && e.key == 'a')
            e.key = 'b';
    };
    SetFocus(edit.Handle());
    ASSERT_TRUE(test::TypeText("aa", host.Handle()));
    wchar_t text[8]{};
    GetWindowTextW(edit.Handle(), text, 8);
    EXPECT_STREQ(L"bb", text);
}

TEST_F(WindowBase, OnePaintPrologueForEveryWayOfPainting) {
    TestHost host;
    struct Case {
        PaintMode mode;
        LRESULT erased; // WM_ERASEBKGND's answer
        bool painted, throughBuffer;
    } const cases[] = {
        {PaintMode::None, 0, false, false},
        {PaintMode::OverBackground, 0, true, false},
        {PaintMode::Opaque, 1, true, false},
        {PaintMode::Buffered, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Probe probe(host.Handle(), c.mode);
        const HWND h = probe.Handle();
        host.Pump();
        const UniqueMemoryDC mem(CreateCompatibleDC(nullptr));
        UniqueBitmap bitmap(CreateBitmap(60, 40, 1, 32, nullptr));
        SelectedObject in(mem.Get(), bitmap.Get());
        EXPECT_EQ(c.erased, SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem.Get()), 0));

        probe.seen.clear();
        SetPixel(mem.Get(), 5, 5, RGB(0, 0, 255));
        SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem.Get()), PRF_CLIENT);
        EXPECT_EQ(c.painted, !probe.seen.empty());
        EXPECT_EQ(c.painted ? RGB(255, 0, 0) : RGB(0, 0, 255), GetPixel(mem.Get(), 5, 5));
        if (c.painted) {
            EXPECT_EQ(c.throughBuffer, probe.paintedInto != mem.Get());
            EXPECT_EQ(60, probe.paintArea.right);
            EXPECT_EQ(40, probe.paintArea.bottom);
        }

        // A real WM_PAINT: the part asked for is painted (all of it when buffered), once.
        probe.seen.clear();
        const RECT part{0, 0, 10, 10};
        InvalidateRect(h, &part, FALSE);
        UpdateWindow(h);
        EXPECT_EQ(c.painted ? 1u : 0u, probe.seen.size());
        const int paintedRight = c.throughBuffer ? 60 : 10;
        EXPECT_TRUE(!c.painted || probe.paintArea.right == paintedRight) << probe.paintArea.right;
    }
}

TEST_F(WindowBase, TheDpiIsTheWindowsAndLengthsScaleFromNinetySix) {
    TestHost host;
    Probe child(host.Handle(), PaintMode::None);
    const WindowDC screen(nullptr);
    EXPECT_EQ(static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSY)), child.Dpi());
    EXPECT_EQ(child.Dpi() * 3 / 2, static_cast<UINT>(child.Scale(144)));

    struct Case {
        int px96;
        UINT dpi;
        int scaled;
    } const cases[] = {
        {24, 96, 24},    {24, 120, 30},   {24, 144, 36},
        {24, 192, 48},   {11, 120, 14},   // 13.75 rounds up
        {-11, 144, -17}, {-11, 192, -22}, // font heights keep their sign
        {0, 192, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.scaled, TWindow::ScaleTo(c.px96, c.dpi)) << c.px96 << " at " << c.dpi;

    // A top-level window takes the suggested rectangle, then lays out for the new DPI; a child
    // lays out after its parent.
    Probe top(nullptr, PaintMode::None);
    RECT suggested{30, 40, 30 + 150, 40 + 90};
    SendMessageW(top.Handle(), kWmDpiChanged, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(top.Handle(), &now);
    EXPECT_TRUE(EqualRect(&suggested, &now));
    EXPECT_EQ(std::vector<std::string>{"dpi 144"}, top.seen);
    SendMessageW(child.Handle(), kWmDpiChangedAfterParent, 0, 0);
    EXPECT_EQ(std::vector<std::string>{"dpi " + std::to_string(child.Dpi())}, child.seen);
}

} // namespace
} // namespace kes
