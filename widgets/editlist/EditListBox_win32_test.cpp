// TEditListBox on a real LISTBOX and EDIT under Wine: keys go through a message loop with
// dialog navigation as Quillard's does, clicks are real input (so capture routes them).
#include "widgets/editlist/EditListBox_win32.h"

#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>

namespace kes {
namespace {

using Strings = std::vector<std::string>;

// Where the list box really draws: the first column from `fromX` on in which the row of entry
// `index` has a pixel of the text colour, as WM_PRINTCLIENT paints it; -1 when none.
int InkColumn(HWND lb, int index, int fromX) {
    RECT client, item;
    GetClientRect(lb, &client);
    SendMessageW(lb, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    WindowDC screen(lb);
    UniqueMemoryDC dc(CreateCompatibleDC(screen.Get()));
    UniqueBitmap bmp(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
    SelectedObject keep(dc.Get(), bmp.Get());
    SendMessageW(lb, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    // Dark enough to be text on the window colour (font smoothing greys its edges).
    const auto dark = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 384; };
    for (int x = std::max(fromX, 0); x < client.right; ++x)
        for (int y = item.top; y < item.bottom; ++y)
            if (dark(GetPixel(dc.Get(), x, y)))
                return x;
    return -1;
}

// Whether the list box draws anything dark, as WM_PRINTCLIENT paints it.
bool HasInk(HWND lb) {
    RECT client;
    GetClientRect(lb, &client);
    WindowDC screen(lb);
    UniqueMemoryDC dc(CreateCompatibleDC(screen.Get()));
    UniqueBitmap bmp(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
    SelectedObject keep(dc.Get(), bmp.Get());
    PatBlt(dc.Get(), 0, 0, client.right, client.bottom, WHITENESS);
    SendMessageW(lb, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
    for (int x = 0; x < client.right; ++x)
        for (int y = 0; y < client.bottom; ++y) {
            const COLORREF c = GetPixel(dc.Get(), x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 600)
                return true;
        }
    return false;
}

class EditListTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<test::TestHost>();
        top = host->Handle();
        panel = std::make_unique<TPanel>(&owner, "panel", top, Bounds{0, 0, 400, 300});
        list = std::make_unique<TEditListBox>(&owner, "list", panel->Handle(),
                                              Bounds{10, 10, 150, 100}, 1, true);
        other = std::make_unique<TButton>(&owner, "other", panel->Handle(), Bounds{200, 10, 80, 25},
                                          "other", 2);
        list->OnSelChange = [this](TComponent* s, int i) {
            EXPECT_EQ(s, list.get());
            sel.push_back(i);
        };
        list->OnExit = [this](TComponent*) { ++exits; };
    }
    void TearDown() override {
        other.reset();
        list.reset();
        panel.reset();
        host.reset();
    }
    void Pump() { host->Pump(); }
    bool PumpUntil(const std::function<bool()>& done) { return host->PumpUntil(done); }
    // Real keys and clicks, each waited for until delivered, through the dialog navigation.
    void Key(WORD vk) { ASSERT_TRUE(test::PressKey(vk, test::kNoModifier, top)); }
    void Type(const char* keys) { ASSERT_TRUE(test::TypeText(keys, top)); }
    void ClickAt(HWND h, POINT pt) { ASSERT_TRUE(test::Click(h, pt, top)); }
    // Each press lands elsewhere on the entry, so two in a row are never a double click.
    void ClickEntry(int index) {
        RECT r;
        SendMessageW(list->Handle(), LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        xShift = (xShift + 20) % 80;
        ClickAt(list->Handle(), {r.left + 5 + xShift, (r.top + r.bottom) / 2});
    }
    int xShift = 0;
    void Fill(const Strings& entries) {
        for (const auto& e : entries)
            list->AddItem(e);
    }
    HWND edit() const { return list->Editor()->Handle(); }
    int Extent() const {
        return static_cast<int>(SendMessageW(list->Handle(), LB_GETHORIZONTALEXTENT, 0, 0));
    }
    int ClientWidth() const {
        RECT r;
        GetClientRect(list->Handle(), &r);
        return r.right;
    }

    TForm owner{nullptr};
    std::unique_ptr<test::TestHost> host;
    HWND top = nullptr;
    std::unique_ptr<TPanel> panel;
    std::unique_ptr<TEditListBox> list;
    std::unique_ptr<TButton> other;
    std::vector<int> sel;
    int exits = 0;
};

TEST_F(EditListTest, ConstructionValues) {
    EXPECT_FALSE(list->AutoInsert);
    EXPECT_FALSE(list->AutoDelete);
    EXPECT_TRUE(list->AllowEdit());
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->ScrollStyle(), ssNormal);
    EXPECT_EQ(list->ScrollColor(), clNone);
    EXPECT_EQ(list->ScrollWidth(), GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_TRUE(list->ScrollHorizontal());
    EXPECT_EQ(list->FocusColor, clWindow);
    EXPECT_FALSE(list->Hovering());
    EXPECT_FALSE(list->Persist.Enable);
    EXPECT_EQ(list->Persist.Storage, stInifile);
    EXPECT_EQ(list->TabPositions.Count(), 0);
    EXPECT_NE(GetWindowLongW(list->Handle(), GWL_STYLE) & LBS_USETABSTOPS, 0);
    // The editor: a hidden child without the sunken edge.
    EXPECT_EQ(GetParent(edit()), list->Handle());
    EXPECT_FALSE(IsWindowVisible(edit()));
    EXPECT_EQ(GetWindowLongW(edit(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    TEditListBox design(&owner, "d", panel->Handle(), {0, 200, 50, 50}, 3, false, true);
    EXPECT_FALSE(design.AllowEdit());
    EXPECT_EQ(design.Editor(), nullptr);
    // Without an editor, leaving it is a plain exit.
    int designExits = 0;
    design.OnExit = [&](TComponent*) { ++designExits; };
    SetFocus(design.Handle());
    SetFocus(other->Handle());
    EXPECT_EQ(designExits, 1);
}

TEST_F(EditListTest, EditingInPlaceCommitsVetoesAndEscapes) {
    Fill({"berry", "apple", "Banana"});
    ASSERT_EQ(list->Items(), (Strings{"apple", "Banana", "berry"}));
    std::vector<std::string> seen, inList;
    bool veto = false;
    list->OnEditDone = [&](TComponent* s, std::string& text, bool& allow) {
        EXPECT_EQ(s, list.get());
        seen.push_back(text);
        inList.push_back(list->Item(1)); // the handler sees the list as it would be
        allow = !veto;
    };
    ClickEntry(1);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_FALSE(list->Editing()); // a press on another entry only selects it
    sel.clear();
    ClickEntry(1);
    ASSERT_TRUE(list->Editing());
    EXPECT_EQ(GetFocus(), edit());
    EXPECT_EQ(GetCapture(), edit());
    EXPECT_EQ(list->Editor()->Text(), "Banana");
    DWORD a = 9, b = 9;
    SendMessageW(edit(), EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 6u);
    EXPECT_EQ(list->Item(1), ""); // the editor stands over a blank line
    ASSERT_FALSE(sel.empty());
    EXPECT_EQ(sel.back(), -1);
    EXPECT_EQ(exits, 0); // into the editor is no exit
    // The editor grows with its text, never beyond the list.
    RECT before, after, client;
    GetWindowRect(edit(), &before);
    Type("zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz");
    GetWindowRect(edit(), &after);
    GetClientRect(list->Handle(), &client);
    EXPECT_GT(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.right - after.left, client.right + 1);
    list->Editor()->SetText("zebra");
    Key(VK_RETURN);
    EXPECT_FALSE(list->Editing());
    // In place: a sorted list does not move the entry.
    EXPECT_EQ(list->Items(), (Strings{"apple", "zebra", "berry"}));
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_NE(GetCapture(), edit());
    EXPECT_EQ(seen, Strings{"zebra"});
    EXPECT_EQ(inList, Strings{"zebra"});

    // A veto puts the saved text back; a vetoed wide text never reaches the scroll bar.
    veto = true;
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    list->Editor()->SetText("vetoed " + std::string(60, 'W'));
    {
        test::MessageLog log({list->Handle()}, {LB_SETHORIZONTALEXTENT});
        Key(VK_RETURN);
        EXPECT_TRUE(test::MatchesSequence(log, {}));
    }
    EXPECT_EQ(list->Item(1), "zebra");
    EXPECT_EQ(Extent(), 0);
    EXPECT_FALSE(list->Editing());
    EXPECT_FALSE(IsWindowVisible(edit()));
    EXPECT_EQ(GetFocus(), list->Handle());
    // Escape writes the saved text, and OnEditDone still sees it.
    veto = false;
    seen.clear();
    Key(VK_SPACE);
    list->Editor()->SetText("dropped");
    Key(VK_ESCAPE);
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Item(1), "zebra");
    EXPECT_EQ(seen, Strings{"zebra"});
    EXPECT_EQ(exits, 0);
}

// Handlers that throw, reached by real keys: each error reaches the error box, the entry being
// edited keeps its stored text, and the list goes on answering.
TEST_F(EditListTest, ThrowingHandlersReachTheErrorBoxAndTheListGoesOn) {
    std::vector<std::string> errors;
    Application().OnException = [&errors](const std::string& m) { errors.push_back(m); };
    Fill({"a", "b"});
    list->SetIndexAndScroll(0);
    SetFocus(list->Handle());
    list->OnEditDone = [](TComponent*, std::string&, bool&) {
        throw std::runtime_error("edit done failed");
    };
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    Type("x");
    Key(VK_RETURN);
    EXPECT_EQ(errors, Strings{"edit done failed"});
    EXPECT_FALSE(list->Editing()) << "the editor stayed open over the list";
    EXPECT_EQ(list->Items(), (Strings{"a", "b"}));
    // Closed as a veto closes it: hidden, no capture, its entry selected, the focus in the list.
    EXPECT_FALSE(IsWindowVisible(edit()));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(GetFocus(), list->Handle());
    list->OnEditDone = nullptr;

    list->OnKeyUp = [](TComponent*, WORD&) { throw std::runtime_error("key up failed"); };
    Key(VK_DOWN);
    EXPECT_EQ(errors.back(), "key up failed");
    EXPECT_EQ(list->ItemIndex(), 1) << "the key itself was lost";
    list->OnKeyUp = nullptr;
    list->OnKeyPress = [](TComponent*, wchar_t&) { throw std::runtime_error("key press failed"); };
    Type("-");
    EXPECT_EQ(errors.back(), "key press failed");
    list->OnKeyPress = nullptr;
    list->ReturnIsClick = true;
    list->OnClick = [](TComponent*) { throw std::runtime_error("click failed"); };
    Key(VK_RETURN);
    EXPECT_EQ(errors.back(), "click failed");
    EXPECT_EQ(errors.size(), 4u);

    // Still editing as before.
    list->OnClick = nullptr;
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    list->Editor()->SetText("b2");
    Key(VK_RETURN);
    EXPECT_EQ(list->Items(), (Strings{"a", "b2"}));

    // The list resized while its widest entry is open (and so blank): the failed handler's
    // entry comes back with its scroll range.
    list->OnEditDone = [](TComponent*, std::string&, bool&) {
        throw std::runtime_error("edit done failed");
    };
    const std::string wide(60, 'W');
    list->AddItem(wide);
    list->SetIndexAndScroll(2);
    ASSERT_GT(Extent(), ClientWidth());
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    RECT r;
    GetWindowRect(list->Handle(), &r);
    SetWindowPos(list->Handle(), nullptr, 0, 0, r.right - r.left + 4, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(Extent(), 0);
    Type("x");
    Key(VK_RETURN);
    EXPECT_EQ(errors.back(), "edit done failed");
    EXPECT_EQ(list->Item(2), wide);
    EXPECT_EQ(Extent(), list->GetMaxStringExtent());
    Application().OnException = nullptr;
}

TEST_F(EditListTest, ClosingTriggersAndTheFocusRule) {
    Fill({"a", "b", "c"});
    list->SetIndexAndScroll(1);
    SetFocus(list->Handle());
    // Up selects the entry before, Down the one after, but not past the last.
    Key(VK_SPACE);
    list->Editor()->SetText("b2");
    Key(VK_UP);
    EXPECT_EQ(list->Items(), (Strings{"a", "b2", "c"}));
    EXPECT_EQ(list->ItemIndex(), 0);
    list->SetIndexAndScroll(2);
    Key(VK_SPACE);
    Key(VK_DOWN);
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(list->Item(2), "c");

    // A press on another control while the editor holds the capture only closes the editor.
    Key(VK_SPACE);
    ASSERT_EQ(GetCapture(), edit());
    list->Editor()->SetText("c2");
    ClickAt(other->Handle(), {10, 10});
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Item(2), "c2");
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(exits, 0);

    // A press inside the editor is the editor's own (the caret moves, the edit stays open) and
    // its release ends the capture; a press on another entry then writes the edit back and
    // selects that entry.
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    RECT er;
    GetClientRect(edit(), &er);
    ClickAt(edit(), {er.right - 2, er.bottom / 2});
    EXPECT_TRUE(list->Editing()) << "a press inside the editor closed it";
    DWORD a = 9, b = 9;
    SendMessageW(edit(), EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    EXPECT_EQ(a, 2u);
    EXPECT_EQ(b, 2u);
    EXPECT_NE(GetCapture(), edit());
    Type("x");
    ClickEntry(0);
    EXPECT_FALSE(list->Editing()) << "the press on the list was swallowed";
    EXPECT_EQ(list->Item(2), "c2x");
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(GetFocus(), list->Handle());
    list->SetItem(2, "c2");
    list->SetIndexAndScroll(2);

    // Tab ends the edit in the list box; a second Tab leaves it and raises OnExit, once.
    Key(VK_SPACE);
    list->Editor()->SetText("c3");
    Key(VK_TAB);
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(exits, 0);
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), other->Handle());
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(list->Item(2), "c3");

    // A focus change made by program while editing also ends in the list box.
    SetFocus(list->Handle());
    Key(VK_SPACE);
    list->Editor()->SetText("c4");
    SetFocus(other->Handle());
    Pump();
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(list->Item(2), "c4");
    EXPECT_EQ(exits, 1);

    // The focus colour while the list box has the focus, the old one after.
    SetFocus(other->Handle());
    list->SetColor(RGB(1, 2, 3));
    list->FocusColor = RGB(200, 100, 0);
    SetFocus(list->Handle());
    EXPECT_EQ(list->Color(), RGB(200, 100, 0));
    SetFocus(other->Handle());
    EXPECT_EQ(list->Color(), RGB(1, 2, 3));
}

// SetEditMode(false) writes only into the entry it opened, while it is open, and leaves no
// capture behind; an emptied editor keeps the entry's text.
TEST_F(EditListTest, SetEditModeClosesOnlyItsOwnEdit) {
    Fill({"A", "B", "C"});
    Strings seen;
    list->OnEditDone = [&](TComponent*, std::string& t, bool&) { seen.push_back(t); };
    int clicks = 0;
    other->OnClick = [&](TComponent*) { ++clicks; };
    list->SetIndexAndScroll(1);
    SetFocus(list->Handle());
    list->SetEditMode(true);
    ASSERT_TRUE(list->Editing());
    list->Editor()->SetText("B2");
    Key(VK_RETURN); // closed another way
    ASSERT_EQ(list->Items(), (Strings{"A", "B2", "C"}));
    list->Delete(1);
    list->SetEditMode(false);
    EXPECT_EQ(list->Items(), (Strings{"A", "C"})) << "the closed edit's text came back";

    // Closed by the call itself: written, the focus in the list box, the capture released.
    list->SetIndexAndScroll(1);
    list->SetEditMode(true);
    ASSERT_TRUE(list->Editing());
    ASSERT_EQ(GetCapture(), edit());
    Type("C2");
    list->SetEditMode(false);
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Items(), (Strings{"A", "C2"}));
    EXPECT_EQ(seen, (Strings{"B2", "C2"}));
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(GetCapture(), nullptr);
    // So the next click reaches the control under the pointer.
    ClickAt(other->Handle(), {10, 10});
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(GetFocus(), other->Handle());

    // An emptied editor puts the entry's text back instead of leaving it blank.
    SetFocus(list->Handle());
    list->SetIndexAndScroll(0);
    list->SetEditMode(true);
    ASSERT_TRUE(list->Editing());
    Key(VK_BACK);
    ASSERT_EQ(list->Editor()->Text(), "");
    list->SetEditMode(false);
    EXPECT_EQ(list->Items(), (Strings{"A", "C2"}));
    EXPECT_EQ(exits, 1); // the click on the other control, once

    // An editor the user opened is not the call's to close, however often it is made.
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    list->SetEditMode(false);
    list->SetEditMode(false);
    EXPECT_TRUE(list->Editing());
    // A change of AllowEdit writes the edit back, closes the editor into the list box and
    // forgets the entry; without AllowEdit a space opens nothing.
    Key(VK_END);
    Type("2");
    list->SetAllowEdit(false);
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Items(), (Strings{"A2", "C2"}));
    EXPECT_EQ(list->Editor()->EditIndex(), -1);
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(GetCapture(), nullptr);
    Key(VK_SPACE);
    EXPECT_FALSE(list->Editing());
}

// The Escape key reaches the list through the dialog navigation while there is lookup text,
// and goes on being the dialog's when there is none.
TEST_F(EditListTest, EscapeClearsTheLookupTextInADialogLoop) {
    list->LookupIncr = true;
    Fill({"apple", "Banana", "berry"});
    SetFocus(list->Handle());
    test::MessageLog log({top}, {WM_COMMAND});
    Type("be");
    EXPECT_EQ(list->LookupText(), "BE");
    EXPECT_EQ(list->ItemIndex(), 2);
    Key(VK_ESCAPE);
    EXPECT_EQ(list->LookupText(), "");
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_TRUE(test::MatchesSequence(log, {})) << "the dialog took the Escape";
    Key(VK_ESCAPE);
    EXPECT_TRUE(test::MatchesSequence(log, {{WM_COMMAND, test::kSent | test::kWParam, IDCANCEL}}));
    EXPECT_EQ(GetFocus(), list->Handle());
}

// MultiSelect switched on makes the list anew with its entries, selection, focus and place in
// the tab order, and the multi-select paths run: edits and inserts mark their entry, the caret
// moves without OnSelChange, Shift+Down extends the selection.
TEST_F(EditListTest, MultiSelectCanBeSwitchedOnAndOff) {
    EXPECT_FALSE(list->MultiSelect());
    list->AutoInsert = true;
    Fill({"a", "b", "c", "d"});
    list->SetItem(1, "zz"); // in place: the order is no longer the sorted one
    list->TabPositions.Add().SetTabPosition(40);
    list->SetIndexAndScroll(2);
    list->SetColor(RGB(1, 2, 3));
    list->FocusColor = RGB(200, 100, 0);
    SetFocus(list->Handle());
    list->SetMultiSelect(true);
    ASSERT_TRUE(list->MultiSelect());
    EXPECT_NE(GetWindowLongW(list->Handle(), GWL_STYLE) & LBS_EXTENDEDSEL, 0);
    EXPECT_EQ(list->Items(), (Strings{"a", "zz", "c", "d"}));
    EXPECT_GT(SendMessageW(list->Handle(), LB_GETSEL, 2, 0), 0);
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(GetFocus(), list->Handle());
    EXPECT_EQ(list->Color(), RGB(200, 100, 0));
    EXPECT_EQ(GetParent(edit()), list->Handle());
    EXPECT_EQ(GetNextDlgTabItem(top, list->Handle(), FALSE), other->Handle());

    // The caret moves, no selection event.
    sel.clear();
    list->SetIndexAndScroll(1);
    EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCARETINDEX, 0, 0), 1);
    EXPECT_TRUE(sel.empty());
    // Shift+Down extends the selection from the caret.
    ClickEntry(0);
    ASSERT_TRUE(test::PressKey(VK_DOWN, test::kShift, top));
    ASSERT_TRUE(test::PressKey(VK_DOWN, test::kShift, top));
    EXPECT_EQ(SendMessageW(list->Handle(), LB_GETSELCOUNT, 0, 0), 3);
    // An edit written back marks its entry selected.
    ClickEntry(3);
    ASSERT_EQ(SendMessageW(list->Handle(), LB_GETSELCOUNT, 0, 0), 1);
    Key(VK_SPACE);
    ASSERT_TRUE(list->Editing());
    EXPECT_EQ(list->Editor()->EditIndex(), 3);
    Type("d2");
    // The commit alone, with the editor still open, marks its entry too.
    list->Editor()->UpdateEdit();
    EXPECT_EQ(list->Item(3), "d2");
    EXPECT_GT(SendMessageW(list->Handle(), LB_GETSEL, 3, 0), 0);
    ASSERT_TRUE(list->Editing());
    Key(VK_RETURN);
    EXPECT_EQ(list->Item(3), "d2");
    EXPECT_GT(SendMessageW(list->Handle(), LB_GETSEL, 3, 0), 0);
    // So does an inserted one.
    Key(VK_INSERT);
    ASSERT_TRUE(list->Editing());
    Key(VK_ESCAPE);
    EXPECT_EQ(list->Item(0), "");
    EXPECT_GT(SendMessageW(list->Handle(), LB_GETSEL, 0, 0), 0);

    // And back: one selection again, OnSelChange for selections made by program.
    list->SetMultiSelect(false);
    EXPECT_FALSE(list->MultiSelect());
    EXPECT_EQ(list->Items(), (Strings{"", "a", "zz", "c", "d2"}));
    sel.clear();
    list->SetIndexAndScroll(2);
    EXPECT_EQ(sel, std::vector<int>{2});
    EXPECT_EQ(SendMessageW(list->Handle(), LB_GETSELCOUNT, 0, 0), LB_ERR);
    SetFocus(other->Handle());
    EXPECT_EQ(list->Color(), RGB(1, 2, 3)) << "the colour before the focus came";

    // Hover goes on in the new window; switched off, the new window has no timer.
    list->PointerPos = [] { return POINT{-1000, -1000}; };
    list->SetHovering(true);
    list->SetMultiSelect(true);
    EXPECT_TRUE(KillTimer(list->Handle(), 111)) << "hover stopped with the old window";
    list->SetHovering(false);
    list->SetMultiSelect(false);
    EXPECT_FALSE(KillTimer(list->Handle(), 111));
}

TEST_F(EditListTest, InsertDeleteAndLookup) {
    list->AutoInsert = true;
    list->AutoDelete = true;
    Fill({"apple", "Banana", "berry"});
    SetFocus(list->Handle());
    Key(VK_INSERT);
    ASSERT_TRUE(list->Editing());
    EXPECT_EQ(list->Editor()->EditIndex(), 0); // an empty entry sorts first
    Key(VK_ESCAPE);
    EXPECT_EQ(list->Items(), (Strings{"", "apple", "Banana", "berry"}));
    // The handler supplies the text; it is placed by the sort order.
    list->OnAutoInsert = [](TComponent*, std::string& v) { v = "cherry"; };
    Key(VK_INSERT);
    Key(VK_RETURN);
    EXPECT_EQ(list->Item(4), "cherry");

    // Delete on the last selects the new last; a veto keeps the entry.
    bool allow = false;
    list->OnAutoDelete = [&](TComponent*, std::string& v, bool& a) {
        EXPECT_EQ(v, "cherry");
        a = allow;
    };
    list->SetIndexAndScroll(4);
    Key(VK_DELETE);
    EXPECT_EQ(list->Count(), 5);
    allow = true;
    sel.clear();
    Key(VK_DELETE);
    EXPECT_EQ(list->Count(), 4);
    EXPECT_EQ(list->ItemIndex(), 3);
    EXPECT_EQ(sel, std::vector<int>{3});
    list->OnAutoDelete = nullptr;
    list->Delete(0);

    list->LookupIncr = true;
    list->SetIndexAndScroll(-1);
    Type("b");
    EXPECT_EQ(list->ItemIndex(), 1);
    Type("e");
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(list->LookupText(), "BE");
    Key(VK_HOME); // clears the lookup text
    list->LookupFull = true;
    Type("rr");
    EXPECT_EQ(list->ItemIndex(), 2);
    Type("x");
    EXPECT_EQ(list->LookupText(), "");
    EXPECT_EQ(list->ItemIndex(), 2);
    // A colon joins the lookup text; a minus goes to the platform's own type-ahead.
    SendMessageW(list->Handle(), WM_CHAR, ':', 0);
    EXPECT_EQ(list->LookupText(), ":");
    SendMessageW(list->Handle(), WM_CHAR, '-', 0);
    EXPECT_EQ(list->LookupText(), ":");

    // Delete of the only entry: an empty list, no selection and no event.
    list->Clear();
    list->AddItem("only");
    list->SetIndexAndScroll(0);
    sel.clear();
    Key(VK_DELETE);
    EXPECT_EQ(list->Count(), 0);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_TRUE(sel.empty());
}

TEST_F(EditListTest, HorizontalExtentFollowsTheWidestEntry) {
    const auto extent = [&] {
        return static_cast<int>(SendMessageW(list->Handle(), LB_GETHORIZONTALEXTENT, 0, 0));
    };
    const std::string wide(60, 'W'), wider(80, 'W');
    list->AddItem("short");
    EXPECT_EQ(extent(), 0);
    {
        // Showing the bar resizes the list: the refresh under way sees it, none starts anew.
        test::MessageLog log({list->Handle()}, {WM_SIZE});
        list->AddItem(wide);
        EXPECT_LE(log.Messages().size(), 4u); // dozens when each resize refreshed anew
    }
    list->AddItem(wider);
    EXPECT_EQ(extent(), list->GetStringExtent(wider));
    EXPECT_NE(GetWindowLongW(list->Handle(), GWL_STYLE) & WS_HSCROLL, 0);
    // The widest going: measured again, the same as a full measure.
    list->Delete(list->Count() - 1);
    EXPECT_EQ(extent(), list->GetStringExtent(wide));
    EXPECT_EQ(list->MaxStringExtent(), extent()); // kept by the measure it came from
    EXPECT_EQ(list->GetMaxStringExtent(), extent());
    list->Clear();
    EXPECT_EQ(extent(), 0);
    EXPECT_EQ(GetWindowLongW(list->Handle(), GWL_STYLE) & WS_HSCROLL, 0);

    list->SetScrollHorizontal(false);
    list->AddItem(wider);
    EXPECT_EQ(extent(), 0);
    list->SetScrollHorizontal(true);
    EXPECT_EQ(extent(), list->GetStringExtent(wider));

    // Batched: nothing until the outermost EndUpdate.
    list->Clear();
    list->BeginUpdate();
    list->BeginUpdate();
    for (int i = 0; i < 100; ++i)
        list->AddItem(wider + std::to_string(i));
    list->EndUpdate();
    EXPECT_EQ(extent(), 0);
    list->EndUpdate();
    EXPECT_EQ(extent(), list->GetMaxStringExtent());
    EXPECT_GT(extent(), list->GetStringExtent(wider));
    list->EndUpdate(); // unbalanced: ignored
    list->Clear();
    list->BeginUpdate();
    list->AddItem(wider);
    list->UpdateHScrollBar();
    EXPECT_EQ(extent(), 0) << "updated inside the batch";
    list->EndUpdate();
    EXPECT_EQ(extent(), list->GetStringExtent(wider));

    // Tab stops: pixels to dialog units through the list's font; the extent becomes tabbed.
    list->Clear();
    list->AddItem("a\tb");
    list->TabPositions.Add().SetTabPosition(300);
    EXPECT_EQ(extent(), 300 + list->GetStringExtent("b") - list->GetStringExtent(""));
}

// A batch paints once: redrawing off for its whole length (nested or not), then one repaint that
// leaves the list where it stood; a hidden list is left hidden.
TEST_F(EditListTest, ABatchSwitchesRedrawingOffOnce) {
    for (int i = 0; i < 60; ++i)
        list->AddItem("entry " + std::to_string(100 + i));
    list->SetIndexAndScroll(40);
    Pump();
    const HWND lb = list->Handle();
    const LRESULT top = SendMessageW(lb, LB_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 0);
    struct Row {
        bool visible;
        int expected, nested; // nested 0: AddItems
    };
    const std::string wide(80, 'W');
    for (const Row row : {Row{true, 5, 1}, Row{true, 0, 2}, Row{false, 5, 1}, Row{true, 5, 0}}) {
        ShowWindow(lb, row.visible ? SW_SHOWNA : SW_HIDE);
        Pump();
        test::MessageLog log({lb}, {WM_SETREDRAW, LB_INITSTORAGE});
        Strings added;
        for (int i = 0; i < 5; ++i)
            added.push_back("zz added " + std::to_string(i) + std::to_string(row.nested) +
                            (row.nested ? "" : wide));
        for (int n = 0; n < row.nested; ++n)
            list->BeginUpdate(row.expected, 5 * 10);
        const int before = list->Count();
        if (row.nested == 0)
            list->AddItems(added);
        else
            for (const auto& a : added)
                list->AddItem(a);
        for (int n = 0; n < row.nested; ++n)
            list->EndUpdate();
        std::vector<test::ExpectedMessage> want;
        if (row.visible)
            want.push_back({WM_SETREDRAW, test::kWParam, FALSE});
        for (int n = 0; n < std::max(row.nested, 1) && row.expected; ++n)
            want.push_back({LB_INITSTORAGE, test::kWParam, 5});
        if (row.visible)
            want.push_back({WM_SETREDRAW, test::kWParam, TRUE});
        EXPECT_TRUE(test::MatchesSequence(log, want)) << row.visible << row.nested;
        EXPECT_EQ(IsWindowVisible(lb) != FALSE, row.visible);
        EXPECT_EQ(SendMessageW(lb, LB_GETTOPINDEX, 0, 0), top);
        EXPECT_EQ(list->Count(), before + 5);
        // The widest entry kept as LB_ADDSTRING's handling keeps it.
        const LRESULT extent = SendMessageW(lb, LB_GETHORIZONTALEXTENT, 0, 0);
        EXPECT_TRUE(row.nested != 0 || extent == list->GetMaxStringExtent()) << extent;
        RECT dirty{};
        EXPECT_EQ(GetUpdateRect(lb, &dirty, FALSE) != FALSE, row.visible) << "one repaint due";
        Pump();
        EXPECT_FALSE(GetUpdateRect(lb, &dirty, FALSE));
    }
    ShowWindow(lb, SW_SHOWNA);
}

// Entries read on a worker come in steps and end in the order a sorted LISTBOX given them one by
// one keeps; a message posted meanwhile is handled between steps, input while reading or between
// steps changes nothing, a fill dropped midway never reports, a read that fails reports why.
TEST_F(EditListTest, AFillInBackgroundKeepsTheListBoxsOrderAndTheWindowAnswering) {
    // Names that the collation orders otherwise than their code units.
    const char* parts[] = {"a", "B",  "\xC3\xA4", "Z",        "_",        "-",
                           "1", "10", " ",        "\xC3\x9F", "\xC3\x96", "o"};
    Strings names;
    unsigned seed = 7;
    for (int i = 0; i < 3000; ++i) {
        std::string n;
        for (int k = 0; k < 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            n += parts[(seed >> 16) % std::size(parts)];
        }
        names.push_back(n + std::to_string(i));
    }
    UniqueWindow bare(CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_SORT | LBS_HASSTRINGS, 0,
                                      0, 10, 10, top, nullptr, nullptr, nullptr));
    for (const auto& n : names)
        SendMessageW(bare.Get(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(n).c_str()));
    Strings ordered;
    for (int i = 0; i < int(names.size()); ++i) {
        wchar_t buf[64] = {};
        SendMessageW(bare.Get(), LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
        ordered.push_back(Narrow(buf));
    }

    enum Act { kNothing, kInput, kRefill, kCancel, kUnreadable };
    struct Row {
        Act act;
        Strings items; // what the list holds at the end
        int dones;
        std::string error;
    };
    const Row rows[] = {{kNothing, ordered, 1, ""},
                        {kInput, ordered, 1, ""},
                        {kRefill, {"alt", "Neu"}, 1, ""},
                        {kCancel, {}, 0, ""},
                        {kUnreadable, {}, 1, "unreadable"}};
    list->AutoInsert = list->AutoDelete = true;
    UniqueKernelHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.act);
        list->Clear();
        ResetEvent(go.Get());
        int dones = 0;
        Strings shown;
        std::string error;
        const auto done = [&](const Strings& s, const std::string& e) {
            ++dones;
            shown = s;
            error = e;
        };
        // Handled whenever the queue comes to it: between steps it posts itself again.
        std::vector<int> seen;
        other->OnClick = [&](TComponent*) {
            seen.push_back(list->Count());
            if (!list->Filling())
                return;
            const HWND lb = list->Handle();
            if (row.act == kInput) {
                list->SetIndexAndScroll(0);
                for (WORD k : {VK_INSERT, VK_DELETE, VK_END})
                    SendMessageW(lb, WM_KEYDOWN, k, 0);
                SendMessageW(lb, WM_CHAR, ' ', 0);
                SendMessageW(lb, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 30));
                SendMessageW(lb, WM_LBUTTONUP, 0, MAKELPARAM(5, 30));
                EXPECT_EQ(list->ItemIndex(), list->Count() > 0 ? 0 : -1);
            } else if (row.act == kRefill && list->Count() > 0) {
                list->FillInBackground([] { return Strings{"Neu", "alt"}; }, done, "");
            } else if (row.act == kCancel && list->Count() > 0) {
                list->CancelFill();
            }
            PostMessageW(panel->Handle(), WM_COMMAND, MAKEWPARAM(2, BN_CLICKED),
                         reinterpret_cast<LPARAM>(other->Handle()));
        };
        list->FillInBackground(
            [&] {
                WaitForSingleObject(go.Get(), INFINITE);
                if (row.act == kUnreadable)
                    throw std::runtime_error("unreadable");
                return names;
            },
            done, "Reading ...");
        ASSERT_TRUE(list->Filling());
        EXPECT_TRUE(HasInk(list->Handle())) << "no reading text";
        // Real input while the worker reads.
        SetFocus(list->Handle());
        Key(VK_INSERT);
        Type("b");
        ClickAt(list->Handle(), {5, 5});
        EXPECT_EQ(list->Count(), 0);
        EXPECT_FALSE(list->Editing());
        PostMessageW(panel->Handle(), WM_COMMAND, MAKEWPARAM(2, BN_CLICKED),
                     reinterpret_cast<LPARAM>(other->Handle()));
        SetEvent(go.Get());
        ASSERT_TRUE(PumpUntil([&] { return !list->Filling(); }));
        Pump();
        EXPECT_EQ(list->Items(), row.items);
        EXPECT_EQ(dones, row.dones);
        EXPECT_EQ(shown, dones > 0 ? row.items : Strings{});
        EXPECT_EQ(error, row.error);
        EXPECT_FALSE(list->Editing());
        const bool between = std::any_of(seen.begin(), seen.end(),
                                         [&](int n) { return n > 0 && n < int(names.size()); });
        EXPECT_TRUE(between || row.act > kInput) << "no message handled between steps";
    }
    other->OnClick = nullptr;

    // A fill dropped before its read began never reads; the list's end waits for a read going on.
    ResetEvent(go.Get());
    std::atomic<int> dropped{0};
    std::atomic<bool> readOver{false};
    list->FillInBackground(
        [&] {
            WaitForSingleObject(go.Get(), INFINITE);
            readOver = true;
            return Strings{"a"};
        },
        nullptr, "");
    list->FillInBackground(
        [&] {
            ++dropped;
            return Strings{"b"};
        },
        nullptr, "");
    list->FillInBackground([] { return Strings{"c"}; }, nullptr, "");
    SetEvent(go.Get());
    list.reset();
    EXPECT_TRUE(readOver);
    EXPECT_EQ(dropped, 0);
}

// The fitted positions reach the LISTBOX (told by LB_SETTABSTOPS, then drawn there) and the
// horizontal extent, as each item's setter does.
TEST_F(EditListTest, OptimizeTabsAppliesTheStopsItComputes) {
    Fill({"a\tb", "abc\tc\ta last column wider than the list"});
    list->TabPositions.Add().SetTabPosition(100);
    list->TabPositions.Add().SetTabPosition(130);
    const auto items = list->Items();
    const int row = static_cast<int>(std::find(items.begin(), items.end(), "a\tb") - items.begin());
    const int before = InkColumn(list->Handle(), row, list->GetStringExtent("a"));
    ASSERT_NEAR(before, 100, 3);
    test::MessageLog log({list->Handle()}, {LB_SETTABSTOPS, LB_SETHORIZONTALEXTENT});
    list->OptimizeTabs(8);
    ASSERT_EQ(list->TabPositions.Count(), 2);
    const int first = list->TabPositions[0].TabPosition();
    const int second = list->TabPositions[1].TabPosition();
    EXPECT_LT(first, 90);
    EXPECT_LT(second, 120);
    const int widest = list->GetMaxStringExtent();
    ASSERT_GT(widest, ClientWidth());
    EXPECT_TRUE(test::MatchesSequence(
        log, {{LB_SETTABSTOPS, test::kSent | test::kWParam, 2},
              {LB_SETHORIZONTALEXTENT, test::kSent | test::kWParam, static_cast<WPARAM>(widest)}}));
    EXPECT_EQ(Extent(), widest);
    // "b" is drawn at the first stop (within the rounding to dialog units), not where it was.
    const int drawn = InkColumn(list->Handle(), row, list->GetStringExtent("a"));
    EXPECT_NEAR(drawn, first, 3);
    // An unchanged fit sends the same stops again; without tabs nothing is sent.
    list->Clear();
    list->AddItem("no tabs");
    log.Clear();
    list->OptimizeTabs(8);
    EXPECT_TRUE(test::MatchesSequence(log, {}));
}

// The widest entry is measured anew when the tab positions or the font change.
TEST_F(EditListTest, TheWidestEntryFollowsTabPositionsAndFont) {
    list->AddItem("a\tb");
    list->TabPositions.Add().SetTabPosition(300);
    EXPECT_GT(Extent(), 300);
    list->TabPositions.Clear();
    list->UpdateHScrollBar();
    EXPECT_EQ(Extent(), 0) << "measured with the tab stops that are gone";
    list->TabPositions.Add().SetTabPosition(300);
    list->TabPositions.Delete(0);
    list->AddItem("b");
    EXPECT_EQ(Extent(), 0);

    // An item's setters apply at once: the entries are measured with the moved stop, a new
    // type is told to the list box.
    list->TabPositions.Add().SetTabPosition(300);
    ASSERT_GT(Extent(), 300);
    {
        list->TabPositions[0].SetTabPosition(400);
        EXPECT_GT(Extent(), 400);
        EXPECT_LT(Extent(), 450);
        test::MessageLog log({list->Handle()}, {LB_SETTABSTOPS});
        list->TabPositions[0].SetTabType(tabright);
        EXPECT_TRUE(test::MatchesSequence(log, {{LB_SETTABSTOPS, test::kSent | test::kWParam, 1}}));
    }
    // Items added or replaced without their setters still change the next measure: a tabbed
    // measure adds no average character width.
    list->Clear();
    list->TabPositions.Clear();
    list->AddItem(std::string(60, 'W'));
    const int plain = Extent();
    ASSERT_GT(plain, ClientWidth());
    list->TabPositions.Add();
    list->UpdateHScrollBar();
    int e = Extent();
    EXPECT_LT(e, plain);
    EXPECT_EQ(e, list->GetMaxStringExtent());
    list->TabPositions.Clear();
    list->UpdateHScrollBar();
    EXPECT_EQ(Extent(), plain);
    TEditListBox second(&owner, "second", panel->Handle(), {0, 200, 50, 50}, 4, false);
    second.TabPositions.Add().SetTabPosition(300);
    list->TabPositions.Assign(second.TabPositions);
    list->UpdateHScrollBar();
    e = Extent();
    EXPECT_LT(e, plain);
    EXPECT_EQ(e, list->GetMaxStringExtent());
    list->TabPositions.Clear();

    // A larger font: the extent follows at once, as wide as a full measure.
    list->Clear();
    list->AddItem("WWWWWWWWWWWW");
    ASSERT_EQ(Extent(), 0);
    UniqueFont big(
        CreateFontW(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    SendMessageW(list->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(big.Get()), TRUE);
    const int wide = Extent();
    EXPECT_GT(wide, ClientWidth());
    EXPECT_EQ(wide, list->GetMaxStringExtent());
    SendMessageW(list->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), TRUE);
    EXPECT_EQ(Extent(), 0);
}

// Every entry comes back exactly from both stores; sections written the older way still load.
TEST_F(EditListTest, PersistenceInAnIniFileAndTheRegistry) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::string ini = Narrow(dir) + "editlist_persist_test.ini";
    const wchar_t regKey[] = L"Software\\KesEditListTest";
    const auto cleanUp = [&] {
        DeleteFileW(Widen(ini).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, regKey);
    };
    cleanUp();
    const Strings awkward{
        "",
        " ",
        "  padded  ",
        "\"quoted\"",
        "'single'",
        "\"",
        "a=b",
        "x;y",
        ";leading",
        "[sec]",
        "tab\there\t",
        "back\\slash\\",
        "\\u0041 \\x41",
        "K\xC3\xA4se \xC3\x9F \xE2\x82\xAC \xC5\x92uvre", // Windows-1252 letters
        "\xC5\x81\xC3\xB3\x64\xC5\xBA",                   // beyond Windows-1252
        "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80",
        std::string(5000, 'L') + "ong",
    };
    for (TELStorage storage : {stInifile, stRegistry}) {
        SCOPED_TRACE(storage == stInifile ? "ini file" : "registry");
        list->Clear();
        // The registry key as often written, from the root.
        list->Persist = {true,      storage, storage == stInifile ? ini : "\\" + Narrow(regKey),
                         "Entries", 0,       false};
        list->LoadPersist(); // nothing stored yet: an empty list
        EXPECT_EQ(list->Count(), 0);
        Fill(awkward);
        const Strings shown = list->Items();
        ASSERT_EQ(shown.size(), awkward.size());
        list->SavePersist();
        list->AddItem("stale");
        list->LoadPersist();
        EXPECT_EQ(list->Items(), shown);
        // An empty entry first in the list, alone.
        list->Clear();
        list->AddItem("");
        list->SavePersist();
        list->AddItem("x");
        list->LoadPersist();
        EXPECT_EQ(list->Items(), Strings{""});

        // MaxCount keeps the last Count entries.
        list->Persist.MaxCount = true;
        list->Persist.Count = 2;
        list->Clear();
        Fill({"A", "B", "C"});
        list->SavePersist();
        list->LoadPersist();
        EXPECT_EQ(list->Items(), (Strings{"B", "C"}));
        list->Persist.Enable = false;
        list->Clear();
        list->LoadPersist();
        EXPECT_EQ(list->Count(), 0);
    }
    // The ini file holds ASCII only, whatever its code page.
    {
        std::ifstream in(Narrow(Widen(ini)), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(bytes.find("Item1=\"B\"\r\n"), std::string::npos) << bytes.substr(0, 200);
        EXPECT_NE(bytes.find("ItemCount="), std::string::npos);
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    }
    cleanUp();

    // Written the older way (the end an empty value, stale values after it, no ItemCount).
    {
        std::ofstream out(Narrow(Widen(ini)), std::ios::binary);
        out << "[Entries]\r\nItem1=B\r\nItem2=\"quoted\"\r\nItem3=  K\xE4se  \r\nItem4=\r\n"
               "Item5=stale\r\n";
    }
    list->Persist = {true, stInifile, ini, "Entries", 0, false};
    list->LoadPersist();
    EXPECT_EQ(list->Items(), (Strings{"B", "K\xC3\xA4se", "quoted"}));
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(regKey) + L"\\Entries").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : {std::pair<const wchar_t*, const wchar_t*>{L"Item1", L"C"},
                                      {L"Item2", L" b "},
                                      {L"Item3", L""},
                                      {L"Item4", L"stale"}})
        RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    list->Persist.Storage = stRegistry;
    list->Persist.Key = Narrow(regKey);
    list->LoadPersist();
    EXPECT_EQ(list->Items(), (Strings{" b ", "C"}));
    key.Reset();

    // A store that cannot be written says so; an empty Key or Section is refused, never written
    // into the root of the current user's registry.
    list->Persist = {true,      stInifile, Narrow(dir) + "no such folder\\list.ini",
                     "Entries", 0,         false};
    EXPECT_THROW(list->SavePersist(), Exception);
    for (const TELPersist& empty : {TELPersist{true, stRegistry, "", "Entries", 0, false},
                                    TELPersist{true, stRegistry, Narrow(regKey), "", 0, false},
                                    TELPersist{true, stRegistry, "\\", "Entries", 0, false},
                                    TELPersist{true, stRegistry, Narrow(regKey), "\\", 0, false},
                                    TELPersist{true, stInifile, ini, "", 0, false}}) {
        list->Persist = empty;
        EXPECT_THROW(list->SavePersist(), Exception);
        EXPECT_THROW(list->LoadPersist(), Exception);
    }
    EXPECT_NE(RegQueryValueExW(HKEY_CURRENT_USER, L"ItemCount", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_NE(RegQueryValueExW(HKEY_CURRENT_USER, L"Item1", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    cleanUp();

    // The file edited by hand, or damaged: each value is read on its own, everything readable
    // comes back, and what is not is named. (The list sorts: "" is Item1, "x" Item5.)
    const Strings five{"M\xC3\xBC"
                       "ller",
                       "C:\\dir", "", "x", "v"};
    Strings huge = five;
    huge.back() = std::string(10u << 20, 'v'); // a value of 10 MB
    const struct {
        const char *from, *to; // in the file's bytes
        Strings values;
        std::string error;
    } edits[] = {
        {"", "", huge, ""},
        {"=\"x\"", "=X by hand", {five[0], five[1], "", "X by hand", five[4]}, ""},
        {"=\"C:\\\\dir\"", "=\"C:\\\\dir", five, "'Item2'"},
        {"ItemCount=", "ItemCount=5:00000000\r\nItemCount=", five, ""}, // doubled: the first
        {"ItemCount=", "Gone=", {}, "'ItemCount'"},
        {"\r\n", "\r", five, ""}, // CR alone ends lines too
        {"Item6=\"\"", "Item6=added", {five[0], five[1], "", "x", "v", "added"}, ""},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.to);
        list->Persist = {true, stInifile, ini, "Entries", 0, false};
        list->Clear();
        Fill(&e == edits ? huge : five);
        list->SavePersist();
        std::string bytes;
        {
            std::ifstream in(Narrow(Widen(ini)), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        for (std::size_t at = 0; *e.from && (at = bytes.find(e.from, at)) != std::string::npos;
             at += strlen(e.to))
            bytes.replace(at, strlen(e.from), e.to);
        std::ofstream(Narrow(Widen(ini)), std::ios::binary) << bytes;
        std::string error;
        try {
            list->LoadPersist();
        } catch (const Exception& x) {
            error = x.what();
        }
        Strings got = list->Items(), want = e.values;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_TRUE(got == want) << list->Count();
        EXPECT_EQ(error.empty(), e.error.empty()) << error;
        EXPECT_NE(error.find(e.error), std::string::npos) << error;
    }
    cleanUp();
}

TEST_F(EditListTest, HoverFollowsTheMouseOnTheTimer) {
    // A pointer of the test's own: Wine moves the real one late, through its desktop process.
    POINT pointer{-1000, -1000};
    list->PointerPos = [&] { return pointer; };
    list->MovePointer = [&](POINT p) { pointer = p; };
    Fill({"a", "b", "c", "d"});
    list->SetHovering(true);
    SetFocus(list->Handle());
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == list->Handle(); }));
    RECT r;
    SendMessageW(list->Handle(), LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&r));
    POINT pt{r.left + 5, r.top + 1};
    ClientToScreen(list->Handle(), &pt);
    pointer = pt;
    // The list's own timer, a real tick (1000 ms): the entry under the pointer is selected, and
    // the pointer is moved to the middle of its row.
    ASSERT_TRUE(PumpUntil([&] { return list->ItemIndex() == 2; }));
    POINT middle{0, r.top + (r.bottom - r.top) / 2};
    ClientToScreen(list->Handle(), &middle);
    EXPECT_EQ(pointer.y, middle.y);
    // Outside the list, or without the focus, a tick changes nothing.
    pointer = {-1000, -1000};
    SendMessageW(list->Handle(), WM_TIMER, 111, 0);
    EXPECT_EQ(list->ItemIndex(), 2);
    pointer = pt;
    list->SetIndexAndScroll(0);
    SetFocus(other->Handle());
    ASSERT_TRUE(PumpUntil([&] { return GetFocus() == other->Handle(); }));
    SendMessageW(list->Handle(), WM_TIMER, 111, 0);
    EXPECT_EQ(list->ItemIndex(), 0);
    list->SetHovering(false);
    EXPECT_FALSE(KillTimer(list->Handle(), 111)) << "the hover timer still runs";
}

// The editor takes the list's font when it opens and when the list's font changes, and its
// height follows the row's.
TEST_F(EditListTest, TheEditorTakesTheListsFontAndRowHeight) {
    Fill({"alpha", "beta"});
    const struct {
        int height;
        const wchar_t* face;
        bool whileOpen; // the font changes while the editor is open
        bool recreate;  // and the list's window is made anew before it opens (a new editor)
    } rows[] = {{-24, L"Tahoma", false, false},
                {-40, L"Tahoma", true, false},
                {-11, L"MS Sans Serif", true, false},
                {-30, L"Tahoma", false, true}};
    std::vector<UniqueFont> fonts;
    for (const auto& r : rows) {
        fonts.emplace_back(CreateFontW(r.height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                                       0, 0, r.face));
        const auto font = reinterpret_cast<WPARAM>(fonts.back().Get());
        if (!r.whileOpen)
            SendMessageW(list->Handle(), WM_SETFONT, font, TRUE);
        if (r.recreate) {
            list->SetMultiSelect(true);
            list->SetMultiSelect(false);
        }
        SetFocus(list->Handle());
        list->SetItemIndex(1);
        list->ShowEdit();
        ASSERT_TRUE(list->Editing());
        if (r.whileOpen)
            SendMessageW(list->Handle(), WM_SETFONT, font, TRUE);
        EXPECT_EQ(SendMessageW(edit(), WM_GETFONT, 0, 0), static_cast<LRESULT>(font)) << r.height;
        RECT e, item;
        GetWindowRect(edit(), &e);
        MapWindowPoints(nullptr, list->Handle(), reinterpret_cast<POINT*>(&e), 2);
        SendMessageW(list->Handle(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(e.bottom - e.top, list->ItemHeight()) << r.height;
        EXPECT_EQ(e.top, item.top) << r.height;
        EXPECT_EQ(e.left, item.left) << r.height;
        // Its text fits: at least as wide as the text in that font.
        SIZE text{0, 0};
        {
            WindowDC dc(edit());
            SelectedObject keep(dc.Get(), fonts.back().Get());
            GetTextExtentPoint32W(dc.Get(), L"beta", 4, &text);
        }
        EXPECT_GE(e.right - e.left, std::min<int>(text.cx, ClientWidth())) << r.height;
        Key(VK_ESCAPE);
    }
}

// What a screen reader hears: the editor named after the list and its entry; a committed edit
// tells that the entry's name changed and where the focus is.
struct WinEvent {
    DWORD event;
    HWND hwnd;
    LONG object, child;
    bool operator==(const WinEvent&) const = default;
};
std::vector<WinEvent> g_events;
void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                          DWORD) {
    g_events.push_back({event, hwnd, object, child});
}

TEST_F(EditListTest, TheEditorIsNamedAndACommitIsAnnounced) {
    // A label before the list names it, as for the system's own lists.
    TLabel label(&owner, "label", panel->Handle(), Bounds{10, 120, 100, 13}, "Kategorie:", 3);
    SetWindowPos(label.Handle(), GetWindow(list->Handle(), GW_HWNDPREV), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
    Fill({"alpha", "beta"});
    SetFocus(list->Handle());
    list->SetItemIndex(1);
    list->ShowEdit();
    ASSERT_TRUE(list->Editing());
    const std::string listName = test::AccessibleName(list->Handle());
    const std::string name = test::AccessibleName(edit());
    EXPECT_NE(name.find("beta"), std::string::npos) << name;
    EXPECT_NE(name.find(listName), std::string::npos) << name << " / " << listName;
    EXPECT_EQ(test::AccessibleRole(edit()), ROLE_SYSTEM_TEXT);

    g_events.clear();
    const HWINEVENTHOOK hook =
        SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, nullptr, RecordEvent,
                        GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    Type("x");
    Key(VK_RETURN);
    const WinEvent expected[] = {
        {EVENT_OBJECT_NAMECHANGE, list->Handle(), OBJID_CLIENT, 2},
        {EVENT_OBJECT_FOCUS, list->Handle(), OBJID_CLIENT, 2},
    };
    for (const auto& e : expected)
        EXPECT_TRUE(PumpUntil([&] {
            return std::find(g_events.begin(), g_events.end(), e) != g_events.end();
        })) << e.event;
    UnhookWinEvent(hook);
    EXPECT_EQ(list->Item(1), "x");
}

// With high contrast on, the list shows the system's colours, not its configured one. The
// setting is switched through the system; Wine ignores SPI_SETHIGHCONTRAST and always reports
// it off, so there the list is told through its HighContrast query.
TEST_F(EditListTest, HighContrastUsesTheSystemsColours) {
    HIGHCONTRASTW before{sizeof(before), 0, nullptr};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(before), &before, 0));
    const bool wasOn = before.dwFlags & HCF_HIGHCONTRASTON;
    bool on = false;
    const auto set = [&on](bool want) {
        HIGHCONTRASTW hc{sizeof(hc), want ? static_cast<DWORD>(HCF_HIGHCONTRASTON) : 0u, nullptr};
        SystemParametersInfoW(SPI_SETHIGHCONTRAST, sizeof(hc), &hc, 0);
        on = want;
    };
    const ScopeExit restore([&] { set(wasOn); });
    list->HighContrast = [&on] { return TEditListBox::SystemHighContrast() || on; };
    Fill({"alpha", "beta"});
    list->SetColor(RGB(200, 100, 0));
    list->SetItemIndex(0);
    const struct {
        bool on;
        COLORREF background;
    } rows[] = {{false, RGB(200, 100, 0)}, {true, GetSysColor(COLOR_WINDOW)}};
    for (const auto& r : rows) {
        set(r.on);
        RECT client, item;
        GetClientRect(list->Handle(), &client);
        SendMessageW(list->Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
        WindowDC screen(list->Handle());
        UniqueMemoryDC dc(CreateCompatibleDC(screen.Get()));
        UniqueBitmap bmp(CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
        SelectedObject keep(dc.Get(), bmp.Get());
        SendMessageW(list->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()),
                     PRF_CLIENT | PRF_ERASEBKGND);
        EXPECT_EQ(GetPixel(dc.Get(), client.right - 2, client.bottom - 2), r.background) << r.on;
        // The selected entry in the system's highlight either way.
        EXPECT_EQ(GetPixel(dc.Get(), item.right - 2, item.top + 1), GetSysColor(COLOR_HIGHLIGHT))
            << r.on;
    }
}

} // namespace
} // namespace kes
