#include "widgets/editlist/EditListBox_win32.h"

#include "platform/utf_win32.h"
#include "toolkit/colors_win32.h"

#include <algorithm>
#include <vector>

namespace kes {
namespace {

constexpr UINT kHoverInterval = 1000;

bool InClient(HWND hwnd, POINT screen, POINT& client) {
    client = screen;
    ScreenToClient(hwnd, &client);
    RECT r;
    GetClientRect(hwnd, &r);
    return PtInRect(&r, client) != FALSE;
}

} // namespace

// --- TEditListBox -----------------------------------------------------------------------------

bool TEditListBox::SystemHighContrast() {
    HIGHCONTRASTW hc{sizeof(hc), 0, nullptr};
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON);
}

TEditListBox::TEditListBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id,
                           bool sorted, bool designMode)
    : TListBox(owner, name, parent, b, id, sorted, LBS_USETABSTOPS | WS_HSCROLL),
      allowEdit_(!designMode), designMode_(designMode),
      scrollWidth_(GetSystemMetrics(SM_CXVSCROLL)) {
    SetColor(clWindow);
    SelectFont();
    if (!designMode)
        editor_ = std::make_unique<TSizeEdit>(*this);
    Loaded();
}

TEditListBox::~TEditListBox() {
    EndReaders();
    editor_.reset();
    if (hwnd_ && hovering_ && !designMode_)
        KillTimer(hwnd_, kHoverTimer);
}

bool TEditListBox::HandleNotification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // The list's background is its parent's answer to WM_CTLCOLORLISTBOX.
    if (msg == WM_CTLCOLORLISTBOX) {
        const auto dc = reinterpret_cast<HDC>(wp);
        if (HighContrast && HighContrast()) {
            // The user's contrast theme wins over the configured colour, as in the system's
            // own lists.
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            return true;
        }
        SetBkColor(dc, ToColorRef(color_));
        result = reinterpret_cast<LRESULT>(brush_.Get());
        return true;
    }
    return TListBox::HandleNotification(msg, wp, lp, result);
}

std::vector<std::string> TEditListBox::Items() const {
    // Read from the list box's own procedure: no subclass has a part in reading, and under Wine
    // each pass through one costs server round trips (seconds for a few thousand entries).
    const auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd_, GCLP_WNDPROC));
    std::vector<std::string> out;
    const int n = Count();
    out.reserve(static_cast<std::size_t>(n));
    std::wstring w;
    for (int i = 0; i < n; ++i) {
        const LRESULT len = CallWindowProcW(own, hwnd_, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        w.assign(static_cast<std::size_t>(std::max<LRESULT>(len, 0)) + 1, L'\0');
        const LRESULT got = CallWindowProcW(own, hwnd_, LB_GETTEXT, static_cast<WPARAM>(i),
                                            reinterpret_cast<LPARAM>(w.data()));
        w.resize(static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
        out.push_back(Narrow(w));
    }
    return out;
}

void TEditListBox::AddItems(const std::vector<std::string>& items) {
    std::size_t chars = 0;
    for (const auto& item : items)
        chars += item.size() + 1;
    BeginUpdate(static_cast<int>(items.size()), chars);
    const ScopeExit end([this] { EndUpdate(); });
    // Straight to the list box's own procedure, measured here as LB_ADDSTRING's handling would.
    const auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd_, GCLP_WNDPROC));
    for (const auto& item : items) {
        const std::wstring w = Widen(item);
        if (CallWindowProcW(own, hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str())) >= 0)
            widest_.Added(MeasureEntry(w));
    }
}

void TEditListBox::SetItem(int index, const std::string& text) {
    if (index < 0 || index >= Count())
        return;
    const int sel = ItemIndex();
    SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd_, LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(Widen(text).c_str()));
    if (!MultiSelect())
        Select(sel);
}

void TEditListBox::Delete(int index) {
    SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

int TEditListBox::ItemIndex() const {
    if (MultiSelect())
        return static_cast<int>(SendMessageW(hwnd_, LB_GETCARETINDEX, 0, 0));
    return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
}

void TEditListBox::SetIndexAndScroll(int index) {
    if (MultiSelect())
        SendMessageW(hwnd_, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
    else if (index != ItemIndex())
        Select(index);
    UpdateVScrollBar();
}

int TEditListBox::ItemHeight() const {
    return std::max(static_cast<int>(SendMessageW(hwnd_, LB_GETITEMHEIGHT, 0, 0)), 1);
}

void TEditListBox::SetColor(TColor c) {
    color_ = c;
    brush_.Reset(CreateSolidBrush(ToColorRef(c)));
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TEditListBox::SetMultiSelect(bool on) {
    if (on == MultiSelect())
        return;
    if (auto* s = Session())
        s->Close(TEditSession::Commit, false);
    // What the new window takes over from the old one.
    const HWND old = hwnd_;
    const bool focused = GetFocus() == old || (editor_ && GetFocus() == editor_->Handle());
    const HWND parent = GetParent(old);
    const HWND before = GetWindow(old, GW_HWNDPREV);
    RECT r;
    GetWindowRect(old, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    const DWORD style = static_cast<DWORD>(GetWindowLongW(old, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(old, GWL_EXSTYLE));
    const int id = GetDlgCtrlID(old);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(old, WM_GETFONT, 0, 0));
    const int top = static_cast<int>(SendMessageW(old, LB_GETTOPINDEX, 0, 0));
    const int current = ItemIndex();
    std::vector<std::wstring> entries;
    std::vector<int> selected;
    for (int i = 0, n = Count(); i < n; ++i) {
        entries.push_back(WideItem(i));
        if (SendMessageW(old, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
            selected.push_back(i);
    }
    if (focused)
        SetColor(savedColor_); // as losing the focus would
    if (hovering_ && !designMode_)
        KillTimer(old, kHoverTimer);

    editor_.reset();
    DestroyHandle();
    CreateWindowFor({.className = L"LISTBOX",
                     .style = (style & ~(LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) | WS_VSCROLL |
                              WS_HSCROLL | (on ? LBS_EXTENDEDSEL : 0),
                     .exStyle = exStyle,
                     .bounds = {r.left, r.top, r.right - r.left, r.bottom - r.top},
                     .parent = parent,
                     .id = id});
    // The same place in the tab order.
    SetWindowPos(hwnd_, before ? before : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    widest_.Cleared();
    BeginUpdate();
    // Inserted, not added: an entry edited in a sorted list keeps its place.
    for (const auto& e : entries)
        SendMessageW(hwnd_, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(e.c_str()));
    EndUpdate();
    // The selection as it was, without selection events: nothing changed for the user.
    if (on) {
        for (int i : selected)
            Default(LB_SETSEL, TRUE, i);
        if (current >= 0)
            Default(LB_SETCARETINDEX, static_cast<WPARAM>(current), FALSE);
    } else {
        const bool kept = std::find(selected.begin(), selected.end(), current) != selected.end();
        const int sel = kept ? current : selected.empty() ? -1 : selected.front();
        Default(LB_SETCURSEL, static_cast<WPARAM>(sel), 0);
    }
    Default(LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    if (!designMode_)
        editor_ = std::make_unique<TSizeEdit>(*this);
    if (scrollStyle_ != ssNormal)
        FlatBars(true);
    if (hovering_ && !designMode_)
        SetTimer(hwnd_, kHoverTimer, kHoverInterval, nullptr);
    SetTabStops();
    Loaded();
    if (focused)
        SetFocus(hwnd_);
}

void TEditListBox::ShowEdit() {
    const int sel = ItemIndex();
    if (!editor_ || fill_ || sel == -1 || Count() == 0)
        return;
    editor_->Session().Open(sel);
}

void TEditListBox::EndEdit() {
    if (auto* s = Session())
        s->Close(TEditSession::Commit);
}

void TEditListBox::SetEditMode(bool on) {
    auto* s = Session();
    if (on && !editMode_) {
        ShowEdit();
    } else if (!on && editMode_ && s && s->IsOpen()) {
        // Only the entry still being edited is written; an emptied editor keeps the entry.
        s->Close(TEditSession::CommitNonEmpty);
    }
    // Any close of the session clears the flag, so a later call opens or closes anew.
    editMode_ = on && Editing();
}

void TEditListBox::SetAllowEdit(bool on) {
    auto* s = Session();
    if (s && s->IsOpen()) {
        allowEdit_ = on;
        s->Close(TEditSession::Commit, false);
        s->Forget();
        SetFocus(hwnd_);
        return;
    }
    allowEdit_ = on;
}

void TEditListBox::Lookup() {
    if (Count() == 0 || !LookupIncr)
        return;
    const int found = LookupIndex(Items(), lookup_, LookupFull);
    if (found >= 0)
        SetIndexAndScroll(found);
    else
        lookup_.clear();
}

void TEditListBox::UpdateHover() {
    POINT pt;
    const int sel = ItemIndex();
    if (!InClient(hwnd_, PointerPos(), pt) || sel < 0)
        return;
    RECT r;
    SendMessageW(hwnd_, LB_GETITEMRECT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(&r));
    POINT target{pt.x, r.top + (r.bottom - r.top) / 2};
    ClientToScreen(hwnd_, &target);
    MovePointer(target);
}

void TEditListBox::SetHovering(bool on) {
    if (on == hovering_)
        return;
    hovering_ = on;
    if (designMode_)
        return;
    if (on)
        SetTimer(hwnd_, kHoverTimer, kHoverInterval, nullptr);
    else
        KillTimer(hwnd_, kHoverTimer);
}

void TEditListBox::WMTimer() {
    POINT pt;
    if (fill_ || inSelChange_ || GetFocus() != hwnd_ || !InClient(hwnd_, PointerPos(), pt))
        return;
    const LRESULT r = SendMessageW(hwnd_, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
    SetIndexAndScroll(LOWORD(r));
}

void TEditListBox::HandleCommand(WORD code) {
    if (code == LBN_DBLCLK) {
        if (OnDblClick)
            OnDblClick(this);
        return;
    }
    if (code != LBN_SELCHANGE)
        return;
    {
        inSelChange_ = true;
        // Cleared however the handlers end: an error box must not leave hover stopped.
        const ScopeExit done([this] { inSelChange_ = false; });
        UpdateVScrollBar();
        if (OnSelChange)
            OnSelChange(this, ItemIndex());
        if (hovering_)
            UpdateHover();
    }
    if (OnClick)
        OnClick(this);
}

void TEditListBox::KeyDown(WORD& key) {
    if (key == VK_INSERT && AutoInsert) {
        std::string text;
        if (OnAutoInsert)
            OnAutoInsert(this, text);
        const int at = static_cast<int>(
            SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str())));
        if (MultiSelect())
            SendMessageW(hwnd_, LB_SETSEL, TRUE, at);
        SetIndexAndScroll(at);
        ShowEdit();
    } else if (key == VK_DELETE && AutoDelete && Count() > 0 && ItemIndex() >= 0) {
        bool allow = true;
        std::string value = Item(ItemIndex());
        if (OnAutoDelete)
            OnAutoDelete(this, value, allow);
        if (allow) {
            int at = ItemIndex();
            Delete(at);
            if (at >= Count())
                --at;
            SetIndexAndScroll(at);
        }
    }
    switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_UP:
    case VK_DOWN:
        lookup_.clear();
        break;
    }
    if (OnKeyDown)
        OnKeyDown(this, key);
}

bool TEditListBox::WMChar(wchar_t c) {
    if (c == 27) {
        lookup_.clear();
        return true;
    }
    if (c == 32) {
        if (!allowEdit_)
            return false;
        ShowEdit();
        return true;
    }
    if ((c >= 48 && c <= 58) || (c >= 65 && c <= 122)) {
        lookup_ += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return true;
    }
    return false;
}

void TEditListBox::WMLButtonDown(UINT msg, WPARAM wp, LPARAM lp) {
    lookup_.clear();
    if (!allowEdit_ || !editor_) {
        Default(msg, wp, lp);
        return;
    }
    TEditSession& session = editor_->Session();
    const int y = static_cast<short>(HIWORD(lp));
    const int under =
        y / ItemHeight() + static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0));
    const int before = ItemIndex();
    if (session.Index() == before && session.Pending())
        return;
    Default(msg, wp, lp);
    if (designMode_)
        return;
    if (under == before && before >= 0 && !session.Pending()) {
        ShowEdit();
        return;
    }
    // Taking the focus has usually closed it already; else the text stays unless emptied.
    session.Close(TEditSession::CommitNonEmpty);
}

void TEditListBox::DoExit() {
    if (auto* s = Session(); s && s->IsOpen()) {
        s->Close(TEditSession::Commit, false);
        s->Forget();
    }
    if (OnExit)
        OnExit(this);
}

LRESULT TEditListBox::HandleDlgCode(WPARAM key, const MSG* m) {
    LRESULT code = TListBox::HandleDlgCode(key, m);
    if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN &&
        (ReturnIsTab || ReturnIsClick || ReturnIsDblClick))
        code |= DLGC_WANTALLKEYS;
    // Escape clears the lookup text; without one it is the dialog's (cancel, close).
    if (m && m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE && !lookup_.empty())
        code |= DLGC_WANTMESSAGE;
    return code;
}

bool TEditListBox::HandleKey(KeyEvent& e) {
    // A list still being filled is not yet what it will be: nothing may change it.
    if (fill_)
        return true;
    switch (e.msg) {
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(e.key);
        if (key == VK_RETURN) {
            if (ReturnIsTab) {
                key = VK_TAB;
                PostMessageW(hwnd_, WM_KEYDOWN, VK_TAB, 0);
            }
            if (ReturnIsClick && OnClick)
                OnClick(this);
            if (ReturnIsDblClick && OnDblClick)
                OnDblClick(this);
        }
        KeyDown(key);
        e.key = key;
        return false;
    }
    case WM_KEYUP: {
        WORD key = static_cast<WORD>(e.key);
        if (OnKeyUp)
            OnKeyUp(this, key);
        Default(e.msg, key, e.lp);
        if (!lookup_.empty())
            Lookup();
        return true;
    }
    case WM_CHAR: {
        if (WMChar(static_cast<wchar_t>(e.key)))
            return true;
        wchar_t c = static_cast<wchar_t>(e.key);
        if (OnKeyPress)
            OnKeyPress(this, c);
        e.key = c;
        return false;
    }
    }
    return false;
}

bool TEditListBox::HandleMouse(const MouseEvent& e) {
    if (fill_ && (e.action == MouseEvent::Down || e.action == MouseEvent::DoubleClick))
        return true;
    if (e.action != MouseEvent::Down || e.button != MouseEvent::Left)
        return false;
    WMLButtonDown(e.msg, e.wp, e.lp);
    return true;
}

bool TEditListBox::HandleFocus(bool gained, HWND other) {
    if (gained) {
        savedColor_ = color_;
        SetColor(FocusColor);
        lookup_.clear();
        return false;
    }
    SetColor(savedColor_);
    Default(WM_KILLFOCUS, reinterpret_cast<WPARAM>(other), 0);
    // Into its own editor is no exit of the list box.
    if (!editor_ || other != editor_->Handle())
        DoExit();
    return true;
}

bool TEditListBox::HandleTimer(UINT_PTR id) {
    if (id != kHoverTimer)
        return false;
    WMTimer();
    return true;
}

// While a fill reads, the empty list shows the reading text; otherwise the list box paints itself.
TWindow::PaintMode TEditListBox::Painting() const {
    return fill_ && !readingText_.empty() && Count() == 0 ? PaintMode::Opaque : PaintMode::None;
}

void TEditListBox::HandlePaint(HDC dc, const RECT&) {
    PaintReading(dc);
}

// The list box's own messages, whose effects on the extent, the scroll bars and the
// selection event follow the class's handling.
LRESULT TEditListBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == FillMessage()) {
        HandleFillMessage(wp, lp);
        return 0;
    }
    switch (msg) {
    case LB_SETCURSEL: {
        const LRESULT r = Default(msg, wp, lp);
        if (!MultiSelect()) {
            if (OnSelChange)
                OnSelChange(this, ItemIndex());
            if (hovering_)
                UpdateHover();
        }
        return r;
    }
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        const LRESULT r = Default(msg, wp, lp);
        if (r >= 0) {
            widest_.Added(MeasureEntry(reinterpret_cast<const wchar_t*>(lp)));
            Refresh();
        }
        return r;
    }
    case LB_DELETESTRING: {
        const int gone = MeasureEntry(WideItem(static_cast<int>(wp)));
        const LRESULT r = Default(msg, wp, lp);
        if (r != LB_ERR) {
            widest_.Removed(gone);
            Refresh();
        }
        return r;
    }
    case LB_RESETCONTENT: {
        const LRESULT r = Default(msg, wp, lp);
        widest_.Cleared();
        Refresh();
        FlatShowScrollBar(SB_VERT, false);
        return r;
    }
    case WM_SIZE: {
        const LRESULT r = Default(msg, wp, lp);
        Refresh();
        return r;
    }
    case WM_SETFONT: {
        const LRESULT r = Default(msg, wp, lp);
        // Stops in pixels become other dialog units, and every entry another width.
        SelectFont();
        SetTabStops();
        UpdateHScrollBar();
        if (editor_)
            editor_->FollowListFont();
        return r;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
        const LRESULT r = Default(msg, wp, lp);
        const int bar = msg == WM_HSCROLL ? SB_HORZ : SB_VERT;
        if (scrollStyle_ != ssNormal)
            FlatSetScrollPos(bar, GetScrollPos(hwnd_, bar), true);
        return r;
    }
    case WM_DESTROY:
        DropFill();
        if (hovering_ && !designMode_)
            KillTimer(hwnd_, kHoverTimer);
        break;
    }
    return TListBox::WndProc(msg, wp, lp);
}

} // namespace kes
