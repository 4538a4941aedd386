#include "widgets/editlist/EditSession_win32.h"

#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/accessible_win32.h"
#include "widgets/editlist/EditListBox_win32.h"

#include <oleacc.h>

#include <algorithm>
#include <exception>

namespace kes {
namespace {
// The editor is as wide as its text and this much more, up to the list's client width + 1.
constexpr int kEditorSlack = 15;
} // namespace

// --- TEditSession -----------------------------------------------------------------------------

void TEditSession::Open(int index) {
    Close(Commit);
    TEditListBox& list = list_;
    const HWND lb = list.Handle(), edit = editor_.Handle();
    SendMessageW(lb, WM_HSCROLL, MAKEWPARAM(SB_LEFT, 0), 0);
    const int top = static_cast<int>(SendMessageW(lb, LB_GETTOPINDEX, 0, 0));
    const int h = list.ItemHeight();
    list.noRefresh_ = true;
    const ScopeExit refreshAgain([&list] { list.noRefresh_ = false; });
    RedrawWindow(lb, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const std::string text = list.Item(index);
    SendMessageW(edit, WM_SETFONT, SendMessageW(lb, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(edit, HWND_TOP, 0, (index - top) * h, 0, h, SWP_SHOWWINDOW);
    saved_ = text;
    editor_.SetText(text);
    open_ = true;
    index_ = index;
    countAtOpen_ = list.Count();
    SetFocus(edit);
    SetCapture(edit);
    list.SetItem(index, "");
    list.SetIndexAndScroll(-1);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

void TEditSession::WriteBack() {
    std::string text = editor_.Text();
    bool allow = true;
    TEditListBox& list = list_;
    {
        list.noRefresh_ = true;
        const ScopeExit refreshAgain([&list] { list.noRefresh_ = false; });
        list.SetItem(index_, text);
        try {
            if (list.OnEditDone)
                list.OnEditDone(&list, text, allow);
        } catch (...) {
            // A handler that fails has accepted nothing: the entry keeps what was stored.
            list.noRefresh_ = false;
            list.SetItem(index_, saved_);
            throw;
        }
    }
    list.SetItem(index_, allow ? text : saved_);
    if (list.MultiSelect())
        SendMessageW(list.Handle(), LB_SETSEL, TRUE, index_);
}

void TEditSession::Close(Ending how, bool focusList, int select) {
    if (!open_)
        return;
    // First: hiding the editor or moving the focus below comes back here through its
    // WM_KILLFOCUS, which must find the session closed.
    open_ = false;
    list_.editMode_ = false;
    const HWND edit = editor_.Handle();
    if (GetCapture() == edit)
        ReleaseCapture();
    if (how == Revert || (how == CommitNonEmpty && editor_.Text().empty()))
        editor_.SetText(saved_);
    // The editor closes whatever OnEditDone does; its error is reported after that.
    std::exception_ptr failed;
    try {
        WriteBack();
    } catch (...) {
        failed = std::current_exception();
    }
    list_.Select(index_);
    if (list_.MultiSelect())
        SendMessageW(list_.Handle(), LB_SETSEL, TRUE, index_);
    ShowWindow(edit, SW_HIDE);
    // Asked for while the focus is leaving the editor, this wins over the change in progress.
    if (focusList)
        SetFocus(list_.Handle());
    saved_.clear();
    if (!failed && editor_.OnExit)
        editor_.OnExit(&list_);
    if (!failed) {
        // Screen readers hear that the entry changed, and where the focus is now.
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, list_.Handle(), OBJID_CLIENT, index_ + 1);
        NotifyWinEvent(EVENT_OBJECT_FOCUS, list_.Handle(), OBJID_CLIENT, index_ + 1);
    }
    if (select >= 0)
        list_.SetIndexAndScroll(select);
    if (failed)
        std::rethrow_exception(failed);
}

// --- TSizeEdit --------------------------------------------------------------------------------

TSizeEdit::TSizeEdit(TEditListBox& list)
    : TWinControl(&list, "SizeEdit"), list_(list), session_(list, *this) {
    // A flat border: one line, not the sunken three-dimensional edge.
    CreateHandle(L"EDIT", ES_AUTOHSCROLL | WS_BORDER, 0, list.Handle(), {0, 0, 0, 0}, "", 0);
    ShowWindow(hwnd_, SW_HIDE);
}

void TSizeEdit::FollowListFont() {
    const HWND lb = list_.Handle();
    SendMessageW(hwnd_, WM_SETFONT, SendMessageW(lb, WM_GETFONT, 0, 0), TRUE);
    if (!session_.IsOpen())
        return;
    const int top = static_cast<int>(SendMessageW(lb, LB_GETTOPINDEX, 0, 0));
    const int h = list_.ItemHeight();
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, (session_.Index() - top) * h, r.right - r.left, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Change();
}

std::string TSizeEdit::AccessibleName() const {
    std::string list;
    ComPtr<IAccessible> acc;
    if (SUCCEEDED(AccessibleObjectFromWindow(list_.Handle(), static_cast<DWORD>(OBJID_CLIENT),
                                             __uuidof(IAccessible), acc.PutVoid()))) {
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        UniqueBstr name;
        if (acc->get_accName(self, name.Put()) == S_OK && name.Get())
            list = Narrow(name.Get());
    }
    const std::string& entry = session_.SavedText();
    if (list.empty())
        return entry;
    return entry.empty() ? list : list + ": " + entry;
}

void TSizeEdit::HandleCommand(WORD code) {
    if (code == EN_CHANGE)
        Change();
}

void TSizeEdit::Change() {
    std::wstring text = Widen(Text());
    SIZE sz{0, 0};
    {
        WindowDC dc(hwnd_);
        SelectedObject font(dc.Get(),
                            reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &sz);
    }
    RECT client;
    GetClientRect(list_.Handle(), &client);
    const int width = std::min<int>(sz.cx + kEditorSlack, client.right + 1);
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, width, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT TSizeEdit::HandleDlgCode(WPARAM key, const MSG* m) {
    // Enter and Escape belong to the editor, not to the dialog navigation.
    LRESULT code = TWinControl::HandleDlgCode(key, m);
    if (m && m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
        code |= DLGC_WANTALLKEYS;
    return code;
}

bool TSizeEdit::HandleKey(KeyEvent& e) {
    if (e.msg == WM_KEYDOWN && session_.IsOpen()) {
        if (e.key == VK_RETURN) {
            session_.Close(TEditSession::Commit, true, session_.Index());
            return true;
        }
        if (e.key == VK_UP || e.key == VK_DOWN) {
            const int at = session_.Index();
            int next = at;
            if (e.key == VK_UP)
                next = std::max(at - 1, 0);
            else if (at + 1 < session_.CountAtOpen())
                next = at + 1;
            session_.Close(TEditSession::Commit, true, next);
            WORD key = static_cast<WORD>(e.key);
            list_.KeyDown(key);
            return true;
        }
    }
    if (e.msg == WM_CHAR) {
        if (e.key == VK_RETURN)
            return true; // no beep, no key press
        if (e.key == VK_ESCAPE && session_.IsOpen()) {
            session_.Close(TEditSession::Revert);
            return true;
        }
    }
    return false;
}

bool TSizeEdit::HandleMouse(const MouseEvent& e) {
    if (e.action != MouseEvent::Down || e.button != MouseEvent::Left)
        return false;
    RECT r;
    GetClientRect(hwnd_, &r);
    // A press elsewhere reaches the editor through its capture and only closes it.
    if (GetCapture() == hwnd_ && !PtInRect(&r, e.pt) && session_.IsOpen()) {
        session_.Close(TEditSession::Commit, true, session_.Index());
        return true;
    }
    return false;
}

bool TSizeEdit::HandleFocus(bool gained, HWND other) {
    if (gained)
        return false;
    DefaultProc(WM_KILLFOCUS, reinterpret_cast<WPARAM>(other), 0);
    session_.Close(TEditSession::Commit);
    return true;
}

LRESULT TSizeEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_GETOBJECT && static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT)) {
        // An EDIT takes its name from a label before it; this one has none but its list.
        const std::string name = AccessibleName();
        if (!name.empty())
            if (ComPtr<IAccessible> named = NamedClientObject(hwnd_, name, ROLE_SYSTEM_TEXT))
                return LresultFromObject(__uuidof(IAccessible), wp, named.Get());
    }
    if (msg == WM_SETTEXT) {
        const LRESULT r = DefaultProc(msg, wp, lp);
        Change();
        return r;
    }
    return TWinControl::WndProc(msg, wp, lp);
}

} // namespace kes
